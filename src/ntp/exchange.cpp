#include "ntp/exchange.hpp"

#include <cstdlib>
#include <cstring>

#include "app/config.hpp"
#include "clock/adjust.hpp"
#include "ntp/escape.hpp"
#include "ntp/reply_check.hpp"
#include "ntp/report.hpp"
#include "ntp/server_text.hpp"
#include "ntp/timestamp.hpp"
#include "nts/authenticator.hpp"
#include "platform/local_time.hpp"
#include "platform/monotonic_clock.hpp"
#include "platform/random.hpp"

namespace {

constexpr uint16_t LOCAL_PORT = 1024;
constexpr int REPLY_WAIT_MS = 3000;

constexpr const char* NO_ADDRESS = "## Error ##: Can NOT get Server address from name.\n";

NtsSession nts_session;

bool report_failure(const char* line) {
    fprintf(ntp_out, "%s", line);
    return false;
}

// The clean-up runs once at exit however many exchanges a process makes.
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

// Whatever was queued before the socket was connected may come from anyone. The drain is
// bounded, so that nothing can hold the request back.
void discard_pending(UdpSocket socket) {
    constexpr int MOST = 256;
    for (int i = 0; i < MOST && udp_wait_readable(socket, 0) == SOCKET_READY; ++i) {
        Datagram stale{};
        udp_receive(socket, &stale.packet, sizeof stale.packet, &stale.sender, &stale.arrived);
    }
}

// The request on the wire: the header, and in an NTS run (version 4) its fields after it; 0 when
// no random bytes could be had. The Transmit Timestamp is 64 random bits, which no one who did
// not see the request can echo.
size_t build_request(Exchange* exchange, uint8_t wire[NTS_REQUEST_MAX]) {
    NtpPacket& request = exchange->request;
    memset(&request, 0, sizeof request);
    request.bytes[NTP_OFFSET_FLAGS] =
        exchange->nts != nullptr ? NTP_V4_REQUEST_FLAGS : NTP_REQUEST_FLAGS;
    if (!random_bytes(ntp_field(request, NTP_OFFSET_TRANSMIT_TIME), NTP_TIMESTAMP_SIZE)) {
        return 0;
    }
    if (exchange->nts != nullptr) {
        return nts_build_request(exchange->nts, request, wire);
    }
    memcpy(wire, request.bytes, NTP_PACKET_SIZE);
    return NTP_PACKET_SIZE;
}

// The client keeps its own send time, T1, read right before the send.
bool send_request(UdpSocket socket, Exchange* exchange) {
    uint8_t wire[NTS_REQUEST_MAX];
    const size_t size = build_request(exchange, wire);
    if (size == 0) {
        return report_failure("## Error ##: Can NOT get random bytes for the request.\n");
    }
    exchange->sent = wall_clock_read();
    if (!udp_send(socket, wire, size)) {
        return report_failure("## Error ##: NTP Packet Send Error.\n");
    }
    return true;
}

enum Reception { RECEIVED, PASSED_OVER, TIMED_OUT, FAILED };

// One datagram, read as it came, with the moment it arrived.
Reception receive_datagram(UdpSocket socket, int64_t deadline_ms, Datagram* datagram) {
    const int64_t left = deadline_ms - monotonic_milliseconds();
    // Checked before waiting: a flood keeps the socket readable past any deadline.
    if (left <= 0) {
        return TIMED_OUT;
    }
    switch (udp_wait_readable(socket, static_cast<int>(left))) {
    case SOCKET_READY:
        break;
    case SOCKET_TIMED_OUT:
        return TIMED_OUT;
    case SOCKET_WAIT_FAILED:
        report_failure("## Error ##: Receive Socket Error.\n");
        return FAILED;
    case SOCKET_NOT_READY:
        report_failure("## Error ##: Invalid Receive Packet.\n");
        return FAILED;
    }
    *datagram = Datagram{}; // a short reply reads as zero where its bytes are missing
    datagram->length = udp_receive(socket, datagram->bytes, sizeof datagram->bytes,
                                   &datagram->sender, &datagram->arrived);
    if (datagram->length == RECEIVE_NETWORK_ERROR) {
        return PASSED_OVER;
    }
    if (datagram->length < 0) {
        report_failure("## Error ##: NTP Packet Receive Error.\n");
        return FAILED;
    }
    const auto header = static_cast<size_t>(datagram->length);
    memcpy(datagram->packet.bytes, datagram->bytes,
           header < NTP_PACKET_SIZE ? header : NTP_PACKET_SIZE);
    return RECEIVED;
}

// Whether the reply taken ends the wait: in a plain run that only reports, any; in one that is to
// step the clock, one that answers the request; in an NTS run, only an authenticated answer.
bool ends_wait(const Exchange& exchange) {
    if (exchange.nts != nullptr) {
        return authentication_rejection(exchange) == nullptr;
    }
    return !exchange.adjust || stranger_rejection(exchange) == nullptr;
}

// Every datagram that does not end the wait is passed over until one does or the wait is over;
// then the first one received stands for the exchange, to be reported and rejected. An ICMP
// error, which anyone can forge, ends nothing: the wait goes on.
bool receive_reply(UdpSocket socket, Exchange* exchange) {
    const int64_t deadline = monotonic_milliseconds() + REPLY_WAIT_MS;
    Datagram first{};
    bool have_first = false;
    for (;;) {
        Datagram datagram{};
        const Reception reception = receive_datagram(socket, deadline, &datagram);
        if (reception == FAILED) {
            return false;
        }
        if (reception == TIMED_OUT && !have_first) {
            return report_failure("## Error ##: Time Out.\n");
        }
        if (reception == TIMED_OUT) {
            exchange->reply = first;
            return true;
        }
        if (reception == PASSED_OVER) {
            continue;
        }
        exchange->reply = datagram;
        if (ends_wait(*exchange)) {
            return true;
        }
        if (!have_first) {
            first = datagram;
            have_first = true;
        }
    }
}

// Connected first, so that no one else's datagram is queued from then on; emptied of what came
// before; only then the request goes out.
bool send_and_receive(UdpSocket socket, Exchange* exchange) {
    if (!udp_connect(socket, exchange->server)) {
        return report_failure("## Error ##: NTP Packet Send Error.\n");
    }
    discard_pending(socket);
    return send_request(socket, exchange) && receive_reply(socket, exchange);
}

// The certificates' dates at the server's time, its reply's Transmit Timestamp, which only
// counts once the reply has proved to come from the certificate's key holder; read in the era
// nearest the build date, as the local clock is what may be wrong. nullptr when they hold, with
// that time in `when`; else why not.
const char* dates_rejection(const Exchange& exchange, char when[UTC_TEXT_SIZE]) {
    static char reason[160];
    const int64_t server_time = unix_seconds_near(
        ntp_time_from_bytes(ntp_field(exchange.reply.packet, NTP_OFFSET_TRANSMIT_TIME)),
        BUILD_DATE);
    utc_text(server_time, when);
    const char* why = server_time_rejection(exchange.nts->dates, server_time, BUILD_DATE);
    if (why == nullptr && (why = nts_certificate_rejection(server_time)) == nullptr) {
        return nullptr;
    }
    snprintf(reason, sizeof reason, "certificate not valid at the server's time %s UTC: %s", when,
             why);
    return reason;
}

// The reply's extension fields, as far as they were read, and whether it is authenticated;
// nullptr when it is, else why not.
const char* report_authentication(const Exchange& exchange) {
    const Datagram& reply = exchange.reply;
    const auto length = static_cast<size_t>(reply.length);
    print_extension_fields(reply.bytes, length < sizeof reply.bytes ? length : sizeof reply.bytes);
    const char* rejection = authentication_rejection(exchange);
    char server_time[UTC_TEXT_SIZE] = "";
    if (rejection == nullptr && exchange.nts->dates.at_server_time) {
        rejection = dates_rejection(exchange, server_time);
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
bool start_nts(const char* name, bool resolved, CertificateTime dates, Exchange* exchange) {
    if (!resolved) {
        return report_failure(NO_ADDRESS);
    }
    nts_session.dates = plan_certificate_dates(dates, wall_clock_read(), BUILD_DATE);
    if (!nts_key_exchange(name, exchange->server, &nts_session)) {
        return false;
    }
    exchange->server = nts_session.ntp_server;
    exchange->nts = &nts_session;
    return true;
}

// Truncates toward zero; values no calendar time can hold give 0.
int64_t whole_seconds(double seconds) {
    constexpr double LIMIT = 9.0e18;
    return seconds > -LIMIT && seconds < LIMIT ? static_cast<int64_t>(seconds) : 0;
}

// Stepping every process's clock from an unchecked datagram would let anyone who can send one
// set it: the reply must first pass the client checks.
void adjust_if_trusted(const Exchange& exchange, double delay, double offset, double corrected) {
    if (const char* rejection = reply_rejection(exchange, delay, corrected)) {
        fprintf(ntp_out, "## Error ##: Reply rejected (%s); local time not adjusted.\n", rejection);
        return;
    }
    adjust_local_time(offset);
}

} // namespace

uint32_t complete_exchange(const Exchange& exchange) {
    const NtpPacket& reply = exchange.reply.packet;
    if (ntp_verbose != 0) {
        print_ntp_packet(reply);
    }
    if (exchange.nts != nullptr) {
        if (const char* unauthenticated = report_authentication(exchange)) {
            report_unauthenticated(exchange.adjust, unauthenticated);
            return 0;
        }
    }
    const NtpTime t1 = ntp_time_of(exchange.sent);
    const NtpTime t4 = ntp_time_of(exchange.reply.arrived);
    const double offset = compute_clock_offset(reply, t1, t4);
    const double corrected = unix_seconds(exchange.reply.arrived) + offset;
    if (exchange.adjust) {
        adjust_if_trusted(exchange, round_trip_delay(reply, t1, t4), offset, corrected);
    }
    fprintf(ntp_out, "System   Time = %s",
            calendar_text(exchange.reply.arrived / NANOSECONDS_PER_SECOND));
    return static_cast<uint32_t>(whole_seconds(corrected));
}

uint32_t query_ntp_server() {
    const Authentication authentication = get_authentication();
    if (authentication == AUTHENTICATION_UNKNOWN) {
        report_failure("## Error ##: NTP_AUTHENTICATION must be NTS or unset; nothing was sent.\n");
        return 0;
    }
    const bool nts = authentication == AUTHENTICATION_NTS;
    const CertificateTime dates = nts ? get_certificate_time() : CERTIFICATE_TIME_LOCAL;
    if (dates == CERTIFICATE_TIME_UNKNOWN) {
        report_failure("## Error ##: NTS_CERTIFICATE_TIME must be LOCAL, SERVER or unset; nothing "
                       "was sent.\n");
        return 0;
    }
    char* name = get_ntp_server_name(nts);
    if (name == nullptr) {
        report_failure("## Error ##: Server name longer than 255 characters.\n");
        return 0;
    }
    const uint16_t port = split_server_port(name, nts ? NTS_KE_DEFAULT_PORT : NTP_DEFAULT_PORT);
    print_server_line(name, port);
    if (!sockets_startup()) {
        report_failure("## Error ##: Can NOT initialize WinSock.\n");
        return 0;
    }
    if (!register_cleanup()) {
        report_failure("## Error ##: Falure atexit(WSACleanup).\n");
        return 0;
    }
    // The server's address decides the socket's family, so it is looked up first; a failure
    // is told where it always was, after the socket's.
    Exchange exchange{};
    const bool resolved = resolve_host(name, port, &exchange.server);
    if (nts && !start_nts(name, resolved, dates, &exchange)) {
        return 0;
    }
    const UdpSocket socket = udp_socket_open(exchange.server);
    if (socket == NO_SOCKET) {
        report_failure("## Error ##: Can NOT Create UDP Socket.\n");
        return 0;
    }
    if (!udp_socket_bind_any(socket, exchange.server, LOCAL_PORT)) {
        // The exchange goes on from a port the system picks.
        report_failure("## Error ##: Can NOT setup receive port.\n");
    }
    exchange.adjust = get_execution_status() == STATUS_ADJUST_TIME;
    bool replied = false;
    if (resolved) {
        replied = send_and_receive(socket, &exchange);
    } else {
        report_failure(NO_ADDRESS);
    }
    udp_socket_close(socket);
    return replied ? complete_exchange(exchange) : 0;
}
