#include "platform/wall_clock.hpp"

#include <windows.h>

namespace {

// FILETIME counts 100-nanosecond ticks since 1601-01-01 00:00:00 UTC.
constexpr int64_t TICKS_TO_1970 = 116444736000000000;
constexpr int64_t NANOSECONDS_PER_TICK = 100;

} // namespace

UnixNanoseconds wall_clock_read() {
    FILETIME now{};
    GetSystemTimePreciseAsFileTime(&now);
    const auto ticks =
        static_cast<int64_t>((static_cast<uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime);
    return (ticks - TICKS_TO_1970) * NANOSECONDS_PER_TICK;
}

// The only place in the program that can change the machine's clock; needs the system-time
// right (an elevated console). SetSystemTime takes UTC, so no local-time ambiguity reaches it.
bool wall_clock_set(UnixNanoseconds when) {
    const auto ticks = static_cast<uint64_t>(when / NANOSECONDS_PER_TICK + TICKS_TO_1970);
    const FILETIME target{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
    SYSTEMTIME utc{};
    return FileTimeToSystemTime(&target, &utc) != 0 && SetSystemTime(&utc) != 0;
}
