#pragma once

// Runs the real sntp-client binary as a child process and returns what it printed.

#include <string>
#include <vector>

struct ClientRun {
    std::string out;
    int exit_status = -1; // -1 when it did not exit normally
    double seconds = 0;   // wall time of the run
};

// env holds "NAME=value" entries; TZ=UTC is added unless env names TZ.
ClientRun run_client(const std::vector<std::string>& env,
                     const std::vector<std::string>& args = {});
