#pragma once

#include <cstddef>
#include <cstdint>

// The NTP extension fields of NTS (RFC 8915, section 5): each a 16-bit type, a 16-bit length of
// the whole field (a multiple of 4), the body and zero padding, after the 48-byte header.

constexpr uint16_t NTS_FIELD_UNIQUE_ID = 0x0104;
constexpr uint16_t NTS_FIELD_COOKIE = 0x0204;
constexpr uint16_t NTS_FIELD_COOKIE_PLACEHOLDER = 0x0304;
constexpr uint16_t NTS_FIELD_AUTHENTICATOR = 0x0404;
constexpr size_t NTS_FIELD_HEADER_SIZE = 4;
constexpr size_t NTS_UNIQUE_ID_SIZE = 32;
constexpr size_t NTS_NONCE_SIZE = 16;
constexpr size_t NTS_TAG_SIZE = 16; // the synthetic IV that leads the ciphertext
constexpr int NTS_FIELDS_MAX = 16;

// One field: where it starts in the datagram and its whole length.
struct ExtensionField {
    uint16_t type;
    size_t offset;
    size_t length;
};

struct ExtensionFields {
    ExtensionField fields[NTS_FIELDS_MAX];
    int count;
    const char* malformed; // why the walk stopped before the end, else nullptr
};

// Appends a field with that body, padded to a multiple of 4, to the packet of length bytes;
// returns the new length, or 0 when it would not fit in capacity. Fields follow the header, so a
// length of 0, a failed append before, gives 0 too: a chain of appends fails as a whole.
size_t nts_append_field(uint8_t* packet, size_t length, size_t capacity, uint16_t type,
                        const uint8_t* body, size_t body_length);

// The fields of a datagram of length bytes, after its header; at most NTS_FIELDS_MAX.
void nts_walk_fields(const uint8_t* datagram, size_t length, ExtensionFields* fields);

// An authenticator's body: the nonce and the ciphertext (the tag, then the encrypted fields).
struct AuthenticatorParts {
    const uint8_t* nonce;
    size_t nonce_length;
    const uint8_t* ciphertext;
    size_t ciphertext_length;
};
// False when the lengths in the body do not fit the field, or leave no room for the tag.
bool nts_authenticator_parts(const uint8_t* datagram, const ExtensionField& field,
                             AuthenticatorParts* parts);

// The standard's name of a field type, or "unknown".
const char* nts_field_name(uint16_t type);
