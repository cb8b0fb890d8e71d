#pragma once

#include <cstddef>
#include <cstdint>

#include "nts/session.hpp"

// Takes the key exchange's response: prints its warnings and unknown records, then, when it is
// one a client can go on with, what was agreed and the cookies received, and nullptr. The first
// cookie goes into the session; `host` gets the NTP server the response names (empty when none),
// a name made absolute, and `port` its port (123 when none). Otherwise why not, in words.
constexpr size_t KE_HOST_SIZE = NTS_HOST_MAX + 2;
const char* ke_take_response(const uint8_t* bytes, size_t length, NtsSession* session,
                             char host[KE_HOST_SIZE], uint16_t* port);
