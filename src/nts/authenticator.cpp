#include "nts/authenticator.hpp"

#include <cstring>

#include "nts/aead.hpp"
#include "nts/fields.hpp"
#include "platform/random.hpp"
#include "report/report.hpp"

namespace {

constexpr size_t AUTHENTICATOR_BODY_SIZE = 4 + NTS_NONCE_SIZE + NTS_TAG_SIZE;
uint8_t decrypted[NTP_DATAGRAM_MAX];

const ExtensionField* find(const ExtensionFields& fields, uint16_t type) {
    for (int i = 0; i < fields.count; ++i) {
        if (fields.fields[i].type == type) {
            return &fields.fields[i];
        }
    }
    return nullptr;
}

// A Kiss-o'-Death with the code NTSN: the server could not use the cookie. Anyone can send one.
bool is_nak(const uint8_t* datagram) {
    return datagram[NTP_OFFSET_STRATUM] == 0 &&
           memcmp(datagram + NTP_OFFSET_REFERENCE_ID, "NTSN", 4) == 0;
}

bool echoes(const ExtensionField& field, const uint8_t* datagram, const uint8_t* unique_id) {
    return field.length == NTS_FIELD_HEADER_SIZE + NTS_UNIQUE_ID_SIZE &&
           memcmp(datagram + field.offset + NTS_FIELD_HEADER_SIZE, unique_id, NTS_UNIQUE_ID_SIZE) ==
               0;
}

// The authenticator, over everything before it.
const char* authenticator_rejection(const NtsSession& session, const uint8_t* datagram,
                                    const ExtensionFields& fields) {
    const ExtensionField* authenticator = find(fields, NTS_FIELD_AUTHENTICATOR);
    if (authenticator == nullptr) {
        return "no authenticator";
    }
    if (authenticator != &fields.fields[fields.count - 1]) {
        return "extension fields after the authenticator";
    }
    AuthenticatorParts parts{};
    if (!nts_authenticator_parts(datagram, *authenticator, &parts)) {
        return "authenticator malformed";
    }
    return aead_open(session.s2c_key, parts.nonce, parts.nonce_length, datagram,
                     authenticator->offset, parts.ciphertext, parts.ciphertext_length, decrypted)
               ? nullptr
               : "authenticator does not verify";
}

} // namespace

size_t nts_build_request(NtsSession* session, const NtpPacket& header,
                         uint8_t request[NTS_REQUEST_MAX]) {
    constexpr size_t capacity = NTS_REQUEST_MAX;
    uint8_t body[AUTHENTICATOR_BODY_SIZE] = {0, NTS_NONCE_SIZE, 0, NTS_TAG_SIZE};
    uint8_t* nonce = body + 4;
    if (!random_bytes(session->unique_id, NTS_UNIQUE_ID_SIZE) ||
        !random_bytes(nonce, NTS_NONCE_SIZE)) {
        return 0;
    }
    memcpy(request, header.bytes, NTP_PACKET_SIZE);
    size_t length = nts_append_field(request, NTP_PACKET_SIZE, capacity, NTS_FIELD_UNIQUE_ID,
                                     session->unique_id, NTS_UNIQUE_ID_SIZE);
    length = nts_append_field(request, length, capacity, NTS_FIELD_COOKIE, session->cookie,
                              session->cookie_length);
    // The request has no encrypted fields: the ciphertext is the tag alone.
    constexpr uint8_t NOTHING[1] = {};
    aead_seal(session->c2s_key, nonce, NTS_NONCE_SIZE, request, length, NOTHING, 0,
              nonce + NTS_NONCE_SIZE);
    return nts_append_field(request, length, capacity, NTS_FIELD_AUTHENTICATOR, body, sizeof body);
}

const char* nts_rejection(const NtsSession& session, const uint8_t* datagram, size_t length) {
    if (length < NTP_PACKET_SIZE) {
        return "shorter than an NTP header";
    }
    // What it decrypts must fit its buffer.
    if (length > NTP_DATAGRAM_MAX) {
        return "longer than a reply is read";
    }
    ExtensionFields fields{};
    nts_walk_fields(datagram, length, &fields);
    if (fields.malformed != nullptr) {
        return fields.malformed;
    }
    const ExtensionField* unique_id = find(fields, NTS_FIELD_UNIQUE_ID);
    if (unique_id == nullptr) {
        return "no Unique Identifier";
    }
    if (!echoes(*unique_id, datagram, session.unique_id)) {
        return "Unique Identifier is not our request's";
    }
    if (is_nak(datagram)) {
        return "NTS NAK: the server could not use the cookie";
    }
    return authenticator_rejection(session, datagram, fields);
}

void print_extension_fields(const uint8_t* datagram, size_t length) {
    ExtensionFields fields{};
    nts_walk_fields(datagram, length, &fields);
    for (int i = 0; i < fields.count; ++i) {
        const ExtensionField& field = fields.fields[i];
        report_line(
            {{"reply.extension_fields[].type", json_integer(field.type)},
             {"reply.extension_fields[].name", json_string(nts_field_name(field.type))},
             {"reply.extension_fields[].length", json_integer(static_cast<int64_t>(field.length))}},
            "NTS Extension Field = 0x%04x (%s), Length = %u\n", field.type,
            nts_field_name(field.type), static_cast<unsigned>(field.length));
    }
}
