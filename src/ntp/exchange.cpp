#include "ntp/exchange.hpp"

#include <cstring>

#include "platform/monotonic_clock.hpp"
#include "platform/random.hpp"
#include "report/report.hpp"

namespace {

constexpr int REPLY_WAIT_MS = 3000;

// Whatever was queued before the socket was connected may come from anyone. The drain is
// bounded, so that nothing can hold the request back.
void discard_pending(NetSocket socket) {
    constexpr int MOST = 256;
    for (int i = 0; i < MOST && udp_wait_readable(socket, 0) == SOCKET_READY; ++i) {
        Datagram stale{};
        udp_receive(socket, &stale.packet, sizeof stale.packet, &stale.sender, &stale.arrived);
    }
}

enum Reception { RECEIVED, PASSED_OVER, TIMED_OUT, FAILED };

// One datagram, read as it came, with the moment it arrived.
Reception receive_datagram(NetSocket socket, int64_t deadline_ms, Datagram* datagram) {
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
        report_error("Receive Socket Error.");
        return FAILED;
    case SOCKET_NOT_READY:
        report_error("Invalid Receive Packet.");
        return FAILED;
    }
    *datagram = Datagram{}; // a short reply reads as zero where its bytes are missing
    datagram->length = udp_receive(socket, datagram->bytes, sizeof datagram->bytes,
                                   &datagram->sender, &datagram->arrived);
    if (datagram->length == RECEIVE_PASSED_OVER) {
        return PASSED_OVER;
    }
    if (datagram->length < 0) {
        report_error("NTP Packet Receive Error.");
        return FAILED;
    }
    const auto header = static_cast<size_t>(datagram->length);
    memcpy(datagram->packet.bytes, datagram->bytes,
           header < NTP_PACKET_SIZE ? header : NTP_PACKET_SIZE);
    return RECEIVED;
}

bool receive_reply(NetSocket socket, ReplyTest ends_wait, const void* context, Exchange* exchange) {
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
            return report_error("Time Out.");
        }
        if (reception == TIMED_OUT) {
            exchange->reply = first;
            return true;
        }
        if (reception == PASSED_OVER) {
            continue;
        }
        exchange->reply = datagram;
        if (ends_wait(*exchange, context)) {
            return true;
        }
        if (!have_first) {
            first = datagram;
            have_first = true;
        }
    }
}

} // namespace

bool ntp_build_request(uint8_t flags, NtpPacket* request) {
    memset(request, 0, sizeof *request);
    request->bytes[NTP_OFFSET_FLAGS] = flags;
    return random_bytes(ntp_field(*request, NTP_OFFSET_TRANSMIT_TIME), NTP_TIMESTAMP_SIZE);
}

bool exchange_connect(NetSocket socket, const NetAddress& server) {
    if (!udp_connect(socket, server)) {
        return report_error("NTP Packet Send Error.");
    }
    discard_pending(socket);
    return true;
}

// The client keeps its own send time, T1: the system's stamp of the request as it left where
// there is one, else the clock read right before the send.
bool exchange_datagrams(NetSocket socket, const uint8_t* request, size_t size, ReplyTest ends_wait,
                        const void* context, Exchange* exchange) {
    exchange->sent = wall_clock_read();
    if (!udp_send(socket, request, size)) {
        return report_error("NTP Packet Send Error.");
    }
    udp_sent_stamp(socket, &exchange->sent);
    return receive_reply(socket, ends_wait, context, exchange);
}
