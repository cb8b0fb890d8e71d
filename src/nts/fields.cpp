#include "nts/fields.hpp"

#include <cstring>

#include "ntp/packet.hpp"
#include "nts/big_endian.hpp"

namespace {

size_t padded(size_t length) {
    return (length + 3) & ~static_cast<size_t>(3);
}

} // namespace

size_t nts_append_field(uint8_t* packet, size_t length, size_t capacity, uint16_t type,
                        const uint8_t* body, size_t body_length) {
    const size_t field_length = NTS_FIELD_HEADER_SIZE + padded(body_length);
    if (length < NTP_PACKET_SIZE || field_length > 0xFFFF || capacity < length ||
        field_length > capacity - length) {
        return 0;
    }
    uint8_t* field = packet + length;
    put_u16(field, type);
    put_u16(field + 2, field_length);
    memset(field + NTS_FIELD_HEADER_SIZE, 0, field_length - NTS_FIELD_HEADER_SIZE);
    memcpy(field + NTS_FIELD_HEADER_SIZE, body, body_length);
    return length + field_length;
}

void nts_walk_fields(const uint8_t* datagram, size_t length, ExtensionFields* fields) {
    *fields = ExtensionFields{};
    for (size_t at = NTP_PACKET_SIZE; at < length;) {
        const size_t left = length - at;
        const size_t field_length = left < NTS_FIELD_HEADER_SIZE ? 0 : u16(datagram + at + 2);
        if (field_length < NTS_FIELD_HEADER_SIZE || field_length % 4 != 0 || field_length > left) {
            fields->malformed = "extension field lengths do not fit the datagram";
            return;
        }
        if (fields->count == NTS_FIELDS_MAX) {
            fields->malformed = "more extension fields than a reply has";
            return;
        }
        fields->fields[fields->count++] = ExtensionField{u16(datagram + at), at, field_length};
        at += field_length;
    }
}

bool nts_authenticator_parts(const uint8_t* datagram, const ExtensionField& field,
                             AuthenticatorParts* parts) {
    constexpr size_t LENGTHS_SIZE = 4;
    const uint8_t* body = datagram + field.offset + NTS_FIELD_HEADER_SIZE;
    const size_t body_length = field.length - NTS_FIELD_HEADER_SIZE;
    if (body_length < LENGTHS_SIZE) {
        return false;
    }
    parts->nonce_length = u16(body);
    parts->ciphertext_length = u16(body + 2);
    parts->nonce = body + LENGTHS_SIZE;
    parts->ciphertext = parts->nonce + padded(parts->nonce_length);
    return parts->nonce_length > 0 && parts->ciphertext_length >= NTS_TAG_SIZE &&
           LENGTHS_SIZE + padded(parts->nonce_length) + padded(parts->ciphertext_length) <=
               body_length;
}

const char* nts_field_name(uint16_t type) {
    switch (type) {
    case NTS_FIELD_UNIQUE_ID:
        return "Unique Identifier";
    case NTS_FIELD_COOKIE:
        return "NTS Cookie";
    case NTS_FIELD_COOKIE_PLACEHOLDER:
        return "NTS Cookie Placeholder";
    case NTS_FIELD_AUTHENTICATOR:
        return "NTS Authenticator and Encrypted Extension Fields";
    default:
        return "unknown";
    }
}
