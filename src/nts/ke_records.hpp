#pragma once

#include <cstddef>
#include <cstdint>

// The records of the NTS key exchange (RFC 8915, section 4): each a 16-bit type whose top bit
// says "critical", a 16-bit body length and the body, big-endian.

constexpr uint16_t NTS_KE_DEFAULT_PORT = 4460;
constexpr uint16_t NTS_PROTOCOL_NTPV4 = 0;
constexpr uint16_t NTS_AEAD_AES_SIV_CMAC_256 = 15;
constexpr size_t NTS_COOKIE_MAX = 512;
constexpr size_t NTS_HOST_MAX = 255;
// The records a response may carry that are only reported: warnings and unknown ones.
constexpr int NTS_KE_NOTES_MAX = 64;

// Next Protocol [NTPv4], AEAD Algorithm [AES-SIV-CMAC-256], End of Message.
constexpr size_t NTS_KE_REQUEST_SIZE = 16;
extern const uint8_t NTS_KE_REQUEST[NTS_KE_REQUEST_SIZE];

// A Warning record (its code in value) or a record of an unknown type (its body length).
struct KeNote {
    bool warning;
    uint16_t type;
    uint16_t value;
};

// What the server's response said.
struct KeResponse {
    int protocols;                  // Next Protocol records seen
    int algorithms;                 // AEAD Algorithm records seen
    int cookies;                    // cookies received
    uint8_t cookie[NTS_COOKIE_MAX]; // the first of them
    size_t cookie_length;
    char server[NTS_HOST_MAX + 1]; // empty when the response names no NTP server
    uint16_t port;                 // 0 when it names no NTP port
    KeNote notes[NTS_KE_NOTES_MAX];
    int note_count; // all of them, even past the ones kept
};

// The length of the whole response at the start of bytes, End of Message included; 0 while the
// bytes hold no End of Message yet.
size_t ke_response_length(const uint8_t* bytes, size_t length);

// Reads a response, up to its first End of Message; nullptr when it is one a client can go on with,
// otherwise why not in words (a static buffer that the next call overwrites).
const char* ke_parse_response(const uint8_t* bytes, size_t length, KeResponse* response);

// The name of an Error record's code, as the standard gives them.
const char* ke_error_name(uint16_t code);
