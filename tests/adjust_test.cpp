// Stepping the clock, through the fake clock that the unit tests link.

#include <gtest/gtest.h>

#include "clock/adjust.hpp"
#include "fake_wall_clock.hpp"
#include "platform/local_time.hpp"
#include "test_support.hpp"

namespace {

long long milliseconds(const timespec& t) {
    return t.tv_sec * 1000LL + t.tv_nsec / 1000000;
}

struct LocalCase {
    const char* what;
    SYSTEMTIME start; // local time, day of week unused
    double offset;
    SYSTEMTIME expected;
};

// The start given in local time, as the clock would read it.
timespec local_instant(const SYSTEMTIME& local) {
    struct tm parts {};
    parts.tm_year = local.year - 1900;
    parts.tm_mon = local.month - 1;
    parts.tm_mday = local.day;
    parts.tm_hour = local.hour;
    parts.tm_min = local.minute;
    parts.tm_sec = local.second;
    parts.tm_isdst = -1;
    return {mktime(&parts), local.milliseconds * 1000000L};
}

TEST(Adjust, StepsToTheReadingPlusTheOffsetInLocalTime) {
    const LocalCase cases[] = {
        {"offset 0", {2026, 6, 0, 15, 10, 0, 0, 123}, 0, {2026, 6, 0, 15, 10, 0, 0, 123}},
        {"offset 0, last ms", {2026, 1, 0, 15, 10, 0, 0, 999}, 0, {2026, 1, 0, 15, 10, 0, 0, 999}},
        {"+1.5 s", {2026, 6, 0, 15, 10, 0, 0, 250}, 1.5, {2026, 6, 0, 15, 10, 0, 1, 750}},
        {"midnight", {2026, 6, 0, 15, 23, 59, 59, 500}, 1.0, {2026, 6, 0, 16, 0, 0, 0, 500}},
        {"month end", {2026, 4, 0, 30, 23, 59, 59, 900}, 0.2, {2026, 5, 0, 1, 0, 0, 0, 100}},
        {"year end", {2026, 12, 0, 31, 23, 59, 59, 0}, 2.5, {2027, 1, 0, 1, 0, 0, 1, 500}},
        {"back over the year",
         {2027, 1, 0, 1, 0, 0, 0, 200},
         -0.5,
         {2026, 12, 0, 31, 23, 59, 59, 700}},
        {"leap day", {2028, 2, 0, 28, 23, 0, 0, 0}, 3600.0, {2028, 2, 0, 29, 0, 0, 0, 0}},
        {"hours back", {2026, 1, 0, 1, 1, 0, 0, 0}, -7200.25, {2025, 12, 0, 31, 22, 59, 59, 750}},
    };
    for (const char* zone : {"UTC", "America/New_York", "Australia/Adelaide"}) {
        ScopedTimeZone tz(zone);
        for (const auto& c : cases) {
            ReportCapture capture;
            fake_clock_set(local_instant(c.start));
            adjust_local_time(c.offset);
            EXPECT_EQ(capture.text(), "## INFO. ## Adjusted Local Time.\n");
            ASSERT_EQ(fake_clock_settings(), 1) << zone << " " << c.what;
            EXPECT_EQ(milliseconds(fake_clock_last_setting()),
                      milliseconds(local_instant(c.expected)))
                << zone << " " << c.what;
        }
    }
    fake_clock_follow_real_time();
}

TEST(Adjust, ARefusalIsReportedAndNothingIsSet) {
    ReportCapture capture;
    fake_clock_set({1796000000, 0});
    fake_clock_refuse_setting(true);
    adjust_local_time(0.5);
    EXPECT_EQ(capture.text(), "## Error ##: Can NOT Adujust time.\n");
    EXPECT_EQ(fake_clock_settings(), 0);
    fake_clock_follow_real_time();
}

TEST(Adjust, NeverWrapsACorrectedTimeOutsideTheUnixRange) {
    const struct {
        long long now;
        double offset;
        bool settable;
    } cases[] = {
        {1796000000, -1796000001.0, false}, // before 1970
        {1796000000, -1796000000.0, true},  // 1970 itself
        {1796000000, 4294967295.5 - 1796000000, true},
        {1796000000, 4294967296.0 - 1796000000, false}, // after 2106-02-07 06:28:15
    };
    for (const auto& c : cases) {
        ReportCapture capture;
        fake_clock_set({c.now, 0});
        adjust_local_time(c.offset);
        EXPECT_EQ(fake_clock_settings(), c.settable ? 1 : 0) << c.offset;
    }
    fake_clock_follow_real_time();
}

} // namespace
