#include <cstring>
#include <gtest/gtest.h>
#include <optional>
#include <string>

#include "app/config.hpp"
#include "ntp/server_text.hpp"
#include "test_support.hpp"

namespace {

TEST(Config, InitFillsExactPlaceValuesAndReturnsTheFlag) {
    EXPECT_EQ(ntp_init(7), 7);
    EXPECT_EQ(ntp_verbose, 7);
    EXPECT_EQ(ntp_out, stdout);
    const double expected[8] = {16777216.0, 65536.0,     256.0,          1.0,
                                1.0 / 256,  1.0 / 65536, 1.0 / 16777216, 1.0 / 4294967296.0};
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(ntp_weights[i], expected[i]) << i;
    }
}

TEST(Config, ExecutionStatusNeedsExactlyAdjustTime) {
    const struct {
        std::optional<std::string> value;
        ExecutionStatus expected;
    } cases[] = {
        {std::nullopt, STATUS_REPORT_ONLY},
        {std::string("ADJUST_TIME"), STATUS_ADJUST_TIME},
        {std::string("adjust_time"), STATUS_REPORT_ONLY},
        {std::string("ADJUST_TIME "), STATUS_REPORT_ONLY},
        {std::string(""), STATUS_REPORT_ONLY},
        {std::string("ADJUST"), STATUS_REPORT_ONLY},
    };
    for (const auto& c : cases) {
        ScopedEnv env("STATUS_OF_EXECUTION", c.value);
        EXPECT_EQ(get_execution_status(), c.expected) << c.value.value_or("(unset)");
    }
}

TEST(Config, ServerNameFromTheEnvironmentOrTheDefault) {
    {
        ScopedEnv env("NTP_SERVER_NAME", std::nullopt);
        EXPECT_STREQ(get_ntp_server_name(), "pool.ntp.org");
    }
    const std::string longest(255, 'a');
    {
        ScopedEnv env("NTP_SERVER_NAME", longest);
        EXPECT_EQ(get_ntp_server_name(), ntp_server_name);
        EXPECT_EQ(longest, ntp_server_name);
    }
    {
        // One more character would overflow the buffer: refused, nothing copied.
        ScopedEnv env("NTP_SERVER_NAME", longest + "b");
        EXPECT_EQ(get_ntp_server_name(), nullptr);
        EXPECT_STREQ(ntp_server_name, "");
    }
}

TEST(ServerText, PortFollowsTheFirstColonAsAtoiReadsIt) {
    const struct {
        const char* text;
        const char* name;
        uint16_t port;
    } cases[] = {
        {"time.example", "time.example", 123},
        {"127.0.0.2:124", "127.0.0.2", 124},
        {"host:", "host", 0},
        {"host:70000", "host", 4464},
        {"host:12ab", "host", 12},
        {"host: +42", "host", 42},
        {"host:-1", "host", 65535},
        {"host:99999999999999999999999", "host", 65535}, // modulo 65536, no overflow
        {"a:1:2", "a", 1},
        {":124", "", 124},
    };
    for (const auto& c : cases) {
        char text[64];
        std::strcpy(text, c.text);
        EXPECT_EQ(split_server_port(text), c.port) << c.text;
        EXPECT_STREQ(text, c.name) << c.text;
    }
}

} // namespace
