#include "nts/key_exchange.hpp"

#include <cstdio>
#include <cstring>

#include "ntp/escape.hpp"
#include "nts/big_endian.hpp"
#include "nts/ke_response.hpp"
#include "nts/libraries.hpp"
#include "platform/files.hpp"
#include "platform/monotonic_clock.hpp"
#include "platform/process.hpp"
#include "report/report.hpp"

namespace {

constexpr int64_t TIME_LIMIT_MS = 5000;
constexpr size_t RESPONSE_MAX = 16384;
constexpr unsigned char ALPN[] = {7, 'n', 't', 's', 'k', 'e', '/', '1'};
constexpr char EXPORTER_LABEL[] = "EXPORTER-network-time-security";
constexpr size_t TEXT_MAX = 512;
constexpr int64_t TRUSTED_FILE_MAX = int64_t{1024} * 1024;

struct Tls {
    SSL_CTX* context;
    SSL* ssl;
    NetSocket socket;
    int64_t deadline;
    CertificateDates* dates;
};

Tls tls;
uint8_t response_bytes[RESPONSE_MAX];

// Text that may come from the network or the user, escaped, so that it stays one harmless line.
struct Shown {
    char text[TEXT_MAX * ESCAPED_BYTE_SIZE];
};
Shown escaped(const char* text) {
    Shown shown{};
    escape_text(text, TEXT_MAX, false, shown.text, sizeof shown.text);
    return shown;
}

bool fail(const char* reason) {
    return report_error("NTS-KE %s.", escaped(reason).text);
}

template <typename... Values> bool fail(const char* format, Values... values) {
    char reason[TEXT_MAX];
    snprintf(reason, sizeof reason, format, values...);
    return fail(reason);
}

// The TLS library's reason for the last failure, with the certificate's where there is one.
bool fail_tls(const char* what) {
    const unsigned long error = nts_lib.ERR_get_error();
    char reason[256] = "connection closed by the server";
    if (error != 0) {
        nts_lib.ERR_error_string_n(error, reason, sizeof reason);
        // "error:0A000086:SSL routines::certificate verify failed": the words are last.
        if (const char* words = strrchr(reason, ':')) {
            memmove(reason, words + 1, strlen(words + 1) + 1);
        }
    }
    const long verified = nts_lib.SSL_get_verify_result(tls.ssl);
    // The dates are checked after the chain, its purposes, the name and the trust: a chain that
    // fails on them alone is one that a wrong local clock may have failed.
    const bool dates =
        verified == X509_V_ERR_CERT_NOT_YET_VALID || verified == X509_V_ERR_CERT_HAS_EXPIRED;
    if (dates && !tls.dates->at_server_time) {
        return fail("%s failed: %s (%s); if the local clock is wrong, NTS_CERTIFICATE_TIME=SERVER "
                    "checks the dates at the server's time",
                    what, reason, nts_lib.X509_verify_cert_error_string(verified));
    }
    if (verified != X509_V_OK) {
        return fail("%s failed: %s (%s)", what, reason,
                    nts_lib.X509_verify_cert_error_string(verified));
    }
    return fail("%s failed: %s", what, reason);
}

// An address line: in text its label, in JSON the members at the two paths (string literals).
void print_address(const char* label, const char* address_path, const char* port_path,
                   const NetAddress& address) {
    char text[ADDRESS_TEXT_SIZE];
    address_text(address, text, sizeof text);
    report_line(
        {{address_path, json_string(text)}, {port_path, json_integer(address_port(address))}},
        "%s = %s, Port = %u\n", label, text, address_port(address));
}

// The certificate is checked for what the user named: the address connected to, whatever way
// of writing it the user chose (127.0.0.010 is 127.0.0.8, as the connect reads it), or the
// name, which also goes out as SNI. A name that cannot be checked ends the exchange rather than
// go unchecked.
bool check_certificate_for(const char* name, const NetAddress& address) {
    bool checked = false;
    if (is_address_literal(name)) {
        uint8_t bytes[16];
        const size_t length = address_bytes(address, bytes);
        checked =
            nts_lib.X509_VERIFY_PARAM_set1_ip(nts_lib.SSL_get0_param(tls.ssl), bytes, length) == 1;
    } else {
        nts_lib.SSL_ctrl(tls.ssl, SSL_CTRL_SET_TLSEXT_HOSTNAME, TLSEXT_NAMETYPE_host_name,
                         const_cast<char*>(name));
        checked = nts_lib.SSL_set1_host(tls.ssl, name) == 1;
    }
    return checked || fail("cannot check a certificate for %s", name);
}

// The user's own trusted certificates, from a regular file of a bundle's size only: reading a
// FIFO, a device or a huge file can take for ever, and the exchange's time limit has not started
// yet. A whole system bundle is about 200 KiB.
bool trust_user_file() {
    const char* file = environment_variable("NTS_TRUSTED_CERTS");
    if (file == nullptr || file[0] == '\0') {
        return true;
    }
    if (const char* why = unreadable_file(file, TRUSTED_FILE_MAX)) {
        return fail("cannot read trusted certificates from %s (%s)", file, why);
    }
    return nts_lib.SSL_CTX_load_verify_file(tls.context, file) == 1 ||
           fail("cannot read trusted certificates from %s", file);
}

// The context and the connection's settings: TLS 1.3 only, ALPN ntske/1, the certificate
// verified against the system's trusted roots and the user's own file.
bool set_up(const char* name, const NetAddress& address) {
    tls.context = nts_lib.SSL_CTX_new(nts_lib.TLS_client_method());
    if (tls.context == nullptr) {
        return fail("cannot set up TLS");
    }
    trust_system_roots(tls.context);
    if (!trust_user_file()) {
        return false;
    }
    nts_lib.SSL_CTX_set_verify(tls.context, SSL_VERIFY_PEER, nullptr);
    nts_lib.SSL_CTX_ctrl(tls.context, SSL_CTRL_SET_MIN_PROTO_VERSION, TLS1_3_VERSION, nullptr);
    // With auto-retry, one read goes on through post-handshake messages (session tickets, key
    // updates) for as long as a server sends them; without, each returns, and the time limit
    // is checked between them.
    nts_lib.SSL_CTX_ctrl(tls.context, SSL_CTRL_CLEAR_MODE, SSL_MODE_AUTO_RETRY, nullptr);
    // Returns 0 on success.
    const bool alpn = nts_lib.SSL_CTX_set_alpn_protos(tls.context, ALPN, sizeof ALPN) == 0;
    tls.ssl = nts_lib.SSL_new(tls.context);
    if (!alpn || tls.ssl == nullptr) {
        return fail("cannot set up TLS");
    }
    // Only the dates wait, for the server's authenticated time; the chain, its signatures and
    // purposes and the name are verified now.
    if (tls.dates->at_server_time) {
        nts_lib.X509_VERIFY_PARAM_set_flags(nts_lib.SSL_get0_param(tls.ssl),
                                            X509_V_FLAG_NO_CHECK_TIME);
    }
    return check_certificate_for(name, address);
}

enum Outcome { DONE, FAILED, TIMED_OUT, CLOSED };

// Repeats a TLS call on the non-blocking socket, waiting as the library asks, until it does
// something or the deadline passes; the deadline is checked on every turn, whatever the server
// sends.
template <typename Call> Outcome repeat(Call call, int* result) {
    for (;;) {
        if (monotonic_milliseconds() >= tls.deadline) {
            return TIMED_OUT;
        }
        *result = call();
        if (*result > 0) {
            return DONE;
        }
        const int error = nts_lib.SSL_get_error(tls.ssl, *result);
        if (error == SSL_ERROR_ZERO_RETURN) {
            return CLOSED;
        }
        if (error != SSL_ERROR_WANT_READ && error != SSL_ERROR_WANT_WRITE) {
            return FAILED;
        }
        const int64_t left = tls.deadline - monotonic_milliseconds();
        if (left <= 0 || socket_wait(tls.socket, error == SSL_ERROR_WANT_WRITE,
                                     static_cast<int>(left)) != SOCKET_READY) {
            return TIMED_OUT;
        }
    }
}

bool fail_outcome(Outcome outcome, const char* what) {
    if (outcome == TIMED_OUT) {
        return fail("%s: no answer within 5 seconds", what);
    }
    return outcome == CLOSED ? fail("%s cut short: the server closed the connection", what)
                             : fail_tls(what);
}

// The dates of every certificate of the chain just verified, for their check at the server's
// time; false when there is none, or one cannot be read.
bool take_chain_dates() {
    const STACK_OF(X509)* chain = nts_lib.SSL_get0_verified_chain(tls.ssl);
    const int count =
        chain != nullptr ? nts_lib.OPENSSL_sk_num(ossl_check_const_X509_sk_type(chain)) : 0;
    for (int i = 0; i < count; ++i) {
        const auto* certificate = static_cast<const X509*>(
            nts_lib.OPENSSL_sk_value(ossl_check_const_X509_sk_type(chain), i));
        tm not_before{};
        tm not_after{};
        if (nts_lib.ASN1_TIME_to_tm(nts_lib.X509_get0_notBefore(certificate), &not_before) != 1 ||
            nts_lib.ASN1_TIME_to_tm(nts_lib.X509_get0_notAfter(certificate), &not_after) != 1) {
            return false;
        }
        take_certificate_dates(tls.dates, not_before, not_after);
    }
    return count > 0;
}

bool handshake() {
    nts_lib.SSL_set_fd(tls.ssl, static_cast<int>(tls.socket));
    int result = 0;
    const Outcome outcome = repeat([] { return nts_lib.SSL_connect(tls.ssl); }, &result);
    if (outcome != DONE) {
        return fail_outcome(outcome, "TLS handshake");
    }
    const char* version = nts_lib.SSL_get_version(tls.ssl);
    const char* cipher = nts_lib.SSL_CIPHER_get_name(nts_lib.SSL_get_current_cipher(tls.ssl));
    report_line(
        {{"nts_ke.tls.version", json_string(version)}, {"nts_ke.tls.cipher", json_string(cipher)}},
        "NTS-KE TLS = %s, %s\n", version, cipher);
    X509* certificate = nts_lib.SSL_get1_peer_certificate(tls.ssl);
    char subject[TEXT_MAX] = "";
    if (certificate != nullptr) {
        nts_lib.X509_NAME_oneline(nts_lib.X509_get_subject_name(certificate), subject,
                                  sizeof subject);
        nts_lib.X509_free(certificate);
    }
    report_line({{"nts_ke.certificate.subject", json_string(subject)}}, "NTS-KE Certificate = %s\n",
                escaped(subject).text);
    if (tls.dates->at_server_time) {
        if (!take_chain_dates()) {
            return fail("cannot read the certificates' dates");
        }
        report_line({{"nts_ke.certificate.dates_checked_at", json_string("server's time")},
                     {"nts_ke.certificate.why", json_string(tls.dates->why)}},
                    "NTS-KE Certificate Dates = to be checked at the server's time (%s)\n",
                    tls.dates->why);
    } else {
        report_line({{"nts_ke.certificate.dates_checked_at", json_string("local clock")}}, nullptr);
    }
    const unsigned char* selected = nullptr;
    unsigned selected_length = 0;
    nts_lib.SSL_get0_alpn_selected(tls.ssl, &selected, &selected_length);
    if (selected_length != sizeof ALPN - 1 || memcmp(selected, ALPN + 1, selected_length) != 0) {
        return fail("server did not agree to ntske/1 (ALPN)");
    }
    return true;
}

// Sends the request and reads records up to End of Message; the length of the response, up to
// and including it, or 0. What the server sends after it is not read.
size_t converse() {
    int written = 0;
    const Outcome sent = repeat(
        [] { return nts_lib.SSL_write(tls.ssl, NTS_KE_REQUEST, sizeof NTS_KE_REQUEST); }, &written);
    if (sent != DONE) {
        fail_outcome(sent, "request");
        return 0;
    }
    size_t received = 0;
    size_t whole = 0;
    while (whole == 0) {
        if (received == RESPONSE_MAX) {
            fail("response longer than %zu bytes", RESPONSE_MAX);
            return 0;
        }
        int got = 0;
        const Outcome read = repeat(
            [received] {
                return nts_lib.SSL_read(tls.ssl, response_bytes + received,
                                        static_cast<int>(RESPONSE_MAX - received));
            },
            &got);
        if (read != DONE) {
            fail_outcome(read, "response");
            return 0;
        }
        received += static_cast<size_t>(got);
        whole = ke_response_length(response_bytes, received);
    }
    return whole;
}

bool take_response(size_t length, const NetAddress& address, NtsSession* session) {
    char host[KE_HOST_SIZE];
    uint16_t port = 0;
    if (const char* rejection = ke_take_response(response_bytes, length, session, host, &port)) {
        return fail("response rejected: %s", rejection);
    }
    // Without a server record the NTP server is the key exchange's own address.
    if (host[0] == '\0') {
        address_text(address, host, sizeof host);
    }
    if (!resolve_host(host, port, &session->ntp_server)) {
        return fail("NTP server %s does not resolve", host);
    }
    print_address("NTS-KE NTP Server", "nts_ke.ntp_server.address", "nts_ke.ntp_server.port",
                  session->ntp_server);
    return true;
}

bool export_key(uint8_t direction, uint8_t key[NTS_KEY_SIZE]) {
    uint8_t context[5] = {0, 0, 0, 0, direction};
    put_u16(context, NTS_PROTOCOL_NTPV4);
    put_u16(context + 2, NTS_AEAD_AES_SIV_CMAC_256);
    return nts_lib.SSL_export_keying_material(tls.ssl, key, NTS_KEY_SIZE, EXPORTER_LABEL,
                                              sizeof EXPORTER_LABEL - 1, context, sizeof context,
                                              1) == 1;
}

bool exchange_keys(const char* name, const NetAddress& address, NtsSession* session) {
    if (!set_up(name, address)) {
        return false;
    }
    tls.deadline = monotonic_milliseconds() + TIME_LIMIT_MS;
    const char* why = nullptr;
    tls.socket = tcp_connect(address, static_cast<int>(TIME_LIMIT_MS), &why);
    if (tls.socket == NO_SOCKET) {
        return fail("connection failed: %s", why);
    }
    print_address("NTS-KE Server", "nts_ke.server.address", "nts_ke.server.port", address);
    if (!handshake()) {
        return false;
    }
    const size_t length = converse();
    if (length == 0 || !take_response(length, address, session)) {
        return false;
    }
    return (export_key(0, session->c2s_key) && export_key(1, session->s2c_key)) ||
           fail("key export failed");
}

void end_session() {
    nts_lib.SSL_free(tls.ssl);
    nts_lib.SSL_CTX_free(tls.context);
    tls.ssl = nullptr;
    tls.context = nullptr;
}

} // namespace

bool nts_key_exchange(const char* name, const NetAddress& address, NtsSession* session) {
    if (const char* missing = nts_libraries_load()) {
        return fail(missing);
    }
    nts_lib.ERR_clear_error();
    tls = Tls{nullptr, nullptr, NO_SOCKET, 0, &session->dates};
    const bool exchanged = exchange_keys(name, address, session);
    // close_notify: the session ends here, on the socket it ran over, whatever is kept of it.
    if (exchanged) {
        nts_lib.SSL_shutdown(tls.ssl);
    }
    if (tls.socket != NO_SOCKET) {
        socket_close(tls.socket);
    }
    end_session();
    return exchanged;
}
