#include <cerrno>
#include <cstring>
#include <netinet/tcp.h>
#include <poll.h>
#include <unistd.h>

#include "platform/monotonic_clock.hpp"
#include "platform/posix/stamps.hpp"
#include "platform/socket_headers.hpp"

namespace {

// Room for the control messages of a receive (SO_TIMESTAMPNS, and the software stamp that
// SO_TIMESTAMPING adds) or of an error-queue message (the stamps and the extended error).
constexpr size_t CONTROL_SIZE = 256;
// The most messages read off the error queue at once: stamps only (no IP_RECVERR asks for ICMP
// errors), and one datagram is sent.
constexpr int ERROR_QUEUE_MOST = 8;

// Whether the socket opened last has its datagrams stamped as they leave.
bool stamps_sent = false;

// The errors that the system turns ICMP messages into (net, host, protocol or port unreachable,
// prohibited, host unknown or isolated, too big, source route failed, parameter problem).
bool from_icmp(int error) {
    switch (error) {
    case ECONNREFUSED:
    case EHOSTUNREACH:
    case ENETUNREACH:
    case EHOSTDOWN:
    case ENONET:
    case ENOPROTOOPT:
    case EMSGSIZE:
    case EOPNOTSUPP:
    case EPROTO:
    case EACCES:
        return true;
    default:
        return false;
    }
}

// One message of the error queue, without waiting: a transmit stamp, as TSONLY brings no data.
bool read_error_queue(int fd, UnixNanoseconds* sent) {
    alignas(cmsghdr) char control[CONTROL_SIZE];
    msghdr message{};
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    if (recvmsg(fd, &message, MSG_ERRQUEUE | MSG_DONTWAIT) < 0) {
        return false;
    }
    // The request is the one datagram the socket sends: its key is 0.
    if (!transmit_stamp(&message, 0, sent)) {
        *sent = 0;
    }
    return true;
}

} // namespace

bool sockets_startup() {
    return true;
}

void sockets_cleanup() {}

NetSocket udp_socket_open(const NetAddress& peer) {
    const int fd = socket(is_ipv6(peer) ? AF_INET6 : AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    // Without the stamps a datagram's arrival is read from the clock after the receive, and the
    // request's departure before the send.
    const int on = 1;
    setsockopt(fd, SOL_SOCKET, SO_TIMESTAMPNS, &on, sizeof on);
    stamps_sent = setsockopt(fd, SOL_SOCKET, SO_TIMESTAMPING, &TRANSMIT_STAMP_FLAGS,
                             sizeof TRANSMIT_STAMP_FLAGS) == 0;
    return fd;
}

bool udp_socket_bind_any(NetSocket socket, const NetAddress& peer, uint16_t port) {
    const int fd = static_cast<int>(socket);
    const NetAddress any = any_address(peer, port);
    // Only the IPv6 port: an IPv4 client on the same port is a different socket.
    const int only = 1;
    return (!is_ipv6(peer) || setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &only, sizeof only) == 0) &&
           bind(fd, as_sockaddr(any), static_cast<socklen_t>(any.length)) == 0;
}

void socket_close(NetSocket socket) {
    close(static_cast<int>(socket));
}

bool udp_connect(NetSocket socket, const NetAddress& peer) {
    return connect(static_cast<int>(socket), as_sockaddr(peer),
                   static_cast<socklen_t>(peer.length)) == 0;
}

bool udp_send(NetSocket socket, const void* data, size_t size) {
    return send(static_cast<int>(socket), data, size, 0) == static_cast<ssize_t>(size);
}

bool udp_sent_stamp(NetSocket socket, UnixNanoseconds* sent) {
    const int fd = static_cast<int>(socket);
    const int64_t deadline = monotonic_milliseconds() + TRANSMIT_STAMP_WAIT_MS;
    for (int i = 0; stamps_sent && i < ERROR_QUEUE_MOST; ++i) {
        UnixNanoseconds stamp = 0;
        if (read_error_queue(fd, &stamp)) {
            if (stamp != 0) {
                *sent = stamp;
                return true;
            }
            continue;
        }
        const int64_t left = deadline - monotonic_milliseconds();
        // With no event asked for, poll reports only an error: the queue no longer empty.
        pollfd watched{fd, 0, 0};
        if (errno != EAGAIN || left <= 0 || poll(&watched, 1, static_cast<int>(left)) <= 0) {
            return false;
        }
    }
    return false;
}

WaitResult udp_wait_readable(NetSocket socket, int timeout_ms) {
    pollfd watched{static_cast<int>(socket), POLLIN, 0};
    const int ready = poll(&watched, 1, timeout_ms);
    if (ready < 0) {
        return SOCKET_WAIT_FAILED;
    }
    if (ready == 0) {
        return SOCKET_TIMED_OUT;
    }
    // An error waits to be read like a datagram.
    return (watched.revents & (POLLIN | POLLERR)) != 0 ? SOCKET_READY : SOCKET_NOT_READY;
}

long udp_receive(NetSocket socket, void* data, size_t capacity, NetAddress* from,
                 UnixNanoseconds* arrived) {
    iovec buffer{data, capacity};
    alignas(cmsghdr) char control[CONTROL_SIZE];
    msghdr message{};
    message.msg_name = from->storage;
    message.msg_namelen = sizeof from->storage;
    message.msg_iov = &buffer;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    // MSG_TRUNC: the whole length of a datagram longer than the buffer, so that it is known cut.
    // Not waiting: what made the socket ready may have been a late transmit stamp alone, which
    // is read off its queue and passed over.
    const int fd = static_cast<int>(socket);
    const ssize_t got = recvmsg(fd, &message, MSG_TRUNC | MSG_DONTWAIT);
    if (got < 0 && errno == EAGAIN) {
        UnixNanoseconds late = 0;
        for (int i = 0; i < ERROR_QUEUE_MOST && read_error_queue(fd, &late); ++i) {
        }
        return RECEIVE_PASSED_OVER;
    }
    if (got < 0) {
        return from_icmp(errno) ? RECEIVE_PASSED_OVER : RECEIVE_FAILED;
    }
    if (!receive_stamp(&message, arrived)) {
        *arrived = wall_clock_read();
    }
    from->length = static_cast<int>(message.msg_namelen);
    return got;
}

NetSocket tcp_connect(const NetAddress& peer, int timeout_ms, const char** why) {
    const int fd =
        socket(is_ipv6(peer) ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    const int on = 1;
    if (fd < 0 || setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on) != 0 ||
        (connect(fd, as_sockaddr(peer), static_cast<socklen_t>(peer.length)) != 0 &&
         errno != EINPROGRESS)) {
        *why = strerror(errno);
    } else if (socket_wait(fd, true, timeout_ms) != SOCKET_READY) {
        *why = "no answer within the time limit";
    } else {
        int error = 0;
        socklen_t size = sizeof error;
        getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size);
        if (error == 0) {
            return fd;
        }
        *why = strerror(error);
    }
    if (fd >= 0) {
        close(fd);
    }
    return NO_SOCKET;
}

WaitResult socket_wait(NetSocket socket, bool writable, int timeout_ms) {
    pollfd watched{static_cast<int>(socket), static_cast<short>(writable ? POLLOUT : POLLIN), 0};
    const int ready = poll(&watched, 1, timeout_ms);
    if (ready < 0) {
        return SOCKET_WAIT_FAILED;
    }
    return ready == 0 ? SOCKET_TIMED_OUT : SOCKET_READY;
}
