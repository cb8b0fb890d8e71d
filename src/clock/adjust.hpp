#pragma once

#include "platform/wall_clock.hpp"

// 2106-02-07 06:28:16 UTC: the end of the 32-bit Unix seconds that a run returns.
constexpr double UNSIGNED_32_BIT_UNIX_END = 4294967296.0;

// A clock reading in seconds, fraction included.
double unix_seconds(UnixNanoseconds when);

// Whether the clock can be stepped to this Unix time without wrapping: finite, from 1970 up to
// the end of the 32-bit Unix seconds, and within what the system's time_t holds.
bool clock_can_take(double unix_seconds);

// Steps the local clock to a fresh reading plus offset (seconds); false when that time is out of
// range or the system refused.
bool adjust_local_time(double offset);
