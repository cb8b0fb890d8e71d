#include "platform/local_time.hpp"

namespace {

constexpr int TM_YEAR_BASE = 1900;
constexpr long NANOSECONDS_PER_MILLISECOND = 1000000;

// The instant broken down last. In the hour repeated when daylight saving ends, its fields
// also name the instant an hour away, and mktime cannot tell which one was meant.
time_t last_broken_down = 0;
bool have_last = false;

bool calendar_fields(time_t seconds, SYSTEMTIME* time) {
    const struct tm* parts = localtime(&seconds);
    if (parts == nullptr || parts->tm_year < -TM_YEAR_BASE ||
        parts->tm_year > UINT16_MAX - TM_YEAR_BASE) {
        return false;
    }
    time->wYear = static_cast<uint16_t>(parts->tm_year + TM_YEAR_BASE);
    time->wMonth = static_cast<uint16_t>(parts->tm_mon + 1);
    time->wDayOfWeek = static_cast<uint16_t>(parts->tm_wday);
    time->wDay = static_cast<uint16_t>(parts->tm_mday);
    time->wHour = static_cast<uint16_t>(parts->tm_hour);
    time->wMinute = static_cast<uint16_t>(parts->tm_min);
    time->wSecond = static_cast<uint16_t>(parts->tm_sec);
    return true;
}

bool names_last_broken_down(const SYSTEMTIME& time) {
    SYSTEMTIME last{};
    return have_last && calendar_fields(last_broken_down, &last) && last.wYear == time.wYear &&
           last.wMonth == time.wMonth && last.wDay == time.wDay && last.wHour == time.wHour &&
           last.wMinute == time.wMinute && last.wSecond == time.wSecond;
}

} // namespace

SYSTEMTIME timespec_to_systemtime(const timespec& when) {
    SYSTEMTIME time{};
    if (!calendar_fields(when.tv_sec, &time)) {
        return SYSTEMTIME{};
    }
    time.wMilliseconds = static_cast<uint16_t>(when.tv_nsec / NANOSECONDS_PER_MILLISECOND);
    last_broken_down = when.tv_sec;
    have_last = true;
    return time;
}

int64_t systemtime_to_unix_seconds(const SYSTEMTIME& time) {
    if (names_last_broken_down(time)) {
        return last_broken_down;
    }
    struct tm parts {};
    parts.tm_year = time.wYear - TM_YEAR_BASE;
    parts.tm_mon = time.wMonth - 1;
    parts.tm_mday = time.wDay;
    parts.tm_hour = time.wHour;
    parts.tm_min = time.wMinute;
    parts.tm_sec = time.wSecond;
    parts.tm_isdst = -1;
    return mktime(&parts);
}

bool systemtime_to_timespec(const SYSTEMTIME& time, timespec* when) {
    const int64_t seconds = systemtime_to_unix_seconds(time);
    if (seconds < 0 || time.wMilliseconds > 999) {
        return false;
    }
    *when = {static_cast<time_t>(seconds), time.wMilliseconds * NANOSECONDS_PER_MILLISECOND};
    return true;
}

const char* calendar_text(int64_t unix_seconds) {
    const time_t seconds = unix_seconds;
    const char* text = ctime(&seconds);
    // ctime fails only for years beyond what its text can hold.
    return text != nullptr ? text : "(out of range)\n";
}
