// The arithmetic: timestamps and the clock offset, the port of the server text, and the
// clock step in local calendar time (on the fake clock).

#include <array>
#include <cmath>
#include <cstring>
#include <gtest/gtest.h>

#include "capture.hpp"
#include "clock/adjust.hpp"
#include "fake_clock.hpp"
#include "ntp/server_text.hpp"
#include "ntp/timestamp.hpp"
#include "report_lines.hpp"

namespace {

constexpr double ERA = 4294967296.0;

NtpPacket packet(double t1, double t2, double t3) {
    NtpPacket reply{};
    put_ntp(&reply.bytes[24], t1);
    put_ntp(&reply.bytes[32], t2);
    put_ntp(&reply.bytes[40], t3);
    return reply;
}

std::string offset_report(double t1, double t2, double t3, double t4, double* offset) {
    uint8_t t4_bytes[8];
    put_ntp(t4_bytes, t4);
    return report_of([&] { *offset = compute_clock_offset(packet(t1, t2, t3), t4_bytes); });
}

TEST(Timestamp, CalendarTimeToSecondsAndBytes) {
    ntp_init(1);
    // 1970-01-02, whose local midnight is after the epoch in every zone (Windows' mktime
    // takes nothing before it).
    const int utc_offsets[] = {0, 19800, -18000}; // of ZONES then
    for (size_t i = 0; i < std::size(ZONES); ++i) {
        use_zone(ZONES[i]);
        EXPECT_EQ(systemtime_to_ntp_seconds({1970, 1, 5, 2, 0, 0, 0, 0}),
                  2209075200.0 - utc_offsets[i]);
        EXPECT_EQ(systemtime_to_ntp_seconds({1970, 1, 5, 2, 0, 0, 0, 250}),
                  2209075200.25 - utc_offsets[i]);
    }
    use_zone(ZONES[0]);
    uint8_t bytes[8];
    systemtime_to_ntp_bytes({1970, 1, 4, 1, 0, 0, 0, 250}, bytes);
    EXPECT_EQ(std::vector<uint8_t>(bytes, bytes + 7),
              (std::vector<uint8_t>{0x83, 0xAA, 0x7E, 0x80, 0x40, 0, 0}));
    const uint8_t one_and_a_half[8] = {0, 0, 0, 1, 0x80, 0, 0, 0};
    EXPECT_EQ(ntp_bytes_to_seconds(one_and_a_half), 1.5);
    // Read back within the last byte and the double's rounding; beyond the era and
    // before 1900 modulo 2^32 (2036-02-07 06:28:21.5 and 1899-12-31 23:59:59.5).
    for (const auto& [value, expected] : {std::pair{2208988800.25, 2208988800.25},
                                          {3912345678.123456, 3912345678.123456},
                                          {ERA - 1e-6, ERA - 1e-6},
                                          {ERA + 5.5, 5.5},
                                          {-0.5, ERA - 0.5}}) {
        double residue = value;
        ntp_seconds_to_bytes(bytes, residue);
        EXPECT_NEAR(ntp_bytes_to_seconds(bytes), expected, 256 / ERA + 5e-7) << value;
        EXPECT_LT(std::fabs(residue), 256 / ERA) << value;
    }
}

TEST(ClockOffset, TheFourTimesDelayAndOffset) {
    double offset = 0;
    EXPECT_EQ(offset_report(100, 101, 102, 104, &offset),
              "\n T1 = 100.000000, time request sent by client.\n"
              " T2 = 101.000000, time request received by server.\n"
              " T3 = 102.000000, time reply sent by server.\n"
              " T4 = 104.000000, time reply received by client.\n"
              "\nRoundtrip Delay    = 3.000000 (sec)\nLocal Clock Offset = -0.500000 (sec)\n");
    EXPECT_EQ(offset, -0.5);
    // The same exchanges in era 0, across the rollover of 2036-02-07 06:28:16 UTC either way,
    // and in 2040.
    for (double base : {3900000000.0, ERA, ERA + 126230400.0}) {
        for (const auto& [t, delay, expected] :
             {std::tuple{std::array{-0.5, 0.25, 0.3, 0.6}, 1.05, 0.225},
              {std::array{0.5, -0.25, -0.2, 0.6}, 0.05, -0.775}}) {
            const std::string report =
                offset_report(base + t[0], base + t[1], base + t[2], base + t[3], &offset);
            EXPECT_NEAR(offset, expected, 1e-6) << base;
            EXPECT_NEAR(number_of(report, "Roundtrip Delay"), delay, 1e-6) << base;
        }
    }
}

TEST(ServerText, PortAfterTheFirstColonAsAtoiReadsItModulo65536) {
    // clang-format off
    for (const auto& [text, name, port] : {std::tuple{"time.example", "time.example", 123},
            {"host:", "host", 0}, {"host:70000", "host", 4464}, {"host:12ab", "host", 12},
            {"host: +42", "host", 42}, {"host:-1", "host", 65535}, {"a:1:2", "a", 1},
            {"host:99999999999999999999999", "host", 65535}, // no overflow
            {"[::1]:124", "::1", 124}, {"[::1]", "::1", 123}, {"::1", "::1", 123},
            {"[2001:db8::1]:70000", "2001:db8::1", 4464}, {"fe80::1%lo", "fe80::1%lo", 123}}) {
        // clang-format on
        char buffer[64];
        std::strcpy(buffer, text);
        EXPECT_EQ(split_server_port(buffer), port) << text;
        EXPECT_STREQ(buffer, name);
    }
}

// A local time {year, month, day, hour, minute, second, ms} as the clock holds it.
timespec local(const int (&t)[7]) {
    struct tm parts {};
    parts.tm_year = t[0] - 1900;
    parts.tm_mon = t[1] - 1;
    parts.tm_mday = t[2];
    parts.tm_hour = t[3];
    parts.tm_min = t[4];
    parts.tm_sec = t[5];
    parts.tm_isdst = -1;
    return {mktime(&parts), t[6] * 1000000L};
}

long long ms_of(const timespec& t) {
    return t.tv_sec * 1000LL + t.tv_nsec / 1000000;
}

TEST(Adjust, StepsToTheReadingPlusTheOffsetInLocalTime) {
    const struct {
        int from[7];
        double offset;
        int to[7];
    } cases[] = {
        // clang-format off
        {{2026, 6, 15, 10, 0, 0, 123}, 0, {2026, 6, 15, 10, 0, 0, 123}},
        {{2026, 1, 15, 10, 0, 0, 999}, 0, {2026, 1, 15, 10, 0, 0, 999}},
        {{2026, 6, 15, 10, 0, 0, 250}, 1.5, {2026, 6, 15, 10, 0, 1, 750}},
        {{2026, 6, 15, 23, 59, 59, 500}, 1.0, {2026, 6, 16, 0, 0, 0, 500}},  // midnight
        {{2026, 4, 30, 23, 59, 59, 900}, 0.2, {2026, 5, 1, 0, 0, 0, 100}},   // month end
        {{2026, 12, 31, 23, 59, 59, 0}, 2.5, {2027, 1, 1, 0, 0, 1, 500}},    // year end
        {{2027, 1, 1, 0, 0, 0, 200}, -0.5, {2026, 12, 31, 23, 59, 59, 700}}, // back over it
        {{2028, 2, 28, 23, 0, 0, 0}, 3600, {2028, 2, 29, 0, 0, 0, 0}},       // leap day
        // clang-format on
    };
    for (const char* zone : ZONES) {
        use_zone(zone);
        for (const auto& c : cases) {
            fake_clock_start(local(c.from));
            EXPECT_EQ(report_of([&] { adjust_local_time(c.offset); }),
                      "## INFO. ## Adjusted Local Time.\n");
            EXPECT_EQ(fake_clock_settings(), 1);
            EXPECT_EQ(ms_of(fake_clock_last_setting()), ms_of(local(c.to)))
                << zone << " " << c.from[2] << " " << c.from[3] << "h + " << c.offset;
        }
    }
    // Refused by the system, or a time the clock cannot take: nothing is set.
    for (const auto& [refuse, offset] :
         {std::pair{true, 0.5}, {false, -1796000001.0}, {false, ERA - 1796000000}}) {
        fake_clock_start({1796000000, 0}, refuse);
        EXPECT_EQ(report_of([&] { adjust_local_time(offset); }),
                  "## Error ##: Can NOT Adujust time.\n");
        EXPECT_EQ(fake_clock_settings(), 0);
    }
    fake_clock_start({1796000000, 0});
    report_of([] { adjust_local_time(-1796000000.0); }); // 1970-01-01 itself is fine
    EXPECT_EQ(fake_clock_settings(), 1);
}

} // namespace
