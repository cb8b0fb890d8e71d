#include "nts/ke_records.hpp"

#include <cstdio>
#include <cstring>

#include "nts/big_endian.hpp"

const uint8_t NTS_KE_REQUEST[NTS_KE_REQUEST_SIZE] = {
    0x80, 0x01, 0x00, 0x02, 0x00, 0x00, // Next Protocol, critical: NTPv4
    0x80, 0x04, 0x00, 0x02, 0x00, 0x0F, // AEAD Algorithm, critical: AES-SIV-CMAC-256
    0x80, 0x00, 0x00, 0x00,             // End of Message
};

namespace {

constexpr uint16_t CRITICAL = 0x8000;
enum RecordType : uint16_t {
    RECORD_END = 0,
    RECORD_NEXT_PROTOCOL = 1,
    RECORD_ERROR = 2,
    RECORD_WARNING = 3,
    RECORD_AEAD = 4,
    RECORD_COOKIE = 5,
    RECORD_NTP_SERVER = 6,
    RECORD_NTP_PORT = 7,
};
constexpr size_t HEADER_SIZE = 4;

char reason[96];

const char* because(const char* format, unsigned value) {
    snprintf(reason, sizeof reason, format, value);
    return reason;
}

// A list of 16-bit ids that must name exactly the one the client offered.
const char* one_id(const uint8_t* body, size_t length, uint16_t offered, const char* none) {
    if (length % 2 != 0 || length > 2) {
        return "malformed negotiation record";
    }
    return length == 2 && u16(body) == offered ? nullptr : none;
}

bool printable_host(const uint8_t* body, size_t length) {
    if (length == 0 || length > NTS_HOST_MAX) {
        return false;
    }
    for (size_t i = 0; i < length; ++i) {
        if (body[i] <= 0x20 || body[i] >= 0x7F) {
            return false;
        }
    }
    return true;
}

void note(KeResponse* response, bool warning, uint16_t type, uint16_t value) {
    if (response->note_count < NTS_KE_NOTES_MAX) {
        response->notes[response->note_count] = KeNote{warning, type, value};
    }
    ++response->note_count;
}

const char* take_cookie(const uint8_t* body, size_t length, KeResponse* response) {
    if (length == 0 || length > NTS_COOKIE_MAX) {
        return because("cookie of %u bytes", static_cast<unsigned>(length));
    }
    if (response->cookies++ == 0) {
        memcpy(response->cookie, body, length);
        response->cookie_length = length;
    }
    return nullptr;
}

// One record of a known or unknown type; nullptr when the response may go on.
const char* take_record(uint16_t type, bool critical, const uint8_t* body, size_t length,
                        KeResponse* response) {
    switch (type) {
    case RECORD_NEXT_PROTOCOL:
        return ++response->protocols > 1
                   ? "Next Protocol record repeated"
                   : one_id(body, length, NTS_PROTOCOL_NTPV4, "no common protocol (Next Protocol)");
    case RECORD_AEAD:
        return ++response->algorithms > 1
                   ? "AEAD Algorithm record repeated"
                   : one_id(body, length, NTS_AEAD_AES_SIV_CMAC_256, "no common AEAD algorithm");
    case RECORD_ERROR:
        if (length != 2) {
            return "malformed Error record";
        }
        snprintf(reason, sizeof reason, "server answered Error %u (%s)", u16(body),
                 ke_error_name(u16(body)));
        return reason;
    case RECORD_WARNING:
        if (length != 2) {
            return "malformed Warning record";
        }
        // No warning code is defined, and an unrecognized one is an error (RFC 8915, 4.1.4).
        note(response, true, type, u16(body));
        snprintf(reason, sizeof reason, "server answered Warning %u (unrecognized, so an error)",
                 u16(body));
        return reason;
    case RECORD_COOKIE:
        return take_cookie(body, length, response);
    case RECORD_NTP_SERVER:
        if (!printable_host(body, length) || response->server[0] != '\0') {
            return "malformed NTPv4 Server record";
        }
        memcpy(response->server, body, length);
        response->server[length] = '\0';
        return nullptr;
    case RECORD_NTP_PORT:
        if (length != 2 || u16(body) == 0 || response->port != 0) {
            return "malformed NTPv4 Port record";
        }
        response->port = u16(body);
        return nullptr;
    default:
        if (critical) {
            return because("unknown critical record type %u", type);
        }
        note(response, false, type, static_cast<uint16_t>(length));
        return nullptr;
    }
}

// What a whole response must have held.
const char* complete_rejection(const KeResponse& response) {
    if (response.protocols == 0) {
        return "no Next Protocol record";
    }
    if (response.algorithms == 0) {
        return "no AEAD Algorithm record";
    }
    return response.cookies == 0 ? "no cookie" : nullptr;
}

// End of Message is critical and empty (RFC 8915, 4.1.1), and ends the response: whatever
// follows it is not read, however TLS framed it.
const char* end_rejection(const uint8_t* record, const KeResponse& response) {
    if ((u16(record) & CRITICAL) == 0 || u16(record + 2) != 0) {
        return "malformed End of Message record";
    }
    return complete_rejection(response);
}

} // namespace

size_t ke_response_length(const uint8_t* bytes, size_t length) {
    for (size_t at = 0; length - at >= HEADER_SIZE;) {
        const size_t end = at + HEADER_SIZE + u16(bytes + at + 2);
        if (end > length) {
            return 0;
        }
        if ((u16(bytes + at) & ~CRITICAL) == RECORD_END) {
            return end;
        }
        at = end;
    }
    return 0;
}

const char* ke_parse_response(const uint8_t* bytes, size_t length, KeResponse* response) {
    *response = KeResponse{};
    for (size_t at = 0; length - at >= HEADER_SIZE;) {
        const uint16_t type = u16(bytes + at) & ~CRITICAL;
        const size_t body_length = u16(bytes + at + 2);
        const uint8_t* body = bytes + at + HEADER_SIZE;
        if (body_length > length - at - HEADER_SIZE) {
            return "records cut short";
        }
        if (type == RECORD_END) {
            return end_rejection(bytes + at, *response);
        }
        if (const char* rejection =
                take_record(type, (u16(bytes + at) & CRITICAL) != 0, body, body_length, response)) {
            return rejection;
        }
        at += HEADER_SIZE + body_length;
    }
    return "records cut short (no End of Message)";
}

const char* ke_error_name(uint16_t code) {
    switch (code) {
    case 0:
        return "unrecognized critical record";
    case 1:
        return "bad request";
    case 2:
        return "internal server error";
    default:
        return "unknown error";
    }
}
