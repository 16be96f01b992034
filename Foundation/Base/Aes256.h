#pragma once

#include <cstdint>

namespace Base {
namespace Encrypt {

// The AES block cipher with a 256-bit key: the key is expanded once, then
// 16-byte blocks are enciphered or deciphered one at a time. Modes and
// padding are the caller's.
class Aes256
{
public:
    static constexpr int kKeySize = 32;
    static constexpr int kBlockSize = 16;

    explicit Aes256(const unsigned char* key);
    ~Aes256();  // wipes the round keys

    Aes256(const Aes256&) = delete;
    Aes256& operator=(const Aes256&) = delete;

    void encryptBlock(const unsigned char* in, unsigned char* out) const;
    void decryptBlock(const unsigned char* in, unsigned char* out) const;

private:
    static constexpr int kRounds = 14;
    std::uint8_t m_roundKeys[kBlockSize * (kRounds + 1)];
};

} // namespace Encrypt
} // namespace Base
