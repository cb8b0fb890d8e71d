// The whole exchange in-process, on the fake clock, against the loopback test server: dates
// around the NTP era rollover that the real clock cannot be set to.

#include <cmath>
#include <gtest/gtest.h>

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
