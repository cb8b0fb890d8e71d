#pragma once

#include <cstdint>

constexpr uint16_t NTP_DEFAULT_PORT = 123;

// Splits the server text in place into the host name and returns the port (default_port where
// it names none):
// - "[address]" or "[address]:port": an IPv6 address, brackets removed;
// - a whole IPv6 address ("::1"): the default port;
// - otherwise "host" or "host:port", cut at the first colon.
// The port is the leading decimal number after the colon as atoi reads it (none gives 0),
// modulo 65536.
uint16_t split_server_port(char* text, uint16_t default_port = NTP_DEFAULT_PORT);
