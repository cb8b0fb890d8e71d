#pragma once

#include <cstddef>
#include <cstdint>

// Fills bytes from the system's cryptographic random source; false when it cannot.
bool random_bytes(uint8_t* bytes, size_t count);
