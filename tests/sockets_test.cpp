#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>

#include "platform/sockets.hpp"

namespace {

TEST(Sockets, DottedAddressesAsInetAddrReadsThem) {
    const struct {
        const char* text;
        bool is_address;
        uint32_t host; // in host order
    } cases[] = {
        {"127.0.0.2", true, 0x7F000002},
        {"127.1", true, 0x7F000001},
        {"0x7f.0.0.3", true, 0x7F000003},
        {"255.255.255.255", false, 0},
        {"localhost", false, 0},
        {"1.2.3.4.5", false, 0},
        {"", false, 0},
    };
    for (const auto& c : cases) {
        NetAddress address{};
        ASSERT_EQ(address_from_dotted(c.text, 124, &address), c.is_address) << c.text;
        if (c.is_address) {
            const auto* ipv4 = reinterpret_cast<const sockaddr_in*>(&address.storage);
            EXPECT_EQ(ipv4->sin_family, AF_INET);
            EXPECT_EQ(ntohs(ipv4->sin_port), 124);
            EXPECT_EQ(ntohl(ipv4->sin_addr.s_addr), c.host) << c.text;
            EXPECT_EQ(address.length, sizeof(sockaddr_in));
        }
    }
}

} // namespace
