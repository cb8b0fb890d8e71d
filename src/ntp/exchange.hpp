#pragma once

#include <cstdint>

// One request-and-reply exchange with the configured server, reported on ntp_out. Returns the
// server-corrected current time as the low 32 bits of its Unix seconds, or 0 when it failed.
uint32_t query_ntp_server();
