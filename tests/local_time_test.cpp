#include <gtest/gtest.h>

#include "fake_wall_clock.hpp"
#include "platform/local_time.hpp"
#include "test_support.hpp"

namespace {

bool same(const SYSTEMTIME& a, const SYSTEMTIME& b) {
    return a.year == b.year && a.month == b.month && a.day_of_week == b.day_of_week &&
           a.day == b.day && a.hour == b.hour && a.minute == b.minute && a.second == b.second &&
           a.milliseconds == b.milliseconds;
}

// 2026-03-08 07:30:00.999 UTC, a Sunday: just after New York moves to daylight saving.
constexpr timespec SPRING = {1772955000, 999999999};

TEST(LocalTime, ClockReadingToCalendarTimeAndBackInSeveralZones) {
    const struct {
        const char* zone;
        SYSTEMTIME expected;
    } cases[] = {
        {"UTC", {2026, 3, 0, 8, 7, 30, 0, 999}},
        {"America/New_York", {2026, 3, 0, 8, 3, 30, 0, 999}},
        {"Asia/Kolkata", {2026, 3, 0, 8, 13, 0, 0, 999}},
    };
    for (const auto& c : cases) {
        ScopedTimeZone tz(c.zone);
        const SYSTEMTIME time = timespec_to_systemtime(SPRING);
        EXPECT_TRUE(same(time, c.expected)) << c.zone;
        EXPECT_EQ(systemtime_to_unix_seconds(time), SPRING.tv_sec) << c.zone;
    }
}

TEST(LocalTime, CalendarTextIsCtimeOfTheZone) {
    ScopedTimeZone utc("UTC");
    EXPECT_STREQ(calendar_text(0), "Thu Jan  1 00:00:00 1970\n");
    EXPECT_STREQ(calendar_text(4294967295LL), "Sun Feb  7 06:28:15 2106\n");
    ScopedTimeZone new_york("America/New_York");
    EXPECT_STREQ(calendar_text(0), "Wed Dec 31 19:00:00 1969\n");
}

TEST(LocalTime, GetLocalTimeReadsTheLinkedClock) {
    ScopedTimeZone utc("UTC");
    fake_clock_set(SPRING);
    SYSTEMTIME now{};
    GetLocalTime(&now);
    fake_clock_follow_real_time();
    EXPECT_EQ(now.year, 2026);
    EXPECT_EQ(now.hour, 7);
    EXPECT_EQ(now.minute, 30);
    EXPECT_LE(now.second, 1);
}

} // namespace
