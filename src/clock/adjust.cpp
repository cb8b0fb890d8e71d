#include "clock/adjust.hpp"

#include <cmath>
#include <cstdint>

#include "app/config.hpp"
#include "ntp/timestamp.hpp"
#include "platform/local_clock.hpp"
#include "platform/local_time.hpp"

namespace {

// The sum of a reading and the offset carries a rounding error of a few ulp of 4e9 s (about
// a microsecond); truncating it bare could lose the millisecond that the reading had.
constexpr double ROUNDING_SLACK_MS = 0.01;

uint16_t milliseconds_of(double fraction) {
    const double milliseconds = fraction * 1000 + ROUNDING_SLACK_MS;
    return static_cast<uint16_t>(milliseconds < 999 ? milliseconds : 999);
}

} // namespace

bool clock_can_take(double unix_seconds) {
    return std::isfinite(unix_seconds) && unix_seconds >= 0 && unix_seconds < NTP_ERA_SECONDS;
}

void adjust_local_time(double offset) {
    // Read afresh, so that the time spent since reception is carried into the setting.
    SYSTEMTIME now{};
    local_clock_read(&now);
    const double corrected = systemtime_to_ntp_seconds(now) + offset - NTP_EPOCH_OFFSET;
    int set = 0;
    // Within that range the whole seconds are their own low 32 bits: nothing wraps.
    if (clock_can_take(corrected)) {
        const auto whole = static_cast<int64_t>(corrected);
        SYSTEMTIME target = timespec_to_systemtime({static_cast<time_t>(whole), 0});
        target.wMilliseconds = milliseconds_of(corrected - static_cast<double>(whole));
        target.wDayOfWeek = now.wDayOfWeek;
        set = local_clock_set(&target);
    }
    if (set == 1) {
        fprintf(ntp_out, "## INFO. ## Adjusted Local Time.\n");
    } else {
        fprintf(ntp_out, "## Error ##: Can NOT Adujust time.\n");
    }
}
