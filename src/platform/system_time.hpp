#pragma once

// SYSTEMTIME, the local calendar time record with milliseconds that the clock is read into and
// set from: the system's own on Windows, a stand-in of the same shape elsewhere.
#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#else
#include <cstdint>

struct SYSTEMTIME {
    uint16_t wYear;
    uint16_t wMonth;     // 1 to 12
    uint16_t wDayOfWeek; // 0 = Sunday
    uint16_t wDay;
    uint16_t wHour;
    uint16_t wMinute;
    uint16_t wSecond;
    uint16_t wMilliseconds;
};
#endif
