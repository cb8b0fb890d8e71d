#pragma once

// For the in-process tests: what the client writes on ntp_out while a test runs it, and the
// time zone of the process.

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>

#include "app/config.hpp"

template <typename Run> std::string report_of(Run&& run) {
    char* text = nullptr;
    size_t size = 0;
    ntp_init(1);
    ntp_out = open_memstream(&text, &size);
    run();
    fclose(ntp_out);
    ntp_out = stdout;
    std::string report(text, size);
    free(text);
    return report;
}

inline void use_zone(const char* zone) {
    setenv("TZ", zone, 1);
    tzset();
}
