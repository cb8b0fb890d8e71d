#include "platform/wall_clock.hpp"

bool wall_clock_read(timespec* now) {
    return clock_gettime(CLOCK_REALTIME, now) == 0;
}

// The only place in the program that can change the machine's clock.
bool wall_clock_set(const timespec& when) {
    return clock_settime(CLOCK_REALTIME, &when) == 0;
}
