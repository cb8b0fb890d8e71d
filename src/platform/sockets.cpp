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

} // namespace

bool sockets_startup() {
    return true;
}

void sockets_cleanup() {}

int udp_socket_open() {
    return socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
}

bool udp_socket_bind_any(int socket, uint16_t port) {
    const NetAddress any = ipv4_address(in_addr{htonl(INADDR_ANY)}, port);
    return bind(socket, reinterpret_cast<const sockaddr*>(&any.storage), any.length) == 0;
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

bool address_from_host_name(const char* name, uint16_t port, NetAddress* address) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(name, nullptr, &hints, &found) != 0 || found == nullptr) {
        return false;
    }
    sockaddr_in first{};
    std::memcpy(&first, found->ai_addr, sizeof first);
    freeaddrinfo(found);
    *address = ipv4_address(first.sin_addr, port);
    return true;
}

bool addresses_equal(const NetAddress& a, const NetAddress& b) {
    if (a.storage.ss_family != AF_INET || b.storage.ss_family != AF_INET) {
        return false;
    }
    sockaddr_in first{};
    sockaddr_in second{};
    std::memcpy(&first, &a.storage, sizeof first);
    std::memcpy(&second, &b.storage, sizeof second);
    return first.sin_port == second.sin_port && first.sin_addr.s_addr == second.sin_addr.s_addr;
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
