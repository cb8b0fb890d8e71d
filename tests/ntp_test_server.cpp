// The loopback test server as a program of its own, for the soak and the benchmark:
//   ntp_test_server PORT [OFFSET [DELAY [SPOIL_EVERY]]]
// It serves on 127.0.0.1 until SIGTERM or SIGINT.

#include <csignal>
#include <cstdio>
#include <cstdlib>

#include "test_server.hpp"

int main(int argc, char** argv) {
    if (argc < 2) {
        fprintf(stderr, "usage: %s PORT [OFFSET [DELAY [SPOIL_EVERY]]]\n", argv[0]);
        return 2;
    }
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, SIGTERM);
    sigaddset(&stop, SIGINT);
    pthread_sigmask(SIG_BLOCK, &stop, nullptr); // before the server's thread starts
    const auto number = [&](int i) { return argc > i ? atof(argv[i]) : 0.0; };
    TestServer server(
        {.offset = number(2), .delay = number(3), .spoil_every = atoi(argc > 4 ? argv[4] : "0")},
        "127.0.0.1", static_cast<uint16_t>(atoi(argv[1])));
    int signal = 0;
    sigwait(&stop, &signal);
    return 0;
}
