// Any datagram an NTS run may receive: its extension fields walked, its authenticator taken
// apart and opened (with a session's keys that sealed nothing), and its fields reported.

#include <cstdio>

#include "ntp/report.hpp"
#include "nts/authenticator.hpp"
#include "nts/libraries.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool loaded = nts_libraries_load() == nullptr;
    static NtsSession session{};
    if (!loaded || size > NTP_DATAGRAM_MAX) {
        return -1;
    }
    ntp_out = fopen("/dev/null", "w");
    nts_rejection(session, data, size);
    print_extension_fields(data, size);
    fclose(ntp_out);
    return 0;
}
