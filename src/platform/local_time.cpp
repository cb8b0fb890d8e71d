#include "platform/local_time.hpp"

#include "platform/wall_clock.hpp"

namespace {

constexpr int TM_YEAR_BASE = 1900;
constexpr long NANOSECONDS_PER_MILLISECOND = 1000000;

// The instant broken down last. In the hour repeated when daylight saving ends, its fields
// also name the instant an hour away, and mktime cannot tell which one was meant.
time_t last_broken_down = 0;
bool have_last = false;

bool calendar_fields(time_t seconds, SYSTEMTIME* time) {
    struct tm parts {};
    if (localtime_r(&seconds, &parts) == nullptr || parts.tm_year < -TM_YEAR_BASE ||
        parts.tm_year > UINT16_MAX - TM_YEAR_BASE) {
        return false;
    }
    time->year = static_cast<uint16_t>(parts.tm_year + TM_YEAR_BASE);
    time->month = static_cast<uint16_t>(parts.tm_mon + 1);
    time->day_of_week = static_cast<uint16_t>(parts.tm_wday);
    time->day = static_cast<uint16_t>(parts.tm_mday);
    time->hour = static_cast<uint16_t>(parts.tm_hour);
    time->minute = static_cast<uint16_t>(parts.tm_min);
    time->second = static_cast<uint16_t>(parts.tm_sec);
    return true;
}

bool names_last_broken_down(const SYSTEMTIME& time) {
    SYSTEMTIME last{};
    return have_last && calendar_fields(last_broken_down, &last) && last.year == time.year &&
           last.month == time.month && last.day == time.day && last.hour == time.hour &&
           last.minute == time.minute && last.second == time.second;
}

} // namespace

SYSTEMTIME timespec_to_systemtime(const timespec& when) {
    SYSTEMTIME time{};
    if (!calendar_fields(when.tv_sec, &time)) {
        return SYSTEMTIME{};
    }
    time.milliseconds = static_cast<uint16_t>(when.tv_nsec / NANOSECONDS_PER_MILLISECOND);
    last_broken_down = when.tv_sec;
    have_last = true;
    return time;
}

int64_t systemtime_to_unix_seconds(const SYSTEMTIME& time) {
    if (names_last_broken_down(time)) {
        return last_broken_down;
    }
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

int SetLocalTime(const SYSTEMTIME* time) {
    const int64_t seconds = systemtime_to_unix_seconds(*time);
    if (seconds < 0 || time->milliseconds > 999) {
        return 0;
    }
    const timespec when{static_cast<time_t>(seconds),
                        time->milliseconds * NANOSECONDS_PER_MILLISECOND};
    return wall_clock_set(when) ? 1 : 0;
}
