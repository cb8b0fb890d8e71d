#pragma once

#include <cstddef>
#include <cstdio>

#include "nts/certificate_time.hpp"
#include "report/report.hpp"

constexpr size_t NTP_SERVER_NAME_SIZE = 256;
constexpr const char* DEFAULT_NTP_SERVER = "pool.ntp.org";
// A public server that offers NTS; the plain default does not.
constexpr const char* DEFAULT_NTS_SERVER = "time.cloudflare.com";

enum ExecutionStatus { STATUS_REPORT_ONLY, STATUS_ADJUST_TIME };
enum Authentication { AUTHENTICATION_NONE, AUTHENTICATION_NTS, AUTHENTICATION_UNKNOWN };

// Prepares the client: the report goes to standard output, verbose as asked. Must run first;
// returns verbose unchanged.
int ntp_init(int verbose);

// The server text from NTP_SERVER_NAME (or the default, which NTS runs ask for with `nts`),
// copied into a buffer of the module's. Returns nullptr, with the buffer empty, when the text does
// not fit it.
char* get_ntp_server_name(bool nts = false);

// NTP_AUTHENTICATION: unset or empty is none, exactly "NTS" is NTS, anything else unknown.
Authentication get_authentication();

// NTS_CERTIFICATE_TIME: unset, empty or exactly "LOCAL" is the local clock, exactly "SERVER" the
// server's authenticated time, anything else unknown.
CertificateTime get_certificate_time();

// NTP_REPORT_FORMAT: unset, empty or exactly "TEXT" is text, exactly "JSON" is JSON; false for
// anything else.
bool get_report_format(ReportFormat* format);

// STATUS_ADJUST_TIME only when STATUS_OF_EXECUTION is exactly "ADJUST_TIME".
ExecutionStatus get_execution_status();
