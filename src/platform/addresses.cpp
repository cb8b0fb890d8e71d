#include "platform/socket_headers.hpp"

#include <cstdio>

namespace {

template <typename Address> NetAddress held(const Address& system) {
    NetAddress address{};
    std::memcpy(address.storage, &system, sizeof system);
    address.length = static_cast<int>(sizeof system);
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
    if (family == AF_INET) {
        sockaddr_in ipv4{};
        std::memcpy(&ipv4, found->ai_addr, sizeof ipv4);
        ipv4.sin_port = htons(port);
        *address = held(ipv4);
    } else {
        sockaddr_in6 ipv6{};
        std::memcpy(&ipv6, found->ai_addr, sizeof ipv6);
        ipv6.sin6_port = htons(port);
        *address = held(ipv6);
    }
    freeaddrinfo(found);
    return true;
}

} // namespace

NetAddress any_address(const NetAddress& peer, uint16_t port) {
    if (!is_ipv6(peer)) {
        sockaddr_in any{};
        any.sin_family = AF_INET;
        any.sin_port = htons(port);
        any.sin_addr.s_addr = htonl(INADDR_ANY);
        return held(any);
    }
    sockaddr_in6 any{};
    any.sin6_family = AF_INET6;
    any.sin6_port = htons(port);
    any.sin6_addr = in6addr_any;
    return held(any);
}

bool address_from_dotted(const char* text, uint16_t port, NetAddress* address) {
    sockaddr_in ipv4{};
    ipv4.sin_family = AF_INET;
    ipv4.sin_port = htons(port);
    ipv4.sin_addr.s_addr = inet_addr(text);
    if (ipv4.sin_addr.s_addr == INADDR_NONE) {
        return false;
    }
    *address = held(ipv4);
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

bool host_name_tries(const char* name, uint16_t port, NetAddress* address) {
    // First among the families this machine has addresses of, loopback aside (an IPv6-only
    // machine cannot reach a name's IPv4 address); a machine with loopback only has none.
    return first_address(name, AF_INET, AI_ADDRCONFIG, port, address) ||
           first_address(name, AF_INET6, AI_ADDRCONFIG, port, address) ||
           first_address(name, AF_INET, 0, port, address) ||
           first_address(name, AF_INET6, 0, port, address);
}

bool is_address_literal(const char* name) {
    NetAddress unused{};
    return is_ipv6_literal(name) || address_from_dotted(name, 0, &unused);
}

bool resolve_host(const char* name, uint16_t port, NetAddress* address) {
    if (!is_address_literal(name)) {
        return address_from_host_name(name, port, address);
    }
    return is_ipv6_literal(name) ? address_from_ipv6_literal(name, port, address)
                                 : address_from_dotted(name, port, address);
}

size_t address_bytes(const NetAddress& address, uint8_t bytes[16]) {
    const sockaddr_storage system = system_address(address);
    if (system.ss_family == AF_INET6) {
        std::memcpy(bytes, &reinterpret_cast<const sockaddr_in6&>(system).sin6_addr, 16);
        return 16;
    }
    std::memcpy(bytes, &reinterpret_cast<const sockaddr_in&>(system).sin_addr, 4);
    return 4;
}

void address_text(const NetAddress& address, char* text, size_t size) {
    if (getnameinfo(as_sockaddr(address), static_cast<socklen_t>(address.length), text,
                    static_cast<socklen_t>(size), nullptr, 0, NI_NUMERICHOST) != 0) {
        snprintf(text, size, "?");
    }
}

uint16_t address_port(const NetAddress& address) {
    const sockaddr_storage system = system_address(address);
    return ntohs(system.ss_family == AF_INET6
                     ? reinterpret_cast<const sockaddr_in6&>(system).sin6_port
                     : reinterpret_cast<const sockaddr_in&>(system).sin_port);
}

bool addresses_equal(const NetAddress& a, const NetAddress& b) {
    const sockaddr_storage first = system_address(a);
    const sockaddr_storage second = system_address(b);
    if (first.ss_family != second.ss_family) {
        return false;
    }
    if (first.ss_family == AF_INET) {
        const auto& one = reinterpret_cast<const sockaddr_in&>(first);
        const auto& other = reinterpret_cast<const sockaddr_in&>(second);
        return one.sin_port == other.sin_port && one.sin_addr.s_addr == other.sin_addr.s_addr;
    }
    if (first.ss_family == AF_INET6) {
        const auto& one = reinterpret_cast<const sockaddr_in6&>(first);
        const auto& other = reinterpret_cast<const sockaddr_in6&>(second);
        return one.sin6_port == other.sin6_port &&
               std::memcmp(&one.sin6_addr, &other.sin6_addr, sizeof one.sin6_addr) == 0 &&
               one.sin6_scope_id == other.sin6_scope_id;
    }
    return false;
}

bool address_is_ipv6(const NetAddress& address) {
    return is_ipv6(address);
}
