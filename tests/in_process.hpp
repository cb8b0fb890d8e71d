#pragma once

// What the in-process tests share: the fake clock linked in place of the real one, hex, a report
// caught, and a run completed from a given reply.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "app/run.hpp"

// The fake clock stands still where a test puts it, so that what a test expects to the
// nanosecond does not depend on how fast the machine runs. Only a setting moves it; the settings
// are counted.
extern UnixNanoseconds fake_clock_now;
extern int fake_clock_settings;

// A time as NTP timestamp bytes, modulo one era, rounded: the tests' own way, in integers, as
// precise where long double is only a double (ARM).
void put_ntp(uint8_t* bytes, UnixNanoseconds when);

// Hex digits as bytes; spaces between them are skipped.
std::vector<uint8_t> hex_bytes(const std::string& hex);

// What `body` printed on the report's stream.
std::string report_of(const std::function<void()>& body);

// The JSON report of everything after reception.
std::string json_report_of(const Query& query);

// A verbose run that asks to set the clock: the request with the given transmit bytes went at
// `sent` to 127.0.0.1:123, and the reply given came from there and arrived on the fake clock
// where it stands.
Query query_with_reply(const uint8_t* transmit, UnixNanoseconds sent, const uint8_t* reply,
                       size_t length);

// Whether the text is one JSON value (RFC 8259, strictly: no trailing commas, no NaN, controls
// escaped), on one line of ASCII ending in a newline: what a JSON run writes.
bool json_line_is_valid(const std::string& text);
