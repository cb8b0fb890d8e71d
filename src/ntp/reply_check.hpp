#pragma once

#include "ntp/exchange.hpp"

// nullptr when the reply answers our request: whole, from the server, echoing our transmit
// time. Otherwise the first of those checks that failed, in words.
const char* stranger_rejection(const Exchange& exchange);

// nullptr when the reply passes the client checks of SNTP and may set the clock, given the
// round trip measured (seconds) and the corrected time it gives; otherwise the first failed
// check in words, in a buffer that the next call overwrites.
const char* reply_rejection(const Exchange& exchange, double delay, double corrected_unix_seconds);

// In an NTS run: nullptr when the reply is authenticated and answers our request (its Unique
// Identifier and Originate Timestamp ours, its authenticator verified); otherwise why not.
const char* authentication_rejection(const Exchange& exchange);
