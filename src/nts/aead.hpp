#pragma once

#include <cstddef>
#include <cstdint>

// AEAD_AES_SIV_CMAC_256 (RFC 5297), as NTS uses it: the associated data and the nonce are the
// two inputs of S2V, in that order; the ciphertext is the 16-byte tag, then the encrypted text.
constexpr size_t NTS_KEY_SIZE = 32;

// Writes plain_length + 16 bytes to out.
void aead_seal(const uint8_t key[NTS_KEY_SIZE], const uint8_t* nonce, size_t nonce_length,
               const uint8_t* associated, size_t associated_length, const uint8_t* plain,
               size_t plain_length, uint8_t* out);

// Writes cipher_length - 16 bytes to plain; true only when the tag verifies (never for a
// ciphertext shorter than the tag).
bool aead_open(const uint8_t key[NTS_KEY_SIZE], const uint8_t* nonce, size_t nonce_length,
               const uint8_t* associated, size_t associated_length, const uint8_t* cipher,
               size_t cipher_length, uint8_t* plain);
