#pragma once

#include "ntp/exchange.hpp"

// nullptr when the reply answers our request: whole, from the server, echoing our transmit
// time. Otherwise the first of those checks that failed, in words.
const char* stranger_rejection(const Exchange& exchange);

// nullptr when the reply passes the client checks of SNTP, given the round trip measured
// (seconds); otherwise the first failed check in words, in a buffer that the next call
// overwrites.
const char* reply_rejection(const Exchange& exchange, double delay);
