#include "platform/files.hpp"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>

const char* unreadable_file(const char* path, int64_t most_bytes) {
    struct stat status {};
    if (stat(path, &status) != 0) {
        return strerror(errno);
    }
    if (!S_ISREG(status.st_mode)) {
        return "not a regular file";
    }
    if (status.st_size > most_bytes) {
        static char reason[64];
        snprintf(reason, sizeof reason, "larger than %lld KiB",
                 static_cast<long long>(most_bytes / 1024));
        return reason;
    }
    // A regular file opens at once: whether it can be read is known without waiting.
    FILE* file = fopen(path, "rb");
    if (file == nullptr) {
        return strerror(errno);
    }
    fclose(file);
    return nullptr;
}
