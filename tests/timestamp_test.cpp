#include <cmath>
#include <cstring>
#include <gtest/gtest.h>

#include "ntp/timestamp.hpp"
#include "report_lines.hpp"
#include "test_server.hpp"
#include "test_support.hpp"

namespace {

constexpr double ERA = 4294967296.0;
constexpr double TICK = 1.0 / ERA; // 2^-32 s

NtpPacket reply_with_times(double t1, double t2, double t3) {
    NtpPacket reply{};
    put_ntp_timestamp(ntp_field(reply, NTP_OFFSET_ORIGINATE_TIME), t1);
    put_ntp_timestamp(ntp_field(reply, NTP_OFFSET_RECEIVE_TIME), t2);
    put_ntp_timestamp(ntp_field(reply, NTP_OFFSET_TRANSMIT_TIME), t3);
    return reply;
}

TEST(Timestamp, LocalCalendarTimeToNtpSecondsFollowsTheZone) {
    ntp_init(1);
    const struct {
        const char* zone;
        double utc_offset;
    } zones[] = {{"UTC", 0}, {"Asia/Kolkata", 19800}, {"America/New_York", -18000}};
    for (const auto& zone : zones) {
        ScopedTimeZone tz(zone.zone);
        const SYSTEMTIME start{1970, 1, 4, 1, 0, 0, 0, 0};
        const SYSTEMTIME quarter{1970, 1, 4, 1, 0, 0, 0, 250};
        EXPECT_EQ(systemtime_to_ntp_seconds(start), 2208988800.0 - zone.utc_offset) << zone.zone;
        EXPECT_EQ(systemtime_to_ntp_seconds(quarter), 2208988800.25 - zone.utc_offset) << zone.zone;
    }
}

TEST(Timestamp, BytesOfAKnownTimeAndBack) {
    ScopedTimeZone tz("UTC");
    ntp_init(1);
    uint8_t bytes[8];
    systemtime_to_ntp_bytes(SYSTEMTIME{1970, 1, 4, 1, 0, 0, 0, 250}, bytes);
    const uint8_t expected[7] = {0x83, 0xAA, 0x7E, 0x80, 0x40, 0x00, 0x00};
    EXPECT_EQ(0, std::memcmp(bytes, expected, sizeof expected));

    const uint8_t one_and_a_half[8] = {0, 0, 0, 1, 0x80, 0, 0, 0};
    EXPECT_EQ(ntp_bytes_to_seconds(one_and_a_half), 1.5);
}

TEST(Timestamp, SplitAndReadBackStayWithinTheRandomByte) {
    ntp_init(1);
    for (double value : {0.5, 1.0, 2208988800.25, 3912345678.123456789, ERA - 1e-6}) {
        double residue = value;
        uint8_t bytes[8];
        ntp_seconds_to_bytes(bytes, residue);
        const double back = ntp_bytes_to_seconds(bytes);
        const double bound = 255 * TICK + 2 * std::nextafter(value, ERA * 2) - 2 * value;
        EXPECT_LE(std::fabs(back - value), bound) << value;
        EXPECT_LT(std::fabs(residue), 256 * TICK) << value;
    }
}

TEST(Timestamp, SecondsBeyondTheEraAreWrittenModuloTwoToThe32) {
    ntp_init(1);
    const struct {
        double seconds;
        uint8_t expected[7];
    } cases[] = {
        {ERA + 5.5, {0, 0, 0, 5, 0x80, 0, 0}},                           // 2036-02-07 06:28:21.5
        {ERA + 0x07861F80 + 0.25, {0x07, 0x86, 0x1F, 0x80, 0x40, 0, 0}}, // 2040
        {-0.5, {0xFF, 0xFF, 0xFF, 0xFF, 0x80, 0, 0}},                    // before 1900
    };
    for (const auto& c : cases) {
        double seconds = c.seconds;
        uint8_t bytes[8];
        ntp_seconds_to_bytes(bytes, seconds);
        EXPECT_EQ(0, std::memcmp(bytes, c.expected, sizeof c.expected)) << c.seconds;
    }
}

TEST(ClockOffset, PrintsTheFourTimesDelayAndOffset) {
    ReportCapture capture;
    const NtpPacket reply = reply_with_times(100, 101, 102);
    uint8_t t4[8];
    put_ntp_timestamp(t4, 104);
    EXPECT_EQ(compute_clock_offset(reply, t4), -0.5);
    EXPECT_EQ(capture.text(), "\n T1 = 100.000000, time request sent by client.\n"
                              " T2 = 101.000000, time request received by server.\n"
                              " T3 = 102.000000, time reply sent by server.\n"
                              " T4 = 104.000000, time reply received by client.\n"
                              "\nRoundtrip Delay    = 3.000000 (sec)\n"
                              "Local Clock Offset = -0.500000 (sec)\n");
}

TEST(ClockOffset, QuietRunPrintsOnlyDelayAndOffset) {
    ReportCapture capture;
    ntp_verbose = 0;
    uint8_t t4[8];
    put_ntp_timestamp(t4, 104);
    compute_clock_offset(reply_with_times(100, 101, 102), t4);
    EXPECT_EQ(capture.text(), "\nRoundtrip Delay    = 3.000000 (sec)\n"
                              "Local Clock Offset = -0.500000 (sec)\n");
}

// The same exchange gives the same delay and offset in era 0, across the rollover of
// 2036-02-07 06:28:16 UTC and in 2040.
TEST(ClockOffset, StaysRightAcrossTheEraRollover) {
    for (double base : {3900000000.0, ERA, ERA + 126230400.0}) {
        ReportCapture capture;
        const NtpPacket reply = reply_with_times(base - 0.5, base + 0.25, base + 0.3);
        uint8_t t4[8];
        put_ntp_timestamp(t4, base + 0.6);
        EXPECT_NEAR(compute_clock_offset(reply, t4), 0.225, 1e-6) << base;
        EXPECT_NEAR(value_of(capture.text(), "Roundtrip Delay"), 1.05, 1e-6) << base;
    }
}

// In era 0 the results are exactly those of the plain formulas.
TEST(ClockOffset, EraZeroResultsAreThePlainFormulas) {
    ReportCapture capture;
    ntp_verbose = 0;
    srand(7);
    for (int i = 0; i < 200; ++i) {
        const double base = 3.0e9 + rand() % 1000000;
        const double t1 = base + rand() % 1000 / 7.0;
        const double t2 = base + rand() % 1000 / 3.0;
        const double t3 = t2 + rand() % 1000 / 11.0;
        const double t4 = t1 + rand() % 1000 / 13.0;
        const NtpPacket reply = reply_with_times(t1, t2, t3);
        uint8_t t4_bytes[8];
        put_ntp_timestamp(t4_bytes, t4);
        const double g1 = get_ntp_timestamp(ntp_field(reply, NTP_OFFSET_ORIGINATE_TIME));
        const double g2 = get_ntp_timestamp(ntp_field(reply, NTP_OFFSET_RECEIVE_TIME));
        const double g3 = get_ntp_timestamp(ntp_field(reply, NTP_OFFSET_TRANSMIT_TIME));
        const double g4 = get_ntp_timestamp(t4_bytes);
        EXPECT_EQ(compute_clock_offset(reply, t4_bytes), ((g2 - g1) + (g3 - g4)) * 0.5);
    }
}

} // namespace
