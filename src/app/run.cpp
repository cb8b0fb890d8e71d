#include "app/run.hpp"

#include <cmath>
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
#include "report/report.hpp"

namespace {

constexpr uint16_t LOCAL_PORT = 1024;

constexpr const char* NO_ADDRESS = "Can NOT get Server address from name.";

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
    report_line({{"server.name", json_string(name)}, {"server.port", json_integer(port)}},
                "Server Name = %s, Port = %d\n", shown, port);
}

// The address that the server's name gave, which only the JSON report names.
void report_server_address(const NetAddress& address) {
    char text[ADDRESS_TEXT_SIZE];
    address_text(address, text, sizeof text);
    report_line({{"server.address", json_string(text)},
                 {"server.family", json_string(address_is_ipv6(address) ? "IPv6" : "IPv4")}},
                nullptr);
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
        return report_error("Can NOT get random bytes for the request.");
    }
    return exchange_datagrams(socket, wire, size, ends_wait, query, &query->exchange);
}

// An NTS run without an authenticated reply reports no time: anyone on the path could have
// written the one it got.
void report_unauthenticated(bool adjust, const char* why) {
    if (adjust) {
        report_error({{"step.done", json_boolean(false)}, {"step.rejection", json_string(why)}},
                     "Reply rejected (not authenticated: %s); local time not adjusted.", why);
    } else {
        report_error("No authenticated reply (%s); no time is reported.", why);
    }
}

// The key exchange of an NTS run, after which the NTP exchange goes where it said.
bool start_nts(const char* name, bool resolved, CertificateTime dates, Query* query) {
    if (!resolved) {
        return report_error(NO_ADDRESS);
    }
    nts_session.dates = plan_certificate_dates(dates, wall_clock_read(), BUILD_DATE);
    if (!nts_key_exchange(name, query->exchange.server, &nts_session)) {
        return false;
    }
    query->exchange.server = nts_session.ntp_server;
    query->nts = &nts_session;
    return true;
}

// A time in Unix seconds, which only the JSON report names: as a number and as RFC 3339 UTC.
void report_time(const char* unix_path, const char* utc_path, double seconds) {
    char utc[RFC3339_TEXT_SIZE] = "";
    // In nanoseconds an int64_t; only JSON names it.
    if (report_format() == REPORT_JSON && std::isfinite(seconds) && std::fabs(seconds) < 9.0e9) {
        rfc3339_text(std::llround(seconds * NANOSECONDS_PER_SECOND), utc);
    }
    report_line({{unix_path, json_number(seconds)}, {utc_path, json_optional(utc)}}, nullptr);
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
        report_error(
            {{"step.done", json_boolean(false)}, {"step.rejection", json_string(rejection)}},
            "Reply rejected (%s); local time not adjusted.", rejection);
    } else if (adjust_local_time(offset)) {
        report_line({{"step.done", json_boolean(true)}}, "## INFO. ## Adjusted Local Time.\n");
    } else {
        report_error({{"step.done", json_boolean(false)}}, "Can NOT Adujust time.");
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
    ReportFormat format = REPORT_TEXT;
    const bool known_format = get_report_format(&format);
    report_start(format);
    if (!known_format) {
        return report_error("NTP_REPORT_FORMAT must be TEXT, JSON or unset; nothing was sent.");
    }
    const Authentication authentication = get_authentication();
    if (authentication == AUTHENTICATION_UNKNOWN) {
        return report_error("NTP_AUTHENTICATION must be NTS or unset; nothing was sent.");
    }
    settings->nts = authentication == AUTHENTICATION_NTS;
    settings->dates = settings->nts ? get_certificate_time() : CERTIFICATE_TIME_LOCAL;
    if (settings->dates == CERTIFICATE_TIME_UNKNOWN) {
        return report_error("NTS_CERTIFICATE_TIME must be LOCAL, SERVER or unset; "
                            "nothing was sent.");
    }
    settings->name = get_ntp_server_name(settings->nts);
    if (settings->name == nullptr) {
        return report_error("Server name longer than 255 characters.");
    }
    settings->port =
        split_server_port(settings->name, settings->nts ? NTS_KE_DEFAULT_PORT : NTP_DEFAULT_PORT);
    print_server_line(settings->name, settings->port);
    return true;
}

// The sockets library started, and its clean-up registered for the exit.
bool start_sockets() {
    if (!sockets_startup()) {
        return report_error("Can NOT initialize WinSock.");
    }
    return register_cleanup() || report_error("Falure atexit(WSACleanup).");
}

// The exchange over a UDP socket of the server's family, bound to port 1024 where it can be;
// whether a reply came.
bool exchange_over_udp(bool resolved, Query* query) {
    const NetSocket socket = udp_socket_open(query->exchange.server);
    if (socket == NO_SOCKET) {
        return report_error("Can NOT Create UDP Socket.");
    }
    if (!udp_socket_bind_any(socket, query->exchange.server, LOCAL_PORT)) {
        // The exchange goes on from a port the system picks.
        report_error("Can NOT setup receive port.");
    }
    query->adjust = get_execution_status() == STATUS_ADJUST_TIME;
    report_line({{"step.asked", json_boolean(query->adjust)}}, nullptr);
    const bool replied = resolved ? send_and_receive(socket, query) : report_error(NO_ADDRESS);
    socket_close(socket);
    return replied;
}

} // namespace

uint32_t complete_query(const Query& query) {
    const Exchange& exchange = query.exchange;
    const NtpPacket& reply = exchange.reply.packet;
    // The era of the reply's timestamps is the one nearest the local clock at reception.
    const int64_t near = floor_seconds(exchange.reply.arrived);
    if (ntp_verbose != 0) {
        print_ntp_packet(reply, near);
    }
    if (query.nts != nullptr) {
        if (const char* unauthenticated = nts_report_reply(*query.nts, exchange)) {
            report_unauthenticated(query.adjust, unauthenticated);
            return 0;
        }
    }
    const NtpTime t1 = ntp_time_of(exchange.sent);
    const NtpTime t4 = ntp_time_of(exchange.reply.arrived);
    const double offset = compute_clock_offset(reply, t1, t4, near);
    const double corrected = unix_seconds(exchange.reply.arrived) + offset;
    report_time("corrected_time.unix", "corrected_time.utc", corrected);
    if (query.adjust) {
        adjust_if_trusted(exchange, round_trip_delay(reply, t1, t4), offset, corrected);
    }
    char reception[RFC3339_TEXT_SIZE] = ""; // only JSON names it
    if (report_format() == REPORT_JSON) {
        rfc3339_text(exchange.reply.arrived, reception);
    }
    report_line({{"local_time.unix", json_number(unix_seconds(exchange.reply.arrived))},
                 {"local_time.utc", json_optional(reception)}},
                "System   Time = %s",
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
    if (resolved) {
        report_server_address(query.exchange.server);
    }
    if (settings.nts && !start_nts(settings.name, resolved, settings.dates, &query)) {
        return 0;
    }
    return exchange_over_udp(resolved, &query) ? complete_query(query) : 0;
}
