#include "test_server.hpp"

#include <arpa/inet.h>
#include <cmath>
#include <cstring>
#include <ctime>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr double EPOCH_OFFSET = 2208988800.0;
constexpr double ERA = 4294967296.0;

int bound_socket(const std::string& address, uint16_t port) {
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(port);
    inet_pton(AF_INET, address.c_str(), &local.sin_addr);
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
        std::abort();
    }
    return fd;
}

uint16_t local_port(int fd) {
    sockaddr_in local{};
    socklen_t length = sizeof local;
    getsockname(fd, reinterpret_cast<sockaddr*>(&local), &length);
    return ntohs(local.sin_port);
}

void sleep_seconds(double seconds) {
    if (seconds > 0) {
        const timespec pause{static_cast<time_t>(seconds),
                             static_cast<long>(std::fmod(seconds, 1.0) * 1e9)};
        nanosleep(&pause, nullptr);
    }
}

} // namespace

double real_ntp_seconds() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return static_cast<double>(now.tv_sec) + EPOCH_OFFSET + now.tv_nsec / 1e9;
}

void put_ntp_timestamp(uint8_t* bytes, double seconds) {
    seconds -= std::floor(seconds / ERA) * ERA;
    const auto whole = static_cast<uint32_t>(seconds);
    const auto fraction = static_cast<uint32_t>((seconds - whole) * ERA);
    for (int i = 0; i < 4; ++i) {
        bytes[i] = static_cast<uint8_t>(whole >> (24 - 8 * i));
        bytes[4 + i] = static_cast<uint8_t>(fraction >> (24 - 8 * i));
    }
}

double get_ntp_timestamp(const uint8_t* bytes) {
    uint32_t whole = 0;
    uint32_t fraction = 0;
    for (int i = 0; i < 4; ++i) {
        whole = whole << 8 | bytes[i];
        fraction = fraction << 8 | bytes[4 + i];
    }
    return whole + fraction / ERA;
}

TestServer::TestServer(ServerBehaviour behaviour, const std::string& address, uint16_t port)
    : behaviour_(std::move(behaviour)), address_(address) {
    socket_ = bound_socket(address, port);
    port_ = local_port(socket_);
    if (behaviour_.reply_from_other_port) {
        other_socket_ = bound_socket(address, 0);
    }
    thread_ = std::thread([this] { serve(); });
}

TestServer::~TestServer() {
    stop_ = true;
    thread_.join();
    close(socket_);
    if (other_socket_ >= 0) {
        close(other_socket_);
    }
}

std::string TestServer::endpoint() const {
    return address_ + ":" + std::to_string(port_);
}

std::vector<ReceivedRequest> TestServer::requests() {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
}

void TestServer::serve() {
    while (!stop_) {
        pollfd watched{socket_, POLLIN, 0};
        if (poll(&watched, 1, 20) <= 0) {
            continue;
        }
        uint8_t request[512];
        sockaddr_storage peer{};
        socklen_t peer_length = sizeof peer;
        const long length = recvfrom(socket_, request, sizeof request, 0,
                                     reinterpret_cast<sockaddr*>(&peer), &peer_length);
        if (length < 0) {
            continue;
        }
        {
            std::lock_guard<std::mutex> lock(mutex_);
            const auto* source = reinterpret_cast<const sockaddr_in*>(&peer);
            requests_.push_back({{request, request + length}, ntohs(source->sin_port)});
        }
        if (!behaviour_.silent) {
            answer(request, length, &peer, peer_length);
        }
    }
}

void TestServer::answer(const uint8_t* request, long length, const void* peer,
                        unsigned peer_length) {
    const double received = real_ntp_seconds();
    const double anchor =
        behaviour_.time_from_request && length >= 48 ? get_ntp_timestamp(request + 40) : received;
    const auto server_now = [&] {
        return anchor + behaviour_.clock_offset + (real_ntp_seconds() - received);
    };
    std::vector<uint8_t> reply(48, 0);
    sleep_seconds(behaviour_.network_delay / 2);
    reply[0] = 0x1C; // LI 0, VN 3, Mode 4
    reply[1] = 2;
    reply[2] = length > 2 ? request[2] : 6;
    reply[3] = 0xEC;
    reply[5] = 0x01; // root delay and dispersion of 1/256 s
    reply[9] = 0x01;
    const uint8_t upstream[4] = {127, 0, 0, 9};
    std::memcpy(&reply[12], upstream, 4);
    put_ntp_timestamp(&reply[16], server_now() - 16);
    if (behaviour_.echo_originate && length >= 48) {
        std::memcpy(&reply[24], request + 40, 8);
    }
    put_ntp_timestamp(&reply[32], server_now());
    put_ntp_timestamp(&reply[40], server_now());
    for (const auto& [offset, value] : behaviour_.patches) {
        reply[offset] = value;
    }
    reply.resize(behaviour_.length, 0);
    if (!behaviour_.raw.empty()) {
        reply = behaviour_.raw;
    }
    sleep_seconds(behaviour_.network_delay / 2);
    const int from = other_socket_ >= 0 ? other_socket_ : socket_;
    sendto(from, reply.data(), reply.size(), 0, static_cast<const sockaddr*>(peer), peer_length);
}
