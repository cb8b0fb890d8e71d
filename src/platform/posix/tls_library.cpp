#include "nts/libraries.hpp"

#include <algorithm>
#include <cstdio>
#include <dlfcn.h>
#include <iterator>

NtsLibraries nts_lib;

namespace {

// The versioned names: the ABI the table's declarations were compiled against.
constexpr const char* SSL_LIBRARY = "libssl.so.3"; // looks up libcrypto's functions too
constexpr const char* NETTLE_LIBRARY = "libnettle.so.8";

char missing[256];

const char* open_failure(const char* library) {
    snprintf(missing, sizeof missing, "cannot load %s (%s)", library, dlerror());
    return missing;
}

template <typename Function> bool look_up(void* library, const char* name, Function* function) {
    *function = reinterpret_cast<Function>(dlsym(library, name));
    if (*function == nullptr) {
        snprintf(missing, sizeof missing, "no function %s in the TLS or AEAD library", name);
    }
    return *function != nullptr;
}

} // namespace

const char* nts_libraries_load() {
    void* ssl = dlopen(SSL_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    if (ssl == nullptr) {
        return open_failure(SSL_LIBRARY);
    }
    void* nettle = dlopen(NETTLE_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    if (nettle == nullptr) {
        return open_failure(NETTLE_LIBRARY);
    }
#define NTS_LOOK_UP(library, name) look_up(library, #name, &nts_lib.name),
    const bool found[] = {NTS_LIBRARY_FUNCTIONS(NTS_LOOK_UP)};
#undef NTS_LOOK_UP
    return std::all_of(std::begin(found), std::end(found), [](bool one) { return one; }) ? nullptr
                                                                                         : missing;
}
