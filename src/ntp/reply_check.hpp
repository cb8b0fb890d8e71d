#pragma once

#include <cstdint>

#include "ntp/packet.hpp"
#include "platform/sockets.hpp"

// What the checks look at: the reply as received and what the client knows of its request.
struct ReplyEvidence {
    const NtpPacket& reply;
    long length;
    const NetAddress& sender;
    const NetAddress& server;
    const uint8_t* request_transmit; // the 8 bytes of the request's Transmit Timestamp
    double delay;                    // the measured round trip, seconds
    double corrected_unix_seconds;
};

// nullptr when the datagram answers our request: whole, from the server, echoing our transmit
// time. Otherwise the first of those checks that failed, in words. Needs neither delay nor
// corrected time.
const char* stranger_rejection(const ReplyEvidence& evidence);

// nullptr when the reply passes the client checks of SNTP and may set the clock; otherwise the
// first failed check in words, in a buffer that the next call overwrites.
const char* reply_rejection(const ReplyEvidence& evidence);
