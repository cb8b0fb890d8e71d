#pragma once

#include <cstdint>

// A reading of the machine's clock as one number: nanoseconds since 1970-01-01 00:00:00 UTC.
using UnixNanoseconds = int64_t;
constexpr int64_t NANOSECONDS_PER_SECOND = 1000000000;

// The whole seconds of a reading, floored, so that the nanoseconds past them are never negative.
inline int64_t floor_seconds(UnixNanoseconds when) {
    const int64_t seconds = when / NANOSECONDS_PER_SECOND;
    return when % NANOSECONDS_PER_SECOND < 0 ? seconds - 1 : seconds;
}

// The machine's clock in UTC, read as finely as the system gives it: clock_gettime and
// clock_settime on CLOCK_REALTIME elsewhere, GetSystemTimePreciseAsFileTime and SetSystemTime
// (to the millisecond) on Windows. The program links the real one; the tests link a fake in its
// place, so no test can ever touch this machine's clock.
UnixNanoseconds wall_clock_read();
// Steps the clock; false when the system did not (no right to set the time, or a time the
// system cannot take).
bool wall_clock_set(UnixNanoseconds when);
