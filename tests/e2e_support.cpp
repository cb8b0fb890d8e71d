#include "e2e_support.hpp"

#include <gtest/gtest.h>

#include "report_lines.hpp"

const std::string EPOCH_LINE = "Standard Time = Thu Jan  1 00:00:00 1970";

const std::vector<std::string> COMPLETE_REPORT = {
    "Server Name = ",
    " Leap Indicator (LI): ",
    " Version Number (VN): ",
    "                Mode: ",
    "             Stratum: ",
    "       Poll Interval: ",
    "           Precision: ",
    "          Root Delay: ",
    "     Root Dispersion: ",
    "Reference Identifier: ",
    " Reference Timestamp: ",
    " Originate Timestamp: ",
    " Receive   Timestamp: ",
    " Transmit  Timestamp: ",
    " T1 = ",
    " T2 = ",
    " T3 = ",
    " T4 = ",
    "Roundtrip Delay    = ",
    "Local Clock Offset = ",
    "System   Time = ",
    "Standard Time = ",
};

ClientRun run_against(const TestServer& server, std::vector<std::string> env) {
    env.push_back("NTP_SERVER_NAME=" + server.endpoint());
    return run_client(env);
}

std::vector<std::string> expected_failure(const std::string& server_line,
                                          const std::string& error) {
    return {server_line, error, EPOCH_LINE};
}

void expect_lines_in_order(const std::string& report, const std::vector<std::string>& prefixes) {
    const auto lines = lines_of(report);
    size_t at = 0;
    for (const auto& prefix : prefixes) {
        while (at < lines.size() && lines[at].rfind(prefix, 0) != 0) {
            ++at;
        }
        ASSERT_LT(at, lines.size()) << "no line \"" << prefix << "\" in order in:\n" << report;
        ++at;
    }
}

void expect_offset_near(const std::string& report, double injected) {
    const double delay = value_of(report, "Roundtrip Delay");
    EXPECT_NEAR(value_of(report, "Local Clock Offset"), injected, delay / 2 + 0.0015) << report;
}
