#include "ntp/server_text.hpp"

#include <cctype>
#include <cstring>

#include "platform/sockets.hpp"

namespace {

// atoi's reading, but modulo 65536 digit by digit, so that no length of digits overflows.
uint16_t port_number(const char* text) {
    while (isspace(static_cast<unsigned char>(*text)) != 0) {
        ++text;
    }
    const bool negative = *text == '-';
    if (*text == '-' || *text == '+') {
        ++text;
    }
    uint16_t port = 0;
    for (; isdigit(static_cast<unsigned char>(*text)) != 0; ++text) {
        port = static_cast<uint16_t>(port * 10 + (*text - '0'));
    }
    return negative ? static_cast<uint16_t>(-port) : port;
}

} // namespace

uint16_t split_server_port(char* text, uint16_t default_port) {
    char* close = text[0] == '[' ? strchr(text, ']') : nullptr;
    if (close != nullptr) {
        *close = '\0';
        memmove(text, text + 1, static_cast<size_t>(close - text));
        return close[1] == ':' ? port_number(close + 2) : default_port;
    }
    if (is_ipv6_literal(text)) {
        return default_port;
    }
    char* colon = strchr(text, ':');
    if (colon == nullptr) {
        return default_port;
    }
    *colon = '\0';
    return port_number(colon + 1);
}
