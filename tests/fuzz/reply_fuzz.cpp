// Any datagram of 0 to 100 bytes, as the reply of an exchange that asked to set the clock,
// through everything after reception: the report, the offset, the checks, the step. The fake
// clock is linked in, so nothing is sent and nothing is set.

#include "in_process.hpp"

// The request transmit bytes that the seed reply echoes.
constexpr uint8_t REQUEST_TRANSMIT[8] = {0xEE, 0xC0, 0x58, 0x3A, 0x80, 0x00, 0x00, 0x42};
constexpr UnixNanoseconds NOW = 1796592594 * NANOSECONDS_PER_SECOND;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 100) {
        return -1;
    }
    fake_clock_now = NOW;
    complete(query_with_reply(REQUEST_TRANSMIT, NOW - 100000, data, size));
    return 0;
}
