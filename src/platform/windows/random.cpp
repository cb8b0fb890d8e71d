#include "platform/random.hpp"

#include <windows.h>

#include <bcrypt.h>

bool random_bytes(uint8_t* bytes, size_t count) {
    return BCryptGenRandom(nullptr, bytes, static_cast<ULONG>(count),
                           BCRYPT_USE_SYSTEM_PREFERRED_RNG) == 0;
}
