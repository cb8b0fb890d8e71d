// The server text: host and port, with IPv6 addresses in and out of brackets.

#include <cstring>
#include <gtest/gtest.h>

#include "ntp/server_text.hpp"

namespace {

TEST(ServerText, PortAfterTheFirstColonAsAtoiReadsItModulo65536) {
    // clang-format off
    for (const auto& [text, name, port] : {std::tuple{"time.example", "time.example", 123},
            {"host:", "host", 0}, {"host:70000", "host", 4464}, {"host:12ab", "host", 12},
            {"host: +42", "host", 42}, {"host:-1", "host", 65535}, {"a:1:2", "a", 1},
            {"host:99999999999999999999999", "host", 65535}, // no overflow
            {"[::1]:124", "::1", 124}, {"[::1]", "::1", 123}, {"::1", "::1", 123},
            {"[2001:db8::1]:70000", "2001:db8::1", 4464}, {"fe80::1%lo", "fe80::1%lo", 123}}) {
        // clang-format on
        char buffer[64];
        std::strcpy(buffer, text);
        EXPECT_EQ(split_server_port(buffer), port) << text;
        EXPECT_STREQ(buffer, name);
    }
}

} // namespace
