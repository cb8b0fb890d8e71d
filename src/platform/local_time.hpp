#pragma once

#include <cstddef>
#include <cstdint>

// The fixed 24-character text of Unix seconds in the process's local time zone (TZ), with its
// newline, as ctime gives it.
const char* calendar_text(int64_t unix_seconds);
// "YYYY-MM-DD HH:MM:SS" of Unix seconds in UTC, in UTC_TEXT_SIZE bytes.
constexpr size_t UTC_TEXT_SIZE = 32;
void utc_text(int64_t unix_seconds, char text[UTC_TEXT_SIZE]);
// RFC 3339 UTC with nanoseconds ("YYYY-MM-DDTHH:MM:SS.nnnnnnnnnZ") of a reading, in
// RFC3339_TEXT_SIZE bytes; empty where the system's calendar cannot hold it.
constexpr size_t RFC3339_TEXT_SIZE = 64;
void rfc3339_text(int64_t unix_nanoseconds, char text[RFC3339_TEXT_SIZE]);
