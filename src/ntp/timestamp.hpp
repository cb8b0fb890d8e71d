#pragma once

#include <cstdint>

#include "ntp/packet.hpp"
#include "platform/local_time.hpp"
#include "platform/wall_clock.hpp"

// Seconds from 1900-01-01 (NTP) to 1970-01-01 (Unix).
constexpr int64_t NTP_EPOCH_OFFSET = 2208988800;

// An NTP timestamp as one number, as the wire carries it: seconds since 1900 modulo the era in
// the upper 32 bits, the fraction of a second in the lower 32.
using NtpTime = uint64_t;

NtpTime ntp_time_of(UnixNanoseconds when);
NtpTime ntp_time_from_bytes(const uint8_t bytes[NTP_TIMESTAMP_SIZE]);
// NTP seconds since 1900, as the report prints them.
double ntp_seconds(NtpTime time);
// Root Delay and Root Dispersion: four bytes of unsigned 16.16 fixed-point seconds.
double ntp_fixed_point_seconds(const uint8_t bytes[4]);
// The whole Unix seconds of a timestamp in the era that puts them nearest `near` (Unix seconds).
int64_t unix_seconds_near(NtpTime time, int64_t near);

// (T4 - T1) - (T3 - T2): the time the exchange spent on the network. T1 is the client's send
// time, T4 its receive time; T2 and T3 are the reply's.
double round_trip_delay(const NtpPacket& reply, NtpTime t1, NtpTime t4);
// Reports T1 to T4 (UTC in the era nearest `near`, Unix seconds), the round-trip delay and the
// offset; returns the offset, positive when the local clock is behind the server.
double compute_clock_offset(const NtpPacket& reply, NtpTime t1, NtpTime t4, int64_t near);

// A timestamp as RFC 3339 UTC, read in the era nearest `near` (Unix seconds); empty for the zero
// timestamp, which stands for none.
void ntp_utc_text(NtpTime time, int64_t near, char text[RFC3339_TEXT_SIZE]);
// Reports a timestamp: the line that `line_format` makes of its NTP seconds, and the members at
// the two paths (string literals), its NTP seconds and its UTC.
void report_ntp_time(const char* ntp_path, const char* utc_path, NtpTime time, int64_t near,
                     const char* line_format);
