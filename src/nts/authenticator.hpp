#pragma once

#include <cstddef>
#include <cstdint>

#include "ntp/packet.hpp"
#include "nts/session.hpp"

constexpr size_t NTS_REQUEST_MAX = NTP_PACKET_SIZE + NTS_FIELD_HEADER_SIZE + NTS_UNIQUE_ID_SIZE +
                                   NTS_FIELD_HEADER_SIZE + NTS_COOKIE_MAX + NTS_FIELD_HEADER_SIZE +
                                   4 + NTS_NONCE_SIZE + NTS_TAG_SIZE;

// The request of an NTS run: the header, a fresh Unique Identifier, the cookie, and the
// authenticator over all of it, sealed with the client-to-server key. Returns its length, or 0
// when it cannot be made (no random bytes, or a field that does not fit).
size_t nts_build_request(NtsSession* session, const NtpPacket& header,
                         uint8_t request[NTS_REQUEST_MAX]);

// nullptr when the datagram carries our Unique Identifier and an authenticator, its last field,
// that verifies with the server-to-client key; otherwise why not, in words.
const char* nts_rejection(const NtsSession& session, const uint8_t* datagram, size_t length);

// One line for each extension field of the datagram.
void print_extension_fields(const uint8_t* datagram, size_t length);
