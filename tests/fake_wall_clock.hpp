#pragma once

// The wall clock the unit tests link in place of the real one. Until a test sets it, it reads
// the real time; once set, it runs on from the set time at the real pace.

#include <ctime>

void fake_clock_set(const timespec& now);
void fake_clock_follow_real_time();
