#include "platform/files.hpp"

#include <cerrno>
#include <cstring>
#include <sys/stat.h>

const char* not_a_regular_file(const char* path) {
    struct stat status {};
    if (stat(path, &status) != 0) {
        return strerror(errno);
    }
    return S_ISREG(status.st_mode) ? nullptr : "not a regular file";
}
