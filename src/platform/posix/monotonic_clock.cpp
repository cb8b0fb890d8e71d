#include "platform/monotonic_clock.hpp"

#include <ctime>

int64_t monotonic_milliseconds() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    // Widened first: a 32-bit time_t in milliseconds overflows after 24 days of uptime.
    return int64_t{now.tv_sec} * 1000 + now.tv_nsec / 1000000;
}
