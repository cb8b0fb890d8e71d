#pragma once

#include <ctime>

// The machine's wall clock (CLOCK_REALTIME) in UTC. The program links the real one; the tests
// link a fake in its place, so no test can ever touch this machine's clock.
bool wall_clock_read(timespec* now);
// Steps the clock; needs CAP_SYS_TIME. False when the system refuses.
bool wall_clock_set(const timespec& when);
