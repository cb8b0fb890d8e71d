#include "app/run.hpp"

#include <cstdlib>
#include <cstring>

#include "app/config.hpp"
#include "clock/adjust.hpp"
#include "ntp/build_date.hpp"
#include "ntp/escape.hpp"
#include "ntp/reply_check.hpp"
#include "ntp/report.hpp"
#include "ntp/server_text.hpp"
#include "ntp/timestamp.hpp"
#include "nts/authenticator.hpp"
#include "nts/key_exchange.hpp"
#include "nts/reply.hpp"
#include "platform/local_time.hpp"

namespace {

constexpr uint16_t LOCAL_PORT = 1024;

constexpr const char* NO_ADDRESS = "## Error ##: Can NOT get Server address from name.\n";

NtsSession nts_session;

// The clean-up runs once at exit however many runs a process makes.
bool register_cleanup() {
    static bool registered = false;
    if (!registered) {
        registered = atexit(sockets_cleanup) == 0;
    }
    return registered;
}

// The name is the caller's text: shown escaped, so that it cannot forge a line of the report.
void print_server_line(const char* name, uint16_t port) {
    char shown[NTP_SERVER_NAME_SIZE * ESCAPED_BYTE_SIZE];
    escape_text(name, NTP_SERVER_NAME_SIZE, false, shown, sizeof shown);
    fprintf(ntp_out, "Server Name = %s, Port = %d\n", shown, port);
}

// Whether the reply taken ends the wait: in a plain run that only reports, any; in one that is to
// step the clock, one that answers the request; in an NTS run, only an authenticated answer.
bool ends_wait(const Exchange& exchange, const void* context) {
    const Query& query = *static_cast<const Query*>(context);
    if (query.nts != nullptr) {
        return nts_reply_rejection(*query.nts, exchange) == nullptr;
    }
    return !query.adjust || stranger_rejection(exchange) == nullptr;
}

// The request on the wire: the header, and in an NTS run (version 4) its fields after it; 0 when
// it cannot be made.
size_t build_request(Query* query, uint8_t wire[NTS_REQUEST_MAX]) {
    NtpPacket& request = query->exchange.request;
    if (!ntp_build_request(query->nts != nullptr ? NTP_V4_REQUEST_FLAGS : NTP_REQUEST_FLAGS,
                           &request)) {
        return 0;
    }
    if (query->nts != nullptr) {
        return nts_build_request(query->nts, request, wire);
    }
    memcpy(wire, request.bytes, NTP_PACKET_SIZE);
    return NTP_PACKET_SIZE;
}

// The request goes out once the socket is the server's alone; then the reply.
bool send_and_receive(NetSocket socket, Query* query) {
    if (!exchange_connect(socket, query->exchange.server)) {
        return false;
    }
    uint8_t wire[NTS_REQUEST_MAX];
    const size_t size = build_request(query, wire);
    if (size == 0) {
        return report_failure("## Error ##: Can NOT get random bytes for the request.\n");
    }
    return exchange_datagrams(socket, wire, size, ends_wait, query, &query->exchange);
}

// An NTS run without an authenticated reply reports no time: anyone on the path could have
// written the one it got.
void report_unauthenticated(bool adjust, const char* why) {
    if (adjust) {
        fprintf(ntp_out,
                "## Error ##: Reply rejected (not authenticated: %s); local time not adjusted.\n",
                why);
    } else {
        fprintf(ntp_out, "## Error ##: No authenticated reply (%s); no time is reported.\n", why);
    }
}

// The key exchange of an NTS run, after which the NTP exchange goes where it said.
bool start_nts(const char* name, bool resolved, CertificateTime dates, Query* query) {
    if (!resolved) {
        return report_failure(NO_ADDRESS);
    }
    nts_session.dates = plan_certificate_dates(dates, wall_clock_read(), BUILD_DATE);
    if (!nts_key_exchange(name, query->exchange.server, &nts_session)) {
        return false;
    }
    query->exchange.server = nts_session.ntp_server;
    query->nts = &nts_session;
    return true;
}

// Truncates toward zero; values no calendar time can hold give 0.
int64_t whole_seconds(double seconds) {
    constexpr double LIMIT = 9.0e18;
    return seconds > -LIMIT && seconds < LIMIT ? static_cast<int64_t>(seconds) : 0;
}

// Why the clock may not be stepped to the corrected time, or nullptr: a time before this
// program was built is wrong, whoever sent it, and the clock must be able to take it.
const char* step_rejection(double corrected) {
    if (const char* early = build_date_rejection(corrected, BUILD_DATE)) {
        static char reason[96];
        snprintf(reason, sizeof reason, "corrected time %s", early);
        return reason;
    }
    return clock_can_take(corrected) ? nullptr : "corrected time outside 1970 to 2106";
}

// Stepping every process's clock from an unchecked datagram would let anyone who can send one
// set it: the reply must first pass the client checks, and the time it gives must be one the
// clock may take.
void adjust_if_trusted(const Exchange& exchange, double delay, double offset, double corrected) {
    const char* rejection = reply_rejection(exchange, delay);
    if (rejection == nullptr) {
        rejection = step_rejection(corrected);
    }
    if (rejection != nullptr) {
        fprintf(ntp_out, "## Error ##: Reply rejected (%s); local time not adjusted.\n", rejection);
    } else if (adjust_local_time(offset)) {
        fprintf(ntp_out, "## INFO. ## Adjusted Local Time.\n");
    } else {
        fprintf(ntp_out, "## Error ##: Can NOT Adujust time.\n");
    }
}

// What the environment asks of a run, once it has passed its checks.
struct Settings {
    bool nts;
    CertificateTime dates;
    char* name;
    uint16_t port;
};

// Reads the environment and prints the server line; false, with its error line printed, when a
// setting is not one the client takes.
bool read_settings(Settings* settings) {
    const Authentication authentication = get_authentication();
    if (authentication == AUTHENTICATION_UNKNOWN) {
        return report_failure(
            "## Error ##: NTP_AUTHENTICATION must be NTS or unset; nothing was sent.\n");
    }
    settings->nts = authentication == AUTHENTICATION_NTS;
    settings->dates = settings->nts ? get_certificate_time() : CERTIFICATE_TIME_LOCAL;
    if (settings->dates == CERTIFICATE_TIME_UNKNOWN) {
        return report_failure("## Error ##: NTS_CERTIFICATE_TIME must be LOCAL, SERVER or unset; "
                              "nothing was sent.\n");
    }
    settings->name = get_ntp_server_name(settings->nts);
    if (settings->name == nullptr) {
        return report_failure("## Error ##: Server name longer than 255 characters.\n");
    }
    settings->port =
        split_server_port(settings->name, settings->nts ? NTS_KE_DEFAULT_PORT : NTP_DEFAULT_PORT);
    print_server_line(settings->name, settings->port);
    return true;
}

// The sockets library started, and its clean-up registered for the exit.
bool start_sockets() {
    if (!sockets_startup()) {
        return report_failure("## Error ##: Can NOT initialize WinSock.\n");
    }
    return register_cleanup() || report_failure("## Error ##: Falure atexit(WSACleanup).\n");
}

// The exchange over a UDP socket of the server's family, bound to port 1024 where it can be;
// whether a reply came.
bool exchange_over_udp(bool resolved, Query* query) {
    const NetSocket socket = udp_socket_open(query->exchange.server);
    if (socket == NO_SOCKET) {
        return report_failure("## Error ##: Can NOT Create UDP Socket.\n");
    }
    if (!udp_socket_bind_any(socket, query->exchange.server, LOCAL_PORT)) {
        // The exchange goes on from a port the system picks.
        report_failure("## Error ##: Can NOT setup receive port.\n");
    }
    query->adjust = get_execution_status() == STATUS_ADJUST_TIME;
    const bool replied = resolved ? send_and_receive(socket, query) : report_failure(NO_ADDRESS);
    socket_close(socket);
    return replied;
}

} // namespace

uint32_t complete_query(const Query& query) {
    const Exchange& exchange = query.exchange;
    const NtpPacket& reply = exchange.reply.packet;
    if (ntp_verbose != 0) {
        print_ntp_packet(reply);
    }
    if (query.nts != nullptr) {
        if (const char* unauthenticated = nts_report_reply(*query.nts, exchange)) {
            report_unauthenticated(query.adjust, unauthenticated);
            return 0;
        }
    }
    const NtpTime t1 = ntp_time_of(exchange.sent);
    const NtpTime t4 = ntp_time_of(exchange.reply.arrived);
    const double offset = compute_clock_offset(reply, t1, t4);
    const double corrected = unix_seconds(exchange.reply.arrived) + offset;
    if (query.adjust) {
        adjust_if_trusted(exchange, round_trip_delay(reply, t1, t4), offset, corrected);
    }
    fprintf(ntp_out, "System   Time = %s",
            calendar_text(exchange.reply.arrived / NANOSECONDS_PER_SECOND));
    return static_cast<uint32_t>(whole_seconds(corrected));
}

uint32_t query_ntp_server() {
    Settings settings{};
    if (!read_settings(&settings) || !start_sockets()) {
        return 0;
    }
    // The server's address decides the socket's family, so it is looked up first; a failure
    // is told where it always was, after the socket's.
    Query query{};
    const bool resolved = resolve_host(settings.name, settings.port, &query.exchange.server);
    if (settings.nts && !start_nts(settings.name, resolved, settings.dates, &query)) {
        return 0;
    }
    return exchange_over_udp(resolved, &query) ? complete_query(query) : 0;
}
