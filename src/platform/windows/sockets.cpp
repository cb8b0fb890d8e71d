#include "platform/socket_headers.hpp"

namespace {

SOCKET handle(NetSocket socket) {
    return static_cast<SOCKET>(socket);
}

} // namespace

bool sockets_startup() {
    WSADATA data{};
    return WSAStartup(MAKEWORD(1, 1), &data) == 0;
}

void sockets_cleanup() {
    WSACleanup();
}

NetSocket udp_socket_open(const NetAddress& peer) {
    const SOCKET opened = socket(is_ipv6(peer) ? AF_INET6 : AF_INET, SOCK_DGRAM, 0);
    return opened == INVALID_SOCKET ? NO_SOCKET : static_cast<NetSocket>(opened);
}

bool udp_socket_bind_any(NetSocket socket, const NetAddress& peer, uint16_t port) {
    const NetAddress any = any_address(peer, port);
    // Only the IPv6 port: an IPv4 client on the same port is a different socket.
    const DWORD only = 1;
    return (!is_ipv6(peer) || setsockopt(handle(socket), IPPROTO_IPV6, IPV6_V6ONLY,
                                         reinterpret_cast<const char*>(&only), sizeof only) == 0) &&
           bind(handle(socket), as_sockaddr(any), any.length) == 0;
}

void socket_close(NetSocket socket) {
    closesocket(handle(socket));
}

bool udp_connect(NetSocket socket, const NetAddress& peer) {
    return connect(handle(socket), as_sockaddr(peer), peer.length) == 0;
}

bool udp_send(NetSocket socket, const void* data, size_t size) {
    const int sent =
        send(handle(socket), static_cast<const char*>(data), static_cast<int>(size), 0);
    return sent == static_cast<int>(size);
}

// Windows stamps no datagram as it leaves: T1 stays the clock read right before the send.
bool udp_sent_stamp(NetSocket /*socket*/, UnixNanoseconds* /*sent*/) {
    return false;
}

WaitResult udp_wait_readable(NetSocket socket, int timeout_ms) {
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(handle(socket), &readable);
    timeval wait{timeout_ms / 1000, timeout_ms % 1000 * 1000};
    const int ready = select(0, &readable, nullptr, nullptr, &wait);
    if (ready == SOCKET_ERROR) {
        return SOCKET_WAIT_FAILED;
    }
    if (ready == 0) {
        return SOCKET_TIMED_OUT;
    }
    return FD_ISSET(handle(socket), &readable) ? SOCKET_READY : SOCKET_NOT_READY;
}

// Windows keeps no receive time of a datagram: the clock is read right after the receive.
long udp_receive(NetSocket socket, void* data, size_t capacity, NetAddress* from,
                 UnixNanoseconds* arrived) {
    int length = sizeof from->storage;
    const int got = recvfrom(handle(socket), static_cast<char*>(data), static_cast<int>(capacity),
                             0, reinterpret_cast<sockaddr*>(from->storage), &length);
    *arrived = wall_clock_read();
    from->length = length;
    if (got != SOCKET_ERROR) {
        return got;
    }
    switch (WSAGetLastError()) {
    // A longer datagram fills the buffer and fails: it is told as cut.
    case WSAEMSGSIZE:
        return static_cast<long>(capacity) + 1;
    // What ICMP messages become: a port unreachable is a reset on Windows and a refusal under
    // Wine, a time exceeded a network reset; the rest as their names say.
    case WSAECONNRESET:
    case WSAECONNREFUSED:
    case WSAENETRESET:
    case WSAENETUNREACH:
    case WSAEHOSTUNREACH:
    case WSAEHOSTDOWN:
    case WSAENOPROTOOPT:
    case WSAEOPNOTSUPP:
    case WSAEACCES:
        return RECEIVE_PASSED_OVER;
    default:
        return RECEIVE_FAILED;
    }
}

namespace {

const char* connect_failure(int error) {
    switch (error) {
    case WSAECONNREFUSED:
        return "Connection refused";
    case WSAENETUNREACH:
    case WSAEHOSTUNREACH:
        return "No route to host";
    default:
        return "the system refused the connection";
    }
}

} // namespace

NetSocket tcp_connect(const NetAddress& peer, int timeout_ms, const char** why) {
    const SOCKET opened = socket(is_ipv6(peer) ? AF_INET6 : AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (opened == INVALID_SOCKET) {
        *why = "no socket";
        return NO_SOCKET;
    }
    u_long nonblocking = 1;
    const BOOL on = TRUE;
    ioctlsocket(opened, FIONBIO, &nonblocking);
    setsockopt(opened, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
    int error = 0;
    if (connect(opened, as_sockaddr(peer), peer.length) != 0 &&
        (error = WSAGetLastError()) != WSAEWOULDBLOCK) {
        *why = connect_failure(error);
    } else if (socket_wait(static_cast<NetSocket>(opened), true, timeout_ms) != SOCKET_READY) {
        *why = "no answer within the time limit";
    } else {
        int size = sizeof error;
        getsockopt(opened, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &size);
        if (error == 0) {
            return static_cast<NetSocket>(opened);
        }
        *why = connect_failure(error);
    }
    closesocket(opened);
    return NO_SOCKET;
}

// A failed connect is told in the exception set, not the writable one.
WaitResult socket_wait(NetSocket socket, bool writable, int timeout_ms) {
    fd_set ready;
    fd_set failed;
    FD_ZERO(&ready);
    FD_ZERO(&failed);
    FD_SET(handle(socket), &ready);
    FD_SET(handle(socket), &failed);
    timeval wait{timeout_ms / 1000, timeout_ms % 1000 * 1000};
    const int count =
        select(0, writable ? nullptr : &ready, writable ? &ready : nullptr, &failed, &wait);
    if (count == SOCKET_ERROR) {
        return SOCKET_WAIT_FAILED;
    }
    return count == 0 ? SOCKET_TIMED_OUT : SOCKET_READY;
}
