// The whole exchange in-process, on the fake clock, against the loopback test server: dates
// around the NTP era rollover that the real clock cannot be set to.

#include <cmath>
#include <gtest/gtest.h>
#include <optional>

#include "fake_wall_clock.hpp"
#include "ntp/exchange.hpp"
#include "report_lines.hpp"
#include "test_server.hpp"
#include "test_support.hpp"

namespace {

constexpr long long ROLLOVER = 2085978496; // 2036-02-07 06:28:16 UTC in Unix seconds

struct Case {
    const char* what;
    long long unix_seconds;
    long milliseconds;
    double server_offset;
};

TEST(Exchange, SaneDelayAndOffsetAcrossTheEraRollover) {
    const Case cases[] = {
        {"era 0", 1796000000, 250, -3.0},
        {"client before, server after", ROLLOVER - 1, 800, 0.5},
        {"client after, server before", ROLLOVER, 300, -0.5},
        {"both after", ROLLOVER + 10, 0, 2.25},
        {"2040", 2208988800 + 1, 500, 1.5},
    };
    ScopedTimeZone utc("UTC");
    for (const auto& c : cases) {
        ServerBehaviour behaviour;
        behaviour.time_from_request = true;
        behaviour.clock_offset = c.server_offset;
        TestServer server(behaviour);
        ScopedEnv name("NTP_SERVER_NAME", server.endpoint());
        ReportCapture capture;
        fake_clock_set({c.unix_seconds, c.milliseconds * 1000000});
        const uint32_t corrected = query_ntp_server();
        fake_clock_follow_real_time();

        const std::string report = capture.text();
        EXPECT_NEAR(value_of(report, "Local Clock Offset"), c.server_offset, 0.003) << c.what;
        EXPECT_NEAR(value_of(report, "Roundtrip Delay"), 0, 0.05) << c.what;
        const double expected = c.unix_seconds + c.milliseconds / 1000.0 + c.server_offset;
        EXPECT_NEAR(corrected, std::floor(expected), 1.0) << c.what;
        EXPECT_EQ(line_starting(report, "System   Time"),
                  "System   Time = " + ctime_text(c.unix_seconds).substr(0, 24))
            << c.what;
    }
}

} // namespace

namespace {

using Patches = std::vector<std::pair<size_t, uint8_t>>;

ServerBehaviour on_fake_clock(double offset, Patches patches = {}) {
    ServerBehaviour behaviour;
    behaviour.time_from_request = true;
    behaviour.clock_offset = offset;
    behaviour.patches = std::move(patches);
    return behaviour;
}

struct InProcessRun {
    std::string report;
    int settings;
};

// One in-process run at 2026-11-30 08:53:20 UTC on the fake clock.
InProcessRun run_exchange(const ServerBehaviour& behaviour, std::optional<std::string> status,
                          bool refuse = false) {
    TestServer server(behaviour);
    ScopedEnv name("NTP_SERVER_NAME", server.endpoint());
    ScopedEnv adjust("STATUS_OF_EXECUTION", std::move(status));
    ReportCapture capture;
    fake_clock_set({1796000000, 250000000});
    fake_clock_refuse_setting(refuse);
    query_ntp_server();
    InProcessRun run{capture.text(), fake_clock_settings()};
    fake_clock_follow_real_time();
    return run;
}

// The line after the offset, where the adjustment reports.
std::string line_after_offset(const std::string& report) {
    const auto lines = lines_of(report);
    for (size_t i = 0; i + 1 < lines.size(); ++i) {
        if (lines[i].rfind("Local Clock Offset = ", 0) == 0) {
            return lines[i + 1];
        }
    }
    return "";
}

std::string rejected(const std::string& why) {
    return "## Error ##: Reply rejected (" + why + "); local time not adjusted.";
}

TEST(ExchangeAdjust, OnlyAReplyThatPassesTheChecksSetsTheClock) {
    ServerBehaviour short_reply = on_fake_clock(0.5);
    short_reply.length = 47;
    ServerBehaviour other_port = on_fake_clock(0.5);
    other_port.reply_from_other_port = true;
    ServerBehaviour no_echo = on_fake_clock(0.5);
    no_echo.echo_originate = false;
    Patches zero_transmit;
    for (size_t i = 40; i < 48; ++i) {
        zero_transmit.push_back({i, 0});
    }
    const struct {
        const char* what;
        ServerBehaviour behaviour;
        std::string expected;
    } cases[] = {
        {"good", on_fake_clock(0.5), "## INFO. ## Adjusted Local Time."},
        {"version 4 reply", on_fake_clock(-2, {{0, 0x24}}), "## INFO. ## Adjusted Local Time."},
        {"short", short_reply, rejected("47 bytes, not 48")},
        {"other port", other_port, rejected("from another address than the server's")},
        {"client mode", on_fake_clock(0.5, {{0, 0x1B}}), rejected("mode 3, not a server's")},
        {"version 0", on_fake_clock(0.5, {{0, 0x04}}), rejected("version 0")},
        {"version 5", on_fake_clock(0.5, {{0, 0x2C}}), rejected("version 5")},
        {"not synchronized", on_fake_clock(0.5, {{0, 0xDC}}),
         rejected("server clock not synchronized")},
        {"kiss",
         on_fake_clock(0.5, {{0, 0xDC}, {1, 0}, {12, 'R'}, {13, 'A'}, {14, 'T'}, {15, 'E'}}),
         rejected("kiss code RATE")},
        {"kiss with control bytes", on_fake_clock(0.5, {{1, 0}, {12, 0x1B}, {13, '['}, {14, 0}}),
         rejected("kiss code \\x1b[")},
        {"stratum 16", on_fake_clock(0.5, {{1, 16}}), rejected("stratum 16")},
        {"no transmit time", on_fake_clock(0.5, zero_transmit), rejected("no transmit timestamp")},
        {"root dispersion 16 s", on_fake_clock(0.5, {{8, 0}, {9, 16}}),
         rejected("root distance of 16 seconds or more")},
        {"root delay 32 s", on_fake_clock(0.5, {{4, 0}, {5, 32}, {9, 0}}),
         rejected("root distance of 16 seconds or more")},
        {"originate not echoed", no_echo, rejected("originate timestamp is not our request's")},
        {"server says 1960", on_fake_clock(-2100000000.0),
         rejected("corrected time outside 1970 to 2106")},
    };
    ScopedTimeZone utc("UTC");
    for (const auto& c : cases) {
        const InProcessRun run = run_exchange(c.behaviour, std::string("ADJUST_TIME"));
        EXPECT_EQ(line_after_offset(run.report), c.expected) << c.what << "\n" << run.report;
        const bool good = c.expected.rfind("## INFO", 0) == 0;
        EXPECT_EQ(run.settings, good ? 1 : 0) << c.what;
        EXPECT_NE(line_starting(run.report, "System   Time = "), "") << c.what;
    }
}

TEST(ExchangeAdjust, ReportOnlyRunsNeitherCheckNorSet) {
    const ServerBehaviour kiss =
        on_fake_clock(0.5, {{1, 0}, {12, 'D'}, {13, 'E'}, {14, 'N'}, {15, 'Y'}});
    for (const auto& status :
         {std::optional<std::string>(), std::optional<std::string>("adjust_time"),
          std::optional<std::string>("ADJUST_TIME "), std::optional<std::string>("")}) {
        for (const auto& behaviour : {on_fake_clock(0.5), kiss}) {
            const InProcessRun run = run_exchange(behaviour, status);
            EXPECT_EQ(line_after_offset(run.report).rfind("System   Time = ", 0), 0u) << run.report;
            EXPECT_EQ(run.settings, 0);
        }
    }
}

TEST(ExchangeAdjust, ARefusedSettingIsReportedAndTheRunGoesOn) {
    const InProcessRun run = run_exchange(on_fake_clock(0.5), std::string("ADJUST_TIME"), true);
    EXPECT_EQ(line_after_offset(run.report), "## Error ##: Can NOT Adujust time.");
    EXPECT_EQ(run.settings, 0);
    EXPECT_NE(line_starting(run.report, "System   Time = "), "");
}

// 01:30 in New York on 2026-11-01 happens twice; the second time (EST) must not be read as the
// first (EDT), which would report an hour of offset and step the clock back by it.
TEST(ExchangeAdjust, TheRepeatedHourWhenDaylightSavingEnds) {
    ScopedTimeZone new_york("America/New_York");
    const timespec second_pass{1793514600, 0};
    TestServer server(on_fake_clock(0.25));
    ScopedEnv name("NTP_SERVER_NAME", server.endpoint());
    ScopedEnv adjust("STATUS_OF_EXECUTION", std::string("ADJUST_TIME"));
    ReportCapture capture;
    fake_clock_set(second_pass);
    query_ntp_server();
    const timespec set = fake_clock_last_setting();
    fake_clock_follow_real_time();
    EXPECT_NEAR(value_of(capture.text(), "Local Clock Offset"), 0.25, 0.003) << capture.text();
    EXPECT_NEAR(set.tv_sec + set.tv_nsec / 1e9, second_pass.tv_sec + 0.25, 0.01);
}

} // namespace
