#pragma once

// The small helpers that read a report and write the tests' timestamps.

#include <cstdint>
#include <string>
#include <vector>

double now_ntp(); // the real clock in NTP seconds
void put_ntp(uint8_t* bytes, double seconds);
double get_ntp(const uint8_t* bytes);

std::vector<std::string> lines_of(const std::string& text);
// The first line that starts with prefix, or the line that many after it; "" when none.
std::string line_of(const std::string& report, const std::string& prefix, size_t after = 0);
// The number after the first '=' of that line.
double number_of(const std::string& report, const std::string& prefix);
// Each of lines is a whole line of the report, in this order.
bool has_lines(const std::string& report, const std::vector<std::string>& lines);
std::string ctime_of(long long unix_seconds); // without its newline
