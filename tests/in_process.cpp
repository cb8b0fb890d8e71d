#include "in_process.hpp"

#include <cmath>
#include <cstring>

#include "app/config.hpp"
#include "ntp/exchange.hpp"
#include "platform/local_clock.hpp"
#include "platform/local_time.hpp"

timespec fake_clock_now{};
int fake_clock_settings = 0;

namespace {

bool refuse = false;

} // namespace

void fake_clock_start(double unix_seconds, bool refuse_setting) {
    const double whole = std::floor(unix_seconds);
    fake_clock_now = {static_cast<time_t>(whole),
                      std::lround((unix_seconds - whole) * 1000) * 1000000};
    fake_clock_settings = 0;
    refuse = refuse_setting;
}

void local_clock_read(SYSTEMTIME* time) {
    *time = timespec_to_systemtime(fake_clock_now);
}

int local_clock_set(const SYSTEMTIME* time) {
    if (refuse || !systemtime_to_timespec(*time, &fake_clock_now)) {
        return 0;
    }
    ++fake_clock_settings;
    return 1;
}

std::string complete_reply(const uint8_t* transmit, const uint8_t* reply, size_t length,
                           const char* sender, uint16_t port, uint32_t* corrected) {
    Exchange exchange{};
    memcpy(exchange.request.bytes + NTP_OFFSET_TRANSMIT_TIME, transmit, NTP_TIMESTAMP_SIZE);
    memcpy(exchange.reply.bytes, reply, length < NTP_PACKET_SIZE ? length : NTP_PACKET_SIZE);
    exchange.reply_length = static_cast<long>(length);
    local_clock_read(&exchange.received);
    address_from_dotted("127.0.0.1", 123, &exchange.server);
    address_from_dotted(sender, port, &exchange.sender);
    exchange.adjust = true;
    ntp_init(1);
    ntp_out = tmpfile();
    const uint32_t returned = complete_exchange(exchange);
    if (corrected != nullptr) {
        *corrected = returned;
    }
    std::string report(static_cast<size_t>(ftell(ntp_out)), '\0');
    rewind(ntp_out);
    report.resize(fread(report.data(), 1, report.size(), ntp_out));
    fclose(ntp_out);
    ntp_out = stdout;
    return report;
}
