#pragma once

#include <cstdint>

#include "ntp/packet.hpp"
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

// What one exchange gathered: the request's header and when it went, the server, and the reply
// taken.
struct Exchange {
    NtpPacket request;
    UnixNanoseconds sent; // T1
    NetAddress server;
    Datagram reply;
};

// Whether the datagram just taken as the exchange's reply ends the wait; `context` is the
// caller's.
using ReplyTest = bool (*)(const Exchange& exchange, const void* context);

// A client request's header with these flags (leap, version, mode) and a Transmit Timestamp of
// 64 random bits, which no one who did not see the request can echo; false when no random bytes
// could be had.
bool ntp_build_request(uint8_t flags, NtpPacket* request);

// Makes the server the socket's only correspondent, so that no one else's datagram is queued from
// then on, and empties it of what came before. A failure prints its error line.
bool exchange_connect(NetSocket socket, const NetAddress& server);

// Sends the request's bytes, T1 the system's stamp of their leaving or else read right before,
// and takes datagrams as they come, for at most
// 3 seconds, until one ends the wait. When none has by then, the first one received stands for
// the exchange. False, with its error line printed, when the send or the wait failed or nothing
// came; an ICMP error, which anyone can forge, ends nothing.
bool exchange_datagrams(NetSocket socket, const uint8_t* request, size_t size, ReplyTest ends_wait,
                        const void* context, Exchange* exchange);
