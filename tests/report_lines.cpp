#include "report_lines.hpp"

#include <cmath>
#include <cstdlib>
#include <ctime>
#include <sstream>

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);) {
        lines.push_back(line);
    }
    return lines;
}

std::string line_starting(const std::string& text, const std::string& prefix) {
    for (const auto& line : lines_of(text)) {
        if (line.rfind(prefix, 0) == 0) {
            return line;
        }
    }
    return "";
}

double value_of(const std::string& text, const std::string& prefix) {
    const std::string line = line_starting(text, prefix);
    const auto equals = line.find('=');
    return equals == std::string::npos ? NAN : std::strtod(line.c_str() + equals + 1, nullptr);
}

std::string ctime_text(long long unix_seconds) {
    const time_t seconds = unix_seconds;
    char buffer[32];
    return ctime_r(&seconds, buffer);
}
