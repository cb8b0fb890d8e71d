#include <gtest/gtest.h>

#include "ntp/report.hpp"
#include "test_server.hpp"
#include "test_support.hpp"

namespace {

TEST(Report, EveryFieldOnItsLineInPacketOrder) {
    ReportCapture capture;
    NtpPacket reply{};
    const uint8_t head[16] = {0x24, 2, 0x11, 0xEC, 0, 0, 0x80, 0, 0, 0x01, 0, 0, 192, 0, 2, 1};
    std::copy(head, head + 16, reply.bytes);
    put_ntp_timestamp(ntp_field(reply, NTP_OFFSET_REFERENCE_TIME), 4005580000.5);
    put_ntp_timestamp(ntp_field(reply, NTP_OFFSET_ORIGINATE_TIME), 4005580100.25);
    put_ntp_timestamp(ntp_field(reply, NTP_OFFSET_RECEIVE_TIME), 4005580100.375);
    put_ntp_timestamp(ntp_field(reply, NTP_OFFSET_TRANSMIT_TIME), 4005580100.4375);
    print_ntp_packet(reply);
    EXPECT_EQ(capture.text(), " Leap Indicator (LI): 0\n"
                              " Version Number (VN): 4\n"
                              "                Mode: 4\n"
                              "             Stratum: 2\n"
                              "       Poll Interval:   1 (2.00e+00 sec)\n"
                              "           Precision: -20 (9.54e-07 sec)\n"
                              "          Root Delay: 500.000000 (m sec)\n"
                              "     Root Dispersion: 1000.000000 (m sec)\n"
                              "Reference Identifier: 192.0.2.1\n"
                              " Reference Timestamp: 4005580000.500000\n"
                              " Originate Timestamp: 4005580100.250000\n"
                              " Receive   Timestamp: 4005580100.375000\n"
                              " Transmit  Timestamp: 4005580100.437500\n");
}

TEST(Report, ReferenceIdentifierText) {
    const struct {
        uint8_t id[4];
        int stratum;
        int version;
        const char* expected;
    } cases[] = {
        {{'G', 'P', 'S', 0}, 1, 3, "GPS"},
        {{'R', 'A', 'T', 'E'}, 0, 4, "RATE"},
        {{'P', 0, 'S', 'X'}, 1, 4, "P"}, // ends at the first NUL
        {{0, 0, 0, 0}, 0, 4, ""},
        {{'A', 0x07, 0x1B, 'B'}, 0, 4, "A\\x07\\x1bB"}, // no control byte reaches the terminal
        {{0xFF, 0x9B, '\\', 0x7F}, 1, 3, "\\xff\\x9b\\\\\\x7f"},
        {{192, 0, 2, 1}, 2, 3, "192.0.2.1"},
        {{127, 0, 0, 1}, 2, 4, "127.0.0.1"},
        {{255, 255, 255, 255}, 255, 7, "255.255.255.255"},
        {{'G', 'P', 'S', 0}, 2, 1, "71.80.83.0"},
    };
    for (const auto& c : cases) {
        EXPECT_STREQ(reference_id_text(c.id, c.stratum, c.version), c.expected) << c.expected;
    }
}

} // namespace
