#include "fake_wall_clock.hpp"

#include "platform/wall_clock.hpp"

namespace {

bool refuse = false;
long long offset_ns = 0; // fake minus monotonic
int settings = 0;
timespec last_setting{};

long long ns_of(const timespec& t) {
    return t.tv_sec * 1000000000LL + t.tv_nsec;
}

long long monotonic_ns() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return ns_of(now);
}

} // namespace

void fake_clock_start(const timespec& now, bool refuse_setting) {
    offset_ns = ns_of(now) - monotonic_ns();
    refuse = refuse_setting;
    settings = 0;
}

int fake_clock_settings() {
    return settings;
}

timespec fake_clock_last_setting() {
    return last_setting;
}

bool wall_clock_read(timespec* now) {
    const long long ns = monotonic_ns() + offset_ns;
    *now = {static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
    return true;
}

bool wall_clock_set(const timespec& when) {
    if (!refuse) {
        ++settings;
        last_setting = when;
        offset_ns = ns_of(when) - monotonic_ns();
    }
    return !refuse;
}
