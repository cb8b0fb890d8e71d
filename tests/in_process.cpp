#include "in_process.hpp"

#include <cctype>
#include <cstring>

#include "report/report.hpp"

UnixNanoseconds fake_clock_now = 0;
int fake_clock_settings = 0;

UnixNanoseconds wall_clock_read() {
    return fake_clock_now;
}

bool wall_clock_set(UnixNanoseconds when) {
    fake_clock_now = when;
    ++fake_clock_settings;
    return true;
}

void put_ntp(uint8_t* bytes, UnixNanoseconds when) {
    constexpr int64_t S = NANOSECONDS_PER_SECOND;
    const int64_t seconds = when / S - (when % S < 0 ? 1 : 0);
    const uint64_t fraction = ((static_cast<uint64_t>(when - seconds * S) << 32) + S / 2) / S;
    const uint64_t fixed = (static_cast<uint64_t>(seconds + 2208988800) << 32) + fraction;
    for (int i = 0; i < 8; ++i) {
        bytes[i] = static_cast<uint8_t>(fixed >> (56 - 8 * i));
    }
}

std::vector<uint8_t> hex_bytes(const std::string& hex) {
    std::vector<uint8_t> bytes;
    for (size_t i = 0; i + 1 < hex.size(); i += hex[i] == ' ' ? 1 : 2) {
        if (hex[i] != ' ') {
            bytes.push_back(static_cast<uint8_t>(std::stoul(hex.substr(i, 2), nullptr, 16)));
        }
    }
    return bytes;
}

std::string report_of(const std::function<void()>& body) {
    ntp_out = tmpfile();
    body();
    report_start(REPORT_TEXT);
    std::string report(static_cast<size_t>(ftell(ntp_out)), '\0');
    rewind(ntp_out);
    report.resize(fread(report.data(), 1, report.size(), ntp_out));
    fclose(ntp_out);
    ntp_out = stdout;
    return report;
}

std::string json_report_of(const Query& query) {
    return report_of([&] {
        report_start(REPORT_JSON);
        complete_query(query);
        report_end();
    });
}

Query query_with_reply(const uint8_t* transmit, UnixNanoseconds sent, const uint8_t* reply,
                       size_t length) {
    Query query{};
    Exchange& exchange = query.exchange;
    memcpy(exchange.request.bytes + NTP_OFFSET_TRANSMIT_TIME, transmit, NTP_TIMESTAMP_SIZE);
    exchange.sent = sent;
    const size_t kept = length < sizeof exchange.reply.bytes ? length : sizeof exchange.reply.bytes;
    memcpy(exchange.reply.bytes, reply, kept);
    memcpy(exchange.reply.packet.bytes, reply, kept < NTP_PACKET_SIZE ? kept : NTP_PACKET_SIZE);
    exchange.reply.length = static_cast<long>(length);
    exchange.reply.arrived = wall_clock_read();
    address_from_dotted("127.0.0.1", 123, &exchange.server);
    exchange.reply.sender = exchange.server;
    query.adjust = true;
    ntp_verbose = 1; // as the program always is
    return query;
}

namespace {

// One JSON value from text[at] on, strictly (RFC 8259) and in ASCII; false where there is none.
bool json_value(const std::string& text, size_t& at, int depth) {
    const auto take = [&](char expected) {
        return at < text.size() && text[at] == expected && ++at;
    };
    const auto digits = [&] {
        const size_t count = strspn(text.c_str() + at, "0123456789");
        at += count;
        return count > 0;
    };
    const char first = at < text.size() ? text[at] : '\0';
    if (depth < 32 && (take('{') || take('['))) {
        const char close = first == '{' ? '}' : ']';
        if (take(close)) {
            return true;
        }
        do {
            const bool key = first == '[' || (at < text.size() && text[at] == '"' &&
                                              json_value(text, at, depth + 1) && take(':'));
            if (!key || !json_value(text, at, depth + 1)) {
                return false;
            }
        } while (take(','));
        return take(close);
    }
    if (take('"')) {
        while (at < text.size() && text[at] != '"') {
            const auto byte = static_cast<unsigned char>(text[at++]);
            const bool unicode = byte == '\\' && take('u') && at + 4 <= text.size() &&
                                 strspn(text.substr(at, 4).c_str(), "0123456789abcdefABCDEF") == 4;
            if (byte < 0x20 || byte >= 0x7F ||
                (byte == '\\' && !unicode &&
                 (at >= text.size() || !strchr("\"\\/bfnrt", text[at++])))) {
                return false;
            }
            at += unicode ? 4 : 0;
        }
        return take('"');
    }
    for (const std::string word : {"true", "false", "null"}) {
        if (text.compare(at, word.size(), word) == 0) {
            at += word.size();
            return true;
        }
    }
    take('-');
    return (take('0') || digits()) && (!take('.') || digits()) &&
           (!(take('e') || take('E')) || ((take('+') || take('-') || true) && digits()));
}

} // namespace

bool json_line_is_valid(const std::string& text) {
    size_t at = 0;
    return text.size() > 1 && text[0] == '{' && text.back() == '\n' && json_value(text, at, 0) &&
           at == text.size() - 1;
}
