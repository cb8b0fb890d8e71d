#pragma once

#include <cstddef>

// Copies untrusted text into out (of capacity bytes, NUL-terminated) so that it shows as one
// harmless run of characters: control characters (below 0x20, 0x7F, and the two bytes of
// U+0080 to U+009F in UTF-8) become \xNN and the backslash \\, and so does every byte from 0x80
// up when ascii_only; any other UTF-8 character stays readable. Stops at a NUL or after count
// bytes, or where the next byte's form would not fit.
void escape_text(const char* text, size_t count, bool ascii_only, char* out, size_t capacity);

// The widest form of one byte.
constexpr size_t ESCAPED_BYTE_SIZE = 4;
