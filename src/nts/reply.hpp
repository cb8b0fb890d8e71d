#pragma once

#include "ntp/exchange.hpp"
#include "nts/session.hpp"

// nullptr when the exchange's reply is authenticated and answers our request (its Unique
// Identifier and Originate Timestamp ours, its authenticator verified); otherwise why not.
const char* nts_reply_rejection(const NtsSession& session, const Exchange& exchange);

// Prints the reply's extension fields, as far as they were read, and whether it is
// authenticated; when the dates were left to the server's time, checks them at the reply's
// Transmit Timestamp and says so. nullptr when the reply stands, else why not.
const char* nts_report_reply(const NtsSession& session, const Exchange& exchange);
