#include "DataEncryptionConfig.h"

#include "FileOperation.h"
#include "Proto/XmlProto.h"

#include "Base/Encrypt.h"
#include "Base/GuidUtil.h"
#include "Base/Log.h"
#include "Base/StringUtil.h"
#include "Base/Wipe.h"

#include <cstdio>

namespace comm_method {

namespace {

constexpr std::size_t kDigestSize = 32;
constexpr std::size_t kMaxSegmentsText = 100;

// The two file parameter texts, enciphered (AES-256-ECB under the base
// library's built-in key); they exist in clear text only while in use.
const unsigned char kFileKeyCipher[32] = {
    0xa9, 0x9e, 0x1c, 0x62, 0x9d, 0x6f, 0xa9, 0x25, 0x18, 0x11, 0x4e, 0xed, 0x01, 0x03, 0xb8, 0x35,
    0x95, 0x62, 0x74, 0xae, 0x41, 0xd5, 0x3d, 0xeb, 0x7d, 0xc5, 0xa2, 0xa9, 0x92, 0x69, 0x4f, 0x3e,
};
const unsigned char kFileSaltCipher[32] = {
    0x31, 0xf0, 0x97, 0xde, 0xe1, 0xf2, 0x3c, 0xf6, 0xee, 0x6e, 0xa5, 0x75, 0x03, 0xdd, 0xd2, 0x69,
    0x95, 0x62, 0x74, 0xae, 0x41, 0xd5, 0x3d, 0xeb, 0x7d, 0xc5, 0xa2, 0xa9, 0x92, 0x69, 0x4f, 0x3e,
};

std::string decipher(const unsigned char (&cipher)[32])
{
    std::string text;
    Base::Encrypt::ecbDecrypt(text, cipher, sizeof cipher);
    return text;
}

// Decodes an encoded DESetup text under the file parameters.
bool decode(std::string& plain, const std::string& encoded)
{
    Base::Encrypt::CAESParamsSetRAII guard(CDataEncryptionConfig::fileParams());
    return Base::Encrypt::AESBase64Decode(plain, encoded);
}

std::vector<std::string> segmentsOf(proto::CXmlProto& doc)
{
    std::vector<std::string> segments;
    for (int number = 1; number <= 4; ++number)
        segments.push_back(doc.get_str(CDataEncryptionConfig::segmentPath(number), std::string()));
    return segments;
}

} // namespace

Base::Encrypt::AESParams CDataEncryptionConfig::fileParams()
{
    Base::Encrypt::AESParams params;
    params.key = decipher(kFileKeyCipher);
    params.salt = decipher(kFileSaltCipher);
    return params;
}

std::string CDataEncryptionConfig::segmentPath(int number)
{
    return Base::StringUtil::FormatString("/DESetup/Segments/Segment%d", number);
}

std::string CDataEncryptionConfig::decryptionXML(const std::string& path)
{
    std::string encoded;
    if (!readFile(encoded, path) || encoded.empty()) {
        TLOG_ERROR("Failed to read xml file [%s].", path.c_str());
        return std::string();
    }
    std::string plain;
    if (!decode(plain, encoded))
        TLOG_ERROR("Failed to read xml file [%s].", path.c_str());
    return plain;
}

bool CDataEncryptionConfig::loadConfig(const std::string& path)
{
    const std::string plain = decryptionXML(path);
    if (plain.empty()) {
        TLOG_ERROR("Faild to decryption config file [%s].", path.c_str());
        return false;
    }
    m_configPath = path;
    proto::CXmlProto doc;
    if (!doc.set_str(plain)) {
        TLOG_ERROR("Faild to load config file [%s].", m_configPath.c_str());
        return false;
    }
    return deriveFrom(segmentsOf(doc));
}

bool CDataEncryptionConfig::setDESetup(const std::string& encodedText)
{
    if (encodedText.empty()) {
        TLOG_ERROR("DESetup id empty.");
        return false;
    }
    std::string plain;
    if (!decode(plain, encodedText)) {
        TLOG_ERROR("Decode Failed.");
        return false;
    }
    proto::CXmlProto doc;
    if (!doc.set_str(plain)) {
        TLOG_ERROR("Faild to load config.");
        return false;
    }
    return deriveFrom(segmentsOf(doc));
}

bool CDataEncryptionConfig::regenerateConfig(const std::string& path)
{
    const std::string plain = decryptionXML(path);
    if (plain.empty()) {
        TLOG_ERROR("Faild to decryption config file [%s].", path.c_str());
        return false;
    }
    proto::CXmlProto doc;
    if (!doc.set_str(plain)) {
        TLOG_ERROR("Faild to load config file [%s].", path.c_str());
        return false;
    }
    for (int number = 1; number <= 4; ++number)
        doc.set_value(segmentPath(number), Base::GuidUtil::CreateGuid());

    std::string encoded;
    bool encodedOk = false;
    {
        Base::Encrypt::CAESParamsSetRAII guard(fileParams());
        encodedOk = Base::Encrypt::Base64AndAESEncode(encoded, doc.to_str(0));
    }
    if (!encodedOk) {
        TLOG_ERROR("Failed to write xml file [%s].", path.c_str());
        return false;
    }
    if (!writeFile(path, encoded)) {
        TLOG_ERROR("Failed to open [%s] for write.", path.c_str());
        return false;
    }
    return true;
}

bool CDataEncryptionConfig::deriveFrom(const std::vector<std::string>& segments)
{
    unsigned char first[kDigestSize] = {};
    unsigned char second[kDigestSize] = {};
    unsigned char keyBytes[kDigestSize] = {};
    std::string dataKey;
    bool derived = Base::Encrypt::Sha256(first, sizeof first, segments[0] + segments[1], kMaxSegmentsText)
                   && Base::Encrypt::Sha256(second, sizeof second, segments[2] + segments[3], kMaxSegmentsText);
    if (derived) {
        std::copy(first + 16, first + 32, keyBytes);
        std::copy(second, second + 16, keyBytes + 16);
        derived = Base::Encrypt::Base64EncodeEx(dataKey, keyBytes, sizeof keyBytes);
    }
    if (derived) {
        m_aesParams.key = Base::StringUtil::Vlue2HexString(first, 8, false);
        m_aesParams.salt = Base::StringUtil::Vlue2HexString(second + 24, 8, false);
        m_dataKey = dataKey;
    } else {
        TLOG_ERROR("Failed to derive the keys of the DESetup document.");
    }
    // The digests are key material: none stays behind in memory.
    for (unsigned char* secret : {first, second, keyBytes})
        Base::wipe(secret, kDigestSize);
    Base::wipe(&dataKey[0], dataKey.size());
    return derived;
}

} // namespace comm_method
