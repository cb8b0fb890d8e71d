// Crafted replies from the loopback test server, each field line read in the real binary's
// report.

#include <gtest/gtest.h>

#include "e2e_support.hpp"
#include "report_lines.hpp"

namespace {

using Patches = std::vector<std::pair<size_t, uint8_t>>;

Patches refid(uint8_t stratum, uint8_t flags, uint8_t a, uint8_t b, uint8_t c, uint8_t d) {
    return {{0, flags}, {1, stratum}, {12, a}, {13, b}, {14, c}, {15, d}};
}

TEST(EndToEndReport, CraftedFieldsAreShownAsSent) {
    const struct {
        const char* what;
        Patches patches;
        std::vector<std::string> expected;
    } cases[] = {
        {"0x24",
         {{0, 0x24}},
         {" Leap Indicator (LI): 0", " Version Number (VN): 4", "                Mode: 4"}},
        {"0x1C",
         {{0, 0x1C}},
         {" Leap Indicator (LI): 0", " Version Number (VN): 3", "                Mode: 4"}},
        {"0xE3",
         {{0, 0xE3}},
         {" Leap Indicator (LI): 3", " Version Number (VN): 4", "                Mode: 3"}},
        {"poll 0x11", {{2, 0x11}}, {"       Poll Interval:   1 (2.00e+00 sec)"}},
        {"precision 0xEC", {{3, 0xEC}}, {"           Precision: -20 (9.54e-07 sec)"}},
        {"root delay half a second",
         {{4, 0}, {5, 0}, {6, 0x80}, {7, 0}},
         {"          Root Delay: 500.000000 (m sec)"}},
        {"root delay one second",
         {{4, 0}, {5, 1}, {6, 0}, {7, 0}},
         {"          Root Delay: 1000.000000 (m sec)"}},
        {"GPS",
         refid(1, 0x1C, 'G', 'P', 'S', 0),
         {"             Stratum: 1", "Reference Identifier: GPS"}},
        {"IPv4 upstream", refid(2, 0x1C, 0xC0, 0, 2, 1), {"Reference Identifier: 192.0.2.1"}},
        {"kiss code",
         refid(0, 0x1C, 'R', 'A', 'T', 'E'),
         {"             Stratum: 0", "Reference Identifier: RATE"}},
        {"version 4 upstream",
         refid(2, 0x24, 0x7F, 0, 0, 1),
         {" Version Number (VN): 4", "Reference Identifier: 127.0.0.1"}},
        {"control bytes",
         refid(0, 0x1C, 'A', 0x07, 0x1B, 'B'),
         {"Reference Identifier: A\\x07\\x1bB"}},
    };
    for (const auto& c : cases) {
        ServerBehaviour behaviour;
        behaviour.patches = c.patches;
        TestServer server(behaviour);
        const ClientRun run = run_against(server);
        expect_lines_in_order(run.out, COMPLETE_REPORT);
        for (const auto& line : c.expected) {
            EXPECT_EQ(line_starting(run.out, line.substr(0, 22)), line) << c.what;
        }
        EXPECT_EQ(run.out.find('\x07'), std::string::npos) << c.what;
    }
}

TEST(EndToEndReport, AllOnesAndShortReplies) {
    ServerBehaviour all_ones;
    all_ones.raw.assign(48, 0xFF);
    ServerBehaviour short_reply;
    short_reply.raw = {0x1C, 2, 6, 0xEC, 0, 0, 0x80, 0, 0, 0};
    const struct {
        const char* what;
        ServerBehaviour behaviour;
        std::vector<std::string> expected;
    } cases[] = {
        {"all 0xFF",
         all_ones,
         {" Leap Indicator (LI): 3", " Version Number (VN): 7", "                Mode: 7",
          "             Stratum: 255", "       Poll Interval:  15 (3.28e+04 sec)",
          "           Precision:  -1 (5.00e-01 sec)",
          "          Root Delay: 65535999.984741 (m sec)",
          "     Root Dispersion: 65535999.984741 (m sec)", "Reference Identifier: 255.255.255.255",
          " Reference Timestamp: 4294967296.000000", " Transmit  Timestamp: 4294967296.000000"}},
        {"10 bytes, the rest read as zero",
         short_reply,
         {"             Stratum: 2", "          Root Delay: 500.000000 (m sec)",
          "     Root Dispersion: 0.000000 (m sec)", "Reference Identifier: 0.0.0.0",
          " Reference Timestamp: 0.000000", " Transmit  Timestamp: 0.000000"}},
    };
    for (const auto& c : cases) {
        TestServer server(c.behaviour);
        const ClientRun run = run_against(server);
        EXPECT_EQ(run.exit_status, 0);
        expect_lines_in_order(run.out, COMPLETE_REPORT);
        for (const auto& line : c.expected) {
            EXPECT_EQ(line_starting(run.out, line.substr(0, 22)), line) << c.what;
        }
    }
}

} // namespace
