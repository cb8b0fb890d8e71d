// The NTS parsers: the key exchange's records and the NTP extension fields, from bytes that
// anyone on the path may have written.

#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "ntp/timestamp.hpp"
#include "nts/certificate_time.hpp"
#include "nts/fields.hpp"
#include "nts/ke_records.hpp"

namespace {

std::vector<uint8_t> bytes(const std::string& hex) {
    std::vector<uint8_t> out;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) {
        if (hex[i] == ' ') {
            --i;
            continue;
        }
        out.push_back(static_cast<uint8_t>(std::stoul(hex.substr(i, 2), nullptr, 16)));
    }
    return out;
}

const std::string PROTOCOL = "8001 0002 0000 ", AEAD = "8004 0002 000f ",
                  COOKIE = "8005 0004 c00c1e00 ", END = "8000 0000";

TEST(KeRecords, ResponsesAndWhyTheyFail) {
    // clang-format off
    const std::pair<std::string, const char*> ROWS[] = {
        // chronyd sets the critical bit on every record; records may come in any order.
        {AEAD + COOKIE + "0005 0002 eeff 8006 0009 3132372e302e302e32 8007 0002 2b73 "
         "4242 0003 000000 " + PROTOCOL + END, nullptr},
        {PROTOCOL + AEAD + COOKIE + "8003 0002 0001 " + END,
         "server answered Warning 1 (unrecognized, so an error)"},
        {"8002 0002 0001 " + END, "server answered Error 1 (bad request)"},
        {PROTOCOL + "8002 0002 0007 " + END, "server answered Error 7 (unknown error)"},
        {PROTOCOL + AEAD + "c242 0000 " + COOKIE + END, "unknown critical record type 16962"},
        {PROTOCOL + AEAD + END, "no cookie"},
        {AEAD + COOKIE + END, "no Next Protocol record"},
        {PROTOCOL + COOKIE + END, "no AEAD Algorithm record"},
        {PROTOCOL + "8004 0002 0010 " + COOKIE + END, "no common AEAD algorithm"},
        {PROTOCOL + "8004 0004 000f 0010 " + COOKIE + END, "malformed negotiation record"},
        {PROTOCOL + "8004 0001 0f " + COOKIE + END, "malformed negotiation record"},
        {"8001 0000 " + AEAD + COOKIE + END, "no common protocol (Next Protocol)"},
        {PROTOCOL + PROTOCOL + AEAD + COOKIE + END, "Next Protocol record repeated"},
        {PROTOCOL + AEAD + AEAD + COOKIE + END, "AEAD Algorithm record repeated"},
        {PROTOCOL + AEAD + "8005 0000 " + END, "cookie of 0 bytes"},
        {PROTOCOL + AEAD + COOKIE + "8006 0003 410a42 " + END, "malformed NTPv4 Server record"},
        {PROTOCOL + AEAD + COOKIE + "8007 0002 0000 " + END, "malformed NTPv4 Port record"},
        {PROTOCOL + AEAD + COOKIE + "8003 0003 000000 " + END, "malformed Warning record"},
        {PROTOCOL + AEAD + COOKIE + "8000 0001 00", "malformed End of Message record"},
        {PROTOCOL + AEAD + COOKIE + "0000 0000", "malformed End of Message record"},
        {PROTOCOL + AEAD + COOKIE + END + " 0000 0000", "records after End of Message"},
        // Lengths that run past the end, however large.
        {PROTOCOL + AEAD + "8005 0010 c00c1e00", "records cut short"},
        {PROTOCOL + AEAD + "8005 ffff c00c1e00", "records cut short"},
        {PROTOCOL + AEAD + COOKIE, "records cut short (no End of Message)"},
        {"800100", "records cut short (no End of Message)"},
        {"", "records cut short (no End of Message)"},
    };
    // clang-format on
    for (const auto& [hex, reason] : ROWS) {
        const std::vector<uint8_t> response = bytes(hex);
        KeResponse parsed{};
        const char* got = ke_parse_response(response.data(), response.size(), &parsed);
        EXPECT_STREQ(got, reason) << hex;
        if (hex.find(END + " ") != hex.npos) {
            continue; // read up to its first End of Message, which the parser finds is not last
        }
        // A whole response is found where it ends, and no sooner.
        const bool whole = hex.find("8000 00") != hex.npos || hex.ends_with(" 0000 0000");
        EXPECT_EQ(ke_response_length(response.data(), response.size()), whole ? response.size() : 0)
            << hex;
        for (size_t cut = 0; whole && cut < response.size(); ++cut) {
            EXPECT_EQ(ke_response_length(response.data(), cut), 0u) << hex << " cut at " << cut;
        }
    }
    const std::vector<uint8_t> first = bytes(ROWS[0].first);
    KeResponse parsed{};
    ke_parse_response(first.data(), first.size(), &parsed);
    EXPECT_EQ(parsed.cookies, 2);
    EXPECT_EQ(std::vector<uint8_t>(parsed.cookie, parsed.cookie + parsed.cookie_length),
              bytes("c00c1e00"));
    EXPECT_STREQ(parsed.server, "127.0.0.2");
    EXPECT_EQ(parsed.port, 11123);
    ASSERT_EQ(parsed.note_count, 1);
    EXPECT_TRUE(!parsed.notes[0].warning && parsed.notes[0].type == 0x4242 &&
                parsed.notes[0].value == 3);
    // The largest cookie kept, and one byte more refused.
    for (const size_t size : {NTS_COOKIE_MAX, NTS_COOKIE_MAX + 1}) {
        std::vector<uint8_t> response = bytes(PROTOCOL + AEAD + "8005");
        response.push_back(static_cast<uint8_t>(size >> 8));
        response.push_back(static_cast<uint8_t>(size));
        response.resize(response.size() + size, 0xAB);
        const std::vector<uint8_t> end = bytes(END);
        response.insert(response.end(), end.begin(), end.end());
        EXPECT_STREQ(ke_parse_response(response.data(), response.size(), &parsed),
                     size == NTS_COOKIE_MAX ? nullptr : "cookie of 513 bytes");
    }
}

const std::string HEADER(96, '0');

TEST(ExtensionFields, WalkedWithinTheDatagram) {
    // clang-format off
    const std::tuple<std::string, int, const char*> ROWS[] = {
        {HEADER, 0, nullptr},
        {HEADER + "0104 0008 00000000 0404 0004", 2, nullptr},
        {HEADER + "0104 0000 00000000", 0, "extension field lengths do not fit the datagram"},
        {HEADER + "0104 0006 00000000", 0, "extension field lengths do not fit the datagram"},
        {HEADER + "0104 0008 00000000 0404 fffc", 1, "extension field lengths do not fit the datagram"},
        {HEADER + "0104 0004 0000", 1, "extension field lengths do not fit the datagram"},
        {HEADER + [] { std::string many; for (int i = 0; i <= NTS_FIELDS_MAX; ++i) many += "01040004";
                       return many; }(), NTS_FIELDS_MAX, "more extension fields than a reply has"},
    };
    // clang-format on
    for (const auto& [hex, count, malformed] : ROWS) {
        const std::vector<uint8_t> datagram = bytes(hex);
        ExtensionFields fields{};
        nts_walk_fields(datagram.data(), datagram.size(), &fields);
        EXPECT_EQ(fields.count, count) << hex;
        EXPECT_STREQ(fields.malformed, malformed) << hex;
    }
    // Fields follow the header: an append after one that did not fit (0) does not fit either.
    uint8_t packet[NTP_PACKET_SIZE + 8] = {};
    EXPECT_EQ(nts_append_field(packet, 0, sizeof packet, NTS_FIELD_UNIQUE_ID, packet, 4), 0u);
    EXPECT_EQ(
        nts_append_field(packet, NTP_PACKET_SIZE, sizeof packet, NTS_FIELD_UNIQUE_ID, packet, 4),
        sizeof packet);
}

TEST(ExtensionFields, AuthenticatorLengthsFitTheField) {
    // clang-format off
    const std::pair<std::string, bool> ROWS[] = {
        {"0404 0028 0010 0010" + std::string(64, '1'), true},
        {"0404 001c 0003 0010" + std::string(40, '1'), true}, // the nonce padded to 4
        {"0404 0024 0010 000f" + std::string(56, '1'), false}, // no room for the tag
        {"0404 0028 0000 0010" + std::string(64, '1'), false},
        {"0404 0028 0011 0010" + std::string(64, '1'), false},
        {"0404 0028 fff0 0020" + std::string(64, '1'), false},
        {"0404 0028 0010 fff0" + std::string(64, '1'), false},
        {"0404 0004", false},
    };
    // clang-format on
    for (const auto& [hex, fits] : ROWS) {
        const std::vector<uint8_t> datagram = bytes(HEADER + hex);
        ExtensionFields fields{};
        nts_walk_fields(datagram.data(), datagram.size(), &fields);
        ASSERT_EQ(fields.count, 1) << hex;
        AuthenticatorParts parts{};
        EXPECT_EQ(nts_authenticator_parts(datagram.data(), fields.fields[0], &parts), fits) << hex;
        if (fits) {
            EXPECT_EQ(parts.ciphertext + parts.ciphertext_length,
                      datagram.data() + datagram.size());
        }
    }
}

} // namespace

// A clock before the build date cannot be right: the dates wait for the server's time, which
// must then be no earlier than the build date; a timestamp's era is the one nearest that date.
TEST(CertificateDates, AtWhichTimeAndWhy) {
    constexpr int64_t BUILD = 2114380800; // 2037-01-01, a build date ahead of every clock
    constexpr UnixNanoseconds S = 1000000000;
    const CertificateDates automatic =
        plan_certificate_dates(CERTIFICATE_TIME_LOCAL, (BUILD - 1) * S + S / 2, BUILD);
    EXPECT_TRUE(automatic.at_server_time && automatic.after_build_date);
    EXPECT_STREQ(automatic.why,
                 "local clock 2036-12-31 23:59:59 UTC is before this program's build date "
                 "2037-01-01");
    EXPECT_FALSE(plan_certificate_dates(CERTIFICATE_TIME_LOCAL, BUILD * S, BUILD).at_server_time);
    const CertificateDates asked =
        plan_certificate_dates(CERTIFICATE_TIME_SERVER, BUILD * S, BUILD);
    EXPECT_TRUE(asked.at_server_time && !asked.after_build_date);
    EXPECT_STREQ(asked.why, "NTS_CERTIFICATE_TIME=SERVER");
    EXPECT_STREQ(server_time_rejection(automatic, BUILD - 1, BUILD),
                 "before this program's build date 2037-01-01");
    EXPECT_EQ(server_time_rejection(automatic, BUILD, BUILD), nullptr);
    EXPECT_EQ(server_time_rejection(asked, 0, BUILD), nullptr);
    // 2037-01-01 is in NTP era 1; 2036-02-07 06:28:00 is the end of era 0, 16 s before it ends.
    const NtpTime start_of_2037 = static_cast<NtpTime>(BUILD + 2208988800 - 4294967296) << 32;
    const NtpTime end_of_era_0 = NtpTime{0xFFFFFFF0} << 32;
    EXPECT_EQ(unix_seconds_near(start_of_2037, BUILD), BUILD);
    EXPECT_EQ(unix_seconds_near(end_of_era_0, BUILD), 2085978496 - 16);
    EXPECT_EQ(unix_seconds_near(start_of_2037, 1796000000), BUILD); // 2026: nearer than 1901
    EXPECT_EQ(unix_seconds_near(end_of_era_0, 0), 2085978496 - 16);
    EXPECT_EQ(unix_seconds_near(start_of_2037, -4000000000), BUILD - 4294967296);
}
