#pragma once

// Runs the real sntp-client binary as a child process and reads its report.

#include <string>
#include <vector>

struct ClientRun {
    std::string out;
    int status;
    double seconds;
};

// The binary without CAP_SYS_TIME in its bounding set, for the runs that ask to set the clock.
extern const std::string WITHOUT_CLOCK_RIGHT;

// env holds NAME=value entries, added to TZ=UTC.
ClientRun run(const std::vector<std::string>& env, const std::string& args = "",
              const std::string& prefix = WITHOUT_CLOCK_RIGHT,
              const std::string& client = SNTP_CLIENT_PATH);

// Seconds that the client's own work may add to a round trip: valgrind slows it many times.
double client_slack();

// Every line of a whole report, in order; lines of the form "## ..." are not counted.
bool complete(const std::string& report);

// True when this process has a user namespace of its own and WITHOUT_CLOCK_RIGHT really takes
// CAP_SYS_TIME away: then no run here can set the machine's clock.
bool clock_cannot_be_set_here();
