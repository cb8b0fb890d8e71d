#include "ntp/escape.hpp"

#include <cstdio>

namespace {

// Whether byte i is one of the two of a C1 control (U+0080 to U+009F) in UTF-8: C2, then 80 to
// 9F. A terminal may act on one as on any other control character.
bool in_c1_control(const unsigned char* bytes, size_t i, size_t count) {
    const auto second = [](unsigned char byte) { return byte >= 0x80 && byte <= 0x9F; };
    return (bytes[i] == 0xC2 && i + 1 < count && second(bytes[i + 1])) ||
           (i > 0 && bytes[i - 1] == 0xC2 && second(bytes[i]));
}

} // namespace

void escape_text(const char* text, size_t count, bool ascii_only, char* out, size_t capacity) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(text);
    size_t used = 0;
    for (size_t i = 0; i < count && text[i] != '\0' && used + ESCAPED_BYTE_SIZE < capacity; ++i) {
        const unsigned char byte = bytes[i];
        const bool control = byte < 0x20 || byte == 0x7F || (ascii_only && byte >= 0x80) ||
                             in_c1_control(bytes, i, count);
        const char* format = control ? "\\x%02x" : (byte == '\\' ? "\\\\" : "%c");
        used += static_cast<size_t>(snprintf(out + used, capacity - used, format, byte));
    }
    out[used] = '\0';
}
