#include "platform/wall_clock.hpp"

#include <ctime>

UnixNanoseconds wall_clock_read() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return now.tv_sec * NANOSECONDS_PER_SECOND + now.tv_nsec;
}

// The only place in the program that can change the machine's clock; needs CAP_SYS_TIME.
bool wall_clock_set(UnixNanoseconds when) {
    const int64_t seconds = floor_seconds(when);
    const timespec target{static_cast<time_t>(seconds), when - seconds * NANOSECONDS_PER_SECOND};
    return clock_settime(CLOCK_REALTIME, &target) == 0;
}
