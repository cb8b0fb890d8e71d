#include "ntp/reply_check.hpp"

#include <cstdio>
#include <cstring>

#include "clock/adjust.hpp"
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
// T1 and T4 are read to the millisecond, so a true round trip can come out at most a
// millisecond short of zero on each read; anything below that is a lie about the timestamps.
constexpr double DELAY_LOWEST = -0.002;

char reason[REFERENCE_ID_TEXT_SIZE + 32];

const char* because(const char* format, long value) {
    snprintf(reason, sizeof reason, format, value);
    return reason;
}

bool all_zero(const uint8_t* bytes, size_t size) {
    for (size_t i = 0; i < size; ++i) {
        if (bytes[i] != 0) {
            return false;
        }
    }
    return true;
}

double root_distance(const NtpPacket& reply, double delay) {
    return (ntp_fixed_point_seconds(ntp_field(reply, NTP_OFFSET_ROOT_DELAY)) + delay) / 2 +
           ntp_fixed_point_seconds(ntp_field(reply, NTP_OFFSET_ROOT_DISPERSION));
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
                 reference_id_text(ntp_field(reply, NTP_OFFSET_REFERENCE_ID), 0, version));
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

const char* stranger_rejection(const ReplyEvidence& evidence) {
    if (evidence.length < static_cast<long>(NTP_PACKET_SIZE)) {
        return because("%ld bytes, not 48", evidence.length);
    }
    if (!addresses_equal(evidence.sender, evidence.server)) {
        return "from another address than the server's";
    }
    // Only the server that got our request can echo its transmit time, whose low bits are
    // random: this is what keeps an off-path sender from passing as the server.
    if (memcmp(ntp_field(evidence.reply, NTP_OFFSET_ORIGINATE_TIME), evidence.request_transmit,
               NTP_TIMESTAMP_SIZE) != 0) {
        return "originate timestamp is not our request's";
    }
    return nullptr;
}

const char* reply_rejection(const ReplyEvidence& evidence) {
    if (const char* stranger = stranger_rejection(evidence)) {
        return stranger;
    }
    if (const char* header = header_rejection(evidence.reply)) {
        return header;
    }
    if (!(evidence.delay >= DELAY_LOWEST)) {
        return "round-trip delay below -2 ms";
    }
    if (!(root_distance(evidence.reply, evidence.delay) < ROOT_DISTANCE_LIMIT)) {
        return "root distance of 1 second or more";
    }
    if (!clock_can_take(evidence.corrected_unix_seconds)) {
        return "corrected time outside 1970 to 2106";
    }
    return nullptr;
}
