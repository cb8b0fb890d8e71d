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

#include "report_lines.hpp"
#include "run_client.hpp"

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

} // namespace
