#include "fake_clock.hpp"

#include "platform/local_clock.hpp"
#include "platform/local_time.hpp"

namespace {

bool refuse = false;
timespec now{};
int settings = 0;

} // namespace

void fake_clock_start(const timespec& start, bool refuse_setting) {
    now = start;
    refuse = refuse_setting;
    settings = 0;
}

int fake_clock_settings() {
    return settings;
}

timespec fake_clock_last_setting() {
    return now;
}

void local_clock_read(SYSTEMTIME* time) {
    *time = timespec_to_systemtime(now);
}

int local_clock_set(const SYSTEMTIME* time) {
    if (refuse || !systemtime_to_timespec(*time, &now)) {
        return 0;
    }
    ++settings;
    return 1;
}
