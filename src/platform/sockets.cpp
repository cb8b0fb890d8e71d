#include "platform/sockets.hpp"

#include <arpa/inet.h>
#include <cstring>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <unistd.h>

namespace {

NetAddress ipv4_address(in_addr host, uint16_t port) {
    NetAddress address{};
    sockaddr_in ipv4{};
    ipv4.sin_family = AF_INET;
    ipv4.sin_port = htons(port);
    ipv4.sin_addr = host;
    std::memcpy(&address.storage, &ipv4, sizeof ipv4);
    address.length = sizeof ipv4;
    return address;
}

// The first address of the family that getaddrinfo gives for the name, with the port.
bool first_address(const char* name, int family, int flags, uint16_t port, NetAddress* address) {
    addrinfo hints{};
    hints.ai_family = family;
    hints.ai_socktype = SOCK_DGRAM;
    hints.ai_flags = flags;
    addrinfo* found = nullptr;
    if (getaddrinfo(name, nullptr, &hints, &found) != 0 || found == nullptr) {
        return false;
    }
    NetAddress result{};
    std::memcpy(&result.storage, found->ai_addr, found->ai_addrlen);
    result.length = found->ai_addrlen;
    freeaddrinfo(found);
    if (family == AF_INET) {
        reinterpret_cast<sockaddr_in*>(&result.storage)->sin_port = htons(port);
    } else {
        reinterpret_cast<sockaddr_in6*>(&result.storage)->sin6_port = htons(port);
    }
    *address = result;
    return true;
}

} // namespace

bool sockets_startup() {
    return true;
}

void sockets_cleanup() {}

int udp_socket_open(int family) {
    return socket(family, SOCK_DGRAM | SOCK_CLOEXEC, 0);
}

bool udp_socket_bind_any(int socket, int family, uint16_t port) {
    if (family != AF_INET6) {
        const NetAddress any = ipv4_address(in_addr{htonl(INADDR_ANY)}, port);
        return bind(socket, reinterpret_cast<const sockaddr*>(&any.storage), any.length) == 0;
    }
    // Only the IPv6 port: an IPv4 client on the same port is a different socket.
    const int only = 1;
    sockaddr_in6 any{};
    any.sin6_family = AF_INET6;
    any.sin6_port = htons(port);
    any.sin6_addr = in6addr_any;
    return setsockopt(socket, IPPROTO_IPV6, IPV6_V6ONLY, &only, sizeof only) == 0 &&
           bind(socket, reinterpret_cast<const sockaddr*>(&any), sizeof any) == 0;
}

void udp_socket_close(int socket) {
    close(socket);
}

bool address_from_dotted(const char* text, uint16_t port, NetAddress* address) {
    in_addr host{};
    if (inet_aton(text, &host) == 0 || host.s_addr == htonl(INADDR_NONE)) {
        return false;
    }
    *address = ipv4_address(host, port);
    return true;
}

bool is_ipv6_literal(const char* text) {
    // The zone of a link-local address (fe80::1%eth0) is not part of the address.
    const size_t length = strcspn(text, "%");
    char address[INET6_ADDRSTRLEN] = {};
    if (length >= sizeof address) {
        return false;
    }
    std::memcpy(address, text, length);
    in6_addr parsed{};
    return inet_pton(AF_INET6, address, &parsed) == 1;
}

bool address_from_ipv6_literal(const char* text, uint16_t port, NetAddress* address) {
    return first_address(text, AF_INET6, AI_NUMERICHOST, port, address);
}

bool address_from_host_name(const char* name, uint16_t port, NetAddress* address) {
    return first_address(name, AF_INET, 0, port, address) ||
           first_address(name, AF_INET6, 0, port, address);
}

bool addresses_equal(const NetAddress& a, const NetAddress& b) {
    if (a.storage.ss_family != b.storage.ss_family) {
        return false;
    }
    if (a.storage.ss_family == AF_INET) {
        sockaddr_in first{};
        sockaddr_in second{};
        std::memcpy(&first, &a.storage, sizeof first);
        std::memcpy(&second, &b.storage, sizeof second);
        return first.sin_port == second.sin_port && first.sin_addr.s_addr == second.sin_addr.s_addr;
    }
    if (a.storage.ss_family == AF_INET6) {
        sockaddr_in6 first{};
        sockaddr_in6 second{};
        std::memcpy(&first, &a.storage, sizeof first);
        std::memcpy(&second, &b.storage, sizeof second);
        return first.sin6_port == second.sin6_port &&
               std::memcmp(&first.sin6_addr, &second.sin6_addr, sizeof first.sin6_addr) == 0 &&
               first.sin6_scope_id == second.sin6_scope_id;
    }
    return false;
}

bool udp_send_to(int socket, const void* data, size_t size, const NetAddress& to) {
    const ssize_t sent =
        sendto(socket, data, size, 0, reinterpret_cast<const sockaddr*>(&to.storage), to.length);
    return sent == static_cast<ssize_t>(size);
}

WaitResult udp_wait_readable(int socket, int timeout_ms) {
    pollfd watched{socket, POLLIN, 0};
    const int ready = poll(&watched, 1, timeout_ms);
    if (ready < 0) {
        return WAIT_FAILED;
    }
    if (ready == 0) {
        return WAIT_TIMEOUT;
    }
    return (watched.revents & POLLIN) != 0 ? WAIT_READY : WAIT_NOT_READY;
}

long udp_receive_from(int socket, void* data, size_t capacity, NetAddress* from) {
    from->length = sizeof from->storage;
    return recvfrom(socket, data, capacity, 0, reinterpret_cast<sockaddr*>(&from->storage),
                    &from->length);
}
