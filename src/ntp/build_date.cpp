#include "ntp/build_date.hpp"

#include <cstdio>

#include "platform/local_time.hpp"

const int64_t BUILD_DATE = SNTP_BUILD_DATE;

const char* build_date_rejection(double unix_seconds, int64_t build_date) {
    static char reason[64];
    if (!(unix_seconds < static_cast<double>(build_date))) {
        return nullptr;
    }
    char day[UTC_TEXT_SIZE];
    utc_text(build_date, day);
    snprintf(reason, sizeof reason, "before this program's build date %.10s", day);
    return reason;
}
