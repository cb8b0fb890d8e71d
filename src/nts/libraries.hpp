#pragma once

#include <nettle/siv-cmac.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

// The functions of OpenSSL (TLS, certificates, the key export) and nettle (AES-SIV) that NTS
// uses, one table. A plain run never fills it, so on Linux it never loads either library.
#define NTS_LIBRARY_FUNCTIONS(F)                                                                   \
    F(ssl, TLS_client_method)                                                                      \
    F(ssl, SSL_CTX_new)                                                                            \
    F(ssl, SSL_CTX_free)                                                                           \
    F(ssl, SSL_CTX_ctrl)                                                                           \
    F(ssl, SSL_CTX_set_verify)                                                                     \
    F(ssl, SSL_CTX_load_verify_dir)                                                                \
    F(ssl, SSL_CTX_load_verify_file)                                                               \
    F(ssl, SSL_CTX_set_alpn_protos)                                                                \
    F(ssl, SSL_new)                                                                                \
    F(ssl, SSL_free)                                                                               \
    F(ssl, SSL_shutdown)                                                                           \
    F(ssl, SSL_ctrl)                                                                               \
    F(ssl, SSL_set_fd)                                                                             \
    F(ssl, SSL_set1_host)                                                                          \
    F(ssl, SSL_get0_param)                                                                         \
    F(ssl, SSL_connect)                                                                            \
    F(ssl, SSL_write)                                                                              \
    F(ssl, SSL_read)                                                                               \
    F(ssl, SSL_get_error)                                                                          \
    F(ssl, SSL_get_verify_result)                                                                  \
    F(ssl, SSL_get0_alpn_selected)                                                                 \
    F(ssl, SSL_get_version)                                                                        \
    F(ssl, SSL_get_current_cipher)                                                                 \
    F(ssl, SSL_CIPHER_get_name)                                                                    \
    F(ssl, SSL_get1_peer_certificate)                                                              \
    F(ssl, SSL_export_keying_material)                                                             \
    F(ssl, X509_VERIFY_PARAM_set_flags)                                                            \
    F(ssl, SSL_get0_verified_chain)                                                                \
    F(ssl, OPENSSL_sk_num)                                                                         \
    F(ssl, OPENSSL_sk_value)                                                                       \
    F(ssl, X509_get0_notBefore)                                                                    \
    F(ssl, X509_get0_notAfter)                                                                     \
    F(ssl, ASN1_TIME_to_tm)                                                                        \
    F(ssl, X509_get_default_cert_dir)                                                              \
    F(ssl, X509_VERIFY_PARAM_set1_ip)                                                              \
    F(ssl, X509_verify_cert_error_string)                                                          \
    F(ssl, X509_get_subject_name)                                                                  \
    F(ssl, X509_NAME_oneline)                                                                      \
    F(ssl, X509_free)                                                                              \
    F(ssl, ERR_get_error)                                                                          \
    F(ssl, ERR_clear_error)                                                                        \
    F(ssl, ERR_error_string_n)                                                                     \
    F(nettle, nettle_siv_cmac_aes128_set_key)                                                      \
    F(nettle, nettle_siv_cmac_aes128_encrypt_message)                                              \
    F(nettle, nettle_siv_cmac_aes128_decrypt_message)

// Each pointer has the function's own type, from the library's header, so that a call through
// the table is checked as a direct call would be.
#define NTS_LIBRARY_TYPE(library, name) using name##_function = decltype(&(name));
NTS_LIBRARY_FUNCTIONS(NTS_LIBRARY_TYPE)
#undef NTS_LIBRARY_TYPE
#define NTS_LIBRARY_POINTER(library, name) name##_function name;
struct NtsLibraries {
    NTS_LIBRARY_FUNCTIONS(NTS_LIBRARY_POINTER)
};
#undef NTS_LIBRARY_POINTER

// Filled by nts_libraries_load.
extern NtsLibraries nts_lib;

// What each system gives NTS (src/nts/*/libraries.cpp, trust_store.cpp).
// Fills the table: on Linux it loads both libraries and looks up every function, on Windows
// the build has linked them in. nullptr when all are there, otherwise what is missing, in words.
const char* nts_libraries_load();
// Adds the system's trusted root certificates to the context's.
void trust_system_roots(SSL_CTX* context);
