#include "nts/ke_response.hpp"

#include <cstdio>
#include <cstring>

#include "ntp/server_text.hpp"
#include "platform/sockets.hpp"
#include "report/report.hpp"

namespace {

KeResponse response;

void print_notes() {
    for (int i = 0; i < response.note_count && i < NTS_KE_NOTES_MAX; ++i) {
        const KeNote& note = response.notes[i];
        if (note.warning) {
            report_line({{"nts_ke.warnings[]", json_integer(note.value)}}, "NTS-KE Warning = %u\n",
                        note.value);
        } else {
            report_line({{"nts_ke.unknown_records[].type", json_integer(note.type)},
                         {"nts_ke.unknown_records[].length", json_integer(note.value)}},
                        "NTS-KE Unknown Record = %u, Length = %u\n", note.type, note.value);
        }
    }
}

} // namespace

const char* ke_take_response(const uint8_t* bytes, size_t length, NtsSession* session,
                             char host[KE_HOST_SIZE], uint16_t* port) {
    const char* rejection = ke_parse_response(bytes, length, &response);
    print_notes();
    if (rejection != nullptr) {
        return rejection;
    }
    report_line({{"nts_ke.next_protocol.id", json_integer(NTS_PROTOCOL_NTPV4)},
                 {"nts_ke.next_protocol.name", json_string("NTPv4")}},
                "NTS-KE Next Protocol = %u (NTPv4)\n", NTS_PROTOCOL_NTPV4);
    report_line({{"nts_ke.aead.id", json_integer(NTS_AEAD_AES_SIV_CMAC_256)},
                 {"nts_ke.aead.name", json_string("AEAD_AES_SIV_CMAC_256")}},
                "NTS-KE AEAD Algorithm = %u (AEAD_AES_SIV_CMAC_256)\n", NTS_AEAD_AES_SIV_CMAC_256);
    report_line({{"nts_ke.cookies", json_integer(response.cookies)}}, "NTS-KE Cookies = %d\n",
                response.cookies);
    memcpy(session->cookie, response.cookie, response.cookie_length);
    session->cookie_length = response.cookie_length;
    // A trailing dot makes a name absolute: the resolver's search domains cannot turn the
    // server's answer into a local name.
    const size_t named = strlen(response.server);
    const bool relative =
        named > 0 && response.server[named - 1] != '.' && !is_address_literal(response.server);
    snprintf(host, KE_HOST_SIZE, "%s%s", response.server, relative ? "." : "");
    *port = response.port != 0 ? response.port : NTP_DEFAULT_PORT;
    return nullptr;
}
