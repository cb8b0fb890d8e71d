#include "clock/adjust.hpp"

#include <cmath>

double unix_seconds(UnixNanoseconds when) {
    return static_cast<double>(when) / NANOSECONDS_PER_SECOND;
}

bool clock_can_take(double unix_seconds) {
    return std::isfinite(unix_seconds) && unix_seconds >= 0 &&
           unix_seconds < UNSIGNED_32_BIT_UNIX_END &&
           unix_seconds < static_cast<double>(SYSTEM_TIME_MAX) + 1;
}

bool adjust_local_time(double offset) {
    // Read afresh, so that the time spent since reception is carried into the setting.
    const UnixNanoseconds now = wall_clock_read();
    // Within that range neither the sum nor the offset in nanoseconds can overflow.
    return clock_can_take(unix_seconds(now) + offset) &&
           wall_clock_set(now + std::llround(offset * NANOSECONDS_PER_SECOND));
}
