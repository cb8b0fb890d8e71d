#include "platform/monotonic_clock.hpp"

#include <windows.h>

int64_t monotonic_milliseconds() {
    return static_cast<int64_t>(GetTickCount64());
}
