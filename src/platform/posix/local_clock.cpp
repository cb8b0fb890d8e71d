#include "platform/local_clock.hpp"

#include "platform/local_time.hpp"

void local_clock_read(SYSTEMTIME* time) {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    *time = timespec_to_systemtime(now);
}

// The only place in the program that can change the machine's clock; needs CAP_SYS_TIME.
int local_clock_set(const SYSTEMTIME* time) {
    timespec when{};
    return systemtime_to_timespec(*time, &when) && clock_settime(CLOCK_REALTIME, &when) == 0 ? 1
                                                                                             : 0;
}
