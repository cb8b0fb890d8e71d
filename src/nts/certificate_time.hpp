#pragma once

#include <cstdint>

#include "platform/wall_clock.hpp"

// At which time an NTS run checks the certificates' dates (NTS_CERTIFICATE_TIME).
enum CertificateTime { CERTIFICATE_TIME_LOCAL, CERTIFICATE_TIME_SERVER, CERTIFICATE_TIME_UNKNOWN };

// This program's build date in Unix seconds, compiled in: a clock that reads earlier cannot be
// right.
extern const int64_t BUILD_DATE;

// When a run checks the key exchange server's certificates' dates: during the handshake at the
// local clock, or after the reply has been authenticated at the server's time, which in the
// automatic case must also be no earlier than the build date. `why` says why at the server's.
struct CertificateDates {
    bool at_server_time;
    bool after_build_date;
    char why[128];
};

// SERVER checks at the server's time; so does LOCAL when the local clock, now, reads earlier than
// the build date.
CertificateDates plan_certificate_dates(CertificateTime setting, UnixNanoseconds now,
                                        int64_t build_date);

// Whether the server's time (Unix seconds) may stand for the dates' check: nullptr, or why not.
const char* server_time_rejection(const CertificateDates& dates, int64_t server_time,
                                  int64_t build_date);
