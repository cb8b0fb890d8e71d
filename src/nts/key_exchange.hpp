#pragma once

#include <cstdint>

#include "nts/session.hpp"
#include "platform/sockets.hpp"

// The key exchange with the server that the user named `name`, at `address`, within 5 seconds
// from the connect: TLS 1.3, ALPN ntske/1, the certificate verified for that name (its dates as
// session->dates say), the records exchanged, the keys exported, the NTP server resolved. Each
// fact is printed as an "NTS-KE" line as it is known; a failure prints its error line and
// returns false.
bool nts_key_exchange(const char* name, const NetAddress& address, NtsSession* session);
