#pragma once

#include <cstddef>
#include <cstdint>
#include <sys/socket.h>

// A socket address of any family, with its length.
struct NetAddress {
    sockaddr_storage storage;
    socklen_t length;
};

enum WaitResult { WAIT_READY, WAIT_TIMEOUT, WAIT_FAILED, WAIT_NOT_READY };

// POSIX sockets need no library start-up or clean-up; these keep the exchange's order of
// steps and always succeed.
bool sockets_startup();
void sockets_cleanup();

// Returns the descriptor of a new datagram socket of the family (AF_INET, AF_INET6), or -1.
int udp_socket_open(int family);
// Binds to the port on all local addresses of the socket's family (IPv6 ones only for IPv6).
bool udp_socket_bind_any(int socket, int family, uint16_t port);
void udp_socket_close(int socket);

// A dotted IPv4 address as inet_addr reads it; 255.255.255.255 is not an address.
bool address_from_dotted(const char* text, uint16_t port, NetAddress* address);
// An IPv6 address in its text form, with an optional %zone.
bool is_ipv6_literal(const char* text);
bool address_from_ipv6_literal(const char* text, uint16_t port, NetAddress* address);
// The first IPv4 address of a host name; only when it has none, its first IPv6 address.
bool address_from_host_name(const char* name, uint16_t port, NetAddress* address);
// Same family, address and port.
bool addresses_equal(const NetAddress& a, const NetAddress& b);

bool udp_send_to(int socket, const void* data, size_t size, const NetAddress& to);
// Waits at most timeout_ms for the socket to become readable.
WaitResult udp_wait_readable(int socket, int timeout_ms);
// Receives one datagram, cut to capacity; returns its length in the buffer, or -1.
long udp_receive_from(int socket, void* data, size_t capacity, NetAddress* from);
