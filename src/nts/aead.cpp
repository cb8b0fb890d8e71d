#include "nts/aead.hpp"

#include "nts/libraries.hpp"

namespace {

siv_cmac_aes128_ctx keyed(const uint8_t key[NTS_KEY_SIZE]) {
    siv_cmac_aes128_ctx context{};
    nts_lib.nettle_siv_cmac_aes128_set_key(&context, key);
    return context;
}

} // namespace

void aead_seal(const uint8_t key[NTS_KEY_SIZE], const uint8_t* nonce, size_t nonce_length,
               const uint8_t* associated, size_t associated_length, const uint8_t* plain,
               size_t plain_length, uint8_t* out) {
    siv_cmac_aes128_ctx context = keyed(key);
    nts_lib.nettle_siv_cmac_aes128_encrypt_message(&context, nonce_length, nonce, associated_length,
                                                   associated, plain_length + SIV_DIGEST_SIZE, out,
                                                   plain);
}

bool aead_open(const uint8_t key[NTS_KEY_SIZE], const uint8_t* nonce, size_t nonce_length,
               const uint8_t* associated, size_t associated_length, const uint8_t* cipher,
               size_t cipher_length, uint8_t* plain) {
    if (cipher_length < SIV_DIGEST_SIZE) {
        return false;
    }
    siv_cmac_aes128_ctx context = keyed(key);
    return nts_lib.nettle_siv_cmac_aes128_decrypt_message(
               &context, nonce_length, nonce, associated_length, associated,
               cipher_length - SIV_DIGEST_SIZE, plain, cipher) == 1;
}
