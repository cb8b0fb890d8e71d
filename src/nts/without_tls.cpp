// The Windows build has no TLS library yet: an NTS run ends at the key exchange, before any NTP
// datagram, and nothing is ever sealed or opened.
#include <cstdio>

#include "app/config.hpp"
#include "nts/aead.hpp"
#include "nts/key_exchange.hpp"

bool nts_key_exchange(const char*, const NetAddress&, NtsSession*) {
    fprintf(ntp_out, "## Error ##: NTS-KE not available: this build has no TLS library.\n");
    return false;
}

void aead_seal(const uint8_t*, const uint8_t*, size_t, const uint8_t*, size_t, const uint8_t*,
               size_t, uint8_t*) {}

bool aead_open(const uint8_t*, const uint8_t*, size_t, const uint8_t*, size_t, const uint8_t*,
               size_t, uint8_t*) {
    return false;
}
