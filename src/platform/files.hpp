#pragma once

#include <cstdint>

// nullptr when the path names a regular file of at most `most_bytes` that this process can open
// for reading; otherwise why not, in words. A FIFO or a device is not one (reading it can wait
// for ever), nor is a larger file (reading it takes as long as it is large).
const char* unreadable_file(const char* path, int64_t most_bytes);
