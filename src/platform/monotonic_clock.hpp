#pragma once

#include <cstdint>

// A clock that no step of the wall clock moves, for measuring waits: milliseconds since some
// fixed moment. CLOCK_MONOTONIC elsewhere, GetTickCount64 on Windows.
int64_t monotonic_milliseconds();
