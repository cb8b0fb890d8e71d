#pragma once

// The wall clock the unit tests link in place of the real one. Until a test sets it, it reads
// the real time; once set, it runs on from the set time at the real pace. Setting it from the
// code under test moves only the fake, and is recorded.

#include <ctime>

void fake_clock_set(const timespec& now);
void fake_clock_follow_real_time();

// Makes the code's attempts to set the clock fail, as the system does without CAP_SYS_TIME.
void fake_clock_refuse_setting(bool refuse);
// How often the code set the clock since the last fake_clock_set, and to what last.
int fake_clock_settings();
timespec fake_clock_last_setting();
