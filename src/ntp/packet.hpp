#pragma once

#include <cstddef>
#include <cstdint>

// The 48-byte NTP header in wire order; fields are reached by their offsets, never by
// overlaying a struct on network bytes.
constexpr size_t NTP_PACKET_SIZE = 48;
constexpr size_t NTP_TIMESTAMP_SIZE = 8;
// The most of a reply that is read: the header and, in NTS runs, its extension fields.
constexpr size_t NTP_DATAGRAM_MAX = 2048;

constexpr size_t NTP_OFFSET_FLAGS = 0; // LI (bits 7-6), VN (bits 5-3), Mode (bits 2-0)
constexpr size_t NTP_OFFSET_STRATUM = 1;
constexpr size_t NTP_OFFSET_POLL = 2;
constexpr size_t NTP_OFFSET_PRECISION = 3;
constexpr size_t NTP_OFFSET_ROOT_DELAY = 4;
constexpr size_t NTP_OFFSET_ROOT_DISPERSION = 8;
constexpr size_t NTP_OFFSET_REFERENCE_ID = 12;
constexpr size_t NTP_OFFSET_REFERENCE_TIME = 16;
constexpr size_t NTP_OFFSET_ORIGINATE_TIME = 24;
constexpr size_t NTP_OFFSET_RECEIVE_TIME = 32;
constexpr size_t NTP_OFFSET_TRANSMIT_TIME = 40;

static_assert(NTP_OFFSET_ROOT_DISPERSION == NTP_OFFSET_ROOT_DELAY + 4);
static_assert(NTP_OFFSET_REFERENCE_ID == NTP_OFFSET_ROOT_DISPERSION + 4);
static_assert(NTP_OFFSET_REFERENCE_TIME == NTP_OFFSET_REFERENCE_ID + 4);
static_assert(NTP_OFFSET_ORIGINATE_TIME == NTP_OFFSET_REFERENCE_TIME + NTP_TIMESTAMP_SIZE);
static_assert(NTP_OFFSET_RECEIVE_TIME == NTP_OFFSET_ORIGINATE_TIME + NTP_TIMESTAMP_SIZE);
static_assert(NTP_OFFSET_TRANSMIT_TIME == NTP_OFFSET_RECEIVE_TIME + NTP_TIMESTAMP_SIZE);
static_assert(NTP_OFFSET_TRANSMIT_TIME + NTP_TIMESTAMP_SIZE == NTP_PACKET_SIZE);

// LI 0, VN 3, Mode 3 (client); NTS requests are version 4.
constexpr uint8_t NTP_REQUEST_FLAGS = 0x1B;
constexpr uint8_t NTP_V4_REQUEST_FLAGS = 0x23;

struct NtpPacket {
    uint8_t bytes[NTP_PACKET_SIZE];
};
static_assert(sizeof(NtpPacket) == NTP_PACKET_SIZE);

// The three bit fields of the first byte.
inline int ntp_leap_indicator(const NtpPacket& packet) {
    return packet.bytes[NTP_OFFSET_FLAGS] >> 6;
}
inline int ntp_version(const NtpPacket& packet) {
    return (packet.bytes[NTP_OFFSET_FLAGS] >> 3) & 7;
}
inline int ntp_mode(const NtpPacket& packet) {
    return packet.bytes[NTP_OFFSET_FLAGS] & 7;
}
// The precision byte: a signed 8-bit exponent of two, in two's complement.
inline int ntp_precision(const NtpPacket& packet) {
    const int byte = packet.bytes[NTP_OFFSET_PRECISION];
    return byte < 128 ? byte : byte - 256;
}

inline const uint8_t* ntp_field(const NtpPacket& packet, size_t offset) {
    return packet.bytes + offset;
}
// The writable overload, for building a request: its packet cannot be const.
// cppcheck-suppress constParameter
inline uint8_t* ntp_field(NtpPacket& packet, size_t offset) {
    return packet.bytes + offset;
}
