#include "platform/local_clock.hpp"

void local_clock_read(SYSTEMTIME* time) {
    GetLocalTime(time);
}

// The only place in the program that can change the machine's clock; needs the system-time
// right (an elevated console).
int local_clock_set(const SYSTEMTIME* time) {
    return SetLocalTime(time) != 0 ? 1 : 0;
}
