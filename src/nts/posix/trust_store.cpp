#include "nts/libraries.hpp"

// The system's hashed certificate directory, from which a chain reads only the certificates it
// needs: the whole bundle file costs tens of milliseconds a run.
void trust_system_roots(SSL_CTX* context) {
    nts_lib.SSL_CTX_load_verify_dir(context, nts_lib.X509_get_default_cert_dir());
}
