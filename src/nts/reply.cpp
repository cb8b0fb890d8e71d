#include "nts/reply.hpp"

#include <cstdio>

#include "ntp/build_date.hpp"
#include "ntp/reply_check.hpp"
#include "ntp/timestamp.hpp"
#include "nts/authenticator.hpp"
#include "platform/local_time.hpp"
#include "report/report.hpp"

namespace {

// The certificates' dates at the server's time, which only counts once the reply has proved to
// come from the certificate's key holder: its Transmit Timestamp, and its Receive Timestamp as
// well, since the time a run reports is built from both. Each read in the era nearest the build
// date, as the local clock is what may be wrong. nullptr when both pass, with the Transmit
// Timestamp's time in `when` (Unix seconds); else why not.
const char* dates_rejection(const NtsSession& session, const NtpPacket& reply, int64_t* when) {
    static char reason[160];
    constexpr size_t CHECKED[] = {NTP_OFFSET_RECEIVE_TIME, NTP_OFFSET_TRANSMIT_TIME};
    for (const size_t field : CHECKED) {
        *when = unix_seconds_near(ntp_time_from_bytes(ntp_field(reply, field)), BUILD_DATE);
        if (const char* why = server_time_rejection(session.dates, *when, BUILD_DATE)) {
            char text[UTC_TEXT_SIZE];
            utc_text(*when, text);
            snprintf(reason, sizeof reason, "certificate not valid at the server's time %s UTC: %s",
                     text, why);
            return reason;
        }
    }
    return nullptr;
}

// The dates valid at the server's time, which JSON gives as RFC 3339.
void report_dates_valid(int64_t when) {
    char text[UTC_TEXT_SIZE];
    char rfc3339[RFC3339_TEXT_SIZE];
    utc_text(when, text);
    rfc3339_text(when * NANOSECONDS_PER_SECOND, rfc3339);
    report_line({{"nts.certificate_dates_valid_at", json_optional(rfc3339)}},
                "NTS Certificate Dates = valid at the server's time %s UTC\n", text);
}

} // namespace

const char* nts_reply_rejection(const NtsSession& session, const Exchange& exchange) {
    const Datagram& reply = exchange.reply;
    if (const char* rejection =
            nts_rejection(session, reply.bytes, static_cast<size_t>(reply.length))) {
        return rejection;
    }
    return stranger_rejection(exchange);
}

const char* nts_report_reply(const NtsSession& session, const Exchange& exchange) {
    const Datagram& reply = exchange.reply;
    const auto length = static_cast<size_t>(reply.length);
    print_extension_fields(reply.bytes, length < sizeof reply.bytes ? length : sizeof reply.bytes);
    const char* rejection = nts_reply_rejection(session, exchange);
    int64_t server_time = 0;
    if (rejection == nullptr && session.dates.at_server_time) {
        rejection = dates_rejection(session, reply.packet, &server_time);
    }
    if (rejection != nullptr) {
        report_line({{"nts.verified", json_boolean(false)}, {"nts.reason", json_string(rejection)}},
                    "NTS Authenticator = NOT verified (%s)\n", rejection);
        return rejection;
    }
    report_line({{"nts.verified", json_boolean(true)}, {"nts.reason", json_null()}},
                "NTS Authenticator = verified\n");
    if (session.dates.at_server_time) {
        report_dates_valid(server_time);
    }
    return nullptr;
}
