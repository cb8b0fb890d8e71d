#pragma once

// The system's socket interface: Windows Sockets, or BSD sockets elsewhere.
#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#endif

#include <cstring>

#include "platform/sockets.hpp"

static_assert(sizeof(sockaddr_storage) <= sizeof(NetAddress::storage));

// The system's view of an address held in a NetAddress.
inline sockaddr_storage system_address(const NetAddress& address) {
    sockaddr_storage system{};
    std::memcpy(&system, address.storage, sizeof system);
    return system;
}
inline const sockaddr* as_sockaddr(const NetAddress& address) {
    return reinterpret_cast<const sockaddr*>(address.storage);
}
inline bool is_ipv6(const NetAddress& address) {
    return system_address(address).ss_family == AF_INET6;
}

// All local addresses of the peer's family (IPv4 when the peer is not set), with the port.
NetAddress any_address(const NetAddress& peer, uint16_t port);

// The tries of address_from_host_name, each as long as the resolver takes; each system bounds
// them in its own way.
bool host_name_tries(const char* name, uint16_t port, NetAddress* address);
