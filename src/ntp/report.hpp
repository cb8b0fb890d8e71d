#pragma once

#include <cstddef>
#include <cstdint>

#include "ntp/packet.hpp"

constexpr size_t REFERENCE_ID_TEXT_SIZE = 128;

// Reports every field of the reply, one labelled line each, in the order of the packet; its
// timestamps' UTC read in the era nearest `near` (Unix seconds).
void print_ntp_packet(const NtpPacket& reply, int64_t near);

// The Reference Identifier as text, in a static buffer that the next call overwrites.
// Stratum 0 or 1: the four bytes as a code (a kiss code or a reference clock's name), ending at
// the first NUL; any byte that is not printable ASCII, and the backslash, shown escaped, so
// that no control character from the network reaches the terminal. Otherwise the dotted quad.
const char* reference_id_text(const uint8_t id[4], int stratum);
