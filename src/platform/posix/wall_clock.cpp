#include "platform/wall_clock.hpp"

#include <ctime>

UnixNanoseconds wall_clock_read() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return int64_t{now.tv_sec} * NANOSECONDS_PER_SECOND + now.tv_nsec;
}

// The only place in the program that can change the machine's clock; needs CAP_SYS_TIME.
bool wall_clock_set(UnixNanoseconds when) {
    const int64_t seconds = floor_seconds(when);
    if (!system_time_can_hold(seconds)) {
        return false;
    }
    timespec target{};
    target.tv_sec = static_cast<time_t>(seconds);
    // 0 to 999999999: fits the long of every platform.
    target.tv_nsec = static_cast<long>(when - seconds * NANOSECONDS_PER_SECOND);
    return clock_settime(CLOCK_REALTIME, &target) == 0;
}
