#pragma once

#include <cstdio>

#include "ntp/packet.hpp"

// The report's stream, standard output once the program has started, and whether the report is
// verbose: the field dump and the T1 to T4 lines are printed only then.
extern FILE* ntp_out;
extern int ntp_verbose;

// Prints an error line; returns false, so that a failing step can end with it.
bool report_failure(const char* line);

constexpr size_t REFERENCE_ID_TEXT_SIZE = 128;

// Prints every field of the reply, one labelled line each, in the order of the packet.
void print_ntp_packet(const NtpPacket& reply);

// The Reference Identifier as text, in a static buffer that the next call overwrites.
// Stratum 0 or 1: the four bytes as a code (a kiss code or a reference clock's name), ending at
// the first NUL; any byte that is not printable ASCII, and the backslash, shown escaped, so
// that no control character from the network reaches the terminal. Otherwise the dotted quad.
const char* reference_id_text(const uint8_t id[4], int stratum);
