#include "ntp/report.hpp"

#include <cmath>
#include <cstdio>

#include "ntp/escape.hpp"
#include "ntp/timestamp.hpp"
#include "report/report.hpp"

namespace {

char reference_text[REFERENCE_ID_TEXT_SIZE];

const char* reference_code(const uint8_t id[4]) {
    escape_text(reinterpret_cast<const char*>(id), 4, true, reference_text, sizeof reference_text);
    return reference_text;
}

// The header's four timestamps: where each is, its members and its line.
struct HeaderTime {
    size_t offset;
    const char* ntp_path;
    const char* utc_path;
    const char* line;
};
constexpr HeaderTime HEADER_TIMES[] = {
    {NTP_OFFSET_REFERENCE_TIME, "reply.reference_time.ntp", "reply.reference_time.utc",
     " Reference Timestamp: %f\n"},
    {NTP_OFFSET_ORIGINATE_TIME, "reply.originate_time.ntp", "reply.originate_time.utc",
     " Originate Timestamp: %f\n"},
    {NTP_OFFSET_RECEIVE_TIME, "reply.receive_time.ntp", "reply.receive_time.utc",
     " Receive   Timestamp: %f\n"},
    {NTP_OFFSET_TRANSMIT_TIME, "reply.transmit_time.ntp", "reply.transmit_time.utc",
     " Transmit  Timestamp: %f\n"},
};

// A field's exponent of 2 and the seconds it stands for.
void report_exponent(const char* exponent_path, const char* seconds_path, int exponent,
                     const char* line_format) {
    report_line(
        {{exponent_path, json_integer(exponent)}, {seconds_path, json_number(pow(2.0, exponent))}},
        line_format, exponent, pow(2.0, exponent));
}

void report_seconds_field(const char* path, const NtpPacket& reply, size_t offset,
                          const char* line_format) {
    const double seconds = ntp_fixed_point_seconds(ntp_field(reply, offset));
    report_line({{path, json_number(seconds)}}, line_format, seconds * 1000);
}

} // namespace

const char* reference_id_text(const uint8_t id[4], int stratum) {
    if (stratum == 0 || stratum == 1) {
        return reference_code(id);
    }
    // Version 4 makes the identifier of an IPv6 upstream a hash of its address; it is shown in
    // the same dotted form as an IPv4 upstream's address, as operators are used to reading it.
    snprintf(reference_text, sizeof reference_text, "%d.%d.%d.%d", id[0], id[1], id[2], id[3]);
    return reference_text;
}

void print_ntp_packet(const NtpPacket& reply, int64_t near) {
    const int leap = ntp_leap_indicator(reply);
    const int version = ntp_version(reply);
    const int mode = ntp_mode(reply);
    const unsigned stratum = reply.bytes[NTP_OFFSET_STRATUM];
    report_line({{"reply.leap", json_integer(leap)}}, " Leap Indicator (LI): %d\n", leap);
    report_line({{"reply.version", json_integer(version)}}, " Version Number (VN): %d\n", version);
    report_line({{"reply.mode", json_integer(mode)}}, "                Mode: %d\n", mode);
    report_line({{"reply.stratum", json_integer(stratum)}}, "             Stratum: %u\n", stratum);
    report_exponent("reply.poll.exponent", "reply.poll.seconds",
                    reply.bytes[NTP_OFFSET_POLL] & 0x0F, "       Poll Interval: %3d (%5.2e sec)\n");
    report_exponent("reply.precision.exponent", "reply.precision.seconds", ntp_precision(reply),
                    "           Precision: %3d (%5.2e sec)\n");
    report_seconds_field("reply.root_delay", reply, NTP_OFFSET_ROOT_DELAY,
                         "          Root Delay: %f (m sec)\n");
    report_seconds_field("reply.root_dispersion", reply, NTP_OFFSET_ROOT_DISPERSION,
                         "     Root Dispersion: %f (m sec)\n");
    const uint8_t* id = ntp_field(reply, NTP_OFFSET_REFERENCE_ID);
    const char* text = reference_id_text(id, static_cast<int>(stratum));
    char hex[9];
    snprintf(hex, sizeof hex, "%02x%02x%02x%02x", id[0], id[1], id[2], id[3]);
    report_line({{"reply.reference_id.text", json_string(text)},
                 {"reply.reference_id.hex", json_string(hex)}},
                "Reference Identifier: %s\n", text);
    for (const HeaderTime& time : HEADER_TIMES) {
        report_ntp_time(time.ntp_path, time.utc_path,
                        ntp_time_from_bytes(ntp_field(reply, time.offset)), near, time.line);
    }
}
