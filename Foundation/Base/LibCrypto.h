#pragma once

#include <openssl/crypto.h>
#include <openssl/evp.h>

namespace Base {
namespace Encrypt {

// The libcrypto functions the encryption calls: AES-256 in CBC and ECB
// through the EVP interface, and the wiping of secrets.
struct LibCryptoApi
{
    decltype(&EVP_CIPHER_CTX_new) cipherContextNew;
    decltype(&EVP_CIPHER_CTX_free) cipherContextFree;
    decltype(&EVP_aes_256_cbc) aes256Cbc;
    decltype(&EVP_aes_256_ecb) aes256Ecb;
    decltype(&EVP_CipherInit_ex) cipherInit;
    decltype(&EVP_CIPHER_CTX_set_padding) setPadding;
    decltype(&EVP_CipherUpdate) cipherUpdate;
    decltype(&EVP_CipherFinal_ex) cipherFinal;
    decltype(&OPENSSL_cleanse) cleanse;
};

// libcrypto, loaded at the first encryption or decryption rather than at
// start: the host seldom encrypts, and need not map the library until then.
// Once loaded it stays (it cannot be unloaded).
class LibCrypto
{
public:
    // The functions; null, with the reason logged once, when the library
    // cannot be loaded.
    static const LibCryptoApi* api();
};

} // namespace Encrypt
} // namespace Base
