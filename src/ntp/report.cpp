#include "ntp/report.hpp"

#include <cmath>
#include <cstdio>

#include "ntp/escape.hpp"
#include "ntp/timestamp.hpp"

FILE* ntp_out = stdout;
int ntp_verbose = 0;

bool report_failure(const char* line) {
    fprintf(ntp_out, "%s", line);
    return false;
}

namespace {

char reference_text[REFERENCE_ID_TEXT_SIZE];

const char* reference_code(const uint8_t id[4]) {
    escape_text(reinterpret_cast<const char*>(id), 4, true, reference_text, sizeof reference_text);
    return reference_text;
}

void print_timestamp(const char* label, const NtpPacket& reply, size_t offset) {
    fprintf(ntp_out, "%s: %f\n", label, ntp_bytes_to_seconds(ntp_field(reply, offset)));
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

void print_ntp_packet(const NtpPacket& reply) {
    const int version = ntp_version(reply);
    const unsigned stratum = reply.bytes[NTP_OFFSET_STRATUM];
    const int poll = reply.bytes[NTP_OFFSET_POLL] & 0x0F;
    const int precision = ntp_precision(reply);
    fprintf(ntp_out, " Leap Indicator (LI): %d\n", ntp_leap_indicator(reply));
    fprintf(ntp_out, " Version Number (VN): %d\n", version);
    fprintf(ntp_out, "                Mode: %d\n", ntp_mode(reply));
    fprintf(ntp_out, "             Stratum: %u\n", stratum);
    fprintf(ntp_out, "       Poll Interval: %3d (%5.2e sec)\n", poll, pow(2.0, poll));
    fprintf(ntp_out, "           Precision: %3d (%5.2e sec)\n", precision, pow(2.0, precision));
    fprintf(ntp_out, "          Root Delay: %f (m sec)\n",
            ntp_fixed_point_seconds(ntp_field(reply, NTP_OFFSET_ROOT_DELAY)) * 1000);
    fprintf(ntp_out, "     Root Dispersion: %f (m sec)\n",
            ntp_fixed_point_seconds(ntp_field(reply, NTP_OFFSET_ROOT_DISPERSION)) * 1000);
    fprintf(
        ntp_out, "Reference Identifier: %s\n",
        reference_id_text(ntp_field(reply, NTP_OFFSET_REFERENCE_ID), static_cast<int>(stratum)));
    print_timestamp(" Reference Timestamp", reply, NTP_OFFSET_REFERENCE_TIME);
    print_timestamp(" Originate Timestamp", reply, NTP_OFFSET_ORIGINATE_TIME);
    print_timestamp(" Receive   Timestamp", reply, NTP_OFFSET_RECEIVE_TIME);
    print_timestamp(" Transmit  Timestamp", reply, NTP_OFFSET_TRANSMIT_TIME);
}
