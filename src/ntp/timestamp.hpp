#pragma once

#include <cstdint>

#include "ntp/packet.hpp"
#include "platform/local_time.hpp"

// Seconds from 1900-01-01 (NTP) to 1970-01-01 (Unix).
constexpr double NTP_EPOCH_OFFSET = 2208988800.0;
// Timestamps count seconds modulo 2^32: one NTP era.
constexpr double NTP_ERA_SECONDS = 4294967296.0;

double systemtime_to_ntp_seconds(const SYSTEMTIME& time);
// Splits NTP seconds (taken modulo one era) into timestamp bytes; leaves the unconverted residue
// in seconds.
void ntp_seconds_to_bytes(uint8_t bytes[NTP_TIMESTAMP_SIZE], double& seconds);
void systemtime_to_ntp_bytes(const SYSTEMTIME& time, uint8_t bytes[NTP_TIMESTAMP_SIZE]);
double ntp_bytes_to_seconds(const uint8_t bytes[NTP_TIMESTAMP_SIZE]);
// Root Delay and Root Dispersion: four bytes of unsigned 16.16 fixed-point seconds.
double ntp_fixed_point_seconds(const uint8_t bytes[4]);

// (T4 - T1) - (T3 - T2): the time the exchange spent on the network.
double round_trip_delay(const NtpPacket& reply, const uint8_t t4[NTP_TIMESTAMP_SIZE]);
// Prints T1 to T4, the round-trip delay and the offset; returns the offset, positive when the
// local clock is behind the server.
double compute_clock_offset(const NtpPacket& reply, const uint8_t t4[NTP_TIMESTAMP_SIZE]);
