#pragma once

#include <cstdint>

constexpr uint16_t NTP_DEFAULT_PORT = 123;

// Cuts "host:port" at the first colon, in place, and returns the port: the leading decimal
// number after the colon as atoi reads it (none gives 0), modulo 65536. Without a colon the
// text stays whole and the port is the default.
uint16_t split_server_port(char* text);
