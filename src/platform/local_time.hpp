#pragma once

#include <cstdint>

// The fixed 24-character text of Unix seconds in the process's local time zone (TZ), with its
// newline, as ctime gives it.
const char* calendar_text(int64_t unix_seconds);
