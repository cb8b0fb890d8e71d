#pragma once

#include <cstdint>

#include "ntp/packet.hpp"
#include "nts/key_exchange.hpp"
#include "platform/sockets.hpp"

// One datagram as received: its header, zero where a shorter one had none, and all its bytes as
// far as they were read.
struct Datagram {
    NtpPacket packet;
    uint8_t bytes[NTP_DATAGRAM_MAX];
    long length;
    NetAddress sender;
    UnixNanoseconds arrived; // T4, when this datagram is the reply
};

// What one exchange gathered: the request's header and when it went, the server, the reply
// taken, whether the run is to step the clock, and in an NTS run what the key exchange gave.
struct Exchange {
    NtpPacket request;
    UnixNanoseconds sent; // T1
    NetAddress server;
    Datagram reply;
    bool adjust;
    NtsSession* nts; // nullptr in a plain run
};

// One request-and-reply exchange with the configured server, reported on ntp_out. Returns the
// server-corrected current time as the low 32 bits of its Unix seconds, or 0 when it failed.
uint32_t query_ntp_server();

// Everything after reception: the report, the offset, the clock step when asked for and the
// reply passes the checks, the local reading. Returns the corrected time as above.
uint32_t complete_exchange(const Exchange& exchange);
