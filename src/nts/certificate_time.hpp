#pragma once

#include <cstdint>
#include <ctime>

#include "platform/wall_clock.hpp"

// At which time an NTS run checks the certificates' dates (NTS_CERTIFICATE_TIME).
enum CertificateTime { CERTIFICATE_TIME_LOCAL, CERTIFICATE_TIME_SERVER, CERTIFICATE_TIME_UNKNOWN };

// When a run checks the key exchange server's certificates' dates: during the handshake at the
// local clock, or after the reply has been authenticated at the server's time, which must then
// also be no earlier than the build date. `why` says why at the server's. For that check the key
// exchange narrows [valid_from, valid_until] (Unix seconds) to the span in which every
// certificate of the verified chain is valid.
struct CertificateDates {
    bool at_server_time;
    char why[128];
    int64_t valid_from;
    int64_t valid_until;
};

// SERVER checks at the server's time; so does LOCAL when the local clock, now, reads earlier than
// the build date.
CertificateDates plan_certificate_dates(CertificateTime setting, UnixNanoseconds now,
                                        int64_t build_date);

// Narrows the span to one certificate's dates, as it holds them: calendar times in UTC. Read by
// our own arithmetic, so no time_t of the TLS library's width is ever involved.
void take_certificate_dates(CertificateDates* dates, const tm& not_before, const tm& not_after);

// Whether the server's time (Unix seconds) passes the dates' check: nullptr, or why not.
const char* server_time_rejection(const CertificateDates& dates, int64_t server_time,
                                  int64_t build_date);
