#!/usr/bin/env python3
# The loopback NTP server of the end-to-end runs; it serves until it is killed.
#   ntp_test_server.py ADDRESS PORT [offset=SECONDS] [delay=SECONDS] [forged=COUNT] [other_port]
#                      [cut]
# offset: its clock ahead of the machine's. delay: a round trip it adds, as if the network took
# half of it each way. forged: that many forgeries first, from its own address and port, the
# first an hour ahead, the next two hours, and so on, each with an originate one unit above the
# request's transmit time (a guess that misses by the least there is). other_port: the true
# reply from another port. cut: first a reply an hour ahead that answers the request, 3000 bytes
# long, more than a client reads.
# It prints "ready", then a line for each request: its source port and its bytes in hex.
import socket
import struct
import sys
import time

options = dict(option.partition("=")[::2] for option in sys.argv[3:])
offset, delay = float(options.get("offset", 0)), float(options.get("delay", 0))
family = socket.AF_INET6 if ":" in sys.argv[1] else socket.AF_INET
server, other = socket.socket(family, socket.SOCK_DGRAM), socket.socket(family, socket.SOCK_DGRAM)
server.bind((sys.argv[1], int(sys.argv[2])))
server.setsockopt(socket.SOL_SOCKET, 35, 1)  # SO_TIMESTAMPNS: each request's arrival, stamped
other.bind((sys.argv[1], 0))
print("ready", flush=True)


def ntp(seconds):  # seconds since 1900, modulo the era, in 32.32 fixed point
    return (int(seconds * 2**32) % 2**64).to_bytes(8, "big")


while True:
    request, stamp, _, peer = server.recvmsg(512, 64)
    seconds, nanoseconds = struct.unpack("qq", stamp[0][2])
    arrived = seconds + nanoseconds / 1e9 + 2208988800 + offset  # T2
    print(peer[1], request.hex(), flush=True)
    head = bytes([0x1C, 2, request[2], 0xEC, 0, 0, 1, 0, 0, 0, 1, 0, 127, 0, 0, 9])
    head += ntp(arrived - 16)
    guess = (int.from_bytes(request[40:48], "big") + 1) % 2**64
    for hours in range(1, int(options.get("forged", 0)) + 1):
        server.sendto(head + guess.to_bytes(8, "big") + ntp(arrived + 3600 * hours) * 2, peer)
    if "cut" in options:
        server.sendto(head + request[40:48] + ntp(arrived + 3600) * 2 + bytes(2952), peer)
    time.sleep(delay)
    reply = head + request[40:48] + ntp(arrived + delay / 2)
    reply += ntp(time.time() + 2208988800 + offset - delay / 2)  # T3, read right before the send
    (other if "other_port" in options else server).sendto(reply, peer)
