#include <poll.h>
#include <unistd.h>

#include "platform/socket_headers.hpp"

bool sockets_startup() {
    return true;
}

void sockets_cleanup() {}

UdpSocket udp_socket_open(const NetAddress& peer) {
    return socket(is_ipv6(peer) ? AF_INET6 : AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
}

bool udp_socket_bind_any(UdpSocket socket, const NetAddress& peer, uint16_t port) {
    const int fd = static_cast<int>(socket);
    const NetAddress any = any_address(peer, port);
    // Only the IPv6 port: an IPv4 client on the same port is a different socket.
    const int only = 1;
    return (!is_ipv6(peer) || setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &only, sizeof only) == 0) &&
           bind(fd, as_sockaddr(any), static_cast<socklen_t>(any.length)) == 0;
}

void udp_socket_close(UdpSocket socket) {
    close(static_cast<int>(socket));
}

bool udp_send_to(UdpSocket socket, const void* data, size_t size, const NetAddress& to) {
    const ssize_t sent = sendto(static_cast<int>(socket), data, size, 0, as_sockaddr(to),
                                static_cast<socklen_t>(to.length));
    return sent == static_cast<ssize_t>(size);
}

WaitResult udp_wait_readable(UdpSocket socket, int timeout_ms) {
    pollfd watched{static_cast<int>(socket), POLLIN, 0};
    const int ready = poll(&watched, 1, timeout_ms);
    if (ready < 0) {
        return SOCKET_WAIT_FAILED;
    }
    if (ready == 0) {
        return SOCKET_TIMED_OUT;
    }
    return (watched.revents & POLLIN) != 0 ? SOCKET_READY : SOCKET_NOT_READY;
}

long udp_receive_from(UdpSocket socket, void* data, size_t capacity, NetAddress* from) {
    socklen_t length = sizeof from->storage;
    const long got = recvfrom(static_cast<int>(socket), data, capacity, 0,
                              reinterpret_cast<sockaddr*>(from->storage), &length);
    from->length = static_cast<int>(length);
    return got;
}
