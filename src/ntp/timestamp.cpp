#include "ntp/timestamp.hpp"

#include "platform/local_time.hpp"
#include "report/report.hpp"

namespace {

constexpr double FRACTION_UNIT = 1.0 / 4294967296.0; // 2^-32 s

// later - earlier in seconds, taken modulo 2^64 into a signed range, so that it holds across an
// era rollover: the four timestamps of one exchange lie within 68 years of each other.
double ntp_difference(NtpTime later, NtpTime earlier) {
    return static_cast<double>(static_cast<int64_t>(later - earlier)) * FRACTION_UNIT;
}

NtpTime timestamp_field(const NtpPacket& reply, size_t offset) {
    return ntp_time_from_bytes(ntp_field(reply, offset));
}

} // namespace

NtpTime ntp_time_of(UnixNanoseconds when) {
    // The seconds wrap modulo the era.
    const int64_t seconds = floor_seconds(when);
    const auto nanoseconds = static_cast<uint64_t>(when - seconds * NANOSECONDS_PER_SECOND);
    const auto fraction = (nanoseconds << 32) / NANOSECONDS_PER_SECOND;
    return (static_cast<uint64_t>(seconds + NTP_EPOCH_OFFSET) << 32) | fraction;
}

NtpTime ntp_time_from_bytes(const uint8_t bytes[NTP_TIMESTAMP_SIZE]) {
    NtpTime time = 0;
    for (size_t i = 0; i < NTP_TIMESTAMP_SIZE; ++i) {
        time = time << 8 | bytes[i];
    }
    return time;
}

double ntp_seconds(NtpTime time) {
    return static_cast<double>(time >> 32) + static_cast<double>(time & 0xFFFFFFFF) * FRACTION_UNIT;
}

double ntp_fixed_point_seconds(const uint8_t bytes[4]) {
    const uint32_t fixed =
        static_cast<uint32_t>(bytes[0]) << 24 | bytes[1] << 16 | bytes[2] << 8 | bytes[3];
    return fixed / 65536.0;
}

// The on-wire arithmetic of NTP (RFC 5905, section 8).
double round_trip_delay(const NtpPacket& reply, NtpTime t1, NtpTime t4) {
    const NtpTime t2 = timestamp_field(reply, NTP_OFFSET_RECEIVE_TIME);
    const NtpTime t3 = timestamp_field(reply, NTP_OFFSET_TRANSMIT_TIME);
    return ntp_difference(t4, t1) - ntp_difference(t3, t2);
}

double compute_clock_offset(const NtpPacket& reply, NtpTime t1, NtpTime t4, int64_t near) {
    const NtpTime t2 = timestamp_field(reply, NTP_OFFSET_RECEIVE_TIME);
    const NtpTime t3 = timestamp_field(reply, NTP_OFFSET_TRANSMIT_TIME);
    if (ntp_verbose != 0) {
        report_ntp_time("exchange.t1.ntp", "exchange.t1.utc", t1, near,
                        "\n T1 = %f, time request sent by client.\n");
        report_ntp_time("exchange.t2.ntp", "exchange.t2.utc", t2, near,
                        " T2 = %f, time request received by server.\n");
        report_ntp_time("exchange.t3.ntp", "exchange.t3.utc", t3, near,
                        " T3 = %f, time reply sent by server.\n");
        report_ntp_time("exchange.t4.ntp", "exchange.t4.utc", t4, near,
                        " T4 = %f, time reply received by client.\n");
    }
    const double delay = round_trip_delay(reply, t1, t4);
    report_line({{"exchange.delay", json_number(delay)}}, "\nRoundtrip Delay    = %f (sec)\n",
                delay);
    const double offset = (ntp_difference(t2, t1) + ntp_difference(t3, t4)) * 0.5;
    report_line({{"exchange.offset", json_number(offset)}}, "Local Clock Offset = %f (sec)\n",
                offset);
    return offset;
}

int64_t unix_seconds_near(NtpTime time, int64_t near) {
    constexpr int64_t ERA = int64_t{1} << 32;
    const int64_t in_era_0 = static_cast<int64_t>(time >> 32) - NTP_EPOCH_OFFSET;
    // How many eras from there to `near`, rounded to the nearest, floored for either sign.
    const int64_t half_eras = near - in_era_0 + ERA / 2;
    const int64_t eras = half_eras >= 0 ? half_eras / ERA : -((-half_eras + ERA - 1) / ERA);
    return in_era_0 + eras * ERA;
}

void ntp_utc_text(NtpTime time, int64_t near, char text[RFC3339_TEXT_SIZE]) {
    if (time == 0) {
        text[0] = '\0';
        return;
    }
    const auto nanoseconds =
        static_cast<int64_t>(((time & 0xFFFFFFFF) * NANOSECONDS_PER_SECOND) >> 32);
    rfc3339_text(unix_seconds_near(time, near) * NANOSECONDS_PER_SECOND + nanoseconds, text);
}

void report_ntp_time(const char* ntp_path, const char* utc_path, NtpTime time, int64_t near,
                     const char* line_format) {
    char utc[RFC3339_TEXT_SIZE] = ""; // only JSON names it
    if (report_format() == REPORT_JSON) {
        ntp_utc_text(time, near, utc);
    }
    report_line({{ntp_path, json_number(ntp_seconds(time))}, {utc_path, json_optional(utc)}},
                line_format, ntp_seconds(time));
}
