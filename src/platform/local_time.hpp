#pragma once

#include <cstdint>
#include <ctime>

#include "platform/system_time.hpp"

// Conversions in the process's local time zone (TZ). In the hour repeated when daylight
// saving ends a calendar time names two instants; the fields of the instant broken down last
// convert back to that instant, so that a clock reading converts back to itself even then.
SYSTEMTIME timespec_to_systemtime(const timespec& when);
// Whole seconds since 1970 of the calendar fields; -1 where the library cannot convert them.
int64_t systemtime_to_unix_seconds(const SYSTEMTIME& time);
// The instant of the calendar fields with their milliseconds; false before 1970 or where the
// fields are out of range.
bool systemtime_to_timespec(const SYSTEMTIME& time, timespec* when);

// The fixed 24-character local-time text with its newline, as ctime gives it.
const char* calendar_text(int64_t unix_seconds);
