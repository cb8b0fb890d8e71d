#include "clock/adjust.hpp"

#include <cmath>

#include "app/config.hpp"
#include "ntp/timestamp.hpp"
#include "platform/wall_clock.hpp"

bool clock_can_take(double unix_seconds) {
    return std::isfinite(unix_seconds) && unix_seconds >= 0 && unix_seconds < NTP_ERA_SECONDS;
}

void adjust_local_time(double offset) {
    // Read afresh, so that the time spent since reception is carried into the setting.
    const UnixNanoseconds now = wall_clock_read();
    // Within that range neither the sum nor the offset in nanoseconds can overflow.
    const bool set = clock_can_take(unix_seconds(now) + offset) &&
                     wall_clock_set(now + std::llround(offset * NANOSECONDS_PER_SECOND)) == 1;
    if (set) {
        fprintf(ntp_out, "## INFO. ## Adjusted Local Time.\n");
    } else {
        fprintf(ntp_out, "## Error ##: Can NOT Adujust time.\n");
    }
}
