// The real binary against a real NTP server: chronyd, started here on loopback with control of
// the clock disabled (-x), and stopped by its pid.

#include <arpa/inet.h>
#include <cmath>
#include <fstream>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "run_client.hpp"
#include "test_server.hpp"

namespace {

constexpr uint16_t PORT = 11123; // free: the test has a network namespace of its own

bool answers() {
    const int fd = socket(AF_INET, SOCK_DGRAM, 0);
    const sockaddr_in server{AF_INET, htons(PORT), {htonl(INADDR_LOOPBACK)}, {}};
    const uint8_t request[48] = {0x1B};
    sendto(fd, request, sizeof request, 0, reinterpret_cast<const sockaddr*>(&server),
           sizeof server);
    pollfd watched{fd, POLLIN, 0};
    const bool ready = poll(&watched, 1, 100) == 1;
    close(fd);
    return ready;
}

// chronyd answers a version 3 request in version 3, mode 4, with its local stratum and the
// identifier of its local reference.
TEST(Chrony, ARealServersWholeReport) {
    const char* program = getenv("SNTP_TEST_CHRONYD");
    if (program == nullptr || access(program, X_OK) != 0) {
        GTEST_SKIP() << "no chronyd: SNTP_TEST_CHRONYD names none (./run-tests sets it)";
    }
    char folder[] = "/tmp/sntp-chrony-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    const std::string dir = folder, config = dir + "/chrony.conf";
    std::ofstream(config) << "port " << PORT << "\nbindaddress 127.0.0.1\nbindaddress ::1\n"
                          << "cmdport 0\nlocal stratum 8\nallow 127.0.0.1\nallow ::1\npidfile "
                          << dir << "/chronyd.pid\ndriftfile " << dir << "/chrony.drift\n";
    const char* argv[] = {program, "-x", "-d", "-u", "root", "-f", config.c_str(), nullptr};
    pid_t chronyd = 0;
    ASSERT_EQ(posix_spawn(&chronyd, argv[0], nullptr, nullptr, const_cast<char**>(argv), environ),
              0);
    for (int tries = 0; tries < 50 && !answers(); ++tries) {
    }
    const ClientRun r = run({"NTP_SERVER_NAME=127.0.0.1:" + std::to_string(PORT)});
    const ClientRun v6 = run({"NTP_SERVER_NAME=[::1]:" + std::to_string(PORT)});
    kill(chronyd, SIGTERM);
    waitpid(chronyd, nullptr, 0);
    std::system(("rm -rf " + dir).c_str());

    EXPECT_TRUE(complete(r.out)) << r.out;
    EXPECT_TRUE(
        has_lines(r.out, {"Server Name = 127.0.0.1, Port = 11123", " Leap Indicator (LI): 0",
                          " Version Number (VN): 3", "                Mode: 4",
                          "             Stratum: 8", "Reference Identifier: 127.127.1.1"}))
        << r.out;
    const auto lines = lines_of(r.out);
    // T1 and T3 are the reply's Originate and Transmit Timestamps.
    EXPECT_EQ(number_of(r.out, " T1"), std::stod(lines[11].substr(22)));
    EXPECT_EQ(number_of(r.out, " T3"), std::stod(lines[13].substr(22)));
    // Both clocks are this machine's: the offset is the asymmetry of the two legs, at most half
    // the delay, plus the clock's resolution.
    const double delay = number_of(r.out, "Roundtrip Delay");
    EXPECT_LT(std::fabs(delay), client_slack());
    EXPECT_LT(std::fabs(number_of(r.out, "Local Clock Offset")), 0.01 + std::fabs(delay) / 2);
    EXPECT_TRUE(complete(v6.out) &&
                has_lines(v6.out, {"Server Name = ::1, Port = 11123", "             Stratum: 8"}))
        << v6.out;
}

} // namespace
