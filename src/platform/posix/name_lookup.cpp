#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/socket_headers.hpp"

// The resolver has no time limit of its own that holds (each server, each try, each search
// domain adds its own), so the look-up runs in a child that is ended when the time is up. The
// child leaves with _exit: the report buffered in this process is not its to write.
bool address_from_host_name(const char* name, uint16_t port, NetAddress* address) {
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0) {
        return false;
    }
    const pid_t child = fork();
    if (child == 0) {
        NetAddress found{};
        const bool resolved = host_name_tries(name, port, &found);
        _exit(resolved && write(ends[1], &found, sizeof found) == sizeof found ? 0 : 1);
    }
    close(ends[1]);
    bool found = false;
    if (child > 0) {
        pollfd answer{ends[0], POLLIN, 0};
        found = poll(&answer, 1, NAME_LOOKUP_LIMIT_MS) == 1 &&
                read(ends[0], address, sizeof *address) == sizeof *address;
        kill(child, SIGKILL);
        waitpid(child, nullptr, 0);
    }
    close(ends[0]);
    return found;
}
