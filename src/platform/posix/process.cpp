#include "platform/process.hpp"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

namespace {

char output_buffer[BUFSIZ];

// Standard input opened for writing only, output and error for reading only: any use fails.
void open_if_closed(int fd, int flags) {
    if (fcntl(fd, F_GETFD) < 0) {
        open("/dev/null", flags);
    }
}

} // namespace

void secure_standard_streams() {
    // open() takes the lowest free number, so they are reopened in order.
    open_if_closed(STDIN_FILENO, O_WRONLY);
    open_if_closed(STDOUT_FILENO, O_RDONLY);
    open_if_closed(STDERR_FILENO, O_RDONLY);
    setvbuf(stdout, output_buffer, _IOLBF, sizeof output_buffer);
    signal(SIGPIPE, SIG_IGN);
}

const char* environment_variable(const char* name) {
    return secure_getenv(name);
}
