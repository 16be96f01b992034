#pragma once

#include <cstddef>
#include <string>

namespace Base {
namespace Encrypt {

// AES parameters: two texts of key material and the block mode.
//
// The cipher is AES-256. Its key is SHA-256 over both texts (so any length
// is accepted, and the empty default record is a valid, fixed key known only
// to this library). Base64AndAESEncode authenticates what it produces with
// HMAC-SHA-256 under a second key derived from the same texts, so a wrong key
// or a damaged text is detected on decoding instead of yielding garbage.
// In CBC mode every message gets a fresh random IV stored in front of it.
// The cipher is libcrypto's, loaded at the first encryption or decryption.
// Key material is wiped when it is no longer needed, also the texts of a
// record when the record goes.
struct AESParams
{
    enum class Mode { CBC, ECB };

    ~AESParams();

    std::string key;  // first text of key material
    std::string salt; // second text of key material
    Mode mode = Mode::CBC;
};

// The parameters in force on the calling thread (the default record when no
// guard is alive).
const AESParams& CurrentAESParams();

// Makes `params` the current parameters of the calling thread while the
// guard lives; the previous ones come back when it is destroyed. Guards nest.
class CAESParamsSetRAII
{
public:
    explicit CAESParamsSetRAII(const AESParams& params);
    ~CAESParamsSetRAII();

    CAESParamsSetRAII(const CAESParamsSetRAII&) = delete;
    CAESParamsSetRAII& operator=(const CAESParamsSetRAII&) = delete;

private:
    AESParams m_previous;
};

// Encrypts the bytes of `in` (any bytes, empty included) under the current
// parameters and writes the Base64 text (one line) into `out`.
bool Base64AndAESEncode(std::string& out, const std::string& in);

// Reverses Base64AndAESEncode under the current parameters. False (with `out`
// emptied) for empty, malformed or damaged text and for a wrong key.
bool AESBase64Decode(std::string& out, const std::string& in);

// Raw AES-256-ECB without padding under the current parameters' key.
// ecbEncrypt pads `data` with zero bytes to a whole number of 16-byte blocks;
// ecbDecrypt needs a whole number of blocks and drops trailing zero bytes
// from the result, so a text enciphered with ecbEncrypt comes back as it was.
bool ecbEncrypt(std::string& out, const unsigned char* data, std::size_t length);
bool ecbDecrypt(std::string& out, const unsigned char* data, std::size_t length);

// SHA-256 digest of `text` into `out` (at least 32 bytes, `outSize`).
// `maxTextLength` bounds the text: a longer text is refused. False when
// `out` is null or too small.
bool Sha256(unsigned char* out, std::size_t outSize, const std::string& text, std::size_t maxTextLength);

// Standard Base64 (with padding, no line breaks) of `length` bytes.
bool Base64EncodeEx(std::string& out, const unsigned char* data, std::size_t length);
// Reverse of Base64EncodeEx (surrounding white space ignored); false for
// malformed text.
bool Base64DecodeEx(std::string& out, const std::string& text);

} // namespace Encrypt
} // namespace Base
