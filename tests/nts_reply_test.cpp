// An NTS run's reply, sealed here with nettle as a server seals it, then changed as nothing on
// the path may change it unnoticed: the run says why, reports no time and sets nothing.

#include <cstring>
#include <gtest/gtest.h>

#include "in_process.hpp"
#include "ntp/build_date.hpp"
#include "nts/aead.hpp"
#include "nts/authenticator.hpp"
#include "nts/libraries.hpp"

namespace {

constexpr int64_t SECONDS = 1924000000; // 2030-12-20, after any build date here
constexpr UnixNanoseconds NOW = SECONDS * NANOSECONDS_PER_SECOND;
constexpr uint8_t TRANSMIT[8] = {0x5E, 0xED, 0x00, 0x01, 0x80, 0x00, 0x00, 0x00};

// The certificates' dates checked at the server's time, which they hold a day either side of now.
NtsSession session_of_ones() {
    NtsSession session{};
    session.dates = plan_certificate_dates(CERTIFICATE_TIME_SERVER, NOW, BUILD_DATE);
    session.dates.valid_from = SECONDS - 86400;
    session.dates.valid_until = SECONDS + 86400;
    memset(session.c2s_key, 1, NTS_KEY_SIZE);
    memset(session.s2c_key, 2, NTS_KEY_SIZE);
    memset(session.unique_id, 3, NTS_UNIQUE_ID_SIZE);
    return session;
}

// A server's answer to TRANSMIT, received and sent at `t2` and `t3` (Unix seconds): the header,
// the Unique Identifier and the authenticator (nonce and ciphertext of 16 bytes each, sealing 8
// bytes of encrypted fields) sealed with `key`; its length.
size_t sealed_reply(const uint8_t* unique_id, const uint8_t* key, int64_t t2, int64_t t3,
                    uint8_t* reply) {
    const std::vector<uint8_t> header = hex_bytes("2402 06ec 00000010 00000010 7f000009");
    memset(reply, 0, NTP_PACKET_SIZE);
    memcpy(reply, header.data(), header.size());
    memcpy(reply + NTP_OFFSET_ORIGINATE_TIME, TRANSMIT, 8);
    put_ntp(reply + NTP_OFFSET_RECEIVE_TIME, t2 * NANOSECONDS_PER_SECOND);
    put_ntp(reply + NTP_OFFSET_TRANSMIT_TIME, t3 * NANOSECONDS_PER_SECOND);
    size_t length = nts_append_field(reply, NTP_PACKET_SIZE, NTP_DATAGRAM_MAX, NTS_FIELD_UNIQUE_ID,
                                     unique_id, NTS_UNIQUE_ID_SIZE);
    uint8_t body[4 + 16 + 24] = {0, 16, 0, 24};
    const uint8_t secret[8] = {2, 4, 0, 8, 1, 2, 3, 4};
    aead_seal(key, body + 4, 16, reply, length, secret, sizeof secret, body + 20);
    return nts_append_field(reply, length, NTP_DATAGRAM_MAX, NTS_FIELD_AUTHENTICATOR, body,
                            sizeof body);
}

TEST(NtsReply, WhatThePathChangesIsNeverTheTime) {
    ASSERT_EQ(nts_libraries_load(), nullptr);
    const std::string DOES_NOT_VERIFY = "NTS Authenticator = NOT verified (authenticator does not "
                                        "verify)\n## Error ##: Reply rejected (not authenticated: "
                                        "authenticator does not verify); local time not adjusted.";
    // clang-format off
    // What the path can do to a reply, and what the run then says after its fields; the run that
    // only reports takes an altered reply.
    const std::pair<std::string, std::string> ROWS[] = {
        {"pass", "NTS Authenticator = verified\n"
                 "NTS Certificate Dates = valid at the server's time 2030-12-20 12:26:40 UTC"},
        {"alter", DOES_NOT_VERIFY},
        {"report only", "NTS Authenticator = NOT verified (authenticator does not verify)\n## "
                        "Error ##: No authenticated reply (authenticator does not verify); no time "
                        "is reported."},
        {"strip", "NTS Authenticator = NOT verified (no authenticator)"},
        {"replay", "NTS Authenticator = NOT verified (Unique Identifier is not our request's)"},
        {"nak", "## Error ##: Reply rejected (not authenticated: NTS NAK: the server could not use "
                "the cookie); local time not adjusted."},
        {"short", "NTS Authenticator = NOT verified (shorter than an NTP header)"},
        {"long", "NTS Authenticator = NOT verified (longer than a reply is read)"},
        {"after", "NTS Authenticator = NOT verified (extension fields after the authenticator)"},
        {"nonce", "NTS Authenticator = NOT verified (authenticator malformed)"},
        // Sealed by the key holder, but received at a time the dates do not cover.
        {"receive ahead", "NTS Authenticator = NOT verified (certificate not valid at the server's "
                          "time 2032-12-19 12:26:40 UTC: certificate has expired)"},
    };
    // clang-format on
    for (const auto& [fault, verdict] : ROWS) {
        SCOPED_TRACE(fault);
        NtsSession session = session_of_ones();
        uint8_t earlier[NTS_UNIQUE_ID_SIZE];
        memset(earlier, 4, sizeof earlier);
        uint8_t reply[NTP_DATAGRAM_MAX];
        const int64_t t2 = fault == "receive ahead" ? SECONDS + 2 * 365 * 86400 : SECONDS;
        size_t length = sealed_reply(fault == "replay" ? earlier : session.unique_id,
                                     session.s2c_key, t2, SECONDS, reply);
        if (fault == "alter" || fault == "report only") {
            reply[NTP_OFFSET_TRANSMIT_TIME + 7] ^= 1; // a bit of T3
        } else if (fault == "strip" || fault == "nak") {
            length = NTP_PACKET_SIZE + NTS_FIELD_HEADER_SIZE + NTS_UNIQUE_ID_SIZE;
        } else if (fault == "short" || fault == "long") {
            length = fault == "short" ? NTP_PACKET_SIZE - 1 : NTP_DATAGRAM_MAX + 1;
        } else if (fault == "after") { // what follows the authenticator is not covered by it
            length = nts_append_field(reply, length, sizeof reply, 0x0304, reply, 0);
        } else if (fault == "nonce") {
            reply[length - 44] = 0x40; // longer than the field
        }
        if (fault == "nak") {
            memcpy(reply + NTP_OFFSET_STRATUM, "\0", 1);
            memcpy(reply + NTP_OFFSET_REFERENCE_ID, "NTSN", 4);
        }
        fake_clock_now = NOW;
        fake_clock_settings = 0;
        Query query = query_with_reply(TRANSMIT, NOW - 1000, reply, length);
        query.nts = &session;
        query.adjust = fault != "report only";
        const std::string report = report_of([&] { complete_query(query); });
        EXPECT_NE(report.find("\n" + verdict + "\n"), std::string::npos) << report;
        EXPECT_EQ(fake_clock_settings, fault == "pass" ? 1 : 0);
        EXPECT_EQ(report.find("Local Clock Offset") == std::string::npos, fault != "pass");
    }
}

} // namespace
