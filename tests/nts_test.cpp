// The NTS parsers: the key exchange's records and the NTP extension fields, from bytes that
// anyone on the path may have written.

#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "in_process.hpp"
#include "ntp/timestamp.hpp"
#include "nts/authenticator.hpp"
#include "nts/certificate_time.hpp"
#include "nts/ke_response.hpp"
#include "nts/libraries.hpp"

namespace {

const std::string PROTOCOL = "8001 0002 0000 ", AEAD = "8004 0002 000f ",
                  COOKIE = "8005 0004 c00c1e00 ", END = "8000 0000", NO = "rejected: ",
                  AGREED = "NTS-KE Next Protocol = 0 (NTPv4)\n"
                           "NTS-KE AEAD Algorithm = 15 (AEAD_AES_SIV_CMAC_256)\n";

// What a run makes of a key exchange's response: the lines printed, then why it was rejected,
// or the NTP server it names and the size of the request that then carries its cookie.
std::string taken(const std::vector<uint8_t>& response) {
    NtsSession session{};
    char host[KE_HOST_SIZE] = "";
    uint16_t port = 0;
    const char* why = nullptr;
    const std::string lines = report_of(
        [&] { why = ke_take_response(response.data(), response.size(), &session, host, &port); });
    if (why != nullptr) {
        return lines + NO + why;
    }
    uint8_t request[NTS_REQUEST_MAX];
    const size_t size = nts_build_request(&session, NtpPacket{}, request);
    return lines + "server: " + host + " " + std::to_string(port) +
           "\nrequest: " + std::to_string(size);
}

// A response with the largest cookie and server name ("fff...") that may come, or one byte more
// of either.
std::string largest(size_t cookie_more, size_t name_more) {
    char cookie[16];
    char name[16];
    snprintf(cookie, sizeof cookie, "8005 %04zx ", NTS_COOKIE_MAX + cookie_more);
    snprintf(name, sizeof name, " 8006 %04zx ", NTS_HOST_MAX + name_more);
    return PROTOCOL + AEAD + cookie + std::string(2 * (NTS_COOKIE_MAX + cookie_more), 'c') + name +
           std::string(2 * (NTS_HOST_MAX + name_more), '6') + " " + END;
}

TEST(KeResponse, RecordsToLinesAndWhyTheyFail) {
    ASSERT_EQ(nts_libraries_load(), nullptr);
    // clang-format off
    const std::pair<std::string, std::string> ROWS[] = {
        // chronyd sets the critical bit on every record; records may come in any order; the
        // cookie kept is the first.
        {AEAD + COOKIE + "0005 0002 eeff 8006 0009 3132372e302e302e32 8007 0002 2b73 "
         "4242 0003 000000 " + PROTOCOL + END,
         "NTS-KE Unknown Record = 16962, Length = 3\n" + AGREED +
         "NTS-KE Cookies = 2\nserver: 127.0.0.2 11123\nrequest: 132"},
        {PROTOCOL + AEAD + COOKIE + END, AGREED + "NTS-KE Cookies = 1\nserver:  123\nrequest: 132"},
        // A name is looked up as absolute, so that no search domain makes it a local one.
        {PROTOCOL + AEAD + COOKIE + "8006 0003 6e7470 " + END,
         AGREED + "NTS-KE Cookies = 1\nserver: ntp. 123\nrequest: 132"},
        // The largest cookie and server name go whole into the session and the request.
        {largest(0, 0), AGREED + "NTS-KE Cookies = 1\nserver: " + std::string(NTS_HOST_MAX, 'f') +
                     ". 123\nrequest: 640"},
        {largest(1, 0), NO + "cookie of 513 bytes"},
        {largest(0, 1), NO + "malformed NTPv4 Server record"},
        {PROTOCOL + AEAD + COOKIE + "8003 0002 0001 " + END,
         "NTS-KE Warning = 1\n" + NO + "server answered Warning 1 (unrecognized, so an error)"},
        {"8002 0002 0001 " + END, NO + "server answered Error 1 (bad request)"},
        {PROTOCOL + AEAD + "c242 0000 " + COOKIE + END, NO + "unknown critical record type 16962"},
        {PROTOCOL + AEAD + END, NO + "no cookie"},
        {AEAD + COOKIE + END, NO + "no Next Protocol record"},
        {PROTOCOL + COOKIE + END, NO + "no AEAD Algorithm record"},
        {PROTOCOL + "8004 0002 0010 " + COOKIE + END, NO + "no common AEAD algorithm"},
        {PROTOCOL + "8004 0004 000f 0010 " + COOKIE + END, NO + "malformed negotiation record"},
        {"8001 0000 " + AEAD + COOKIE + END, NO + "no common protocol (Next Protocol)"},
        {PROTOCOL + PROTOCOL + AEAD + COOKIE + END, NO + "Next Protocol record repeated"},
        {PROTOCOL + AEAD + "8005 0000 " + END, NO + "cookie of 0 bytes"},
        {PROTOCOL + AEAD + COOKIE + "8006 0003 410a42 " + END, NO + "malformed NTPv4 Server record"},
        {PROTOCOL + AEAD + COOKIE + "8007 0002 0000 " + END, NO + "malformed NTPv4 Port record"},
        {PROTOCOL + AEAD + COOKIE + "8003 0003 000000 " + END, NO + "malformed Warning record"},
        {PROTOCOL + AEAD + COOKIE + "8000 0001 00", NO + "malformed End of Message record"},
        {PROTOCOL + AEAD + COOKIE + "0000 0000", NO + "malformed End of Message record"},
        // The response ends at End of Message: what follows is not read, in this TLS record or
        // a later one.
        {PROTOCOL + AEAD + COOKIE + END + " 0000 0000",
         AGREED + "NTS-KE Cookies = 1\nserver:  123\nrequest: 132"},
        // Lengths that run past the end, however large.
        {PROTOCOL + AEAD + "8005 0010 c00c1e00", NO + "records cut short"},
        {PROTOCOL + AEAD + COOKIE, NO + "records cut short (no End of Message)"},
    };
    // clang-format on
    for (const auto& [hex, expected] : ROWS) {
        const std::vector<uint8_t> response = hex_bytes(hex);
        EXPECT_EQ(taken(response), expected) << hex.substr(0, 80);
        if (hex.find(END + " ") != hex.npos) {
            continue; // read up to its first End of Message, and no further
        }
        // A whole response is found where it ends, and no sooner.
        const bool whole = hex.find("8000 00") != hex.npos || hex.ends_with(" 0000 0000");
        EXPECT_EQ(ke_response_length(response.data(), response.size()), whole ? response.size() : 0)
            << hex;
        for (size_t cut = 0; whole && cut < response.size(); ++cut) {
            EXPECT_EQ(ke_response_length(response.data(), cut), 0u) << hex << " cut at " << cut;
        }
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
        const std::vector<uint8_t> datagram = hex_bytes(hex);
        ExtensionFields fields{};
        nts_walk_fields(datagram.data(), datagram.size(), &fields);
        EXPECT_EQ(fields.count, count) << hex;
        EXPECT_STREQ(fields.malformed, malformed) << hex;
    }
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
        const std::vector<uint8_t> datagram = hex_bytes(HEADER + hex);
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
// must then be no earlier than the build date, however the run came to check them there, and
// inside every certificate's dates, read as calendar times past 2038 too; a timestamp's era is
// the one nearest the build date.
TEST(CertificateDates, AtWhichTimeAndWhy) {
    constexpr int64_t BUILD = 2114380800; // 2037-01-01, a build date ahead of every clock
    constexpr UnixNanoseconds S = 1000000000;
    const CertificateDates automatic =
        plan_certificate_dates(CERTIFICATE_TIME_LOCAL, (BUILD - 1) * S + S / 2, BUILD);
    EXPECT_TRUE(automatic.at_server_time);
    EXPECT_STREQ(automatic.why,
                 "local clock 2036-12-31 23:59:59 UTC is before this program's build date "
                 "2037-01-01");
    EXPECT_FALSE(plan_certificate_dates(CERTIFICATE_TIME_LOCAL, BUILD * S, BUILD).at_server_time);
    const CertificateDates asked =
        plan_certificate_dates(CERTIFICATE_TIME_SERVER, BUILD * S, BUILD);
    EXPECT_TRUE(asked.at_server_time);
    EXPECT_STREQ(asked.why, "NTS_CERTIFICATE_TIME=SERVER");
    for (const CertificateDates& dates : {automatic, asked}) {
        EXPECT_STREQ(server_time_rejection(dates, BUILD - 1, BUILD),
                     "before this program's build date 2037-01-01");
        EXPECT_EQ(server_time_rejection(dates, BUILD, BUILD), nullptr);
    }
    // A certificate's dates narrow the span, read as the C library reads them, past 2038 too.
    for (const int64_t when : {INT64_C(951782400), INT64_C(2147483648), INT64_C(4294967296)}) {
        const time_t moment = when;
        CertificateDates dates = asked;
        take_certificate_dates(&dates, *gmtime(&moment), *gmtime(&moment));
        EXPECT_STREQ(server_time_rejection(dates, when - 1, 0), "certificate is not yet valid");
        EXPECT_EQ(server_time_rejection(dates, when, 0), nullptr);
        EXPECT_STREQ(server_time_rejection(dates, when + 1, 0), "certificate has expired");
    }
    // 2037-01-01 is in NTP era 1; 2036-02-07 06:28:00 is the end of era 0, 16 s before it ends.
    const NtpTime start_of_2037 = static_cast<NtpTime>(BUILD + 2208988800 - 4294967296) << 32;
    const NtpTime end_of_era_0 = NtpTime{0xFFFFFFF0} << 32;
    EXPECT_EQ(unix_seconds_near(start_of_2037, BUILD), BUILD);
    EXPECT_EQ(unix_seconds_near(end_of_era_0, BUILD), 2085978496 - 16);
    EXPECT_EQ(unix_seconds_near(start_of_2037, 1796000000), BUILD); // 2026: nearer than 1901
}
