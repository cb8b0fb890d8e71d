#include "app/config.hpp"

#include <cstring>

#include "platform/process.hpp"
#include "report/report.hpp"

namespace {

char ntp_server_name[NTP_SERVER_NAME_SIZE] = {};

} // namespace

int ntp_init(int verbose) {
    ntp_out = stdout;
    ntp_verbose = verbose;
    report_start(REPORT_TEXT);
    return verbose;
}

char* get_ntp_server_name(bool nts) {
    const char* text = environment_variable("NTP_SERVER_NAME");
    if (text == nullptr) {
        text = nts ? DEFAULT_NTS_SERVER : DEFAULT_NTP_SERVER;
    }
    const size_t length = strlen(text);
    if (length >= NTP_SERVER_NAME_SIZE) {
        ntp_server_name[0] = '\0';
        return nullptr;
    }
    memcpy(ntp_server_name, text, length + 1);
    return ntp_server_name;
}

ExecutionStatus get_execution_status() {
    const char* status = environment_variable("STATUS_OF_EXECUTION");
    if (status != nullptr && strcmp(status, "ADJUST_TIME") == 0) {
        return STATUS_ADJUST_TIME;
    }
    return STATUS_REPORT_ONLY;
}

Authentication get_authentication() {
    const char* value = environment_variable("NTP_AUTHENTICATION");
    if (value == nullptr || value[0] == '\0') {
        return AUTHENTICATION_NONE;
    }
    return strcmp(value, "NTS") == 0 ? AUTHENTICATION_NTS : AUTHENTICATION_UNKNOWN;
}

CertificateTime get_certificate_time() {
    const char* value = environment_variable("NTS_CERTIFICATE_TIME");
    if (value == nullptr || value[0] == '\0' || strcmp(value, "LOCAL") == 0) {
        return CERTIFICATE_TIME_LOCAL;
    }
    return strcmp(value, "SERVER") == 0 ? CERTIFICATE_TIME_SERVER : CERTIFICATE_TIME_UNKNOWN;
}

bool get_report_format(ReportFormat* format) {
    const char* value = environment_variable("NTP_REPORT_FORMAT");
    *format = value != nullptr && strcmp(value, "JSON") == 0 ? REPORT_JSON : REPORT_TEXT;
    return value == nullptr || value[0] == '\0' || strcmp(value, "TEXT") == 0 ||
           *format == REPORT_JSON;
}
