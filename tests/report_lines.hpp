#pragma once

// Reading a report: its lines, the line that starts with a label, the number it shows.

#include <string>
#include <vector>

std::vector<std::string> lines_of(const std::string& text);
// The first line that starts with prefix, or "" when there is none.
std::string line_starting(const std::string& text, const std::string& prefix);
// The number after the first '=' of the line that starts with prefix.
double value_of(const std::string& text, const std::string& prefix);
// ctime's text of a Unix time, in the test process's TZ.
std::string ctime_text(long long unix_seconds);
