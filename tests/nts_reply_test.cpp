// The authenticator of a reply, sealed here with nettle as a server seals it, then changed as
// nothing on the path may change it unnoticed.

#include <cstring>
#include <gtest/gtest.h>

#include "nts/aead.hpp"
#include "nts/authenticator.hpp"
#include "nts/libraries.hpp"

namespace {

// A reply of the header, the Unique Identifier and the authenticator (nonce and ciphertext of
// 16 bytes each, sealing 8 bytes of encrypted fields); its length.
size_t sealed_reply(const NtsSession& session, const uint8_t* key, uint8_t* reply) {
    memset(reply, 0, NTP_PACKET_SIZE);
    reply[0] = 0x24;
    size_t length = nts_append_field(reply, NTP_PACKET_SIZE, NTP_DATAGRAM_MAX, NTS_FIELD_UNIQUE_ID,
                                     session.unique_id, NTS_UNIQUE_ID_SIZE);
    uint8_t body[4 + 16 + 24] = {0, 16, 0, 24};
    const uint8_t secret[8] = {2, 4, 0, 8, 1, 2, 3, 4};
    aead_seal(key, body + 4, 16, reply, length, secret, sizeof secret, body + 20);
    return nts_append_field(reply, length, NTP_DATAGRAM_MAX, NTS_FIELD_AUTHENTICATOR, body,
                            sizeof body);
}

TEST(NtsReply, OnlyOurAuthenticatedReplyPasses) {
    ASSERT_EQ(nts_libraries_load(), nullptr);
    NtsSession session{};
    memset(session.c2s_key, 1, NTS_KEY_SIZE);
    memset(session.s2c_key, 2, NTS_KEY_SIZE);
    memset(session.unique_id, 3, NTS_UNIQUE_ID_SIZE);
    uint8_t reply[NTP_DATAGRAM_MAX];
    size_t length = sealed_reply(session, session.s2c_key, reply);
    EXPECT_EQ(nts_rejection(session, reply, length), nullptr);
    EXPECT_STREQ(nts_rejection(session, reply, 47), "shorter than an NTP header");
    EXPECT_STREQ(nts_rejection(session, reply, NTP_DATAGRAM_MAX + 1),
                 "longer than a reply is read");
    // What follows the authenticator is not covered by it.
    const uint8_t nothing[1] = {};
    const size_t longer = nts_append_field(reply, length, sizeof reply, 0x0304, nothing, 0);
    EXPECT_STREQ(nts_rejection(session, reply, longer), "extension fields after the authenticator");
    reply[length - 44] = 0x40; // a nonce longer than the field
    EXPECT_STREQ(nts_rejection(session, reply, length), "authenticator malformed");
    length = sealed_reply(session, session.c2s_key, reply);
    EXPECT_STREQ(nts_rejection(session, reply, length), "authenticator does not verify");
    session.unique_id[31] ^= 1;
    EXPECT_STREQ(nts_rejection(session, reply, length), "Unique Identifier is not our request's");
}

} // namespace
