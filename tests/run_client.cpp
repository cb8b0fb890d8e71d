#include "run_client.hpp"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sys/wait.h>

#include "test_server.hpp"

const std::string WITHOUT_CLOCK_RIGHT = "setpriv --bounding-set=-sys_time -- ";

ClientRun run(const std::vector<std::string>& env, const std::string& args,
              const std::string& prefix, const std::string& client) {
    std::string command = prefix + "env -i TZ=UTC";
    for (const auto& entry : env) {
        command += " '" + entry + "'";
    }
    // Under valgrind's memcheck when asked: any error, or a definite leak, fails the run.
    if (getenv("SNTP_TEST_VALGRIND") != nullptr) {
        command += " /usr/bin/valgrind -q --error-exitcode=99 --leak-check=full"
                   " --errors-for-leak-kinds=definite";
    }
    command += " " + client + " " + args;
    const auto start = std::chrono::steady_clock::now();
    FILE* pipe = popen(command.c_str(), "r");
    std::string out;
    char buffer[4096];
    for (size_t got; (got = fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
        out.append(buffer, got);
    }
    const int status = pclose(pipe);
    return {out, WIFEXITED(status) ? WEXITSTATUS(status) : -1,
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count()};
}

double client_slack() {
    return getenv("SNTP_TEST_VALGRIND") != nullptr ? 0.5 : 0.05;
}

bool complete(const std::string& report) {
    // clang-format off
    static const auto labels = lines_of(
        "Server Name = \n Leap Indicator (LI): \n Version Number (VN): \n                Mode: \n"
        "             Stratum: \n       Poll Interval: \n           Precision: \n"
        "          Root Delay: \n     Root Dispersion: \nReference Identifier: \n"
        " Reference Timestamp: \n Originate Timestamp: \n Receive   Timestamp: \n"
        " Transmit  Timestamp: \n\n T1 = \n T2 = \n T3 = \n T4 = \n\nRoundtrip Delay    = \n"
        "Local Clock Offset = \nSystem   Time = \nStandard Time = ");
    // clang-format on
    std::vector<std::string> lines;
    for (const auto& line : lines_of(report)) {
        if (line.rfind("## ", 0) != 0) {
            lines.push_back(line);
        }
    }
    bool in_order = lines.size() == labels.size();
    for (size_t i = 0; in_order && i < lines.size(); ++i) {
        in_order = lines[i].rfind(labels[i], 0) == 0 && (!labels[i].empty() || lines[i].empty());
    }
    return in_order;
}

bool clock_cannot_be_set_here() {
    std::ifstream map("/proc/self/uid_map");
    unsigned long long inside = 0, outside = 0, count = 0;
    map >> inside >> outside >> count;
    FILE* status = popen((WITHOUT_CLOCK_RIGHT + "grep CapEff /proc/self/status").c_str(), "r");
    char line[128] = "";
    const bool read = fgets(line, sizeof line, status) != nullptr;
    pclose(status);
    const unsigned long long effective = std::strtoull(line + 7, nullptr, 16);
    return count != 4294967295ULL && read && (effective & (1ULL << 25)) == 0;
}
