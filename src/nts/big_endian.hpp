#pragma once

#include <cstddef>
#include <cstdint>

// The 16-bit fields of NTS records and extension fields, most significant byte first.
inline uint16_t u16(const uint8_t* bytes) {
    return static_cast<uint16_t>(bytes[0] << 8 | bytes[1]);
}

inline void put_u16(uint8_t* bytes, size_t value) {
    bytes[0] = static_cast<uint8_t>(value >> 8);
    bytes[1] = static_cast<uint8_t>(value);
}
