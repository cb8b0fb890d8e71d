#include "nts/reply.hpp"

#include <cstdio>

#include "ntp/build_date.hpp"
#include "ntp/reply_check.hpp"
#include "ntp/report.hpp"
#include "ntp/timestamp.hpp"
#include "nts/authenticator.hpp"
#include "platform/local_time.hpp"

namespace {

// The certificates' dates at the server's time, which only counts once the reply has proved to
// come from the certificate's key holder: its Transmit Timestamp, and its Receive Timestamp as
// well, since the time a run reports is built from both. Each read in the era nearest the build
// date, as the local clock is what may be wrong. nullptr when both pass, with the Transmit
// Timestamp's time in `when`; else why not.
const char* dates_rejection(const NtsSession& session, const NtpPacket& reply,
                            char when[UTC_TEXT_SIZE]) {
    static char reason[160];
    constexpr size_t CHECKED[] = {NTP_OFFSET_RECEIVE_TIME, NTP_OFFSET_TRANSMIT_TIME};
    for (const size_t field : CHECKED) {
        const int64_t server_time =
            unix_seconds_near(ntp_time_from_bytes(ntp_field(reply, field)), BUILD_DATE);
        utc_text(server_time, when);
        if (const char* why = server_time_rejection(session.dates, server_time, BUILD_DATE)) {
            snprintf(reason, sizeof reason, "certificate not valid at the server's time %s UTC: %s",
                     when, why);
            return reason;
        }
    }
    return nullptr;
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
    char server_time[UTC_TEXT_SIZE] = "";
    if (rejection == nullptr && session.dates.at_server_time) {
        rejection = dates_rejection(session, reply.packet, server_time);
    }
    if (rejection != nullptr) {
        fprintf(ntp_out, "NTS Authenticator = NOT verified (%s)\n", rejection);
        return rejection;
    }
    fprintf(ntp_out, "NTS Authenticator = verified\n");
    if (server_time[0] != '\0') {
        fprintf(ntp_out, "NTS Certificate Dates = valid at the server's time %s UTC\n",
                server_time);
    }
    return nullptr;
}
