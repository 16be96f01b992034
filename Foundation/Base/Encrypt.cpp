#include "Base/Encrypt.h"

#include "Base/Wipe.h"
#include "LibCrypto.h"

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

constexpr std::size_t kKeySize = 32; // AES-256
constexpr std::size_t kBlockSize = 16;
constexpr std::size_t kMacSize = 32; // HMAC-SHA-256
constexpr unsigned char kFormatVersion = 1;

QByteArray bytesOf(const void* data, std::size_t length)
{
    return QByteArray::fromRawData(static_cast<const char*>(data), static_cast<int>(length));
}

// Bytes of key material or plain text: cleansed when they go.
class SecretBytes
{
public:
    explicit SecretBytes(const LibCryptoApi& crypto)
        : m_crypto(crypto)
    {
    }
    ~SecretBytes() { clear(); }
    SecretBytes(const SecretBytes&) = delete;
    SecretBytes& operator=(const SecretBytes&) = delete;

    // Also what a shrinking left beyond the size.
    void clear()
    {
        bytes.resize(bytes.capacity());
        if (!bytes.empty())
            m_crypto.cleanse(bytes.data(), bytes.size());
        bytes.clear();
    }

    Bytes bytes;

private:
    const LibCryptoApi& m_crypto;
};

// SHA-256 over a purpose tag and both texts, each text preceded by its
// length so that ("ab", "c") and ("a", "bc") give different keys.
void deriveKey(const LibCryptoApi& c, const char* purpose, const AESParams& params, SecretBytes& key)
{
    std::string material(purpose);
    material.push_back('\0');
    for (const std::string* text : {&params.key, &params.salt}) {
        const std::uint32_t size = static_cast<std::uint32_t>(text->size());
        for (int shift = 24; shift >= 0; shift -= 8)
            material.push_back(static_cast<char>((size >> shift) & 0xFF));
        material += *text;
    }
    QByteArray digest = QCryptographicHash::hash(bytesOf(material.data(), material.size()), QCryptographicHash::Sha256);
    c.cleanse(&material[0], material.size());
    key.clear();
    key.bytes.assign(digest.begin(), digest.end());
    c.cleanse(digest.data(), static_cast<std::size_t>(digest.size()));
}

// One whole AES-256 encryption or decryption through libcrypto: CBC when iv
// is given, else ECB; with padding, PKCS#7 is added on the way in and
// checked and removed on the way out.
bool runCipher(const LibCryptoApi& c, bool encrypt, bool padding, const SecretBytes& key, const unsigned char* iv,
               const unsigned char* data, std::size_t length, SecretBytes& out)
{
    out.clear();
    if (key.bytes.size() != kKeySize || length > static_cast<std::size_t>(INT32_MAX) - kBlockSize)
        return false;
    EVP_CIPHER_CTX* context = c.cipherContextNew();
    if (!context)
        return false;
    out.bytes.resize(length + kBlockSize);
    int written = 0;
    int last = 0;
    const bool ok =
        c.cipherInit(context, iv ? c.aes256Cbc() : c.aes256Ecb(), nullptr, key.bytes.data(), iv, encrypt ? 1 : 0) == 1
        && c.setPadding(context, padding ? 1 : 0) == 1
        && c.cipherUpdate(context, out.bytes.data(), &written, data, static_cast<int>(length)) == 1
        && c.cipherFinal(context, out.bytes.data() + written, &last) == 1;
    c.cipherContextFree(context); // cleanses the key schedule
    if (!ok) {
        out.clear();
        return false;
    }
    out.bytes.resize(static_cast<std::size_t>(written + last));
    return true;
}

void hmac(const SecretBytes& key, const unsigned char* data, std::size_t length, unsigned char* mac)
{
    const QByteArray code = QMessageAuthenticationCode::hash(
        bytesOf(data, length), bytesOf(key.bytes.data(), key.bytes.size()), QCryptographicHash::Sha256);
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

// Zeroes the whole buffer of a text, also what lies beyond its length.
void wipeText(std::string& text)
{
    text.resize(text.capacity());
    wipe(&text[0], text.size());
    text.clear();
}

// target takes source's values; target's old key material is wiped first.
void replaceParams(AESParams& target, const AESParams& source)
{
    if (&target == &source)
        return;
    wipeText(target.key);
    wipeText(target.salt);
    target.key = source.key;
    target.salt = source.salt;
    target.mode = source.mode;
}

} // namespace

AESParams::~AESParams()
{
    wipeText(key);
    wipeText(salt);
}

const AESParams& CurrentAESParams()
{
    return t_current;
}

CAESParamsSetRAII::CAESParamsSetRAII(const AESParams& params)
    : m_previous(t_current)
{
    replaceParams(t_current, params);
}

CAESParamsSetRAII::~CAESParamsSetRAII()
{
    replaceParams(t_current, m_previous);
}

// Layout before Base64: version, mode, [IV in CBC], ciphertext, HMAC of all
// that precedes it.
bool Base64AndAESEncode(std::string& out, const std::string& in)
{
    out.clear();
    const LibCryptoApi* c = LibCrypto::api();
    if (!c)
        return false;
    const AESParams& params = t_current;
    SecretBytes encKey(*c), macKey(*c);
    deriveKey(*c, "Tavrin.AES.enc", params, encKey);
    deriveKey(*c, "Tavrin.AES.mac", params, macKey);
    const bool cbc = params.mode == AESParams::Mode::CBC;

    Bytes message{kFormatVersion, modeByte(params.mode)};
    unsigned char iv[kBlockSize] = {};
    if (cbc) {
        quint32 words[kBlockSize / sizeof(quint32)];
        QRandomGenerator::system()->fillRange(words);
        std::memcpy(iv, words, sizeof iv);
        message.insert(message.end(), iv, iv + sizeof iv);
    }
    SecretBytes cipherText(*c);
    if (!runCipher(*c, true, true, encKey, cbc ? iv : nullptr, reinterpret_cast<const unsigned char*>(in.data()),
                   in.size(), cipherText))
        return false;
    message.insert(message.end(), cipherText.bytes.begin(), cipherText.bytes.end());
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
    const LibCryptoApi* c = LibCrypto::api();
    if (!c)
        return false;

    const std::size_t signedLength = raw.size() - kMacSize;
    SecretBytes key(*c);
    deriveKey(*c, "Tavrin.AES.mac", params, key);
    unsigned char mac[kMacSize];
    hmac(key, data, signedLength, mac);
    if (!sameBytes(mac, data + signedLength, kMacSize))
        return false; // wrong key or damaged text

    deriveKey(*c, "Tavrin.AES.enc", params, key);
    SecretBytes plain(*c);
    if (!runCipher(*c, false, true, key, cbc ? data + 2 : nullptr, data + header, signedLength - header, plain))
        return false;
    out.assign(plain.bytes.begin(), plain.bytes.end());
    return true;
}

namespace {

// Raw ECB of whole blocks under the current parameters' key.
bool ecb(bool encrypt, std::string& out, const unsigned char* data, std::size_t length)
{
    const LibCryptoApi* c = LibCrypto::api();
    if (!c)
        return false;
    SecretBytes key(*c), result(*c);
    deriveKey(*c, "Tavrin.AES.enc", t_current, key);
    if (!runCipher(*c, encrypt, false, key, nullptr, data, length, result))
        return false;
    out.assign(result.bytes.begin(), result.bytes.end());
    return true;
}

} // namespace

bool ecbEncrypt(std::string& out, const unsigned char* data, std::size_t length)
{
    out.clear();
    if (!data && length != 0)
        return false;
    std::string padded(reinterpret_cast<const char*>(data), length);
    padded.resize((length + kBlockSize - 1) / kBlockSize * kBlockSize, '\0');
    const bool ok = ecb(true, out, reinterpret_cast<const unsigned char*>(padded.data()), padded.size());
    wipeText(padded);
    return ok;
}

bool ecbDecrypt(std::string& out, const unsigned char* data, std::size_t length)
{
    out.clear();
    if (!data || length == 0 || length % kBlockSize != 0 || !ecb(false, out, data, length))
        return false;
    while (!out.empty() && out.back() == '\0')
        out.pop_back();
    return true;
}

bool Sha256(unsigned char* out, std::size_t outSize, const std::string& text, std::size_t maxTextLength)
{
    if (!out || outSize < 32 || text.size() > maxTextLength || text.size() > static_cast<std::size_t>(INT32_MAX))
        return false;
    QByteArray digest = QCryptographicHash::hash(bytesOf(text.data(), text.size()), QCryptographicHash::Sha256);
    std::memcpy(out, digest.constData(), 32);
    wipe(digest.data(), 32);
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
