#include "fake_clock.hpp"

#include <chrono>

#include "platform/local_clock.hpp"
#include "platform/local_time.hpp"

namespace {

bool refuse = false;
long long offset_ns = 0; // fake minus steady
int settings = 0;
timespec last_setting{};

long long ns_of(const timespec& t) {
    return t.tv_sec * 1000000000LL + t.tv_nsec;
}

long long steady_ns() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

} // namespace

void fake_clock_start(const timespec& now, bool refuse_setting) {
    offset_ns = ns_of(now) - steady_ns();
    refuse = refuse_setting;
    settings = 0;
}

int fake_clock_settings() {
    return settings;
}

timespec fake_clock_last_setting() {
    return last_setting;
}

void local_clock_read(SYSTEMTIME* time) {
    const long long ns = steady_ns() + offset_ns;
    *time = timespec_to_systemtime(
        {static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)});
}

int local_clock_set(const SYSTEMTIME* time) {
    timespec when{};
    if (refuse || !systemtime_to_timespec(*time, &when)) {
        return 0;
    }
    ++settings;
    last_setting = when;
    offset_ns = ns_of(when) - steady_ns();
    return 1;
}
