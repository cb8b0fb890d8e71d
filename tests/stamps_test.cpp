// The kernel's time stamps as recvmsg hands them over, and which of them the client takes.

#include <cerrno>
#include <cstring>
#include <gtest/gtest.h>
#include <linux/errqueue.h>
#include <netinet/in.h>

#include "platform/posix/stamps.hpp"

namespace {

// A control message appended to the message's control data.
void append(msghdr* message, int level, int type, const void* data, size_t size) {
    auto* part = reinterpret_cast<cmsghdr*>(static_cast<char*>(message->msg_control) +
                                            message->msg_controllen);
    *part = cmsghdr{CMSG_LEN(size), level, type};
    memcpy(CMSG_DATA(part), data, size);
    message->msg_controllen += CMSG_SPACE(size);
}

TEST(Stamps, OnlyTheRequestsOwnTransmitStamp) {
    const timespec STAMPS[3] = {{1796000000, 7}, {0, 0}, {0, 0}};
    // The stamps with an error of this origin, errno and key (none: the stamps alone), and what
    // is taken from them: ours; another datagram's; none at all.
    const sock_extended_err ERRORS[] = {{ENOMSG, SO_EE_ORIGIN_TIMESTAMPING, 0, 0, 0, 0, 0},
                                        {ENOMSG, SO_EE_ORIGIN_TIMESTAMPING, 0, 0, 0, 0, 1}};
    for (size_t row = 0; row <= std::size(ERRORS); ++row) {
        alignas(cmsghdr) char control[256]{};
        msghdr message{};
        message.msg_control = control;
        append(&message, SOL_SOCKET, SCM_TIMESTAMPING, STAMPS, sizeof STAMPS);
        if (row < std::size(ERRORS)) {
            append(&message, SOL_IP, IP_RECVERR, &ERRORS[row], sizeof ERRORS[row]);
        }
        UnixNanoseconds sent = 0;
        EXPECT_EQ(transmit_stamp(&message, 0, &sent), row == 0) << row;
        EXPECT_EQ(sent, row == 0 ? 1796000000000000007 : 0) << row;
    }
}

} // namespace
