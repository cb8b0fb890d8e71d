#include "platform/process.hpp"

#include <cstdio>
#include <cstdlib>

// Windows has no SIGPIPE and no setuid; its C library treats line buffering as full buffering,
// so standard output is left unbuffered and each line, one formatted write, is out at once.
void secure_standard_streams() {
    setvbuf(stdout, nullptr, _IONBF, 0);
}

const char* environment_variable(const char* name) {
    return getenv(name);
}
