#pragma once

// The clock that the in-process tests link in place of the real one: it runs at the real pace
// from where a test starts it. When the code under test sets it, only the fake moves, and the
// setting is counted.

#include <ctime>

void fake_clock_start(const timespec& now, bool refuse_setting = false);
int fake_clock_settings(); // since the start
timespec fake_clock_last_setting();
