// The checks at their edges, where the loopback server cannot easily put a reply.

#include <arpa/inet.h>
#include <cmath>
#include <cstring>
#include <gtest/gtest.h>
#include <netinet/in.h>

#include "app/config.hpp"
#include "ntp/reply_check.hpp"

namespace {

NetAddress ipv4(const char* address, uint16_t port) {
    NetAddress result{};
    address_from_dotted(address, port, &result);
    return result;
}

TEST(ReplyCheck, EdgesOfTheRules) {
    ntp_init(1);
    const uint8_t request_transmit[8] = {0xEC, 1, 2, 3, 4, 5, 6, 7};
    NtpPacket good{};
    good.bytes[0] = 0x0C; // version 1, mode 4
    good.bytes[1] = 15;
    good.bytes[9] = 15; // root dispersion 15.99 s with the delay below
    good.bytes[10] = 0xFF;
    good.bytes[5] = 0;
    std::memcpy(&good.bytes[24], request_transmit, 8);
    good.bytes[47] = 1;
    const NetAddress server = ipv4("127.0.0.2", 124);
    const struct {
        const char* what;
        NetAddress sender;
        double corrected;
        const char* expected; // nullptr: accepted
    } cases[] = {
        {"accepted", server, 1796000000.0, nullptr},
        {"other port", ipv4("127.0.0.2", 125), 1796000000.0,
         "from another address than the server's"},
        {"other address", ipv4("127.0.0.3", 124), 1796000000.0,
         "from another address than the server's"},
        {"no time", server, NAN, "corrected time outside 1970 to 2106"},
        {"before 1970", server, -0.5, "corrected time outside 1970 to 2106"},
        {"after 2106", server, 4294967296.0, "corrected time outside 1970 to 2106"},
    };
    for (const auto& c : cases) {
        const char* why =
            reply_rejection({good, 48, c.sender, server, request_transmit, c.corrected});
        if (c.expected == nullptr) {
            EXPECT_EQ(why, nullptr) << c.what << ": " << why;
        } else {
            EXPECT_STREQ(why, c.expected) << c.what;
        }
    }
}

} // namespace
