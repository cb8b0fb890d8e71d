#pragma once

#include <cstddef>
#include <cstdint>

#include "nts/aead.hpp"
#include "nts/certificate_time.hpp"
#include "nts/fields.hpp"
#include "nts/ke_records.hpp"
#include "platform/sockets.hpp"

// What an NTS run takes from the key exchange into the NTP exchange; `dates`, set before the
// key exchange, say at which time the certificates' dates are checked.
struct NtsSession {
    CertificateDates dates;
    uint8_t c2s_key[NTS_KEY_SIZE];
    uint8_t s2c_key[NTS_KEY_SIZE];
    uint8_t cookie[NTS_COOKIE_MAX];
    size_t cookie_length;
    NetAddress ntp_server;
    uint8_t unique_id[NTS_UNIQUE_ID_SIZE]; // chosen with the request
};
