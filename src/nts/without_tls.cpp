// The Windows build has no TLS library yet: an NTS run ends at the key exchange, before any NTP
// datagram, and nothing is ever sealed or opened.
#include <cstdio>

#include "app/config.hpp"
#include "nts/aead.hpp"
#include "nts/key_exchange.hpp"

bool nts_key_exchange(const char* /*name*/, const NetAddress& /*address*/,
                      NtsSession* /*session*/) {
    fprintf(ntp_out, "## Error ##: NTS-KE not available: this build has no TLS library.\n");
    return false;
}

void aead_seal(const uint8_t* /*key*/, const uint8_t* /*nonce*/, size_t /*nonce_length*/,
               const uint8_t* /*associated*/, size_t /*associated_length*/,
               const uint8_t* /*plain*/, size_t /*plain_length*/, uint8_t* /*out*/) {}

bool aead_open(const uint8_t* /*key*/, const uint8_t* /*nonce*/, size_t /*nonce_length*/,
               const uint8_t* /*associated*/, size_t /*associated_length*/,
               const uint8_t* /*cipher*/, size_t /*cipher_length*/, uint8_t* /*plain*/) {
    return false;
}
