#include "platform/local_time.hpp"

#include "platform/wall_clock.hpp"

#include <cstdio>
#include <ctime>

const char* calendar_text(int64_t unix_seconds) {
    const time_t seconds = static_cast<time_t>(unix_seconds);
    // ctime fails only for years beyond what its text can hold.
    const char* text = system_time_can_hold(unix_seconds) ? ctime(&seconds) : nullptr;
    return text != nullptr ? text : "(out of range)\n";
}

void utc_text(int64_t unix_seconds, char text[UTC_TEXT_SIZE]) {
    const time_t seconds = static_cast<time_t>(unix_seconds);
    const tm* calendar = system_time_can_hold(unix_seconds) ? gmtime(&seconds) : nullptr;
    if (calendar == nullptr || strftime(text, UTC_TEXT_SIZE, "%Y-%m-%d %H:%M:%S", calendar) == 0) {
        snprintf(text, UTC_TEXT_SIZE, "(out of range)");
    }
}

void rfc3339_text(int64_t unix_nanoseconds, char text[RFC3339_TEXT_SIZE]) {
    const int64_t seconds = floor_seconds(unix_nanoseconds);
    const time_t whole = static_cast<time_t>(seconds);
    const tm* calendar = system_time_can_hold(seconds) ? gmtime(&whole) : nullptr;
    char day[UTC_TEXT_SIZE];
    if (calendar == nullptr || strftime(day, sizeof day, "%Y-%m-%dT%H:%M:%S", calendar) == 0) {
        text[0] = '\0';
        return;
    }
    snprintf(text, RFC3339_TEXT_SIZE, "%s.%09uZ", day,
             static_cast<unsigned>(unix_nanoseconds - seconds * NANOSECONDS_PER_SECOND));
}
