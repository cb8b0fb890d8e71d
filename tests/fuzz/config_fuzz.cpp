// Any bytes as the server text, up to the first NUL: split into host and port, and read as an
// address the way the client reads it.

#include <cstring>

#include "app/config.hpp"
#include "ntp/server_text.hpp"
#include "platform/sockets.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    char text[NTP_SERVER_NAME_SIZE] = {};
    if (size >= sizeof text) {
        return -1;
    }
    memcpy(text, data, size);
    const uint16_t port = split_server_port(text);
    NetAddress address{};
    if (!is_ipv6_literal(text) || !address_from_ipv6_literal(text, port, &address)) {
        address_from_dotted(text, port, &address);
    }
    return 0;
}
