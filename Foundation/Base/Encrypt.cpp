#include "Base/Encrypt.h"

#include "Aes256.h"
#include "Wipe.h"

#include <QByteArray>
#include <QCryptographicHash>
#include <QMessageAuthenticationCode>
#include <QRandomGenerator>

#include <cstdint>
#include <cstring>
#include <vector>

namespace Base {
namespace Encrypt {

namespace {

thread_local AESParams t_current;

using Bytes = std::vector<unsigned char>;

constexpr std::size_t kKeySize = Aes256::kKeySize;
constexpr std::size_t kBlockSize = Aes256::kBlockSize;
constexpr std::size_t kMacSize = 32;    // HMAC-SHA-256
constexpr unsigned char kFormatVersion = 1;

QByteArray bytesOf(const void* data, std::size_t length)
{
    return QByteArray::fromRawData(static_cast<const char*>(data), static_cast<int>(length));
}

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
    const QByteArray digest = QCryptographicHash::hash(bytesOf(material.data(), material.size()),
                                                       QCryptographicHash::Sha256);
    wipe(&material[0], material.size());
    return Bytes(digest.begin(), digest.end());
}

// One whole encryption or decryption: CBC when iv is given, else ECB; with
// padding, PKCS#7 is added on the way in and checked and removed on the way out.
bool runCipher(bool encrypt, bool padding, const Bytes& key, const unsigned char* iv, const unsigned char* data,
               std::size_t length, Bytes& out)
{
    out.clear();
    if (key.size() != kKeySize || length > static_cast<std::size_t>(INT32_MAX) - kBlockSize)
        return false;
    Bytes text(data, data + length);
    if (encrypt && padding) {
        const auto pad = static_cast<unsigned char>(kBlockSize - length % kBlockSize);
        text.insert(text.end(), pad, pad);
    }
    if (text.size() % kBlockSize != 0 || (padding && text.empty()))
        return false;
    const Aes256 aes(key.data());
    unsigned char chain[kBlockSize] = {};
    if (iv)
        std::memcpy(chain, iv, kBlockSize);
    for (std::size_t at = 0; at < text.size(); at += kBlockSize) {
        unsigned char* block = &text[at];
        unsigned char cipherBlock[kBlockSize];
        if (encrypt) {
            for (std::size_t k = 0; iv && k < kBlockSize; ++k)
                block[k] ^= chain[k];
            aes.encryptBlock(block, block);
            std::memcpy(chain, block, kBlockSize);
        } else {
            std::memcpy(cipherBlock, block, kBlockSize);
            aes.decryptBlock(block, block);
            for (std::size_t k = 0; iv && k < kBlockSize; ++k)
                block[k] ^= chain[k];
            std::memcpy(chain, cipherBlock, kBlockSize);
        }
    }
    if (!encrypt && padding) {
        const std::size_t pad = text.back();
        if (pad == 0 || pad > kBlockSize)
            return false;
        for (std::size_t k = text.size() - pad; k < text.size(); ++k) {
            if (text[k] != pad)
                return false;
        }
        text.resize(text.size() - pad);
    }
    out.swap(text);
    return true;
}

void hmac(const Bytes& key, const unsigned char* data, std::size_t length, unsigned char* mac)
{
    const QByteArray code = QMessageAuthenticationCode::hash(bytesOf(data, length), bytesOf(key.data(), key.size()),
                                                             QCryptographicHash::Sha256);
    std::memcpy(mac, code.constData(), kMacSize);
}

// Compares in time independent of where the bytes differ.
bool sameBytes(const unsigned char* a, const unsigned char* b, std::size_t length)
{
    unsigned char difference = 0;
    for (std::size_t i = 0; i < length; ++i)
        difference |= static_cast<unsigned char>(a[i] ^ b[i]);
    return difference == 0;
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
        quint32 words[kBlockSize / sizeof(quint32)];
        QRandomGenerator::system()->fillRange(words);
        std::memcpy(iv, words, sizeof iv);
        message.insert(message.end(), iv, iv + sizeof iv);
    }
    Bytes cipherText;
    if (!runCipher(true, true, encKey, cbc ? iv : nullptr,
                   reinterpret_cast<const unsigned char*>(in.data()), in.size(), cipherText))
        return false;
    message.insert(message.end(), cipherText.begin(), cipherText.end());
    unsigned char mac[kMacSize];
    hmac(macKey, message.data(), message.size(), mac);
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
    hmac(deriveKey("Tavrin.AES.mac", params), data, signedLength, mac);
    if (!sameBytes(mac, data + signedLength, kMacSize))
        return false;  // wrong key or damaged text

    Bytes plain;
    if (!runCipher(false, true, deriveKey("Tavrin.AES.enc", params),
                   cbc ? data + 2 : nullptr, data + header, signedLength - header, plain))
        return false;
    out.assign(plain.begin(), plain.end());
    wipe(plain.data(), plain.size());
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
    if (!runCipher(true, false, deriveKey("Tavrin.AES.enc", t_current), nullptr, padded.data(),
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
    if (!runCipher(false, false, deriveKey("Tavrin.AES.enc", t_current), nullptr, data, length,
                   plain))
        return false;
    while (!plain.empty() && plain.back() == 0)
        plain.pop_back();
    out.assign(plain.begin(), plain.end());
    return true;
}

bool Sha256(unsigned char* out, std::size_t outSize, const std::string& text, std::size_t maxTextLength)
{
    if (!out || outSize < 32 || text.size() > maxTextLength || text.size() > static_cast<std::size_t>(INT32_MAX))
        return false;
    const QByteArray digest = QCryptographicHash::hash(bytesOf(text.data(), text.size()), QCryptographicHash::Sha256);
    std::memcpy(out, digest.constData(), 32);
    return true;
}

bool Base64EncodeEx(std::string& out, const unsigned char* data, std::size_t length)
{
    out.clear();
    if ((!data && length != 0) || length > static_cast<std::size_t>(INT32_MAX) / 4 * 3)
        return false;
    out = bytesOf(data, length).toBase64().toStdString();
    return true;
}

bool Base64DecodeEx(std::string& out, const std::string& text)
{
    out.clear();
    std::string input = text;
    trimWhitespace(input);
    if (input.size() % 4 != 0 || input.size() > static_cast<std::size_t>(INT32_MAX))
        return false;
    const QByteArray::FromBase64Result decoded =
        QByteArray::fromBase64Encoding(bytesOf(input.data(), input.size()), QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded)
        return false;
    out = decoded.decoded.toStdString();
    return true;
}

} // namespace Encrypt
} // namespace Base
