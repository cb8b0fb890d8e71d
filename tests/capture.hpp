#pragma once

// For the in-process tests: what the client writes on ntp_out while a test runs it, and the
// time zone of the process.

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>

#include "app/config.hpp"

template <typename Run> std::string report_of(Run&& run) {
    ntp_init(1);
    ntp_out = tmpfile();
    run();
    std::string report(static_cast<size_t>(ftell(ntp_out)), '\0');
    rewind(ntp_out);
    report.resize(fread(report.data(), 1, report.size(), ntp_out));
    fclose(ntp_out);
    ntp_out = stdout;
    return report;
}

// The zones the tests run in: UTC, one east of it by a half hour, one west with daylight saving
// (the C library on Windows reads only its own syntax, with the US rules).
#ifdef _WIN32
constexpr const char* ZONES[] = {"UTC0", "IST-5:30", "EST5EDT"};
inline void use_zone(const char* zone) {
    _putenv_s("TZ", zone);
    _tzset();
}
#else
constexpr const char* ZONES[] = {"UTC", "Asia/Kolkata", "America/New_York"};
inline void use_zone(const char* zone) {
    setenv("TZ", zone, 1);
    tzset();
}
#endif
