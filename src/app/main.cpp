#include "app/config.hpp"
#include "ntp/exchange.hpp"
#include "platform/local_time.hpp"

// Arguments are ignored: the environment configures the run, and the status is always 0.
int main() {
    ntp_init(1);
    const uint32_t corrected = query_ntp_server();
    fprintf(ntp_out, "Standard Time = %s", calendar_text(corrected));
    return 0;
}
