#pragma once

#include <cstdint>

#include "ntp/packet.hpp"
#include "platform/sockets.hpp"

// One datagram as received: cut to 48 bytes, zero where a shorter one had none.
struct Datagram {
    NtpPacket packet;
    long length;
    NetAddress sender;
    UnixNanoseconds arrived; // T4, when this datagram is the reply
};

// What one exchange gathered: the request and when it went, the server, the reply taken, and
// whether the run is to step the clock.
struct Exchange {
    NtpPacket request;
    UnixNanoseconds sent; // T1
    NetAddress server;
    Datagram reply;
    bool adjust;
};

// One request-and-reply exchange with the configured server, reported on ntp_out. Returns the
// server-corrected current time as the low 32 bits of its Unix seconds, or 0 when it failed.
uint32_t query_ntp_server();

// Everything after reception: the report, the offset, the clock step when asked for and the
// reply passes the checks, the local reading. Returns the corrected time as above.
uint32_t complete_exchange(const Exchange& exchange);
