#include "platform/posix/stamps.hpp"

#include <cerrno>
#include <cstring>
#include <ctime>
#include <linux/errqueue.h>
#include <linux/net_tstamp.h>
#include <netinet/in.h>

const int TRANSMIT_STAMP_FLAGS = SOF_TIMESTAMPING_TX_SOFTWARE | SOF_TIMESTAMPING_SOFTWARE |
                                 SOF_TIMESTAMPING_OPT_TSONLY | SOF_TIMESTAMPING_OPT_ID;

namespace {

UnixNanoseconds nanoseconds_of(const timespec& stamp) {
    return int64_t{stamp.tv_sec} * NANOSECONDS_PER_SECOND + stamp.tv_nsec;
}

// The extended error that comes with every error-queue message, IPv4's or IPv6's.
bool is_extended_error(const cmsghdr& part) {
    return (part.cmsg_level == SOL_IP && part.cmsg_type == IP_RECVERR) ||
           (part.cmsg_level == SOL_IPV6 && part.cmsg_type == IPV6_RECVERR);
}

} // namespace

bool receive_stamp(msghdr* message, UnixNanoseconds* arrived) {
    for (cmsghdr* part = CMSG_FIRSTHDR(message); part != nullptr;
         part = CMSG_NXTHDR(message, part)) {
        if (part->cmsg_level == SOL_SOCKET && part->cmsg_type == SCM_TIMESTAMPNS &&
            part->cmsg_len >= CMSG_LEN(sizeof(timespec))) {
            timespec stamp{};
            std::memcpy(&stamp, CMSG_DATA(part), sizeof stamp);
            *arrived = nanoseconds_of(stamp);
            return true;
        }
    }
    return false;
}

bool transmit_stamp(msghdr* message, uint32_t key, UnixNanoseconds* sent) {
    timespec stamps[3]{}; // software, deprecated, hardware
    bool ours = false;
    for (cmsghdr* part = CMSG_FIRSTHDR(message); part != nullptr;
         part = CMSG_NXTHDR(message, part)) {
        if (part->cmsg_level == SOL_SOCKET && part->cmsg_type == SCM_TIMESTAMPING &&
            part->cmsg_len >= CMSG_LEN(sizeof stamps)) {
            std::memcpy(stamps, CMSG_DATA(part), sizeof stamps);
        } else if (is_extended_error(*part) &&
                   part->cmsg_len >= CMSG_LEN(sizeof(sock_extended_err))) {
            sock_extended_err error{};
            std::memcpy(&error, CMSG_DATA(part), sizeof error);
            ours = error.ee_errno == ENOMSG && error.ee_origin == SO_EE_ORIGIN_TIMESTAMPING &&
                   error.ee_info == SCM_TSTAMP_SND && error.ee_data == key;
        }
    }
    if (!ours || nanoseconds_of(stamps[0]) == 0) {
        return false;
    }
    *sent = nanoseconds_of(stamps[0]);
    return true;
}
