#pragma once

#include <cstdint>

#include "ntp/packet.hpp"
#include "platform/sockets.hpp"
#include "platform/system_time.hpp"

// What one exchange gathered: the request sent, the reply taken with its reception time, the
// addresses, and whether the run is to step the clock.
struct Exchange {
    NtpPacket request;
    NtpPacket reply;
    long reply_length;
    SYSTEMTIME received; // T4
    NetAddress server;
    NetAddress sender;
    bool adjust;
};

// One request-and-reply exchange with the configured server, reported on ntp_out. Returns the
// server-corrected current time as the low 32 bits of its Unix seconds, or 0 when it failed.
uint32_t query_ntp_server();

// Everything after reception: the report, the offset, the clock step when asked for and the
// reply passes the checks, the local reading. Returns the corrected time as above.
uint32_t complete_exchange(const Exchange& exchange);
