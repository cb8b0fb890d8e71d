#!/usr/bin/env python3
# What stands between the client and an NTS server in the end-to-end runs; it serves until it
# is killed, and prints "ready", then a line for each NTP request: its source port and its bytes
# in hex.
#   nts_path.py relay ADDRESS PORT SERVER_PORT [MODE]
# An NTP relay on the path from ADDRESS:PORT to 127.0.0.1:SERVER_PORT. MODE: pass (default);
# forge (first a reply of its own, an hour ahead, echoing the request but unauthenticated); icmp
# (first an ICMP parameter problem about the request, as a router would send it).
#   nts_path.py ke PORT CERT KEY MODE [ADDRESS]
# A key exchange server on ADDRESS:PORT (127.0.0.1), which also listens for NTP on
# 127.0.0.1:123. MODE: silent (accepts and says nothing); no_alpn (selects no ALPN protocol, and
# would answer a whole response); tickets (session tickets without end, then an Error record).
import select
import socket
import ssl
import struct
import sys
import time

RECORDS = {  # each a whole response: type (critical), length, body; End of Message last
    "error": bytes.fromhex("80020002 0001 80000000"),
    "no_alpn": bytes.fromhex("80010002 0000 80040002 000f 00050004 c00c1e00 80000000"),
}


def ntp(seconds):  # Unix seconds as an NTP timestamp
    return int((seconds + 2208988800) * 2**32).to_bytes(8, "big")


def unique_id(request):  # the first extension field, the Unique Identifier
    return request[48:48 + int.from_bytes(request[50:52], "big")]


def checksum(data):  # the Internet checksum
    total = sum(struct.unpack(f"!{len(data) // 2}H", data))
    total = (total >> 16) + (total & 0xFFFF)
    return ~(total + (total >> 16)) & 0xFFFF


def parameter_problem(peer, address, port, length):
    # The request's IPv4 header and the first 8 bytes of its UDP datagram, quoted.
    quoted = struct.pack("!BBHHHBBH4s4s", 0x45, 0, 28 + length, 0, 0, 64, 17, 0,
                         socket.inet_aton(peer[0]), socket.inet_aton(address))
    quoted += struct.pack("!HHHH", peer[1], int(port), 8 + length, 0)
    message = bytes([12, 0, 0, 0, 0, 0, 0, 0]) + quoted
    message = message[:2] + checksum(message).to_bytes(2, "big") + message[4:]
    with socket.socket(socket.AF_INET, socket.SOCK_RAW, socket.IPPROTO_ICMP) as raw:
        raw.sendto(message, (peer[0], 0))


def relay(address, port, server_port, mode="pass"):
    client = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    client.bind((address, int(port)))
    upstream = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    upstream.connect(("127.0.0.1", int(server_port)))
    print("ready", flush=True)
    while True:
        request, peer = client.recvfrom(2048)
        print(peer[1], request.hex(), flush=True)
        echo = bytes([0x24, 1, 0, 0xEC]) + bytes(8) + b"GPS\0" + ntp(time.time() + 3600)
        echo += request[40:48] + ntp(time.time() + 3600) * 2 + unique_id(request)
        if mode == "forge":
            client.sendto(echo, peer)
        if mode == "icmp":
            parameter_problem(peer, address, port, len(request))
            time.sleep(0.01)
        upstream.send(request)
        client.sendto(upstream.recv(2048), peer)


def key_exchange(port, cert, key, mode, address="127.0.0.1"):
    ntp_port = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    ntp_port.bind(("127.0.0.1", 123))
    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind((address, int(port)))
    listener.listen()
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.minimum_version = ssl.TLSVersion.TLSv1_3
    context.load_cert_chain(cert, key)
    if mode != "no_alpn":
        context.set_alpn_protocols(["ntske/1"])
    if mode == "tickets":  # sent right after the handshake, for far longer than 5 s
        context.num_tickets = 3000000
    print("ready", flush=True)
    while True:
        ready, _, _ = select.select([ntp_port] + ([] if mode == "silent" else [listener]), [], [])
        if ntp_port in ready:
            request, peer = ntp_port.recvfrom(2048)
            print(peer[1], request.hex(), flush=True)
            continue
        connection, _ = listener.accept()
        connection.settimeout(5)
        try:
            with context.wrap_socket(connection, server_side=True) as tls:
                tls.recv(1024)
                tls.sendall(RECORDS.get(mode, RECORDS["error"]))
        except (OSError, ssl.SSLError):
            pass


{"relay": relay, "ke": key_exchange}[sys.argv[1]](*sys.argv[2:])
