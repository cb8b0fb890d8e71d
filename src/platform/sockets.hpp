#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/wall_clock.hpp"

// A socket address of either family as the system lays it out, with its length.
struct NetAddress {
    alignas(8) unsigned char storage[128];
    int length;
};

// A socket, datagram or stream: a descriptor, or a Windows SOCKET, held in one signed type.
using NetSocket = intptr_t;
constexpr NetSocket NO_SOCKET = -1;

enum WaitResult { SOCKET_READY, SOCKET_TIMED_OUT, SOCKET_WAIT_FAILED, SOCKET_NOT_READY };

// Windows Sockets 1.1 is started and cleaned up; POSIX sockets need neither, and there both
// always succeed.
bool sockets_startup();
void sockets_cleanup();

// A new datagram socket of the peer's family (IPv4 when the peer is not set), or NO_SOCKET.
// Where the system can, it has each datagram stamped with its arrival time.
NetSocket udp_socket_open(const NetAddress& peer);
// Binds to the port on all local addresses of the peer's family (IPv6 ones only for IPv6).
bool udp_socket_bind_any(NetSocket socket, const NetAddress& peer, uint16_t port);
// Closes a socket of either kind.
void socket_close(NetSocket socket);

// A dotted IPv4 address as inet_addr reads it; 255.255.255.255 is not an address.
bool address_from_dotted(const char* text, uint16_t port, NetAddress* address);
// An IPv6 address in its text form, with an optional %zone.
bool is_ipv6_literal(const char* text);
bool address_from_ipv6_literal(const char* text, uint16_t port, NetAddress* address);
// The first address of a host name in the families this machine has addresses of (loopback
// aside), IPv4 before IPv6; where that finds none, the first IPv4 address, then the first IPv6.
// The look-up ends within NAME_LOOKUP_LIMIT_MS: a resolver that has not answered by then gives
// no address.
constexpr int NAME_LOOKUP_LIMIT_MS = 5000;
bool address_from_host_name(const char* name, uint16_t port, NetAddress* address);
// A host as the user or a server names it: an IPv6 literal, a dotted IPv4 address or a host
// name, with the port.
bool resolve_host(const char* name, uint16_t port, NetAddress* address);
// Whether resolve_host reads the name as an address rather than looking it up.
bool is_address_literal(const char* name);
// The address's own bytes, 4 or 16 of them, in network order; returns how many.
size_t address_bytes(const NetAddress& address, uint8_t bytes[16]);
bool address_is_ipv6(const NetAddress& address);
// Same family, address and port.
bool addresses_equal(const NetAddress& a, const NetAddress& b);
// The address as numeric text, with its zone, in ADDRESS_TEXT_SIZE bytes (an IPv6 one without
// brackets), and its port.
constexpr size_t ADDRESS_TEXT_SIZE = 80;
void address_text(const NetAddress& address, char* text, size_t size);
uint16_t address_port(const NetAddress& address);

// Makes the peer the socket's only correspondent: the system then discards every datagram from
// anyone else before it is queued.
bool udp_connect(NetSocket socket, const NetAddress& peer);
bool udp_send(NetSocket socket, const void* data, size_t size);
// The system's transmit time of the one datagram sent on the socket: on Linux the kernel's
// software stamp, as it left the socket layer, waited for at most TRANSMIT_STAMP_WAIT_MS. False,
// leaving `sent` as it was, where the system gives none.
constexpr int TRANSMIT_STAMP_WAIT_MS = 10;
bool udp_sent_stamp(NetSocket socket, UnixNanoseconds* sent);
// Waits at most timeout_ms for a datagram or an error to read.
WaitResult udp_wait_readable(NetSocket socket, int timeout_ms);

// A TCP connection to the peer made within timeout_ms, non-blocking and with Nagle's algorithm
// off (a request held back waiting for more to send costs 40 ms), or NO_SOCKET with why in
// words.
NetSocket tcp_connect(const NetAddress& peer, int timeout_ms, const char** why);
// Waits at most timeout_ms until the socket can be read, or written when `writable`.
WaitResult socket_wait(NetSocket socket, bool writable, int timeout_ms);

// What udp_receive returns when no datagram was received.
constexpr long RECEIVE_FAILED = -1;
// Nothing the exchange takes: an error that an ICMP message put on the socket (unreachable,
// prohibited, parameter problem, too big...), which anyone can forge, so it says nothing about
// the server; or, on Linux, a transmit stamp that came after its wait.
constexpr long RECEIVE_PASSED_OVER = -2;
// Receives one datagram, cut to capacity, with its sender and the moment it arrived: the
// system's receive time of the datagram where it keeps one (Linux), else the clock read right
// after the receive. Returns its length, which is more than capacity when the datagram was cut
// (the whole length where the system tells it), or one of the two above.
long udp_receive(NetSocket socket, void* data, size_t capacity, NetAddress* from,
                 UnixNanoseconds* arrived);
