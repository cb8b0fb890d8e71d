#pragma once

// What the in-process tests share: the fake clock linked in place of the real one, and an
// exchange completed from a given reply.

#include <cstdint>
#include <string>

#include "platform/wall_clock.hpp"

// The fake clock stands still where a test puts it, so that what a test expects to the
// nanosecond does not depend on how fast the machine runs. Only a setting moves it, unless it
// refuses; the settings are counted.
extern UnixNanoseconds fake_clock_now;
extern bool fake_clock_refuses;
extern int fake_clock_settings;

// The report of an exchange that asks to set the clock: the request with the given transmit
// bytes went at `sent`, the reply given came from sender:port and arrived on the fake clock
// where it stands; the server is 127.0.0.1:123. The corrected time that the exchange returns
// goes to *corrected.
std::string complete_reply(const uint8_t* transmit, UnixNanoseconds sent, const uint8_t* reply,
                           size_t length, const char* sender = "127.0.0.1", uint16_t port = 123,
                           uint32_t* corrected = nullptr);
