// The real sntp-client binary against the loopback test server, its report read line by line.

#include <arpa/inet.h>
#include <cmath>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "e2e_support.hpp"
#include "report_lines.hpp"
#include "test_server.hpp"

namespace {

TEST(EndToEnd, ReportsTheInjectedOffsetAndDelay) {
    const struct {
        double offset;
        double delay;
    } cases[] = {{0, 0}, {0.25, 0}, {-3.0, 0}, {0.25, 0.2}, {-3.0, 0.2}, {86400.5, 0}};
    for (const auto& c : cases) {
        ServerBehaviour behaviour;
        behaviour.clock_offset = c.offset;
        behaviour.network_delay = c.delay;
        TestServer server(behaviour);
        const double started = real_ntp_seconds() - 2208988800.0;
        const ClientRun run = run_against(server);
        EXPECT_EQ(run.exit_status, 0);
        expect_lines_in_order(run.out, COMPLETE_REPORT);
        EXPECT_EQ(lines_of(run.out).front(),
                  "Server Name = 127.0.0.1, Port = " + std::to_string(server.port()));
        expect_offset_near(run.out, c.offset);
        EXPECT_NEAR(value_of(run.out, "Roundtrip Delay"), c.delay, 0.05);
        const std::string standard = line_starting(run.out, "Standard Time = ");
        const long long expected = static_cast<long long>(started + c.offset);
        EXPECT_TRUE(standard == "Standard Time = " + ctime_text(expected).substr(0, 24) ||
                    standard == "Standard Time = " + ctime_text(expected + 1).substr(0, 24))
            << standard;
    }
}

TEST(EndToEnd, RequestOnTheWire) {
    TestServer server(ServerBehaviour{});
    const double sent_about = real_ntp_seconds();
    run_against(server);
    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 1u);
    const auto& bytes = requests[0].bytes;
    ASSERT_EQ(bytes.size(), 48u);
    EXPECT_EQ(bytes[0], 0x1B);
    for (size_t i = 1; i < 40; ++i) {
        EXPECT_EQ(bytes[i], 0) << "byte " << i;
    }
    EXPECT_EQ(requests[0].source_port, 1024);
    EXPECT_NEAR(get_ntp_timestamp(&bytes[40]), sent_about, 1.0);
}

TEST(EndToEnd, ServerTextChoosesAddressAndPort) {
    const struct {
        const char* text;
        const char* server_at; // nullptr: no server
        uint16_t port;
        const char* server_line;
    } cases[] = {
        {"127.0.0.1:124", "127.0.0.1", 124, "Server Name = 127.0.0.1, Port = 124"},
        {"127.0.0.2:124", "127.0.0.2", 124, "Server Name = 127.0.0.2, Port = 124"},
        {"127.0.0.1:70000", "127.0.0.1", 4464, "Server Name = 127.0.0.1, Port = 4464"},
        {"127.0.0.1:12ab", "127.0.0.1", 12, "Server Name = 127.0.0.1, Port = 12"},
        {"localhost:125", "127.0.0.1", 125, "Server Name = localhost, Port = 125"},
    };
    for (const auto& c : cases) {
        TestServer server(ServerBehaviour{}, c.server_at, c.port);
        const ClientRun run = run_client({std::string("NTP_SERVER_NAME=") + c.text});
        EXPECT_EQ(lines_of(run.out).front(), c.server_line);
        expect_lines_in_order(run.out, COMPLETE_REPORT);
        EXPECT_EQ(server.requests().size(), 1u) << c.text;
    }
}

TEST(EndToEnd, FailuresPrintTheirLineAndTheEpoch) {
    const std::string too_long = "127.0.0.1:124" + std::string(242, 'x');
    const struct {
        std::vector<std::string> env;
        std::vector<std::string> expected;
    } cases[] = {
        {{},
         expected_failure("Server Name = pool.ntp.org, Port = 123",
                          "## Error ##: Can NOT get Server address from name.")},
        {{"NTP_SERVER_NAME=no-such-host.invalid"},
         expected_failure("Server Name = no-such-host.invalid, Port = 123",
                          "## Error ##: Can NOT get Server address from name.")},
        // Not read as an address, it goes to name resolution, which gives the broadcast
        // address: a send there is refused.
        {{"NTP_SERVER_NAME=255.255.255.255"},
         expected_failure("Server Name = 255.255.255.255, Port = 123",
                          "## Error ##: NTP Packet Send Error.")},
        {{"NTP_SERVER_NAME=127.0.0.1:"},
         expected_failure("Server Name = 127.0.0.1, Port = 0",
                          "## Error ##: NTP Packet Send Error.")},
        {{"NTP_SERVER_NAME=" + too_long + "x"},
         {"## Error ##: Server name longer than 255 characters.", EPOCH_LINE}},
        {{"NTP_SERVER_NAME=no-such-host.invalid", "TZ=America/New_York"},
         {"Server Name = no-such-host.invalid, Port = 123",
          "## Error ##: Can NOT get Server address from name.",
          "Standard Time = Wed Dec 31 19:00:00 1969"}},
    };
    TestServer server(ServerBehaviour{}, "127.0.0.1", 124);
    for (const auto& c : cases) {
        const ClientRun run = run_client(c.env);
        EXPECT_EQ(run.exit_status, 0);
        EXPECT_EQ(lines_of(run.out), c.expected) << run.out;
    }
    EXPECT_TRUE(server.requests().empty()); // the over-long name sent nothing
    // 255 characters still fit.
    run_client({"NTP_SERVER_NAME=" + too_long});
    EXPECT_EQ(server.requests().size(), 1u);
}

TEST(EndToEnd, SilenceTimesOutAfterThreeSeconds) {
    ServerBehaviour behaviour;
    behaviour.silent = true;
    TestServer server(behaviour);
    const ClientRun run = run_against(server);
    EXPECT_EQ(run.exit_status, 0);
    EXPECT_EQ(lines_of(run.out),
              expected_failure("Server Name = 127.0.0.1, Port = " + std::to_string(server.port()),
                               "## Error ##: Time Out."));
    EXPECT_GE(run.seconds, 2.95);
    EXPECT_LT(run.seconds, 6.0);
}

TEST(EndToEnd, TakenLocalPortIsReportedAndTheExchangeGoesOn) {
    const int holder = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(1024);
    ASSERT_EQ(bind(holder, reinterpret_cast<sockaddr*>(&local), sizeof local), 0);
    TestServer server(ServerBehaviour{});
    const ClientRun run = run_against(server);
    close(holder);
    const auto lines = lines_of(run.out);
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[1], "## Error ##: Can NOT setup receive port.");
    expect_lines_in_order(run.out, COMPLETE_REPORT);
    expect_offset_near(run.out, 0);
    EXPECT_NE(server.requests().at(0).source_port, 1024);
}

TEST(EndToEnd, RepliesAreUsedAsTheyArrive) {
    ServerBehaviour other_port;
    other_port.reply_from_other_port = true;
    ServerBehaviour no_echo;
    no_echo.echo_originate = false;
    ServerBehaviour short_reply;
    short_reply.length = 20;
    ServerBehaviour long_reply;
    long_reply.length = 60;
    const struct {
        const char* what;
        ServerBehaviour behaviour;
        const char* expected_line;
    } cases[] = {
        {"from another port", other_port, "Local Clock Offset = "},
        {"originate not echoed", no_echo, " T1 = 0.000000, time request sent by client."},
        {"short datagram", short_reply, " T3 = 0.000000, time reply sent by server."},
        {"long datagram, cut", long_reply, "Local Clock Offset = "},
    };
    for (const auto& c : cases) {
        TestServer server(c.behaviour);
        const ClientRun run = run_against(server);
        EXPECT_EQ(run.exit_status, 0) << c.what;
        expect_lines_in_order(run.out, COMPLETE_REPORT);
        EXPECT_NE(line_starting(run.out, c.expected_line), "") << c.what << "\n" << run.out;
    }
}

TEST(EndToEnd, ArgumentsChangeNothing) {
    ServerBehaviour behaviour;
    behaviour.clock_offset = 0.25;
    TestServer server(behaviour);
    const ClientRun run =
        run_client({"NTP_SERVER_NAME=" + server.endpoint()}, {"--help", "-s", "10.0.0.1"});
    EXPECT_EQ(run.exit_status, 0);
    expect_lines_in_order(run.out, COMPLETE_REPORT);
    expect_offset_near(run.out, 0.25);
}

} // namespace
