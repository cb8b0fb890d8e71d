#pragma once

#include <cstdint>
#include <ctime>

// Local calendar time with milliseconds: what the clock is read into and set from.
struct SYSTEMTIME {
    uint16_t year;
    uint16_t month;       // 1 to 12
    uint16_t day_of_week; // 0 = Sunday
    uint16_t day;
    uint16_t hour;
    uint16_t minute;
    uint16_t second;
    uint16_t milliseconds;
};

// Reads the wall clock as local calendar time, milliseconds truncated.
void GetLocalTime(SYSTEMTIME* time);
// Steps the wall clock to the local calendar time; 1 when the system did it, else 0.
int SetLocalTime(const SYSTEMTIME* time);

// Conversions in the process's local time zone (TZ). In the hour repeated when daylight
// saving ends a calendar time names two instants; the fields of the instant broken down last
// convert back to that instant, so that a clock reading converts back to itself even then.
SYSTEMTIME timespec_to_systemtime(const timespec& when);
// Whole seconds since 1970 of the calendar fields; -1 where the library cannot convert them.
int64_t systemtime_to_unix_seconds(const SYSTEMTIME& time);

// The fixed 24-character local-time text with its newline, as ctime gives it.
const char* calendar_text(int64_t unix_seconds);
