#include <cstdio>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <unistd.h>

#include "platform/socket_headers.hpp"

namespace {

// What a look-up thread reads; it is the thread's until the thread has written its answer to
// the pipe's end it was given, and closed it.
struct Lookup {
    char name[256];
    uint16_t port;
    int answer;
};

Lookup lookup;
bool overran = false;

void* look_up(void* /*unused*/) {
    NetAddress found{};
    if (host_name_tries(lookup.name, lookup.port, &found)) {
        // A short write leaves the caller with less than an address, which it takes for none.
        static_cast<void>(write(lookup.answer, &found, sizeof found) == sizeof found);
    }
    close(lookup.answer);
    return nullptr;
}

} // namespace

// The resolver has no time limit of its own that holds (each server, each try, each search
// domain adds its own), so the look-up runs in a thread of its own, left behind when the time is
// up; the process ends soon after. Such a thread still owns the look-up's state, so nothing more
// is looked up after it.
bool address_from_host_name(const char* name, uint16_t port, NetAddress* address) {
    if (overran) {
        return false;
    }
    const int length = snprintf(lookup.name, sizeof lookup.name, "%s", name);
    int ends[2];
    if (length < 0 || static_cast<size_t>(length) >= sizeof lookup.name ||
        pipe2(ends, O_CLOEXEC) != 0) {
        return false;
    }
    lookup.port = port;
    lookup.answer = ends[1];
    pthread_t thread{};
    if (pthread_create(&thread, nullptr, look_up, nullptr) != 0) {
        close(ends[0]);
        close(ends[1]);
        return false;
    }
    pollfd answer{ends[0], POLLIN, 0};
    overran = poll(&answer, 1, NAME_LOOKUP_LIMIT_MS) != 1;
    const bool found = !overran && read(ends[0], address, sizeof *address) == sizeof *address;
    if (overran) {
        pthread_detach(thread);
    } else {
        pthread_join(thread, nullptr);
    }
    close(ends[0]);
    return found;
}
