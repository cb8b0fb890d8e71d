#include "platform/wall_clock.hpp"

bool wall_clock_read(timespec* now) {
    return clock_gettime(CLOCK_REALTIME, now) == 0;
}
