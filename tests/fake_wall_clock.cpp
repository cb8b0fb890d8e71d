#include "fake_wall_clock.hpp"

#include "platform/wall_clock.hpp"

namespace {

bool fake_is_set = false;
timespec fake_start{};
timespec monotonic_start{};
bool refuse_setting = false;
int settings = 0;
timespec last_setting{};

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

void start_at(const timespec& now) {
    fake_is_set = true;
    fake_start = now;
    clock_gettime(CLOCK_MONOTONIC, &monotonic_start);
}

} // namespace

void fake_clock_set(const timespec& now) {
    start_at(now);
    settings = 0;
    last_setting = timespec{};
}

void fake_clock_follow_real_time() {
    fake_is_set = false;
    refuse_setting = false;
}

void fake_clock_refuse_setting(bool refuse) {
    refuse_setting = refuse;
}

int fake_clock_settings() {
    return settings;
}

timespec fake_clock_last_setting() {
    return last_setting;
}

bool wall_clock_read(timespec* now) {
    if (!fake_is_set) {
        return clock_gettime(CLOCK_REALTIME, now) == 0;
    }
    *now = plus(fake_start, nanoseconds_since(monotonic_start));
    return true;
}

bool wall_clock_set(const timespec& when) {
    if (refuse_setting) {
        return false;
    }
    ++settings;
    last_setting = when;
    start_at(when);
    return true;
}
