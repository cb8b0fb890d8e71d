#pragma once

// Whether the clock can be stepped to this Unix time without wrapping: finite, from 1970 up to
// the end of the 32-bit Unix seconds that a run returns.
bool clock_can_take(double unix_seconds);

// Steps the local clock to a fresh reading plus offset (seconds) and prints whether it worked.
void adjust_local_time(double offset);
