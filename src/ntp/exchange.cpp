#include "ntp/exchange.hpp"

#include <chrono>
#include <cstdlib>
#include <cstring>

#include "app/config.hpp"
#include "clock/adjust.hpp"
#include "ntp/escape.hpp"
#include "ntp/packet.hpp"
#include "ntp/reply_check.hpp"
#include "ntp/report.hpp"
#include "ntp/server_text.hpp"
#include "ntp/timestamp.hpp"
#include "platform/local_clock.hpp"
#include "platform/local_time.hpp"
#include "platform/random.hpp"
#include "platform/sockets.hpp"

namespace {

constexpr uint16_t LOCAL_PORT = 1024;
constexpr int REPLY_WAIT_MS = 3000;
using Clock = std::chrono::steady_clock;

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

bool resolve_server(const char* name, uint16_t port, NetAddress* server) {
    if (is_ipv6_literal(name)) {
        return address_from_ipv6_literal(name, port, server);
    }
    return address_from_dotted(name, port, server) || address_from_host_name(name, port, server);
}

// The request's transmit time is the send time to the millisecond; the bits below 2^-10 s are
// random, so that no one who did not see the request can echo it.
bool build_request(NtpPacket* request) {
    memset(request, 0, sizeof *request);
    request->bytes[NTP_OFFSET_FLAGS] = NTP_REQUEST_FLAGS;
    uint8_t nonce[3];
    if (!random_bytes(nonce, sizeof nonce)) {
        return false;
    }
    SYSTEMTIME now{};
    local_clock_read(&now);
    uint8_t* transmit = ntp_field(*request, NTP_OFFSET_TRANSMIT_TIME);
    systemtime_to_ntp_bytes(now, transmit);
    // The fraction is bytes 4 to 7: its low 22 bits are the low six of byte 5 and bytes 6, 7.
    transmit[5] = static_cast<uint8_t>((transmit[5] & 0xC0) | (nonce[0] & 0x3F));
    transmit[6] = nonce[1];
    transmit[7] = nonce[2];
    return true;
}

// Whatever reached the port before the request goes out cannot be its reply. The drain is
// bounded, so that a flood cannot hold the request back.
void discard_pending(UdpSocket socket) {
    constexpr int MOST = 256;
    for (int i = 0; i < MOST && udp_wait_readable(socket, 0) == SOCKET_READY; ++i) {
        NtpPacket stale;
        NetAddress from{};
        udp_receive_from(socket, &stale, sizeof stale, &from);
    }
}

enum Reception { RECEIVED, TIMED_OUT, FAILED };

// One datagram into the exchange, read as it came, with the local clock at its reception.
Reception receive_datagram(UdpSocket socket, Clock::time_point deadline, Exchange* exchange) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
    // Checked before waiting: a flood keeps the socket readable past any deadline.
    if (left.count() <= 0) {
        return TIMED_OUT;
    }
    switch (udp_wait_readable(socket, static_cast<int>(left.count()))) {
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
    exchange->reply = NtpPacket{}; // a short reply reads as zero where its bytes are missing
    exchange->reply_length =
        udp_receive_from(socket, &exchange->reply, NTP_PACKET_SIZE, &exchange->sender);
    local_clock_read(&exchange->received);
    if (exchange->reply_length < 0) {
        report_failure("## Error ##: NTP Packet Receive Error.\n");
        return FAILED;
    }
    return RECEIVED;
}

// What the checks see of an exchange; the delay and the corrected time only once known.
ReplyEvidence evidence_of(const Exchange& exchange, double delay = 0, double corrected = 0) {
    return {exchange.reply,
            exchange.reply_length,
            exchange.sender,
            exchange.server,
            ntp_field(exchange.request, NTP_OFFSET_TRANSMIT_TIME),
            delay,
            corrected};
}

bool answers_request(const Exchange& exchange) {
    return stranger_rejection(evidence_of(exchange)) == nullptr;
}

// A run that only reports takes the first datagram. One that is to step the clock passes over
// every datagram that does not answer its request until one does or the wait is over; then the
// first one received stands for the exchange, to be reported and rejected.
bool receive_reply(UdpSocket socket, Exchange* exchange) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(REPLY_WAIT_MS);
    Exchange first{};
    bool have_first = false;
    for (;;) {
        const Reception reception = receive_datagram(socket, deadline, exchange);
        if (reception == FAILED) {
            return false;
        }
        if (reception == TIMED_OUT && !have_first) {
            return report_failure("## Error ##: Time Out.\n");
        }
        if (reception == TIMED_OUT) {
            *exchange = first;
            return true;
        }
        if (!exchange->adjust || answers_request(*exchange)) {
            return true;
        }
        if (!have_first) {
            first = *exchange;
            have_first = true;
        }
    }
}

bool send_and_receive(UdpSocket socket, Exchange* exchange) {
    discard_pending(socket);
    // The send time is read only now, after any name look-up.
    if (!build_request(&exchange->request)) {
        return report_failure("## Error ##: Can NOT get random bytes for the request.\n");
    }
    if (!udp_send_to(socket, &exchange->request, NTP_PACKET_SIZE, exchange->server)) {
        return report_failure("## Error ##: NTP Packet Send Error.\n");
    }
    return receive_reply(socket, exchange);
}

// Truncates toward zero; values no calendar time can hold give 0.
int64_t whole_seconds(double seconds) {
    constexpr double LIMIT = 9.0e18;
    return seconds > -LIMIT && seconds < LIMIT ? static_cast<int64_t>(seconds) : 0;
}

// Stepping every process's clock from an unchecked datagram would let anyone who can send one
// set it: the reply must first pass the client checks.
void adjust_if_trusted(const Exchange& exchange, double delay, double offset, double corrected) {
    if (const char* rejection = reply_rejection(evidence_of(exchange, delay, corrected))) {
        fprintf(ntp_out, "## Error ##: Reply rejected (%s); local time not adjusted.\n", rejection);
        return;
    }
    adjust_local_time(offset);
}

} // namespace

uint32_t complete_exchange(const Exchange& exchange) {
    if (ntp_verbose != 0) {
        print_ntp_packet(exchange.reply);
    }
    uint8_t t4[NTP_TIMESTAMP_SIZE];
    systemtime_to_ntp_bytes(exchange.received, t4);
    const double offset = compute_clock_offset(exchange.reply, t4);
    const double local_seconds = systemtime_to_ntp_seconds(exchange.received) - NTP_EPOCH_OFFSET;
    if (exchange.adjust) {
        adjust_if_trusted(exchange, round_trip_delay(exchange.reply, t4), offset,
                          local_seconds + offset);
    }
    fprintf(ntp_out, "System   Time = %s", calendar_text(whole_seconds(local_seconds)));
    sockets_cleanup();
    return static_cast<uint32_t>(whole_seconds(local_seconds + offset));
}

uint32_t query_ntp_server() {
    char* name = get_ntp_server_name();
    if (name == nullptr) {
        report_failure("## Error ##: Server name longer than 255 characters.\n");
        return 0;
    }
    const uint16_t port = split_server_port(name);
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
    const bool resolved = resolve_server(name, port, &exchange.server);
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
    const bool replied =
        resolved ? send_and_receive(socket, &exchange)
                 : report_failure("## Error ##: Can NOT get Server address from name.\n");
    udp_socket_close(socket);
    return replied ? complete_exchange(exchange) : 0;
}
