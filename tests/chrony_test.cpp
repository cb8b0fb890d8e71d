// The real binary against a real NTP server: chronyd, started by the test on loopback with
// control of the clock disabled (-x), and stopped by its pid.

#include <arpa/inet.h>
#include <cmath>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include "e2e_support.hpp"
#include "report_lines.hpp"

extern char** environ;

namespace {

const char* const CHRONYD = "/usr/sbin/chronyd";

uint16_t free_udp_port() {
    const int fd = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local);
    socklen_t length = sizeof local;
    getsockname(fd, reinterpret_cast<sockaddr*>(&local), &length);
    close(fd);
    return ntohs(local.sin_port);
}

// True once the server answers an NTP request on the port.
bool answers(uint16_t port) {
    const int fd = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in server{};
    server.sin_family = AF_INET;
    server.sin_port = htons(port);
    server.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    uint8_t request[48] = {0x1B};
    request[47] = 1;
    sendto(fd, request, sizeof request, 0, reinterpret_cast<sockaddr*>(&server), sizeof server);
    pollfd watched{fd, POLLIN, 0};
    const bool ready = poll(&watched, 1, 200) == 1;
    close(fd);
    return ready;
}

class Chrony : public ::testing::Test {
  protected:
    void SetUp() override {
        if (access(CHRONYD, X_OK) != 0) {
            GTEST_SKIP() << "chronyd is not installed (apt-get install chrony)";
        }
        char folder[] = "/tmp/sntp-chrony-XXXXXX";
        ASSERT_NE(mkdtemp(folder), nullptr);
        folder_ = folder;
        port_ = free_udp_port();
        const std::string config = folder_ + "/chrony.conf";
        std::ofstream(config) << "port " << port_ << "\nbindaddress 127.0.0.1\ncmdport 0\n"
                              << "local stratum 8\nallow 127.0.0.1\n"
                              << "pidfile " << folder_ << "/chronyd.pid\n"
                              << "driftfile " << folder_ << "/chrony.drift\n";
        const std::string log = folder_ + "/chronyd.log";
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, log.c_str(), O_WRONLY | O_CREAT,
                                         0644);
        posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
        const char* argv[] = {CHRONYD, "-x", "-d", "-u", "root", "-f", config.c_str(), nullptr};
        ASSERT_EQ(posix_spawn(&pid_, CHRONYD, &actions, nullptr, const_cast<char**>(argv), environ),
                  0);
        posix_spawn_file_actions_destroy(&actions);
        for (int tries = 0; tries < 25 && !answers(port_); ++tries) {
        }
        ASSERT_TRUE(answers(port_)) << "chronyd did not answer; see " << log;
    }

    void TearDown() override {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
        }
        if (!folder_.empty()) {
            const std::string remove = "rm -rf " + folder_;
            EXPECT_EQ(system(remove.c_str()), 0);
        }
    }

    std::string endpoint() const { return "127.0.0.1:" + std::to_string(port_); }

    pid_t pid_ = 0;
    uint16_t port_ = 0;
    std::string folder_;
};

TEST_F(Chrony, ReportsAPlausibleDelayAndOffset) {
    const ClientRun run = run_client({"NTP_SERVER_NAME=" + endpoint()});
    EXPECT_EQ(run.exit_status, 0);
    EXPECT_EQ(lines_of(run.out).front(),
              "Server Name = 127.0.0.1, Port = " + std::to_string(port_));
    const double delay = value_of(run.out, "Roundtrip Delay");
    EXPECT_LT(std::fabs(delay), 0.05) << run.out;
    EXPECT_LT(std::fabs(value_of(run.out, "Local Clock Offset")), 0.01) << run.out;
    EXPECT_NE(line_starting(run.out, "Standard Time = "),
              "Standard Time = " + ctime_text(0).substr(0, 24));
}

// One whole report, line by line, agrees with what chronyd sent: it answers a version 3 request
// in version 3, mode 4, with its local stratum and the identifier of its local reference.
TEST_F(Chrony, WholeReportInOrder) {
    const ClientRun run = run_client({"NTP_SERVER_NAME=" + endpoint()});
    const auto lines = lines_of(run.out);
    ASSERT_EQ(lines.size(), 24u) << run.out;
    EXPECT_EQ(lines[0], "Server Name = 127.0.0.1, Port = " + std::to_string(port_));
    for (size_t i = 0; i < COMPLETE_REPORT.size(); ++i) {
        const size_t at = i + (i >= 14) + (i >= 18); // blank lines before T1 and the delay
        EXPECT_EQ(lines[at].rfind(COMPLETE_REPORT[i], 0), 0u) << lines[at];
    }
    EXPECT_EQ(lines[1], " Leap Indicator (LI): 0");
    EXPECT_EQ(lines[2], " Version Number (VN): 3");
    EXPECT_EQ(lines[3], "                Mode: 4");
    EXPECT_EQ(lines[4], "             Stratum: 8");
    EXPECT_EQ(lines[9], "Reference Identifier: 127.127.1.1");
    // T1 and T3 are the reply's Originate and Transmit Timestamps.
    EXPECT_EQ(value_of(run.out, " T1"), std::stod(lines[11].substr(22)));
    EXPECT_EQ(value_of(run.out, " T3"), std::stod(lines[13].substr(22)));
}

} // namespace
