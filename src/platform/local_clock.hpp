#pragma once

#include "platform/system_time.hpp"

// The machine's clock in local calendar time: GetLocalTime and SetLocalTime on Windows, our
// stand-in over the POSIX clock elsewhere. The program links the real one; the tests link a
// fake in its place, so no test can ever touch this machine's clock.

// Reads the clock, milliseconds truncated.
void local_clock_read(SYSTEMTIME* time);
// Steps the clock; 1 when the system did it, else 0 (no right to set the time, or a time the
// system cannot take).
int local_clock_set(const SYSTEMTIME* time);
