#pragma once

// nullptr when the path names a regular file; otherwise why not, in words. A FIFO or a device
// is not one: reading it can wait for ever.
const char* not_a_regular_file(const char* path);
