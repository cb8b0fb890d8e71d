// Everything after reception, in-process on the fake clock: the report, the checks before the
// clock is set, and the setting, at dates the real clock cannot be set to.

#include <cmath>
#include <cstring>
#include <gtest/gtest.h>
#include <sstream>

#include "in_process.hpp"
#include "ntp/timestamp.hpp"

namespace {

constexpr double T = 1796000000;        // 2026-11-30 00:53:20 UTC
constexpr double ROLLOVER = 2085978496; // 2036-02-07 06:28:16 UTC, the end of NTP era 0
constexpr const char* SET = "## INFO. ## Adjusted Local Time.";
constexpr const char* NOT_SET = "## Error ##: Can NOT Adujust time.";

// Seconds since 1900, modulo one era, as timestamp bytes: the tests' own way.
void put_ntp(uint8_t* bytes, double seconds) {
    const auto fixed = static_cast<uint64_t>(std::fmod(seconds, NTP_ERA_SECONDS) * NTP_ERA_SECONDS);
    for (int i = 0; i < 8; ++i) {
        bytes[i] = static_cast<uint8_t>(fixed >> (56 - 8 * i));
    }
}

std::string rejected(const std::string& why) {
    return "## Error ##: Reply rejected (" + why + "); local time not adjusted.";
}

// A request sent at `start` (Unix seconds, to the millisecond), answered by a server `offset`
// ahead that keeps it no time: the reply, as changed by the row, arrives at `start` too.
struct Row {
    double start, offset;
    std::string lines;      // whole lines, one after the other in the report
    std::string patch = ""; // "at:hex ...", bytes written over the reply
    const char* zone = ZONES[0];
    double hold = 0; // seconds added to T3: a hold the server claims but did not take
    size_t length = 48;
    const char* sender = "127.0.0.1";
    uint16_t sender_port = 123;
    bool refuse = false; // the system refuses the setting
};

const Row ROWS[] = {
    {T + 0.25, -3,
     " Leap Indicator (LI): 0\n Version Number (VN): 3\n                Mode: 4\n"
     "             Stratum: 2\n       Poll Interval:   6 (6.40e+01 sec)\n"
     "           Precision: -20 (9.54e-07 sec)\n          Root Delay: 500.000000 (m sec)\n"
     "     Root Dispersion: 62.500000 (m sec)\nReference Identifier: 127.0.0.9\n"
     " Reference Timestamp: 4004988781.250000\n Originate Timestamp: 4004988800.250000\n"
     " Receive   Timestamp: 4004988797.250000\n Transmit  Timestamp: 4004988797.250000\n\n"
     " T1 = 4004988800.250000, time request sent by client.\n"
     " T2 = 4004988797.250000, time request received by server.\n"
     " T3 = 4004988797.250000, time reply sent by server.\n"
     " T4 = 4004988800.250000, time reply received by client.\n\n"
     "Roundtrip Delay    = 0.000000 (sec)\nLocal Clock Offset = -3.000000 (sec)\n" +
         std::string(SET) + "\nSystem   Time = Mon Nov 30 00:53:20 2026"},
    {T, 0,
     " Version Number (VN): 7\n                Mode: 7\n             Stratum: 255\n"
     "       Poll Interval:  15 (3.28e+04 sec)\n           Precision:  -1 (5.00e-01 sec)\n"
     "          Root Delay: 65535999.984741 (m sec)",
     "0:" + std::string(96, 'f')},
    // The reference of stratum 0 and 1 is a code, with what it cannot show escaped.
    {T, 0, "Reference Identifier: GPS", "1:01 12:47505300"},
    {T, 0, "Reference Identifier: \\xff\\x9b\\\\\\x7f", "1:01 12:ff9b5c7f"},
    {T, 0, rejected("kiss code A\\x07\\x1bB"), "1:00 12:41071b42"},
    // The checks, each failed alone.
    {T, 0, rejected("kiss code RA"), "0:dc 1:00 12:52410000"},
    {T, 0, rejected("mode 3, not a server's"), "0:1b"},
    {T, 0, rejected("version 0"), "0:04"},
    {T, 0, rejected("version 5"), "0:2c"},
    {T, 0, rejected("server clock not synchronized"), "0:dc"},
    {T, 0, rejected("stratum 16"), "1:10"},
    {T, 0, rejected("no transmit timestamp"), "40:0000000000000000"},
    {T, 0, rejected("root distance of 1 second or more"), "8:00010000"},
    {T, 0, rejected("root distance of 1 second or more"), "4:00020000 8:00000000"},
    {T, 0, rejected("originate timestamp is not our request's"), "31:01"},
    {T, 0, rejected("47 bytes, not 48"), "", ZONES[0], 0, 47},
    {T, 0, rejected("from another address than the server's"), "", ZONES[0], 0, 48, "127.0.0.2"},
    {T, 0, rejected("from another address than the server's"), "", ZONES[0], 0, 48, "127.0.0.1",
     124},
    {T, 0, rejected("round-trip delay below -2 ms"), "", ZONES[0], 1},
    {T, -T - 1, rejected("corrected time outside 1970 to 2106")},
    {4294967295, 1, rejected("corrected time outside 1970 to 2106")},
    {T, 0.5, NOT_SET, "", ZONES[0], 0, 48, "127.0.0.1", 123, true},
    // Settings: to the millisecond of the reading plus the offset, in local calendar time.
    {T, -T, SET},
    {T + 0.001, 0, SET},
    {1798741799, 2.5, SET, "", ZONES[1]}, // 2026-12-31 23:59:59 in India
    {T + 0.999, 0, SET, "", ZONES[1]},
    {ROLLOVER - 0.2, 0.5, "Local Clock Offset = 0.500000 (sec)\n" + std::string(SET)},
    {ROLLOVER + 0.3, -0.5, "Local Clock Offset = -0.500000 (sec)\n" + std::string(SET)},
    {2208988801.5, 1.5, SET, "", ZONES[2]}, // 2040
    // 01:30 in New York on 2026-11-01 comes twice, in EDT and then in EST: neither may be taken
    // for the other, which would report an hour of offset and set the clock by it.
    {1793511000, 0.25, "Local Clock Offset = 0.250000 (sec)\n" + std::string(SET), "", ZONES[2]},
    {1793514600, 0.25, "Local Clock Offset = 0.250000 (sec)\n" + std::string(SET), "", ZONES[2]},
};

void patch(uint8_t* bytes, const std::string& text) {
    std::istringstream patches(text);
    size_t at = 0;
    char colon = 0;
    for (std::string hex; patches >> at >> colon >> hex;) {
        for (size_t i = 0; i < hex.size(); i += 2) {
            bytes[at + i / 2] =
                static_cast<uint8_t>(strtoul(hex.substr(i, 2).c_str(), nullptr, 16));
        }
    }
}

TEST(Exchange, ReportChecksAndSetting) {
    for (const Row& row : ROWS) {
        use_zone(row.zone);
        fake_clock_start(row.start, row.refuse);
        const double sent = row.start + NTP_EPOCH_OFFSET, replied = sent + row.offset;
        uint8_t transmit[8],
            reply[48] = {0x1C, 2, 6, 0xEC, 0, 0, 0x80, 0, 0, 0, 0x10, 0, 127, 0, 0, 9};
        put_ntp(transmit, sent);
        put_ntp(reply + 16, replied - 16);
        memcpy(reply + 24, transmit, 8);
        put_ntp(reply + 32, replied);
        put_ntp(reply + 40, replied + row.hold);
        patch(reply, row.patch);
        uint32_t corrected = 0;
        const std::string report =
            complete_reply(transmit, reply, row.length, row.sender, row.sender_port, &corrected);

        EXPECT_NE(("\n" + report).find("\n" + row.lines + "\n"), std::string::npos)
            << row.start << row.patch << "\n"
            << report;
        const bool set = report.find(SET) != std::string::npos;
        EXPECT_EQ(fake_clock_settings, set ? 1 : 0);
        if (set) {
            EXPECT_EQ(fake_clock_now.tv_sec * 1000LL + fake_clock_now.tv_nsec / 1000000,
                      std::llround((row.start + row.offset) * 1000))
                << report;
            EXPECT_EQ(corrected, static_cast<uint32_t>(row.start + row.offset));
        }
    }
}

} // namespace
