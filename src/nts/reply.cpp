#include "nts/reply.hpp"

#include <cstdio>

#include "ntp/reply_check.hpp"
#include "ntp/report.hpp"
#include "ntp/timestamp.hpp"
#include "nts/authenticator.hpp"
#include "nts/key_exchange.hpp"
#include "platform/local_time.hpp"

namespace {

// The certificates' dates at the server's time, its reply's Transmit Timestamp, which only
// counts once the reply has proved to come from the certificate's key holder; read in the era
// nearest the build date, as the local clock is what may be wrong. nullptr when they hold, with
// that time in `when`; else why not.
const char* dates_rejection(const NtsSession& session, const Exchange& exchange,
                            char when[UTC_TEXT_SIZE]) {
    static char reason[160];
    const int64_t server_time = unix_seconds_near(
        ntp_time_from_bytes(ntp_field(exchange.reply.packet, NTP_OFFSET_TRANSMIT_TIME)),
        BUILD_DATE);
    utc_text(server_time, when);
    const char* why = server_time_rejection(session.dates, server_time, BUILD_DATE);
    if (why == nullptr && (why = nts_certificate_rejection(server_time)) == nullptr) {
        return nullptr;
    }
    snprintf(reason, sizeof reason, "certificate not valid at the server's time %s UTC: %s", when,
             why);
    return reason;
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
        rejection = dates_rejection(session, exchange, server_time);
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
