#pragma once

#include <cstdint>
#include <sys/socket.h>

#include "platform/wall_clock.hpp"

// The kernel's time stamps of a datagram, read from the control messages of what recvmsg
// returned: pure reading, so that the tests can hand it any message.

// The flags of SO_TIMESTAMPING that ask for the software stamp of each datagram as it leaves,
// queued on the socket's error queue without the datagram (TSONLY) and keyed by its number
// among those sent since (OPT_ID: the first is 0).
extern const int TRANSMIT_STAMP_FLAGS;

// The receive stamp (SO_TIMESTAMPNS) of a datagram received; false when it has none.
bool receive_stamp(msghdr* message, UnixNanoseconds* arrived);

// The transmit stamp of the datagram numbered `key`, from an error-queue message; false when the
// message holds no such stamp (none at all, another datagram's, or an error of another origin).
bool transmit_stamp(msghdr* message, uint32_t key, UnixNanoseconds* sent);
