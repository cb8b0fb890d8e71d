// Any bytes as the two environment variables (the server text up to the first NUL, the status
// after it), through their readers and the parsing of the server text.

#include <cstdlib>
#include <cstring>
#include <string>

#include "app/config.hpp"
#include "ntp/server_text.hpp"
#include "platform/sockets.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const size_t nul = bytes.find('\0');
    const std::string name = bytes.substr(0, nul);
    const std::string status = nul == std::string::npos ? "" : bytes.substr(nul + 1);
    // putenv on buffers of our own: setenv would keep every old value, millions of them.
    static std::string name_entry, status_entry;
    name_entry = "NTP_SERVER_NAME=" + name;
    status_entry = "STATUS_OF_EXECUTION=" + status;
    putenv(name_entry.data());
    putenv(status_entry.data());
    get_execution_status();
    char* text = get_ntp_server_name();
    if (text != nullptr) {
        NetAddress address{};
        address_from_dotted(text, split_server_port(text), &address);
    }
    return 0;
}
