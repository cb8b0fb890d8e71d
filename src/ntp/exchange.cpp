#include "ntp/exchange.hpp"

#include <cstdlib>
#include <cstring>

#include "app/config.hpp"
#include "clock/adjust.hpp"
#include "ntp/packet.hpp"
#include "ntp/reply_check.hpp"
#include "ntp/report.hpp"
#include "ntp/server_text.hpp"
#include "ntp/timestamp.hpp"
#include "platform/local_time.hpp"
#include "platform/sockets.hpp"

namespace {

constexpr uint16_t LOCAL_PORT = 1024;
constexpr int REPLY_WAIT_MS = 3000;

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

bool resolve_server(const char* name, uint16_t port, NetAddress* server) {
    if (is_ipv6_literal(name)) {
        return address_from_ipv6_literal(name, port, server);
    }
    return address_from_dotted(name, port, server) || address_from_host_name(name, port, server);
}

void build_request(NtpPacket* request) {
    memset(request, 0, sizeof *request);
    request->bytes[NTP_OFFSET_FLAGS] = NTP_REQUEST_FLAGS;
    SYSTEMTIME now{};
    GetLocalTime(&now);
    systemtime_to_ntp_bytes(now, ntp_field(*request, NTP_OFFSET_TRANSMIT_TIME));
}

bool await_reply(int socket) {
    switch (udp_wait_readable(socket, REPLY_WAIT_MS)) {
    case WAIT_READY:
        return true;
    case WAIT_FAILED:
        return report_failure("## Error ##: Receive Socket Error.\n");
    case WAIT_TIMEOUT:
        return report_failure("## Error ##: Time Out.\n");
    case WAIT_NOT_READY:
        break;
    }
    return report_failure("## Error ##: Invalid Receive Packet.\n");
}

bool send_and_receive(int socket, Exchange* exchange) {
    // The send time is read only now, after any name look-up.
    build_request(&exchange->request);
    if (!udp_send_to(socket, &exchange->request, NTP_PACKET_SIZE, exchange->server)) {
        return report_failure("## Error ##: NTP Packet Send Error.\n");
    }
    if (!await_reply(socket)) {
        return false;
    }
    exchange->reply_length =
        udp_receive_from(socket, &exchange->reply, NTP_PACKET_SIZE, &exchange->sender);
    if (exchange->reply_length < 0) {
        return report_failure("## Error ##: NTP Packet Receive Error.\n");
    }
    return true;
}

// Truncates toward zero; values no calendar time can hold give 0.
int64_t whole_seconds(double seconds) {
    constexpr double LIMIT = 9.0e18;
    return seconds > -LIMIT && seconds < LIMIT ? static_cast<int64_t>(seconds) : 0;
}

// Stepping every process's clock from an unchecked datagram would let anyone who can send one
// set it: the reply must first pass the client checks.
void adjust_if_trusted(const Exchange& exchange, double offset, double corrected) {
    const ReplyEvidence evidence{exchange.reply,
                                 exchange.reply_length,
                                 exchange.sender,
                                 exchange.server,
                                 ntp_field(exchange.request, NTP_OFFSET_TRANSMIT_TIME),
                                 corrected};
    if (const char* rejection = reply_rejection(evidence)) {
        fprintf(ntp_out, "## Error ##: Reply rejected (%s); local time not adjusted.\n", rejection);
        return;
    }
    adjust_local_time(offset);
}

} // namespace

uint32_t complete_exchange(const Exchange& exchange) {
    SYSTEMTIME received{};
    GetLocalTime(&received);
    if (ntp_verbose != 0) {
        print_ntp_packet(exchange.reply);
    }
    uint8_t t4[NTP_TIMESTAMP_SIZE];
    systemtime_to_ntp_bytes(received, t4);
    const double offset = compute_clock_offset(exchange.reply, t4);
    const double local_seconds = systemtime_to_ntp_seconds(received) - NTP_EPOCH_OFFSET;
    if (get_execution_status() == STATUS_ADJUST_TIME) {
        adjust_if_trusted(exchange, offset, local_seconds + offset);
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
    fprintf(ntp_out, "Server Name = %s, Port = %d\n", name, port);
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
    Exchange exchange{}; // zeroed: a short reply reads as zero where its bytes are missing
    const bool resolved = resolve_server(name, port, &exchange.server);
    const int family = resolved ? exchange.server.storage.ss_family : AF_INET;
    const int socket = udp_socket_open(family);
    if (socket < 0) {
        report_failure("## Error ##: Can NOT Create UDP Socket.\n");
        return 0;
    }
    if (!udp_socket_bind_any(socket, family, LOCAL_PORT)) {
        // The exchange goes on from a port the system picks.
        report_failure("## Error ##: Can NOT setup receive port.\n");
    }
    const bool replied =
        resolved ? send_and_receive(socket, &exchange)
                 : report_failure("## Error ##: Can NOT get Server address from name.\n");
    udp_socket_close(socket);
    return replied ? complete_exchange(exchange) : 0;
}
