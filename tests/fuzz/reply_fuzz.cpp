// Any datagram of up to 2048 bytes as the reply of a run that asked to set the clock, plain and
// NTS (with a session's keys that sealed nothing), through everything after reception: the
// report, in text and in JSON (which must be one valid object), the extension fields, the
// authenticator, the offset, the checks, the step. The fake clock is linked in, so nothing is
// sent and nothing is set.

#include "in_process.hpp"
#include "nts/libraries.hpp"

// The request transmit bytes that the seed reply echoes.
constexpr uint8_t REQUEST_TRANSMIT[8] = {0xEE, 0xC0, 0x58, 0x3A, 0x80, 0x00, 0x00, 0x42};
constexpr UnixNanoseconds NOW = 1796592594 * NANOSECONDS_PER_SECOND;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool loaded = nts_libraries_load() == nullptr;
    static NtsSession session{};
    if (!loaded || size > NTP_DATAGRAM_MAX) {
        return -1;
    }
    fake_clock_now = NOW;
    Query query = query_with_reply(REQUEST_TRANSMIT, NOW - 100000, data, size);
    for (NtsSession* nts : {static_cast<NtsSession*>(nullptr), &session}) {
        query.nts = nts;
        report_of([&] { complete_query(query); });
        // The JSON form of whatever came is one valid object all the same.
        const std::string json = json_report_of(query);
        if (!json_line_is_valid(json)) {
            fprintf(stderr, "not one JSON object: %s", json.c_str());
            abort();
        }
    }
    return 0;
}
