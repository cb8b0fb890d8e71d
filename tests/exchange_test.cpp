// The whole exchange in-process on the fake clock, against the loopback test server: dates
// that the real clock cannot be set to, and what the run sets the clock to.

#include <cmath>
#include <gtest/gtest.h>

#include "capture.hpp"
#include "fake_clock.hpp"
#include "ntp/exchange.hpp"
#include "test_server.hpp"

namespace {

constexpr long long ROLLOVER = 2085978496; // 2036-02-07 06:28:16 UTC
const char* const SET = "## INFO. ## Adjusted Local Time.";

TEST(Exchange, OnTheFakeClock) {
    const struct {
        const char* zone;
        timespec start;
        double offset;
        const char* status;
        std::string patch;
        const char* after_offset; // the line after the offset
        bool refuse = false;
    } cases[] = {
        {"UTC", {1796000000, 250000000}, -3, "", "", "System   Time = "},
        {"UTC", {ROLLOVER - 1, 800000000}, 0.5, "ADJUST_TIME", "", SET},         // server past it
        {"UTC", {ROLLOVER, 300000000}, -0.5, "ADJUST_TIME", "", SET},            // server before it
        {"Europe/Berlin", {2208988801, 500000000}, 1.5, "ADJUST_TIME", "", SET}, // 2040
        // 01:30 in New York on 2026-11-01 comes twice; the second time (EST) must not be taken
        // for the first (EDT), which would report an hour of offset and step back by it.
        {"America/New_York", {1793514600, 0}, 0.25, "ADJUST_TIME", "", SET},
        {"UTC",
         {1796000000, 0},
         0.5,
         "ADJUST_TIME",
         "1:00 12:5241",
         "## Error ##: Reply rejected (kiss code RA); local time not adjusted."},
        {"UTC", {1796000000, 0}, 0.5, "adjust_time", "1:00 12:5241", "System   Time = "},
        {"UTC",
         {1796000000, 0},
         0.5,
         "ADJUST_TIME",
         "",
         "## Error ##: Can NOT Adujust time.",
         true},
    };
    for (const auto& c : cases) {
        use_zone(c.zone);
        TestServer server({.offset = c.offset, .from_request = true, .patch = c.patch});
        setenv("NTP_SERVER_NAME", server.endpoint.c_str(), 1);
        setenv("STATUS_OF_EXECUTION", c.status, 1);
        fake_clock_start(c.start, c.refuse);
        uint32_t corrected = 0;
        const std::string report = report_of([&] { corrected = query_ntp_server(); });
        const double expected = c.start.tv_sec + c.start.tv_nsec / 1e9 + c.offset;
        const timespec set = fake_clock_last_setting();
        const bool sets = c.after_offset == SET;

        // The server's time runs from T1 and the fake clock stands still: the offset is off by
        // the server's own time and half the sub-millisecond bits of T1.
        const double delay = number_of(report, "Roundtrip Delay");
        EXPECT_NEAR(number_of(report, "Local Clock Offset"), c.offset, 0.005);
        EXPECT_LT(std::fabs(delay), 0.5) << report;
        EXPECT_NEAR(corrected, expected, 1.0);
        EXPECT_EQ(line_of(report, "Local Clock Offset", 1).rfind(c.after_offset, 0), 0u) << report;
        EXPECT_EQ(line_of(report, "System   Time"), "System   Time = " + ctime_of(c.start.tv_sec));
        EXPECT_EQ(fake_clock_settings(), sets ? 1 : 0) << report;
        EXPECT_NEAR(sets ? set.tv_sec + set.tv_nsec / 1e9 : expected, expected, delay + 0.01);
    }
}

} // namespace
