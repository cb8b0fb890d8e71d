#pragma once

// What the end-to-end tests share: a run against the loopback test server, and the checks of a
// whole report.

#include <string>
#include <vector>

#include "run_client.hpp"
#include "test_server.hpp"

extern const std::string EPOCH_LINE;
// The labels of a complete report, in order.
extern const std::vector<std::string> COMPLETE_REPORT;

ClientRun run_against(const TestServer& server, std::vector<std::string> env = {});

// The lines of a failed run: the server line, the error, the epoch.
std::vector<std::string> expected_failure(const std::string& server_line, const std::string& error);

// Each prefix starts some line of the report, in this order.
void expect_lines_in_order(const std::string& report, const std::vector<std::string>& prefixes);

// |reported - true offset| <= true delay / 2 + the millisecond truncation of T1 and T4, and
// the true delay exceeds the reported one by at most a millisecond.
void expect_offset_near(const std::string& report, double injected);
