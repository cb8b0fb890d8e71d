// Any datagram of 0 to 100 bytes, as the reply of an exchange that asked to set the clock,
// through everything after reception: the report, the offset, the checks, the step. The fake
// wall clock is linked in, so nothing is sent and nothing is set.

#include <cstdlib>
#include <cstring>

#include "app/config.hpp"
#include "fake_clock.hpp"
#include "ntp/exchange.hpp"
#include "platform/local_clock.hpp"

namespace {

// The request transmit time that the seed replies echo.
constexpr uint8_t REQUEST_TRANSMIT[8] = {0xEE, 0xC0, 0x58, 0x3A, 0x80, 0x00, 0x00, 0x42};

bool start() {
    ntp_init(1);
    ntp_out = fopen("/dev/null", "w");
    setenv("TZ", "UTC", 1);
    return ntp_out != nullptr;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool started = start();
    if (!started || size > 100) {
        return -1;
    }
    fake_clock_start({1796592594, 0});
    Exchange exchange{};
    memcpy(ntp_field(exchange.request, NTP_OFFSET_TRANSMIT_TIME), REQUEST_TRANSMIT, 8);
    exchange.reply_length = static_cast<long>(size < NTP_PACKET_SIZE ? size : NTP_PACKET_SIZE);
    memcpy(exchange.reply.bytes, data, static_cast<size_t>(exchange.reply_length));
    address_from_dotted("127.0.0.1", 123, &exchange.server);
    exchange.sender = exchange.server;
    local_clock_read(&exchange.received);
    exchange.adjust = true;
    complete_exchange(exchange);
    return 0;
}
