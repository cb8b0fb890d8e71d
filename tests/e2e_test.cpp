// The real sntp-client binary, run as a child process against the loopback test server, its
// report read line by line.

#include <arpa/inet.h>
#include <cmath>
#include <fstream>
#include <gtest/gtest.h>
#include <set>
#include <unistd.h>

#include "run_client.hpp"
#include "test_server.hpp"

namespace {

std::string rejected(const std::string& why) {
    return "## Error ##: Reply rejected (" + why + "); local time not adjusted.";
}

TEST(EndToEnd, ReportsTheInjectedOffsetAndDelay) {
    for (const auto& [offset, delay] : {std::pair{0.0, 0.0},
                                        {0.25, 0.0},
                                        {-3.0, 0.0},
                                        {0.25, 0.2},
                                        {-3.0, 0.2},
                                        {86400.5, 0.0}}) {
        TestServer server({.offset = offset, .delay = delay});
        const double started = now_ntp() - 2208988800.0;
        const ClientRun r = run({"NTP_SERVER_NAME=" + server.endpoint});
        EXPECT_EQ(r.status, 0);
        EXPECT_TRUE(complete(r.out)) << r.out;
        EXPECT_EQ(line_of(r.out, ""),
                  "Server Name = 127.0.0.1, Port = " + std::to_string(server.port));
        // Off by at most half the true delay, plus the millisecond truncation of T1 and T4.
        const double reported_delay = number_of(r.out, "Roundtrip Delay");
        EXPECT_NEAR(number_of(r.out, "Local Clock Offset"), offset, reported_delay / 2 + 0.0015);
        EXPECT_NEAR(reported_delay, delay, client_slack());
        // The corrected time of reception: some time into the run, however slow it started.
        const std::string standard = line_of(r.out, "Standard Time = ").substr(16);
        bool within_run = false;
        for (double t = started + offset; t < started + offset + r.seconds + 1; t += 1) {
            within_run = within_run || standard == ctime_of(static_cast<long long>(t));
        }
        EXPECT_TRUE(within_run) << standard;
    }
}

TEST(EndToEnd, RepliesAsTheyArriveAndTheChecksBeforeSettingTheClock) {
    ASSERT_TRUE(clock_cannot_be_set_here()) << "refusing to run: this process could set the clock";
    const std::string adjust = "ADJUST_TIME";
    const std::string distance = rejected("root distance of 1 second or more");
    const struct {
        Behaviour server;          // forgeries are an hour ahead
        std::string status, lines; // whole lines of the report, in order
        double offset = NAN;       // of the reply reported, when it tells which one that was
        double seconds = 0;        // the run takes at least
    } cases[] = {
        // clang-format off
        {{.patch = "0:24"}, "", " Leap Indicator (LI): 0\n Version Number (VN): 4\n                Mode: 4"},
        {{.patch = "0:1c"}, "", " Leap Indicator (LI): 0\n Version Number (VN): 3\n                Mode: 4"},
        {{.patch = "0:e3"}, "", " Leap Indicator (LI): 3\n Version Number (VN): 4\n                Mode: 3"},
        {{.patch = "2:11"}, "", "       Poll Interval:   1 (2.00e+00 sec)"},
        {{.patch = "3:ec"}, "", "           Precision: -20 (9.54e-07 sec)"},
        {{.patch = "4:00008000"}, "", "          Root Delay: 500.000000 (m sec)"},
        {{.patch = "4:00010000"}, "", "          Root Delay: 1000.000000 (m sec)"},
        {{.patch = "1:01 12:47505300"}, "", "             Stratum: 1\nReference Identifier: GPS"},
        {{.patch = "12:c0000201"}, "", "Reference Identifier: 192.0.2.1"},
        {{.patch = "1:00 12:52415445"}, "", "             Stratum: 0\nReference Identifier: RATE"},
        {{.patch = "0:24 12:7f000001"}, "", "Reference Identifier: 127.0.0.1"},
        {{.patch = "1:00 12:41071b42"}, "", "Reference Identifier: A\\x07\\x1bB"},
        {{.patch = "1:01 12:ff9b5c7f"}, "", "Reference Identifier: \\xff\\x9b\\\\\\x7f"},
        {{.patch = "0:" + std::string(96, 'f')}, "", " Leap Indicator (LI): 3\n Version Number (VN): 7\n"
         "                Mode: 7\n             Stratum: 255\n       Poll Interval:  15 (3.28e+04 sec)\n"
         "           Precision:  -1 (5.00e-01 sec)\n          Root Delay: 65535999.984741 (m sec)\n"
         "     Root Dispersion: 65535999.984741 (m sec)\nReference Identifier: 255.255.255.255\n"
         " Reference Timestamp: 4294967296.000000\n Transmit  Timestamp: 4294967296.000000"},
        {{.patch = "4:00008000 8:00000000", .length = 10}, "", "          Root Delay: 500.000000 (m sec)\n"
         "     Root Dispersion: 0.000000 (m sec)\nReference Identifier: 0.0.0.0\n"
         " Transmit  Timestamp: 0.000000"},
        {{.echo = false}, "", " T1 = 0.000000, time request sent by client."},
        {{.length = 20}, "", " T3 = 0.000000, time reply sent by server."},
        {{.length = 60}, "", ""},
        {{.other_port = true}, "", ""},
        {{.patch = "1:00"}, "adjust_time", ""},
        {{.patch = "1:00"}, "ADJUST_TIME ", ""},
        {{}, adjust, "## Error ##: Can NOT Adujust time."},
        {{.length = 47}, adjust, rejected("47 bytes, not 48")},
        {{.other_port = true}, adjust, rejected("from another address than the server's")},
        {{.patch = "0:1b"}, adjust, rejected("mode 3, not a server's")},
        {{.patch = "0:04"}, adjust, rejected("version 0")},
        {{.patch = "0:2c"}, adjust, rejected("version 5")},
        {{.patch = "0:dc"}, adjust, rejected("server clock not synchronized")},
        {{.patch = "0:dc 1:00 12:52415445"}, adjust, rejected("kiss code RATE")},
        {{.patch = "1:10"}, adjust, rejected("stratum 16")},
        {{.patch = "40:0000000000000000"}, adjust, rejected("no transmit timestamp")},
        {{.patch = "8:00100000"}, adjust, distance},
        {{.patch = "4:00200000 8:00000000"}, adjust, distance},
        {{.delay = 2.2}, adjust, distance},
        {{.claimed_hold = 1}, adjust, rejected("round-trip delay below -2 ms")},
        {{.echo = false}, adjust, rejected("originate timestamp is not our request's")},
        {{.offset = -2100000000.0}, adjust, rejected("corrected time outside 1970 to 2106")},
        // A run that only reports takes the first datagram; one that steps waits for its reply,
        // and without one rejects the first datagram after the whole wait.
        {{.forged = 1}, "", "", 3600},
        {{.forged = 1}, adjust, "## Error ##: Can NOT Adujust time.", 0},
        {{.flood = 100}, adjust, "## Error ##: Can NOT Adujust time.", 0},
        {{.other_port = true, .forged = 1}, adjust, rejected("originate timestamp is not our request's"), 3600, 2.95},
        // clang-format on
    };
    for (const auto& c : cases) {
        TestServer server(c.server);
        const ClientRun r =
            run({"NTP_SERVER_NAME=" + server.endpoint, "STATUS_OF_EXECUTION=" + c.status});
        EXPECT_EQ(r.status, 0);
        EXPECT_TRUE(complete(r.out) && has_lines(r.out, lines_of(c.lines))) << r.out;
        EXPECT_EQ(r.out.find('\x07'), std::string::npos);
        if (!std::isnan(c.offset)) {
            EXPECT_NEAR(number_of(r.out, "Local Clock Offset"), c.offset, 0.1) << r.out;
        }
        EXPECT_GE(r.seconds, c.seconds);
        // The adjustment's line, and only it, stands right after the offset.
        EXPECT_EQ(line_of(r.out, "Local Clock Offset", 1).rfind("## ", 0) == 0,
                  c.lines.rfind("## ", 0) == 0)
            << r.out;
    }
}

TEST(EndToEnd, AReportThatCannotBeWrittenIsToldOnStandardError) {
    ASSERT_TRUE(clock_cannot_be_set_here()) << "refusing to run: this process could set the clock";
    int dead[2];
    ASSERT_EQ(pipe(dead), 0);
    dup2(dead[1], 9); // a pipe whose reader has gone
    close(dead[0]);
    close(dead[1]);
    for (const char* redirect : {">&-", ">/dev/full", ">&9"}) {
        TestServer server({});
        const ClientRun r =
            run({"NTP_SERVER_NAME=" + server.endpoint, "STATUS_OF_EXECUTION=ADJUST_TIME"},
                std::string("2>&1 ") + redirect);
        server.stop();
        EXPECT_EQ(r.status, 0) << redirect;
        EXPECT_EQ(r.out, "## Error ##: The report could not be written to standard output.\n");
        ASSERT_EQ(server.requests.size(), 1u) << redirect; // and nothing else reached the server
        EXPECT_EQ(server.requests[0].size(), 48u);
    }
    close(9);
}

TEST(EndToEnd, UnderRaisedPrivilegesTheCallersEnvironmentIsIgnored) {
    ASSERT_TRUE(clock_cannot_be_set_here()) << "refusing to run: this process could set the clock";
    std::ifstream map("/proc/self/uid_map");
    unsigned long long inside = 0, outside = 0, count = 0;
    map >> inside >> outside >> count;
    if (count <= 1000 || getenv("SNTP_TEST_VALGRIND") != nullptr) {
        GTEST_SKIP() << "needs a namespace with other users (run as root), and no valgrind";
    }
    char folder[] = "/tmp/sntp-setuid-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    const std::string copy = std::string(folder) + "/sntp-client";
    ASSERT_EQ(std::system(("chmod 755 " + std::string(folder) + " && cp " SNTP_CLIENT_PATH " " +
                           copy + " && chown 1000 " + copy + " && chmod 4755 " + copy)
                              .c_str()),
              0);
    TestServer server({});
    const ClientRun r =
        run({"NTP_SERVER_NAME=" + server.endpoint, "STATUS_OF_EXECUTION=ADJUST_TIME"}, "",
            WITHOUT_CLOCK_RIGHT, copy);
    server.stop();
    std::system(("rm -rf " + std::string(folder)).c_str());
    EXPECT_EQ(lines_of(r.out), lines_of("Server Name = pool.ntp.org, Port = 123\n"
                                        "## Error ##: Can NOT get Server address from name.\n"
                                        "Standard Time = Thu Jan  1 00:00:00 1970"));
    EXPECT_TRUE(server.requests.empty());
}

TEST(EndToEnd, FailuresPrintTheirLineAndTheEpoch) {
    TestServer quiet({.silent = true}, "127.0.0.1", 124);
    const std::string epoch = "\nStandard Time = Thu Jan  1 00:00:00 1970";
    const std::string no_name = "\n## Error ##: Can NOT get Server address from name.";
    const std::string unsent = "\n## Error ##: NTP Packet Send Error.";
    const struct {
        std::vector<std::string> env;
        std::string lines;
        double seconds; // at least
    } cases[] = {
        // clang-format off
        {{}, "Server Name = pool.ntp.org, Port = 123" + no_name + epoch, 0},
        {{"NTP_SERVER_NAME=no-such-host.invalid"}, "Server Name = no-such-host.invalid, Port = 123" + no_name + epoch, 0},
        {{"NTP_SERVER_NAME=no.such.invalid", "TZ=America/New_York"}, "Server Name = no.such.invalid, Port = 123" +
         no_name + "\nStandard Time = Wed Dec 31 19:00:00 1969", 0},
        // Not read as an address, it resolves to the broadcast address, where a send is refused.
        {{"NTP_SERVER_NAME=255.255.255.255"}, "Server Name = 255.255.255.255, Port = 123" + unsent + epoch, 0},
        {{"NTP_SERVER_NAME=127.0.0.1:"}, "Server Name = 127.0.0.1, Port = 0" + unsent + epoch, 0},
        {{"NTP_SERVER_NAME=127.0.0.1:124" + std::string(243, 'x')},
         "## Error ##: Server name longer than 255 characters." + epoch, 0},
        {{"NTP_SERVER_NAME=127.0.0.1:124"}, "Server Name = 127.0.0.1, Port = 124\n## Error ##: Time Out." + epoch, 2.95},
        // clang-format on
    };
    for (const auto& c : cases) {
        const ClientRun r = run(c.env);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(lines_of(r.out), lines_of(c.lines));
        EXPECT_GE(r.seconds, c.seconds);
        EXPECT_LT(r.seconds, c.seconds + 2.0);
    }
    quiet.stop();
    EXPECT_EQ(quiet.requests.size(), 1u); // only the silent run's: the over-long name sent nothing
}

TEST(EndToEnd, TheRequestFromPort1024ToTheServerAndPortAsked) {
    const struct {
        std::string text, ip;
        uint16_t port;
        std::string shown = ""; // the name in the server line, when not the text's
    } cases[] = {
        {"127.0.0.1:124", "127.0.0.1", 124},
        {"127.0.0.2:124", "127.0.0.2", 124},
        {"127.0.0.1:70000", "127.0.0.1", 4464},
        {"127.0.0.1:12ab", "127.0.0.1", 12},
        {"localhost:125", "127.0.0.1", 125},
        {"127.0.0.1:126" + std::string(242, 'x'), "127.0.0.1", 126}, // 255 characters
        // inet_aton reads the address up to the newline; the rest must not become a line.
        {"127.0.0.1\n## INFO. ## Adjusted Local Time.\x1b[2J\\:127", "127.0.0.1", 127,
         "127.0.0.1\\x0a## INFO. ## Adjusted Local Time.\\x1b[2J\\\\"},
    };
    std::vector<uint8_t> expected(40, 0);
    expected[0] = 0x1B;
    // The bits of the transmit time below the millisecond: each of their bytes varies.
    std::set<uint8_t> nonces[3];
    for (const auto& c : cases) {
        TestServer server({}, c.ip, c.port);
        const double sent = now_ntp();
        const ClientRun r = run({"NTP_SERVER_NAME=" + c.text}, "--help -s 10.0.0.1"); // ignored
        server.stop();
        const std::string name = c.shown.empty() ? c.text.substr(0, c.text.find(':')) : c.shown;
        EXPECT_EQ(line_of(r.out, ""),
                  "Server Name = " + name + ", Port = " + std::to_string(c.port));
        EXPECT_TRUE(complete(r.out)) << r.out;
        ASSERT_EQ(server.requests.size(), 1u);
        ASSERT_EQ(server.requests[0].size(), 48u);
        EXPECT_EQ(std::vector<uint8_t>(server.requests[0].begin(), server.requests[0].begin() + 40),
                  expected);
        EXPECT_NEAR(get_ntp(&server.requests[0][40]), sent, 1.0);
        EXPECT_EQ(server.sources[0], 1024);
        const uint8_t* transmit = &server.requests[0][40];
        for (int i = 0; i < 3; ++i) {
            nonces[i].insert(transmit[5 + i] & (i == 0 ? 0x3F : 0xFF));
        }
    }
    EXPECT_TRUE(nonces[0].size() > 1 && nonces[1].size() > 1 && nonces[2].size() > 1);
}

TEST(EndToEnd, OverIPv6) {
    ASSERT_TRUE(clock_cannot_be_set_here()) << "refusing to run: this process could set the clock";
    const std::string time_out = "## Error ##: Time Out.\nStandard Time = Thu Jan  1 00:00:00 1970";
    const struct {
        std::string text, ip;
        uint16_t port;
        Behaviour server;
        std::string status, lines; // the first is the server line
    } cases[] = {
        // clang-format off
        {"[::1]:124", "::1", 124, {}, "", "Server Name = ::1, Port = 124"},
        {"[::1]", "::1", 123, {}, "", "Server Name = ::1, Port = 123"},
        {"::1", "::1", 123, {}, "", "Server Name = ::1, Port = 123"},
        {"v6only.test:125", "fd00:5eed::1", 125, {}, "", "Server Name = v6only.test, Port = 125"},
        {"[fd00:5eed::1]:126", "fd00:5eed::1", 126, {}, "ADJUST_TIME",
         "Server Name = fd00:5eed::1, Port = 126\n## Error ##: Can NOT Adujust time."},
        {"[::1]:127", "::1", 127, {.other_port = true}, "ADJUST_TIME",
         "Server Name = ::1, Port = 127\n" + rejected("from another address than the server's")},
        {"[::1]:128", "::1", 128, {.patch = "1:00 12:52415445"}, "ADJUST_TIME",
         "Server Name = ::1, Port = 128\n" + rejected("kiss code RATE")},
        {"[::1]:129", "::1", 129, {.silent = true}, "", "Server Name = ::1, Port = 129\n" + time_out},
        // clang-format on
    };
    for (const auto& c : cases) {
        TestServer server(c.server, c.ip, c.port);
        const ClientRun r = run({"NTP_SERVER_NAME=" + c.text, "STATUS_OF_EXECUTION=" + c.status});
        server.stop();
        EXPECT_TRUE((c.server.silent ? lines_of(r.out) == lines_of(c.lines) : complete(r.out)) &&
                    has_lines(r.out, lines_of(c.lines)))
            << r.out;
        ASSERT_EQ(server.requests.size(), 1u) << c.text;
        EXPECT_EQ(server.requests[0].size(), 48u);
        EXPECT_EQ(server.sources[0], 1024);
    }
}

TEST(EndToEnd, TakenLocalPortIsReportedAndTheExchangeGoesOn) {
    const int holder = socket(AF_INET, SOCK_DGRAM, 0);
    const sockaddr_in local{AF_INET, htons(1024), {}, {}};
    ASSERT_EQ(bind(holder, reinterpret_cast<const sockaddr*>(&local), sizeof local), 0);
    TestServer server({});
    const ClientRun r = run({"NTP_SERVER_NAME=" + server.endpoint});
    server.stop();
    close(holder);
    EXPECT_EQ(line_of(r.out, "", 1), "## Error ##: Can NOT setup receive port.");
    EXPECT_TRUE(complete(r.out)) << r.out;
    EXPECT_NE(server.sources.at(0), 1024);
}

} // namespace
