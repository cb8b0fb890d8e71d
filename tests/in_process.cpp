#include "in_process.hpp"

#include <cstring>

#include "app/config.hpp"
#include "app/run.hpp"
#include "ntp/report.hpp"

UnixNanoseconds fake_clock_now = 0;
bool fake_clock_refuses = false;
int fake_clock_settings = 0;

UnixNanoseconds wall_clock_read() {
    return fake_clock_now;
}

int wall_clock_set(UnixNanoseconds when) {
    if (fake_clock_refuses) {
        return 0;
    }
    fake_clock_now = when;
    ++fake_clock_settings;
    return 1;
}

std::string complete_reply(const uint8_t* transmit, UnixNanoseconds sent, const uint8_t* reply,
                           size_t length, const char* sender, uint16_t port, uint32_t* corrected) {
    Run run{};
    Exchange& exchange = run.exchange;
    memcpy(exchange.request.bytes + NTP_OFFSET_TRANSMIT_TIME, transmit, NTP_TIMESTAMP_SIZE);
    exchange.sent = sent;
    memcpy(exchange.reply.packet.bytes, reply, length < NTP_PACKET_SIZE ? length : NTP_PACKET_SIZE);
    exchange.reply.length = static_cast<long>(length);
    exchange.reply.arrived = wall_clock_read();
    address_from_dotted("127.0.0.1", 123, &exchange.server);
    address_from_dotted(sender, port, &exchange.reply.sender);
    run.adjust = true;
    ntp_init(1);
    ntp_out = tmpfile();
    const uint32_t returned = complete_run(run);
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
