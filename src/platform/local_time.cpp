#include "platform/local_time.hpp"

#include "platform/wall_clock.hpp"

namespace {

constexpr int TM_YEAR_BASE = 1900;
constexpr long NANOSECONDS_PER_MILLISECOND = 1000000;

} // namespace

SYSTEMTIME timespec_to_systemtime(const timespec& when) {
    SYSTEMTIME time{};
    struct tm parts {};
    const time_t seconds = when.tv_sec;
    if (localtime_r(&seconds, &parts) == nullptr || parts.tm_year < -TM_YEAR_BASE ||
        parts.tm_year > UINT16_MAX - TM_YEAR_BASE) {
        return time;
    }
    time.year = static_cast<uint16_t>(parts.tm_year + TM_YEAR_BASE);
    time.month = static_cast<uint16_t>(parts.tm_mon + 1);
    time.day_of_week = static_cast<uint16_t>(parts.tm_wday);
    time.day = static_cast<uint16_t>(parts.tm_mday);
    time.hour = static_cast<uint16_t>(parts.tm_hour);
    time.minute = static_cast<uint16_t>(parts.tm_min);
    time.second = static_cast<uint16_t>(parts.tm_sec);
    time.milliseconds = static_cast<uint16_t>(when.tv_nsec / NANOSECONDS_PER_MILLISECOND);
    return time;
}

int64_t systemtime_to_unix_seconds(const SYSTEMTIME& time) {
    struct tm parts {};
    parts.tm_year = time.year - TM_YEAR_BASE;
    parts.tm_mon = time.month - 1;
    parts.tm_mday = time.day;
    parts.tm_hour = time.hour;
    parts.tm_min = time.minute;
    parts.tm_sec = time.second;
    parts.tm_isdst = -1;
    return mktime(&parts);
}

const char* calendar_text(int64_t unix_seconds) {
    const time_t seconds = unix_seconds;
    const char* text = ctime(&seconds);
    // ctime fails only for years beyond what its text can hold.
    return text != nullptr ? text : "(out of range)\n";
}

void GetLocalTime(SYSTEMTIME* time) {
    timespec now{};
    if (!wall_clock_read(&now)) {
        now = timespec{};
    }
    *time = timespec_to_systemtime(now);
}
