#include "nts/certificate_time.hpp"

#include <cstdio>
#include <limits>

#include "ntp/build_date.hpp"
#include "platform/local_time.hpp"

namespace {

constexpr int64_t SECONDS_PER_DAY = 86400;

// Days from 1970-01-01 to a date of the proleptic Gregorian calendar, counted in whole 400-year
// cycles of 146097 days from 0000-03-01, so that any year is exact.
int64_t days_since_1970(int64_t year, int64_t month, int64_t day) {
    year -= month <= 2 ? 1 : 0;
    const int64_t cycle = (year >= 0 ? year : year - 399) / 400;
    const int64_t year_of_cycle = year - cycle * 400;
    const int64_t day_of_year = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const int64_t day_of_cycle =
        year_of_cycle * 365 + year_of_cycle / 4 - year_of_cycle / 100 + day_of_year;
    return cycle * 146097 + day_of_cycle - 719468;
}

int64_t utc_seconds(const tm& calendar) {
    return days_since_1970(calendar.tm_year + int64_t{1900}, calendar.tm_mon + 1,
                           calendar.tm_mday) *
               SECONDS_PER_DAY +
           calendar.tm_hour * int64_t{3600} + calendar.tm_min * int64_t{60} + calendar.tm_sec;
}

} // namespace

CertificateDates plan_certificate_dates(CertificateTime setting, UnixNanoseconds now,
                                        int64_t build_date) {
    CertificateDates dates{};
    dates.valid_from = std::numeric_limits<int64_t>::min();
    dates.valid_until = std::numeric_limits<int64_t>::max();
    if (setting == CERTIFICATE_TIME_SERVER) {
        dates.at_server_time = true;
        snprintf(dates.why, sizeof dates.why, "NTS_CERTIFICATE_TIME=SERVER");
    } else if (const char* early =
                   build_date_rejection(static_cast<double>(floor_seconds(now)), build_date)) {
        dates.at_server_time = true;
        char clock[UTC_TEXT_SIZE];
        utc_text(floor_seconds(now), clock);
        snprintf(dates.why, sizeof dates.why, "local clock %s UTC is %s", clock, early);
    }
    return dates;
}

void take_certificate_dates(CertificateDates* dates, const tm& not_before, const tm& not_after) {
    const int64_t from = utc_seconds(not_before);
    const int64_t until = utc_seconds(not_after);
    dates->valid_from = from > dates->valid_from ? from : dates->valid_from;
    dates->valid_until = until < dates->valid_until ? until : dates->valid_until;
}

const char* server_time_rejection(const CertificateDates& dates, int64_t server_time,
                                  int64_t build_date) {
    if (const char* early = build_date_rejection(static_cast<double>(server_time), build_date)) {
        return early;
    }
    // The words the TLS library uses for the same failures at the local clock.
    if (server_time < dates.valid_from) {
        return "certificate is not yet valid";
    }
    return server_time > dates.valid_until ? "certificate has expired" : nullptr;
}
