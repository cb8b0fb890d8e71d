// Any bytes as a key exchange server's response: found whole or not, and read.

#include "nts/ke_records.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    KeResponse response{};
    ke_response_length(data, size);
    ke_parse_response(data, size, &response);
    return 0;
}
