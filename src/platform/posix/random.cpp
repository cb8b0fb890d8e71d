#include "platform/random.hpp"

#include <cerrno>
#include <sys/random.h>

bool random_bytes(uint8_t* bytes, size_t count) {
    size_t filled = 0;
    while (filled < count) {
        const ssize_t got = getrandom(bytes + filled, count - filled, 0);
        if (got < 0 && errno != EINTR) {
            return false;
        }
        filled += got > 0 ? static_cast<size_t>(got) : 0;
    }
    return true;
}
