#pragma once

// The clock that the in-process tests link in place of the real one. It stands still where a
// test starts it, so that what a test expects to the millisecond does not depend on how fast
// the machine runs. When the code under test sets it, only the fake moves, and the setting is
// counted.

#include <ctime>

void fake_clock_start(const timespec& now, bool refuse_setting = false);
int fake_clock_settings(); // since the start
timespec fake_clock_last_setting();
