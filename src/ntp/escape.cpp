#include "ntp/escape.hpp"

#include <cstdio>

void escape_text(const char* text, size_t count, bool ascii_only, char* out, size_t capacity) {
    size_t used = 0;
    for (size_t i = 0; i < count && text[i] != '\0' && used + ESCAPED_BYTE_SIZE < capacity; ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        const bool control = byte < 0x20 || byte == 0x7F || (ascii_only && byte >= 0x80);
        const char* format = control ? "\\x%02x" : (byte == '\\' ? "\\\\" : "%c");
        used += static_cast<size_t>(snprintf(out + used, capacity - used, format, byte));
    }
    out[used] = '\0';
}
