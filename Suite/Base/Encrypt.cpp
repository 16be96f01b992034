#include "Base/Encrypt.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <openssl/rand.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

namespace Base {
namespace Encrypt {

namespace {

thread_local AESParams t_current;

using Bytes = std::vector<unsigned char>;

constexpr std::size_t kKeySize = 32;    // AES-256
constexpr std::size_t kBlockSize = 16;
constexpr std::size_t kMacSize = 32;    // HMAC-SHA-256
constexpr unsigned char kFormatVersion = 1;

// SHA-256 over a purpose tag and both texts, each text preceded by its
// length so that ("ab", "c") and ("a", "bc") give different keys.
Bytes deriveKey(const char* purpose, const AESParams& params)
{
    std::string material(purpose);
    material.push_back('\0');
    for (const std::string* text : {&params.key, &params.salt}) {
        const std::uint32_t size = static_cast<std::uint32_t>(text->size());
        for (int shift = 24; shift >= 0; shift -= 8)
            material.push_back(static_cast<char>((size >> shift) & 0xFF));
        material += *text;
    }
    Bytes key(kKeySize);
    unsigned int length = 0;
    if (EVP_Digest(material.data(), material.size(), key.data(), &length, EVP_sha256(), nullptr) != 1)
        key.clear();
    OPENSSL_cleanse(&material[0], material.size());
    return key;
}

struct CipherCtxDeleter
{
    void operator()(EVP_CIPHER_CTX* ctx) const { EVP_CIPHER_CTX_free(ctx); }
};

// One whole encryption or decryption with EVP.
bool runCipher(const EVP_CIPHER* cipher, bool encrypt, bool padding, const Bytes& key, const unsigned char* iv,
               const unsigned char* data, std::size_t length, Bytes& out)
{
    out.clear();
    if (key.size() != kKeySize || length > static_cast<std::size_t>(INT32_MAX) - kBlockSize)
        return false;
    std::unique_ptr<EVP_CIPHER_CTX, CipherCtxDeleter> ctx(EVP_CIPHER_CTX_new());
    if (!ctx || EVP_CipherInit_ex(ctx.get(), cipher, nullptr, key.data(), iv, encrypt ? 1 : 0) != 1)
        return false;
    EVP_CIPHER_CTX_set_padding(ctx.get(), padding ? 1 : 0);
    Bytes result(length + kBlockSize);
    int written = 0;
    int last = 0;
    if (EVP_CipherUpdate(ctx.get(), result.data(), &written, data, static_cast<int>(length)) != 1 ||
        EVP_CipherFinal_ex(ctx.get(), result.data() + written, &last) != 1)
        return false;
    result.resize(static_cast<std::size_t>(written + last));
    out.swap(result);
    return true;
}

bool hmac(const Bytes& key, const unsigned char* data, std::size_t length, unsigned char* mac)
{
    unsigned int macLength = 0;
    return key.size() == kKeySize &&
           HMAC(EVP_sha256(), key.data(), static_cast<int>(key.size()), data, length, mac, &macLength) != nullptr &&
           macLength == kMacSize;
}

unsigned char modeByte(AESParams::Mode mode)
{
    return mode == AESParams::Mode::ECB ? 2 : 1;
}

void trimWhitespace(std::string& text)
{
    const char* spaces = " \t\r\n";
    const std::size_t first = text.find_first_not_of(spaces);
    if (first == std::string::npos) {
        text.clear();
        return;
    }
    text = text.substr(first, text.find_last_not_of(spaces) - first + 1);
}

} // namespace

const AESParams& CurrentAESParams()
{
    return t_current;
}

CAESParamsSetRAII::CAESParamsSetRAII(const AESParams& params)
    : m_previous(t_current)
{
    t_current = params;
}

CAESParamsSetRAII::~CAESParamsSetRAII()
{
    t_current = std::move(m_previous);
}

// Layout before Base64: version, mode, [IV in CBC], ciphertext, HMAC of all
// that precedes it.
bool Base64AndAESEncode(std::string& out, const std::string& in)
{
    out.clear();
    const AESParams& params = t_current;
    const Bytes encKey = deriveKey("Tavrin.AES.enc", params);
    const Bytes macKey = deriveKey("Tavrin.AES.mac", params);
    const bool cbc = params.mode == AESParams::Mode::CBC;

    Bytes message{kFormatVersion, modeByte(params.mode)};
    unsigned char iv[kBlockSize] = {};
    if (cbc) {
        if (RAND_bytes(iv, sizeof iv) != 1)
            return false;
        message.insert(message.end(), iv, iv + sizeof iv);
    }
    Bytes cipherText;
    if (!runCipher(cbc ? EVP_aes_256_cbc() : EVP_aes_256_ecb(), true, true, encKey, cbc ? iv : nullptr,
                   reinterpret_cast<const unsigned char*>(in.data()), in.size(), cipherText))
        return false;
    message.insert(message.end(), cipherText.begin(), cipherText.end());
    unsigned char mac[kMacSize];
    if (!hmac(macKey, message.data(), message.size(), mac))
        return false;
    message.insert(message.end(), mac, mac + sizeof mac);
    return Base64EncodeEx(out, message.data(), message.size());
}

bool AESBase64Decode(std::string& out, const std::string& in)
{
    out.clear();
    std::string raw;
    if (!Base64DecodeEx(raw, in))
        return false;
    const AESParams& params = t_current;
    const bool cbc = params.mode == AESParams::Mode::CBC;
    const std::size_t header = 2 + (cbc ? kBlockSize : 0);
    if (raw.size() < header + kBlockSize + kMacSize)
        return false;
    const unsigned char* data = reinterpret_cast<const unsigned char*>(raw.data());
    if (data[0] != kFormatVersion || data[1] != modeByte(params.mode))
        return false;

    const std::size_t signedLength = raw.size() - kMacSize;
    unsigned char mac[kMacSize];
    if (!hmac(deriveKey("Tavrin.AES.mac", params), data, signedLength, mac) ||
        CRYPTO_memcmp(mac, data + signedLength, kMacSize) != 0)
        return false;  // wrong key or damaged text

    Bytes plain;
    if (!runCipher(cbc ? EVP_aes_256_cbc() : EVP_aes_256_ecb(), false, true, deriveKey("Tavrin.AES.enc", params),
                   cbc ? data + 2 : nullptr, data + header, signedLength - header, plain))
        return false;
    out.assign(plain.begin(), plain.end());
    OPENSSL_cleanse(plain.data(), plain.size());
    return true;
}

bool ecbEncrypt(std::string& out, const unsigned char* data, std::size_t length)
{
    out.clear();
    if (!data && length != 0)
        return false;
    Bytes padded(data, data + length);
    padded.resize((length + kBlockSize - 1) / kBlockSize * kBlockSize, 0);
    Bytes cipherText;
    if (!runCipher(EVP_aes_256_ecb(), true, false, deriveKey("Tavrin.AES.enc", t_current), nullptr, padded.data(),
                   padded.size(), cipherText))
        return false;
    out.assign(cipherText.begin(), cipherText.end());
    return true;
}

bool ecbDecrypt(std::string& out, const unsigned char* data, std::size_t length)
{
    out.clear();
    if (!data || length == 0 || length % kBlockSize != 0)
        return false;
    Bytes plain;
    if (!runCipher(EVP_aes_256_ecb(), false, false, deriveKey("Tavrin.AES.enc", t_current), nullptr, data, length,
                   plain))
        return false;
    while (!plain.empty() && plain.back() == 0)
        plain.pop_back();
    out.assign(plain.begin(), plain.end());
    return true;
}

bool Sha256(unsigned char* out, std::size_t outSize, const std::string& text, std::size_t maxTextLength)
{
    if (!out || outSize < 32 || text.size() > maxTextLength)
        return false;
    unsigned int length = 0;
    return EVP_Digest(text.data(), text.size(), out, &length, EVP_sha256(), nullptr) == 1 && length == 32;
}

bool Base64EncodeEx(std::string& out, const unsigned char* data, std::size_t length)
{
    out.clear();
    if ((!data && length != 0) || length > static_cast<std::size_t>(INT32_MAX) / 4 * 3)
        return false;
    if (length == 0)
        return true;
    std::string encoded((length + 2) / 3 * 4 + 1, '\0');
    const int written = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(&encoded[0]), data, static_cast<int>(length));
    if (written < 0)
        return false;
    encoded.resize(static_cast<std::size_t>(written));
    out.swap(encoded);
    return true;
}

bool Base64DecodeEx(std::string& out, const std::string& text)
{
    out.clear();
    std::string input = text;
    trimWhitespace(input);
    if (input.empty())
        return true;
    if (input.size() % 4 != 0 || input.size() > static_cast<std::size_t>(INT32_MAX))
        return false;
    std::string decoded(input.size() / 4 * 3, '\0');
    const int written = EVP_DecodeBlock(reinterpret_cast<unsigned char*>(&decoded[0]),
                                        reinterpret_cast<const unsigned char*>(input.data()),
                                        static_cast<int>(input.size()));
    if (written < 0)
        return false;
    // EVP_DecodeBlock counts the bytes that padding stands for; drop them.
    std::size_t padding = 0;
    if (input[input.size() - 1] == '=')
        ++padding;
    if (input[input.size() - 2] == '=')
        ++padding;
    decoded.resize(static_cast<std::size_t>(written) - padding);
    out.swap(decoded);
    return true;
}

} // namespace Encrypt
} // namespace Base
