#include <cstdio>

#include "platform/socket_headers.hpp"

namespace {

// What a look-up thread reads and writes; it is the thread's until the thread has ended.
struct Lookup {
    char name[256];
    uint16_t port;
    NetAddress address;
    bool found;
};

Lookup lookup;
HANDLE running = nullptr;

DWORD WINAPI look_up(void*) {
    lookup.found = host_name_tries(lookup.name, lookup.port, &lookup.address);
    return 0;
}

} // namespace

// getaddrinfo has no time limit of its own that holds, so it runs in a thread of its own, left
// behind when the time is up; the process ends soon after. While such a thread still runs,
// nothing more is looked up, as it still owns the look-up's state.
bool address_from_host_name(const char* name, uint16_t port, NetAddress* address) {
    if (running != nullptr && WaitForSingleObject(running, 0) != WAIT_OBJECT_0) {
        return false;
    }
    if (running != nullptr) {
        CloseHandle(running);
    }
    const int length = snprintf(lookup.name, sizeof lookup.name, "%s", name);
    if (length < 0 || static_cast<size_t>(length) >= sizeof lookup.name) {
        return false;
    }
    lookup.port = port;
    lookup.found = false;
    running = CreateThread(nullptr, 0, look_up, nullptr, 0, nullptr);
    if (running == nullptr || WaitForSingleObject(running, NAME_LOOKUP_LIMIT_MS) != WAIT_OBJECT_0) {
        return false;
    }
    *address = lookup.address;
    return lookup.found;
}
