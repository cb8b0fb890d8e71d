#pragma once

#include <cstdint>
#include <ctime>
#include <limits>

// A reading of the machine's clock as one number: nanoseconds since 1970-01-01 00:00:00 UTC.
using UnixNanoseconds = int64_t;
constexpr int64_t NANOSECONDS_PER_SECOND = 1000000000;

// The whole seconds of a reading, floored, so that the nanoseconds past them are never negative.
inline int64_t floor_seconds(UnixNanoseconds when) {
    const int64_t seconds = when / NANOSECONDS_PER_SECOND;
    return when % NANOSECONDS_PER_SECOND < 0 ? seconds - 1 : seconds;
}

// The Unix seconds that the system's calendar and clock interfaces take: its time_t's. Built with
// a 64-bit time_t wherever the C library offers one; a C library with only 32 bits ends them at
// 2038-01-19 03:14:07 UTC.
constexpr int64_t SYSTEM_TIME_MIN = std::numeric_limits<time_t>::min();
constexpr int64_t SYSTEM_TIME_MAX = std::numeric_limits<time_t>::max();
inline bool system_time_can_hold(int64_t unix_seconds) {
    return unix_seconds >= SYSTEM_TIME_MIN && unix_seconds <= SYSTEM_TIME_MAX;
}

// The machine's clock in UTC, read as finely as the system gives it: clock_gettime and
// clock_settime on CLOCK_REALTIME elsewhere, GetSystemTimePreciseAsFileTime and SetSystemTime
// (to the millisecond) on Windows. The program links the real one; the tests link a fake in its
// place, so no test can ever touch this machine's clock.
UnixNanoseconds wall_clock_read();
// Steps the clock; false when the system did not (no right to set the time, or a time the
// system cannot take).
bool wall_clock_set(UnixNanoseconds when);
