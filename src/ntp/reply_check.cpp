#include "ntp/reply_check.hpp"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "ntp/report.hpp"
#include "ntp/timestamp.hpp"

namespace {

constexpr int MODE_SERVER = 4;
constexpr int LEAP_NOT_SYNCHRONIZED = 3;
constexpr unsigned STRATUM_KISS = 0;
constexpr unsigned STRATUM_MAX = 15;
// The standard's MAXDIST: a server whose root distance, the measured round trip included,
// reaches it is too far away in time to set a clock by.
constexpr double ROOT_DISTANCE_LIMIT = 1.0;
// How finely the client reads T1 and T4: to the nanosecond on Linux, 100 ns on Windows.
constexpr double CLIENT_PRECISION = 1e-6;

char reason[REFERENCE_ID_TEXT_SIZE + 32];

const char* because(const char* format, long value) {
    snprintf(reason, sizeof reason, format, value);
    return reason;
}

// How far the four timestamps can be off together by the reading of the two clocks: the
// server's precision, as it states it, and the client's.
double precision(const NtpPacket& reply) {
    return std::ldexp(1.0, ntp_precision(reply)) + CLIENT_PRECISION;
}

bool all_zero(const uint8_t* bytes, size_t size) {
    for (size_t i = 0; i < size; ++i) {
        if (bytes[i] != 0) {
            return false;
        }
    }
    return true;
}

// With the precision, as the standard counts it: no claim of precision can then buy a server a
// shorter distance through the negative delay it excuses.
double root_distance(const NtpPacket& reply, double delay) {
    return (ntp_fixed_point_seconds(ntp_field(reply, NTP_OFFSET_ROOT_DELAY)) + delay) / 2 +
           ntp_fixed_point_seconds(ntp_field(reply, NTP_OFFSET_ROOT_DISPERSION)) + precision(reply);
}

// The checks of the header alone, in the standard's order but for the kiss code.
const char* header_rejection(const NtpPacket& reply) {
    const int mode = ntp_mode(reply);
    const int version = ntp_version(reply);
    const unsigned stratum = reply.bytes[NTP_OFFSET_STRATUM];
    if (mode != MODE_SERVER) {
        return because("mode %ld, not a server's", mode);
    }
    if (version < 1 || version > 4) {
        return because("version %ld", version);
    }
    // A Kiss-o'-Death usually also says "not synchronized": name its code first.
    if (stratum == STRATUM_KISS) {
        snprintf(reason, sizeof reason, "kiss code %s",
                 reference_id_text(ntp_field(reply, NTP_OFFSET_REFERENCE_ID), 0));
        return reason;
    }
    if (ntp_leap_indicator(reply) == LEAP_NOT_SYNCHRONIZED) {
        return "server clock not synchronized";
    }
    if (stratum > STRATUM_MAX) {
        return because("stratum %ld", stratum);
    }
    if (all_zero(ntp_field(reply, NTP_OFFSET_TRANSMIT_TIME), NTP_TIMESTAMP_SIZE)) {
        return "no transmit timestamp";
    }
    return nullptr;
}

} // namespace

// The client checks of SNTP (RFC 4330, section 5), each a rule of its own, in this order.
const char* stranger_rejection(const Exchange& exchange) {
    const Datagram& reply = exchange.reply;
    if (reply.length < static_cast<long>(NTP_PACKET_SIZE)) {
        return because("%ld bytes, not 48", reply.length);
    }
    // Cut to the buffer: what the client did not read is not the server's reply.
    if (reply.length > static_cast<long>(sizeof reply.bytes)) {
        return "longer than a reply is read";
    }
    // The socket is connected to the server, so the system has already dropped every other
    // sender's datagram; this second guard costs nothing.
    if (!addresses_equal(reply.sender, exchange.server)) {
        return "from another address than the server's";
    }
    // Only the server that got our request can echo its transmit time, 64 random bits: this is
    // what keeps an off-path sender from passing as the server.
    if (memcmp(ntp_field(reply.packet, NTP_OFFSET_ORIGINATE_TIME),
               ntp_field(exchange.request, NTP_OFFSET_TRANSMIT_TIME), NTP_TIMESTAMP_SIZE) != 0) {
        return "originate timestamp is not our request's";
    }
    return nullptr;
}

const char* reply_rejection(const Exchange& exchange, double delay) {
    const NtpPacket& reply = exchange.reply.packet;
    if (const char* stranger = stranger_rejection(exchange)) {
        return stranger;
    }
    if (const char* header = header_rejection(reply)) {
        return header;
    }
    // T1 and T4 come from one clock, T4 after T1: only the reading of the clocks can make a
    // true round trip come out below zero, and by no more than their precision.
    if (!(delay >= -precision(reply))) {
        snprintf(reason, sizeof reason, "round-trip delay below -%.6f s", precision(reply));
        return reason;
    }
    if (!(root_distance(reply, delay) < ROOT_DISTANCE_LIMIT)) {
        return "root distance of 1 second or more";
    }
    return nullptr;
}
