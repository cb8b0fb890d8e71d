#include "ntp/timestamp.hpp"

#include <cmath>

#include "app/config.hpp"

namespace {

constexpr double HALF_ERA_SECONDS = NTP_ERA_SECONDS / 2;

// Seconds at or beyond 2^32 (from 2036-02-07 06:28:16 UTC) or below 0 would overflow the
// byte split; a timestamp carries them modulo one era, as the protocol does.
double within_era(double seconds) {
    if (seconds >= 0 && seconds < NTP_ERA_SECONDS) {
        return seconds;
    }
    const double reduced = seconds - std::floor(seconds / NTP_ERA_SECONDS) * NTP_ERA_SECONDS;
    return reduced >= 0 && reduced < NTP_ERA_SECONDS ? reduced : 0;
}

// later - earlier of two timestamps, taken across an era rollover into (-2^31, 2^31]: the
// four timestamps of one exchange lie within 68 years of each other.
double ntp_difference(double later, double earlier) {
    const double difference = later - earlier;
    if (difference > HALF_ERA_SECONDS) {
        return difference - NTP_ERA_SECONDS;
    }
    if (difference <= -HALF_ERA_SECONDS) {
        return difference + NTP_ERA_SECONDS;
    }
    return difference;
}

} // namespace

double systemtime_to_ntp_seconds(const SYSTEMTIME& time) {
    return static_cast<double>(systemtime_to_unix_seconds(time)) + NTP_EPOCH_OFFSET +
           time.wMilliseconds / 1000.0;
}

void ntp_seconds_to_bytes(uint8_t bytes[NTP_TIMESTAMP_SIZE], double& seconds) {
    seconds = within_era(seconds);
    for (size_t i = 0; i < NTP_TIMESTAMP_SIZE; ++i) {
        const auto quotient = static_cast<int32_t>(seconds / ntp_weights[i]);
        bytes[i] = static_cast<uint8_t>(quotient & 0xFF);
        seconds -= bytes[i] * ntp_weights[i];
    }
}

void systemtime_to_ntp_bytes(const SYSTEMTIME& time, uint8_t bytes[NTP_TIMESTAMP_SIZE]) {
    double seconds = systemtime_to_ntp_seconds(time);
    ntp_seconds_to_bytes(bytes, seconds);
}

double ntp_bytes_to_seconds(const uint8_t bytes[NTP_TIMESTAMP_SIZE]) {
    double seconds = 0;
    for (size_t i = 0; i < NTP_TIMESTAMP_SIZE; ++i) {
        seconds += bytes[i] * ntp_weights[i];
    }
    return seconds;
}

double ntp_fixed_point_seconds(const uint8_t bytes[4]) {
    double seconds = 0;
    for (size_t i = 0; i < 4; ++i) {
        seconds += bytes[i] * ntp_weights[2 + i];
    }
    return seconds;
}

double round_trip_delay(const NtpPacket& reply, const uint8_t t4[NTP_TIMESTAMP_SIZE]) {
    const double t1 = ntp_bytes_to_seconds(ntp_field(reply, NTP_OFFSET_ORIGINATE_TIME));
    const double t2 = ntp_bytes_to_seconds(ntp_field(reply, NTP_OFFSET_RECEIVE_TIME));
    const double t3 = ntp_bytes_to_seconds(ntp_field(reply, NTP_OFFSET_TRANSMIT_TIME));
    return ntp_difference(ntp_bytes_to_seconds(t4), t1) - ntp_difference(t3, t2);
}

double compute_clock_offset(const NtpPacket& reply, const uint8_t t4[NTP_TIMESTAMP_SIZE]) {
    const double t1 = ntp_bytes_to_seconds(ntp_field(reply, NTP_OFFSET_ORIGINATE_TIME));
    const double t2 = ntp_bytes_to_seconds(ntp_field(reply, NTP_OFFSET_RECEIVE_TIME));
    const double t3 = ntp_bytes_to_seconds(ntp_field(reply, NTP_OFFSET_TRANSMIT_TIME));
    const double t4_seconds = ntp_bytes_to_seconds(t4);
    if (ntp_verbose != 0) {
        fprintf(ntp_out, "\n T1 = %f, time request sent by client.\n", t1);
        fprintf(ntp_out, " T2 = %f, time request received by server.\n", t2);
        fprintf(ntp_out, " T3 = %f, time reply sent by server.\n", t3);
        fprintf(ntp_out, " T4 = %f, time reply received by client.\n", t4_seconds);
    }
    fprintf(ntp_out, "\nRoundtrip Delay    = %f (sec)\n", round_trip_delay(reply, t4));
    const double offset = (ntp_difference(t2, t1) + ntp_difference(t3, t4_seconds)) * 0.5;
    fprintf(ntp_out, "Local Clock Offset = %f (sec)\n", offset);
    return offset;
}
