#include "report_lines.hpp"

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <sstream>

namespace {

constexpr double ERA = 4294967296.0;

} // namespace

double now_ntp() {
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    return std::chrono::duration<double>(now).count() + 2208988800.0;
}

void put_ntp(uint8_t* bytes, double seconds) {
    seconds -= std::floor(seconds / ERA) * ERA;
    const auto whole = static_cast<uint32_t>(seconds);
    const uint64_t fixed = uint64_t{whole} << 32 | static_cast<uint32_t>((seconds - whole) * ERA);
    for (int i = 0; i < 8; ++i) {
        bytes[i] = static_cast<uint8_t>(fixed >> (56 - 8 * i));
    }
}

double get_ntp(const uint8_t* bytes) {
    uint64_t fixed = 0;
    for (int i = 0; i < 8; ++i) {
        fixed = fixed << 8 | bytes[i];
    }
    return static_cast<double>(fixed) / ERA;
}

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);) {
        lines.push_back(line);
    }
    return lines;
}

std::string line_of(const std::string& report, const std::string& prefix, size_t after) {
    const auto lines = lines_of(report);
    for (size_t i = 0; i + after < lines.size(); ++i) {
        if (lines[i].rfind(prefix, 0) == 0) {
            return lines[i + after];
        }
    }
    return "";
}

double number_of(const std::string& report, const std::string& prefix) {
    const std::string line = line_of(report, prefix);
    return line.empty() ? NAN : std::strtod(line.c_str() + line.find('=') + 1, nullptr);
}

bool has_lines(const std::string& report, const std::vector<std::string>& wanted) {
    size_t next = 0;
    for (const auto& line : lines_of(report)) {
        next += next < wanted.size() && line == wanted[next];
    }
    return next == wanted.size();
}

std::string ctime_of(long long unix_seconds) {
    const time_t seconds = unix_seconds;
    return std::string(ctime(&seconds), 24);
}
