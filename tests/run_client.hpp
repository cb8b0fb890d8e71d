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
ClientRun run_program(const std::vector<std::string>& argv, const std::vector<std::string>& env);
ClientRun run_client(const std::vector<std::string>& env,
                     const std::vector<std::string>& args = {});

// For runs that ask to set the clock: the client without CAP_SYS_TIME in its bounding set, so
// that it cannot set the clock even where the namespace would not stop it.
const std::vector<std::string> WITHOUT_CLOCK_RIGHT = {"/usr/bin/setpriv",
                                                      "--bounding-set=-sys_time", "--"};
ClientRun run_client_without_clock_right(const std::vector<std::string>& env);
// True when this process is in a user namespace of its own and a program started as
// WITHOUT_CLOCK_RIGHT has no CAP_SYS_TIME.
bool clock_cannot_be_set_here();
