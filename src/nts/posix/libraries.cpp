#include "nts/libraries.hpp"

#include <cstdio>
#include <dlfcn.h>

NtsLibraries nts_lib;

namespace {

// The versioned names: the ABI the table's declarations were compiled against.
constexpr const char* SSL_LIBRARY = "libssl.so.3"; // looks up libcrypto's functions too
constexpr const char* NETTLE_LIBRARY = "libnettle.so.8";

char missing[256];
const char* first_missing = nullptr;
int missing_count = 0;

const char* open_failure(const char* library) {
    snprintf(missing, sizeof missing, "cannot load %s (%s)", library, dlerror());
    return missing;
}

template <typename Function> void look_up(void* library, const char* name, Function* function) {
    *function = reinterpret_cast<Function>(dlsym(library, name));
    if (*function == nullptr && missing_count++ == 0) {
        first_missing = name;
    }
}

// The table is either whole or empty, and neither library stays loaded for a run that cannot
// use them.
const char* give_up(void* ssl, void* nettle, const char* why) {
    nts_lib = NtsLibraries{};
    if (ssl != nullptr) {
        dlclose(ssl);
    }
    if (nettle != nullptr) {
        dlclose(nettle);
    }
    return why;
}

} // namespace

const char* nts_libraries_load() {
    void* ssl = dlopen(SSL_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    if (ssl == nullptr) {
        return give_up(ssl, nullptr, open_failure(SSL_LIBRARY));
    }
    void* nettle = dlopen(NETTLE_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    if (nettle == nullptr) {
        return give_up(ssl, nettle, open_failure(NETTLE_LIBRARY));
    }
    missing_count = 0;
#define NTS_LOOK_UP(library, name) look_up(library, #name, &nts_lib.name);
    NTS_LIBRARY_FUNCTIONS(NTS_LOOK_UP)
#undef NTS_LOOK_UP
    if (missing_count == 0) {
        return nullptr;
    }
    char more[32] = "";
    if (missing_count > 1) {
        snprintf(more, sizeof more, " and %d more", missing_count - 1);
    }
    snprintf(missing, sizeof missing, "no function %s%s in the TLS or AEAD library", first_missing,
             more);
    return give_up(ssl, nettle, missing);
}
