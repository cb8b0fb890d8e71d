// Windows' own headers first: OpenSSL's undo the names of wincrypt.h that clash with its own.
#include <windows.h>

#include <wincrypt.h>

#include "nts/libraries.hpp"

// Windows keeps its trusted roots in the system's ROOT store, of which OpenSSL knows nothing:
// each certificate there is copied into the context's store. The program links OpenSSL, so it
// calls it directly.
void trust_system_roots(SSL_CTX* context) {
    HCERTSTORE roots = CertOpenSystemStoreW(0, L"ROOT");
    if (roots == nullptr) {
        return;
    }
    X509_STORE* trusted = SSL_CTX_get_cert_store(context);
    PCCERT_CONTEXT certificate = nullptr;
    while ((certificate = CertEnumCertificatesInStore(roots, certificate)) != nullptr) {
        const unsigned char* encoded = certificate->pbCertEncoded;
        X509* copy = d2i_X509(nullptr, &encoded, static_cast<long>(certificate->cbCertEncoded));
        if (copy != nullptr) {
            X509_STORE_add_cert(trusted, copy);
            X509_free(copy);
        }
    }
    CertCloseStore(roots, 0);
}
