#!/usr/bin/env python3
"""What the test suite catches, measured: each small deliberate fault below is put into a
throw-away copy of the tree (never into the tree itself), one at a time, and the default
preset's tests run against it. Prints, for each, whether the suite failed and which tests did,
then the count caught. ONLY=3,7 runs only those; COPY is the folder of the copy.
  bench/mutation.py [COPY]
"""
import os
import re
import subprocess
import sys
import time

MUTANTS = [  # (file, text, its faulty replacement)
 ('src/platform/posix/sockets.cpp', 'return from_icmp(errno) ? RECEIVE_PASSED_OVER : RECEIVE_FAILED;', 'return RECEIVE_FAILED;'),
 ('src/platform/posix/sockets.cpp', 'case EPROTO:', 'case EILSEQ:'),
 ('src/platform/posix/sockets.cpp', '&message, MSG_TRUNC | MSG_DONTWAIT);', '&message, MSG_DONTWAIT);'),
 ('src/platform/posix/name_lookup.cpp', 'NAME_LOOKUP_LIMIT_MS) != 1;', '-1) != 1;'),
 ('src/ntp/timestamp.cpp', 'static_cast<double>(static_cast<int64_t>(later - earlier))', 'static_cast<double>(later - earlier)'),
 ('src/ntp/timestamp.cpp', 'ntp_difference(t3, t4)) * 0.5;', 'ntp_difference(t3, t4)) * 2;'),
 ('src/ntp/timestamp.cpp', 't1) - ntp_difference(t3, t2);', 't1) - ntp_difference(t2, t3);'),
 ('src/ntp/timestamp.cpp', '(nanoseconds << 32) / NANOSECONDS_PER_SECOND', '(nanoseconds << 31) / NANOSECONDS_PER_SECOND'),
 ('src/ntp/timestamp.cpp', 'return fixed / 65536.0;', 'return fixed / 32768.0;'),
 ('src/ntp/timestamp.cpp', 'static_cast<double>(time & 0xFFFFFFFF) * FRACTION_UNIT', 'static_cast<double>(time & 0xFFFFFF) * FRACTION_UNIT'),
 ('src/app/config.cpp', 'if (length >= NTP_SERVER_NAME_SIZE) {', 'if (length > NTP_SERVER_NAME_SIZE) {'),
 ('src/app/config.cpp', 'strcmp(status, "ADJUST_TIME") == 0', 'strncmp(status, "ADJUST_TIME", 11) == 0'),
 ('src/ntp/server_text.cpp', 'port * 10 +', 'port * 16 +'),
 ('src/ntp/server_text.cpp', 'return negative ? static_cast<uint16_t>(-port) : port;', 'return port;'),
 ('src/ntp/server_text.cpp', "return close[1] == ':' ?", "return close[0] == ':' ?"),
 ('src/ntp/report.cpp', 'reply.bytes[NTP_OFFSET_POLL] & 0x0F', 'reply.bytes[NTP_OFFSET_POLL] & 0x1F'),
 ('src/ntp/packet.hpp', ': byte - 256;', ': byte - 255;'),
 ('src/ntp/report.cpp', 'if (stratum == 0 || stratum == 1) {', 'if (stratum == 0) {'),
 ('src/ntp/escape.cpp', 'byte < 0x20 ||', 'byte < 0x0A ||'),
 ('src/ntp/escape.cpp', 'byte == 0x7F ||', 'byte == 0x7E ||'),
 ('src/ntp/reply_check.cpp', 'if (mode != MODE_SERVER) {', 'if (mode == 0) {'),
 ('src/ntp/reply_check.cpp', 'version > 4) {', 'version > 5) {'),
 ('src/ntp/reply_check.cpp', 'if (stratum > STRATUM_MAX) {', 'if (stratum > STRATUM_MAX + 1) {'),
 ('src/ntp/reply_check.cpp', 'ROOT_DISTANCE_LIMIT = 1.0;', 'ROOT_DISTANCE_LIMIT = 16.0;'),
 ('src/ntp/reply_check.cpp', 'CLIENT_PRECISION = 1e-6;', 'CLIENT_PRECISION = 1e-3;'),
 ('src/ntp/reply_check.cpp', 'NTP_TIMESTAMP_SIZE) != 0) {', 'NTP_TIMESTAMP_SIZE) < 0) {'),
 ('src/ntp/reply_check.cpp', 'if (reply.length < static_cast<long>(NTP_PACKET_SIZE)) {', 'if (reply.length < static_cast<long>(NTP_PACKET_SIZE) - 1) {'),
 ('src/ntp/reply_check.cpp', 'if (ntp_leap_indicator(reply) == LEAP_NOT_SYNCHRONIZED) {', 'if (ntp_leap_indicator(reply) == 2) {'),
 ('src/ntp/reply_check.cpp', 'if (bytes[i] != 0) {', 'if (bytes[i] == 0) {'),
 ('src/clock/adjust.cpp', 'now + std::llround(offset * NANOSECONDS_PER_SECOND)', 'now + std::llround(offset * 1000) * 1000000'),
 ('src/ntp/reply_check.cpp', 'NTP_OFFSET_ROOT_DISPERSION)) + precision(reply);', 'NTP_OFFSET_ROOT_DISPERSION));'),
 ('src/clock/adjust.cpp', 'unix_seconds >= 0 &&', 'unix_seconds > 0 &&'),
 ('src/ntp/exchange.cpp', 'NTP_OFFSET_TRANSMIT_TIME), NTP_TIMESTAMP_SIZE);', 'NTP_OFFSET_TRANSMIT_TIME), NTP_TIMESTAMP_SIZE - 2);'),
 ('src/app/run.cpp', 'return !query.adjust || stranger_rejection(exchange) == nullptr;', 'return true;'),
 ('src/ntp/exchange.cpp', 'constexpr int MOST = 256;', 'constexpr int MOST = 0;'),
 ('src/ntp/exchange.cpp', 'constexpr int REPLY_WAIT_MS = 3000;', 'constexpr int REPLY_WAIT_MS = 2000;'),
 ('src/app/run.cpp', 'unix_seconds(exchange.reply.arrived) + offset;', 'unix_seconds(exchange.reply.arrived) - offset;'),
 ('src/app/run.cpp', 'const NtpTime t1 = ntp_time_of(exchange.sent);', 'const NtpTime t1 = ntp_time_from_bytes(ntp_field(reply, NTP_OFFSET_ORIGINATE_TIME));'),
 ('src/app/main.cpp', 'if (fflush(ntp_out) != 0 || ferror(ntp_out) != 0) {', 'if (fflush(ntp_out) != 0) {'),
 ('src/platform/posix/process.cpp', '    signal(SIGPIPE, SIG_IGN);\n', ''),
 ('src/platform/posix/process.cpp', 'return secure_getenv(name);', 'return getenv(name);'),
 ('src/platform/addresses.cpp', 'return one.sin_port == other.sin_port && ', 'return '),
 ('src/platform/addresses.cpp', 'any.sin_port = htons(port);', 'any.sin_port = htons(port + 1);'),
 ('src/ntp/exchange.cpp', '        if (!have_first) {\n            first = datagram;', '        if (true) {\n            first = datagram;'),
 ('src/platform/posix/process.cpp', 'open_if_closed(STDOUT_FILENO, O_RDONLY);', 'open_if_closed(STDOUT_FILENO, O_RDWR);'),
 ('src/ntp/exchange.cpp', 'if (!udp_connect(socket, server)) {', 'if (false) {'),
 ('src/ntp/server_text.cpp', 'return negative ? static_cast<uint16_t>(-port) : port;', 'return negative ? port : port;'),
 ('src/platform/addresses.cpp', 'return one.sin6_port == other.sin6_port &&', 'return'),
 ('src/ntp/escape.cpp', '(byte == \'\\\\\' ? "\\\\\\\\" : "%c")', '(byte == \'\\\\\' ? "%c" : "%c")'),
 ('src/ntp/reply_check.cpp', 'if (stratum == STRATUM_KISS) {', 'if (stratum == 99) {'),
 ('src/nts/key_exchange.cpp', 'SSL_CTX_set_verify(tls.context, SSL_VERIFY_PEER, nullptr)', 'SSL_CTX_set_verify(tls.context, SSL_VERIFY_NONE, nullptr)'),
 ('src/nts/key_exchange.cpp', 'if (selected_length != sizeof ALPN - 1 ||', 'if (selected_length == 99 &&'),
 ('src/nts/key_exchange.cpp', 'export_key(0, session->c2s_key) && export_key(1, session->s2c_key)', 'export_key(0, session->c2s_key) && export_key(0, session->s2c_key)'),
 ('src/nts/ke_records.cpp', 'if (critical) {', 'if (critical && type == 0) {'),
 ('src/nts/ke_records.cpp', 'return response.cookies == 0 ? "no cookie" : nullptr;', 'return nullptr;'),
 ('src/nts/authenticator.cpp', 'if (authenticator != &fields.fields[fields.count - 1]) {', 'if (false) {'),
 ('src/nts/authenticator.cpp', 'if (!echoes(*unique_id, datagram, session.unique_id)) {', 'if (!echoes(*unique_id, datagram, session.unique_id) && false) {'),
 ('src/nts/authenticator.cpp', 'if (is_nak(datagram)) {', 'if (is_nak(datagram) && false) {'),
 ('src/nts/fields.cpp', 'field_length % 4 != 0 ||', ''),
 ('src/app/run.cpp', 'return nts_reply_rejection(*query.nts, exchange) == nullptr;', 'return stranger_rejection(exchange) == nullptr;'),
 ('src/nts/key_exchange.cpp', 'SSL_CTRL_CLEAR_MODE, SSL_MODE_AUTO_RETRY', 'SSL_CTRL_MODE, SSL_MODE_AUTO_RETRY'),
 ('src/nts/key_exchange.cpp', 'if (is_address_literal(name)) {', 'if (false) {'),
 ('src/nts/key_exchange.cpp', 'if (const char* why = unreadable_file(file, TRUSTED_FILE_MAX)) {', 'if (const char* why = nullptr) {'),
 ('src/app/run.cpp', 'report_unauthenticated(query.adjust, unauthenticated);\n            return 0;', 'report_unauthenticated(query.adjust, unauthenticated);'),
 ('src/nts/posix/trust_store.cpp', 'nts_lib.SSL_CTX_load_verify_dir(context, nts_lib.X509_get_default_cert_dir());', 'nts_lib.SSL_CTX_load_verify_dir(context, "/nowhere");'),
 ('src/nts/authenticator.hpp', '4 + NTS_NONCE_SIZE + NTS_TAG_SIZE;', '4 + NTS_NONCE_SIZE + NTS_TAG_SIZE - 8;'),
 ('src/nts/ke_records.hpp', 'char server[NTS_HOST_MAX + 1];', 'char server[NTS_HOST_MAX - 1];'),
]



def sh(command, **kwargs):
    return subprocess.run(command, shell=True, check=False, **kwargs).returncode == 0


ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
COPY = sys.argv[1] if len(sys.argv) > 1 else "/tmp/sntp-mutation"
ONLY = [int(x) for x in os.environ.get("ONLY", "").split(",") if x]
CHRONYD = subprocess.run([f"{ROOT}/tests/chronyd.sh"], capture_output=True, text=True,
                         check=False).stdout.strip()
ENV = dict(os.environ, SNTP_TEST_CHRONYD=CHRONYD)


def suite_fails(log):
    built = sh(f"cd {COPY} && cmake --build --preset default >{log} 2>&1")
    return not built or not sh(f"cd {COPY} && timeout 600 ctest --preset default >>{log} 2>&1",
                               env=ENV)


def failed_tests(log):
    with open(log) as text:
        return sorted(set(re.findall(r"\d+ - ([A-Za-z0-9_.]+) \(", text.read())))


sh(f"rm -rf {COPY} && mkdir -p {COPY} && cd {ROOT} && "
   f"tar -c --exclude='./build*' --exclude=./.git . | tar -x -C {COPY}")
sh(f"cd {COPY} && cmake --preset default >/dev/null")
print("baseline:", "FAILS" if suite_fails(f"{COPY}/baseline.log") else "passes", flush=True)
caught = tried = 0
for number, (path, text, fault) in enumerate(MUTANTS, 1):
    if ONLY and number not in ONLY:
        continue
    with open(os.path.join(COPY, path)) as source:
        original = source.read()
    assert original.count(text) == 1, (number, path, text)
    with open(os.path.join(COPY, path), "w") as source:
        source.write(original.replace(text, fault))
    started, log = time.time(), f"{COPY}/mutant{number}.log"
    failed = suite_fails(log)
    caught, tried = caught + failed, tried + 1
    print(f"{number:2} {'caught' if failed else 'MISSED'} {path}: {fault.strip()[:60]!r} "
          f"{' '.join(failed_tests(log)) if failed else ''} ({time.time() - started:.0f} s)",
          flush=True)
    with open(os.path.join(COPY, path), "w") as source:
        source.write(original)
print(f"caught {caught} of {tried}")
