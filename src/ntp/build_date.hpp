#pragma once

#include <cstdint>

// This program's build date in Unix seconds, compiled in: a clock that reads earlier cannot be
// right, whoever says so.
extern const int64_t BUILD_DATE;

// nullptr when `unix_seconds` is no earlier than `build_date` (or is no number, which other
// checks take); otherwise "before this program's build date YYYY-MM-DD".
const char* build_date_rejection(double unix_seconds, int64_t build_date);
