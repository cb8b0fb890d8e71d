#include "fake_wall_clock.hpp"

#include "platform/wall_clock.hpp"

namespace {

bool fake_is_set = false;
timespec fake_start{};
timespec monotonic_start{};

timespec plus(const timespec& base, long long nanoseconds) {
    long long total = base.tv_nsec + nanoseconds;
    timespec result{base.tv_sec + static_cast<time_t>(total / 1000000000), 0};
    total %= 1000000000;
    if (total < 0) {
        total += 1000000000;
        --result.tv_sec;
    }
    result.tv_nsec = static_cast<long>(total);
    return result;
}

long long nanoseconds_since(const timespec& start) {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return (now.tv_sec - start.tv_sec) * 1000000000LL + (now.tv_nsec - start.tv_nsec);
}

} // namespace

void fake_clock_set(const timespec& now) {
    fake_is_set = true;
    fake_start = now;
    clock_gettime(CLOCK_MONOTONIC, &monotonic_start);
}

void fake_clock_follow_real_time() {
    fake_is_set = false;
}

bool wall_clock_read(timespec* now) {
    if (!fake_is_set) {
        return clock_gettime(CLOCK_REALTIME, now) == 0;
    }
    *now = plus(fake_start, nanoseconds_since(monotonic_start));
    return true;
}
