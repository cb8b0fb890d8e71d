// Everything after reception, in-process on the fake clock: the report, the checks before the
// clock is set, and the setting, at dates the real clock cannot be set to.

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <gtest/gtest.h>

#include "in_process.hpp"
#include "ntp/build_date.hpp"

namespace {

constexpr UnixNanoseconds S = NANOSECONDS_PER_SECOND;
constexpr UnixNanoseconds T = 1924000000 * S;        // 2030-12-20 12:26:40 UTC
constexpr UnixNanoseconds ROLLOVER = 2085978496 * S; // 2036-02-07 06:28:16 UTC, end of NTP era 0
constexpr const char* SET = "## INFO. ## Adjusted Local Time.";
// The request's transmit bytes, random on the wire: 1592590337.5 as NTP seconds.
constexpr uint8_t TRANSMIT[8] = {0x5E, 0xED, 0x00, 0x01, 0x80, 0x00, 0x00, 0x00};

std::string rejected(const std::string& why) {
    return "## Error ##: Reply rejected (" + why + "); local time not adjusted.";
}
std::string stepped(const std::string& offset) {
    return "Local Clock Offset = " + offset + " (sec)\n" + SET;
}

// A reply that arrives when the fake clock stands at `start`, from a server `offset` ahead that
// keeps the request no time, `delay` after the request went: half of it on each leg.
struct Row {
    std::string lines; // whole lines, one after the other in the report
    std::vector<std::pair<size_t, std::string>> patch = {}; // bytes written over the reply, in hex
    UnixNanoseconds start = T;
    double offset = 0, delay = 0;
    double hold = 0; // seconds added to T3: a hold the server claims but did not take
    size_t length = 48;
    const char* sender = "127.0.0.1";
    uint16_t sender_port = 123;
};

// clang-format off
const Row ROWS[] = {
    {.lines = " Leap Indicator (LI): 0\n Version Number (VN): 3\n                Mode: 4\n"
              "             Stratum: 2\n       Poll Interval:   6 (6.40e+01 sec)\n"
              "           Precision: -20 (9.54e-07 sec)\n          Root Delay: 500.000000 (m sec)\n"
              "     Root Dispersion: 62.500000 (m sec)\nReference Identifier: 127.0.0.9\n"
              " Reference Timestamp: 4132988781.250023\n Originate Timestamp: 1592590337.500000\n"
              " Receive   Timestamp: 4132988797.250023\n Transmit  Timestamp: 4132988797.250023\n\n"
              " T1 = 4132988800.249923, time request sent by client.\n"
              " T2 = 4132988797.250023, time request received by server.\n"
              " T3 = 4132988797.250023, time reply sent by server.\n"
              " T4 = 4132988800.250123, time reply received by client.\n\n"
              "Roundtrip Delay    = 0.000200 (sec)\n" + stepped("-3.000000") +
              "\nSystem   Time = Fri Dec 20 07:26:40 2030",
     .start = T + S / 4 + 123100, .offset = -3, .delay = 0.0002},
    {.lines = " Version Number (VN): 7\n                Mode: 7\n             Stratum: 255\n"
              "       Poll Interval:  15 (3.28e+04 sec)\n           Precision:  -1 (5.00e-01 sec)\n"
              "          Root Delay: 65535999.984741 (m sec)",
     .patch = {{0, std::string(96, 'f')}}},
    // The reference of stratum 0 and 1 is a code, with what it cannot show escaped.
    {.lines = "Reference Identifier: GPS", .patch = {{1, "01"}, {12, "47505300"}}},
    {.lines = "Reference Identifier: \\xff\\x9b\\\\\\x7f", .patch = {{1, "01"}, {12, "ff9b5c7f"}}},
    {.lines = rejected("kiss code A\\x07\\x1bB"), .patch = {{1, "00"}, {12, "41071b42"}}},
    // The checks, each failed alone.
    {.lines = rejected("kiss code RA"), .patch = {{0, "dc"}, {1, "00"}, {12, "52410000"}}},
    {.lines = rejected("mode 3, not a server's"), .patch = {{0, "1b"}}},
    {.lines = rejected("version 0"), .patch = {{0, "04"}}},
    {.lines = rejected("version 5"), .patch = {{0, "2c"}}},
    {.lines = rejected("server clock not synchronized"), .patch = {{0, "dc"}}},
    {.lines = rejected("stratum 16"), .patch = {{1, "10"}}},
    {.lines = rejected("no transmit timestamp"), .patch = {{40, "0000000000000000"}}},
    {.lines = rejected("root distance of 1 second or more"), .patch = {{8, "00010000"}}},
    {.lines = rejected("root distance of 1 second or more"), .patch = {{4, "00020000"}, {8, "00000000"}}},
    // A server that claims to read its clock only to the second is a second away.
    {.lines = rejected("root distance of 1 second or more"), .patch = {{3, "00"}}},
    {.lines = rejected("originate timestamp is not our request's"), .patch = {{31, "01"}}},
    {.lines = rejected("47 bytes, not 48"), .length = 47},
    {.lines = rejected("from another address than the server's"), .sender = "127.0.0.2"},
    {.lines = rejected("from another address than the server's"), .sender_port = 124},
    // Below zero by the two clocks' precision, 2^-20 s and 1 us, and not by more.
    {.lines = SET, .hold = 0.0000019},
    {.lines = rejected("round-trip delay below -0.000002 s"), .hold = 0.000002},
    // No step to a time before this program was built, down to the second; nor past 2106.
    {.lines = rejected(std::string("corrected time ") + build_date_rejection(0, BUILD_DATE)),
     .offset = static_cast<double>(BUILD_DATE - 1924000000 - 1)},
    {.lines = rejected("corrected time outside 1970 to 2106"), .start = 4294967295 * S, .offset = 1},
    // Settings: the reading plus the offset, to the nanosecond, at dates on both sides of 2036.
    {.lines = SET, .start = T + 123456789, .offset = 1.5, .delay = 0.000037},
    {.lines = stepped("0.500000"), .start = ROLLOVER - S / 5 + 345678, .offset = 0.5},
    {.lines = stepped("-0.500000"), .start = ROLLOVER + S / 3 + 456, .offset = -0.5},
};
// clang-format on

TEST(Exchange, ReportChecksAndSetting) {
    // New York's time, in the syntax that the C library on Windows reads too.
    putenv(const_cast<char*>("TZ=EST5EDT"));
    tzset();
    for (size_t i = 0; i < std::size(ROWS); ++i) {
        const Row& row = ROWS[i];
        SCOPED_TRACE("row " + std::to_string(i) + ": " + row.lines.substr(0, 60));
        fake_clock_now = row.start;
        fake_clock_settings = 0;
        const UnixNanoseconds replied =
            row.start - std::llround(row.delay / 2 * S) + std::llround(row.offset * S);
        uint8_t reply[48] = {0x1C, 2, 6, 0xEC, 0, 0, 0x80, 0, 0, 0, 0x10, 0, 127, 0, 0, 9};
        put_ntp(reply + 16, replied - 16 * S);
        memcpy(reply + 24, TRANSMIT, 8);
        put_ntp(reply + 32, replied);
        put_ntp(reply + 40, replied + std::llround(row.hold * S));
        for (const auto& [at, hex] : row.patch) {
            const std::vector<uint8_t> written = hex_bytes(hex);
            memcpy(reply + at, written.data(), written.size());
        }
        const auto sent = row.start - std::llround(row.delay * S);
        Query query = query_with_reply(TRANSMIT, sent, reply, row.length);
        address_from_dotted(row.sender, row.sender_port, &query.exchange.reply.sender);
        uint32_t corrected = 0;
        const std::string report = report_of([&] { corrected = complete_query(query); });

        EXPECT_NE(("\n" + report).find("\n" + row.lines + "\n"), std::string::npos) << report;
        const bool set = report.find(SET) != std::string::npos;
        EXPECT_EQ(fake_clock_settings, set ? 1 : 0);
        if (set) {
            const double offset = row.offset + row.hold / 2;
            const UnixNanoseconds expected = row.start + std::llround(offset * S);
            EXPECT_LE(std::llabs(fake_clock_now - expected), 10) << report;
            EXPECT_EQ(corrected, static_cast<uint32_t>(expected / S));
        }
        // The same exchange in JSON, with every field at its extremes too: one valid object.
        fake_clock_now = row.start;
        const std::string json = json_report_of(query);
        EXPECT_TRUE(json_line_is_valid(json)) << json;
    }
}

} // namespace
