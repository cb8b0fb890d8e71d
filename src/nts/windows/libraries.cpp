#include "nts/libraries.hpp"

NtsLibraries nts_lib;

// OpenSSL and nettle are linked into the program: the table takes their functions as they are.
const char* nts_libraries_load() {
#define NTS_TAKE(library, name) nts_lib.name = &(name);
    NTS_LIBRARY_FUNCTIONS(NTS_TAKE)
#undef NTS_TAKE
    return nullptr;
}
