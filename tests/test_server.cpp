#include "test_server.hpp"

#include <algorithm>
#include <arpa/inet.h>
#include <cmath>
#include <cstring>
#include <ctime>
#include <iomanip>
#include <poll.h>
#include <sstream>
#include <unistd.h>

namespace {

// IPv6 when the address has a colon.
int bound(const std::string& ip, uint16_t port) {
    sockaddr_in6 local{AF_INET6, htons(port), 0, {}, 0};
    sockaddr_in local4{AF_INET, htons(port), {}, {}};
    const bool v6 = ip.find(':') != std::string::npos;
    inet_pton(v6 ? AF_INET6 : AF_INET, ip.c_str(),
              v6 ? static_cast<void*>(&local.sin6_addr) : &local4.sin_addr);
    const int fd = socket(v6 ? AF_INET6 : AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    const auto* address =
        v6 ? reinterpret_cast<sockaddr*>(&local) : reinterpret_cast<sockaddr*>(&local4);
    if (bind(fd, address, v6 ? sizeof local : sizeof local4) != 0) {
        std::abort();
    }
    return fd;
}

// The port of an IPv4 or IPv6 socket address: at the same place in both.
uint16_t port_of(const sockaddr_storage& address) {
    return ntohs(reinterpret_cast<const sockaddr_in&>(address).sin_port);
}

void pause_for(double seconds) {
    const timespec pause{static_cast<time_t>(seconds), static_cast<long>(fmod(seconds, 1) * 1e9)};
    nanosleep(&pause, nullptr);
}

} // namespace

TestServer::TestServer(Behaviour behaviour, const std::string& ip, uint16_t wanted)
    : behaviour_(std::move(behaviour)), socket_(bound(ip, wanted)) {
    sockaddr_storage local{};
    socklen_t size = sizeof local;
    getsockname(socket_, reinterpret_cast<sockaddr*>(&local), &size);
    port = port_of(local);
    const bool v6 = ip.find(':') != std::string::npos;
    endpoint = (v6 ? "[" + ip + "]" : ip) + ":" + std::to_string(port);
    other_ = behaviour_.other_port ? bound(ip, 0) : -1;
    third_ = bound(ip, 0);
    thread_ = std::thread([this] { serve(); });
}

void TestServer::stop() {
    if (thread_.joinable()) {
        stopping_ = true;
        thread_.join();
        close(socket_);
        close(third_);
        if (other_ >= 0) {
            close(other_);
        }
    }
}

void TestServer::serve() {
    while (!stopping_) {
        pollfd watched{socket_, POLLIN, 0};
        uint8_t request[512];
        sockaddr_storage peer{};
        socklen_t size = sizeof peer;
        if (poll(&watched, 1, 20) == 1) {
            const long got = recvfrom(socket_, request, sizeof request, 0,
                                      reinterpret_cast<sockaddr*>(&peer), &size);
            requests.emplace_back(request, request + got);
            sources.push_back(port_of(peer));
            const int spoiled =
                behaviour_.spoil_every > 0 && ++served_ % behaviour_.spoil_every == 0
                    ? 1 + served_ / behaviour_.spoil_every % 2
                    : 0;
            if (spoiled == 2) {
                std::vector<uint8_t> garbage(static_cast<size_t>(rand() % 101));
                std::generate(garbage.begin(), garbage.end(), [] { return rand() & 0xFF; });
                sendto(socket_, garbage.data(), garbage.size(), 0,
                       reinterpret_cast<sockaddr*>(&peer), size);
            } else if (!behaviour_.silent && spoiled == 0) {
                answer(request, got, &peer, size);
            }
        }
    }
}

void TestServer::answer(const uint8_t* request, long length, const void* peer, unsigned size) {
    const double received = now_ntp();
    const double anchor = behaviour_.from_request ? get_ntp(request + 40) : received;
    const auto server_now = [&] { return anchor + behaviour_.offset + now_ntp() - received; };
    std::vector<uint8_t> reply = {0x1C, 2, request[2], 0xEC, 0, 0, 1, 0, 0, 0, 1, 0, 127, 0, 0, 9};
    reply.resize(48);
    pause_for(behaviour_.delay / 2);
    put_ntp(&reply[16], server_now() - 16);
    if (behaviour_.echo && length >= 48) {
        std::memcpy(&reply[24], request + 40, 8);
    }
    put_ntp(&reply[32], server_now());
    put_ntp(&reply[40], server_now() + behaviour_.claimed_hold);
    std::istringstream patch(behaviour_.patch);
    for (size_t at = 0; patch >> at && patch.get() == ':';) {
        for (std::string hex; patch.peek() != ' ' && patch >> std::setw(2) >> hex; ++at) {
            reply.resize(std::max(reply.size(), at + 1));
            reply[at] = static_cast<uint8_t>(std::stoi(hex, nullptr, 16));
        }
    }
    reply.resize(behaviour_.length);
    // An hour ahead, with an originate one unit above the request's transmit time: a guess
    // that knows its millisecond and misses by the least there is.
    std::vector<uint8_t> forged = reply;
    forged.resize(48);
    for (size_t at = 31; at >= 24 && ++forged[at] == 0; --at) {
    }
    put_ntp(&forged[32], get_ntp(&reply[32]) + 3600);
    put_ntp(&forged[40], get_ntp(&reply[40]) + 3600);
    for (int i = 0; i < behaviour_.forged + behaviour_.flood; ++i) {
        sendto(i < behaviour_.forged ? socket_ : third_, forged.data(), forged.size(), 0,
               static_cast<const sockaddr*>(peer), size);
    }
    pause_for(behaviour_.delay / 2);
    sendto(other_ >= 0 ? other_ : socket_, reply.data(), reply.size(), 0,
           static_cast<const sockaddr*>(peer), size);
}
