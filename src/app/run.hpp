#pragma once

#include <cstdint>

#include "ntp/exchange.hpp"
#include "nts/session.hpp"

// What a run gathers: its exchange, whether it is to step the clock, and in an NTS run what the
// key exchange gave.
struct Query {
    Exchange exchange;
    bool adjust;
    NtsSession* nts; // nullptr in a plain run
};

// One run as the environment configures it: the server, in an NTS run the key exchange, one
// request-and-reply exchange, the report on ntp_out and the clock step when asked for. Returns
// the server-corrected current time as the low 32 bits of its Unix seconds, or 0 when it failed.
uint32_t query_ntp_server();

// Everything after reception: the report, the offset, the clock step when asked for and the
// reply passes the checks, the local reading. Returns the corrected time as above.
uint32_t complete_query(const Query& query);
