#include "nts/certificate_time.hpp"

#include <cstdio>

#include "platform/local_time.hpp"

const int64_t BUILD_DATE = SNTP_BUILD_DATE;

namespace {

char reason[96];

// "YYYY-MM-DD" of Unix seconds, UTC.
void day_text(int64_t unix_seconds, char text[UTC_TEXT_SIZE]) {
    utc_text(unix_seconds, text);
    text[10] = '\0';
}

} // namespace

CertificateDates plan_certificate_dates(CertificateTime setting, UnixNanoseconds now,
                                        int64_t build_date) {
    CertificateDates dates{};
    if (setting == CERTIFICATE_TIME_SERVER) {
        dates.at_server_time = true;
        snprintf(dates.why, sizeof dates.why, "NTS_CERTIFICATE_TIME=SERVER");
    } else if (floor_seconds(now) < build_date) {
        dates.at_server_time = dates.after_build_date = true;
        char clock[UTC_TEXT_SIZE];
        char build[UTC_TEXT_SIZE];
        utc_text(floor_seconds(now), clock);
        day_text(build_date, build);
        snprintf(dates.why, sizeof dates.why,
                 "local clock %s UTC is before this program's build date %s", clock, build);
    }
    return dates;
}

const char* server_time_rejection(const CertificateDates& dates, int64_t server_time,
                                  int64_t build_date) {
    if (!dates.after_build_date || server_time >= build_date) {
        return nullptr;
    }
    char build[UTC_TEXT_SIZE];
    day_text(build_date, build);
    snprintf(reason, sizeof reason, "before this program's build date %s", build);
    return reason;
}
