#include "AuthCfgManager.h"

#include <Base/Encrypt.h>
#include <Base/GuidUtil.h>
#include <Base/Log.h>
#include <Base/StringUtil.h>
#include <DatabaseUpdate/DataEncryptionMgr.h>

#include <Platform/Platform.h>

#include <tinyxml.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

namespace serverframework {

namespace {

constexpr const char* kVersion = "1.0";
constexpr std::size_t kNameLength = 20;
constexpr std::size_t kKeyLength = 16;

const Base::Encrypt::AESParams& exportParams()
{
    return Base::CSingleton<DatabaseUpdate::CDataEncryptionMgr>::Instance().GetDefaultAESParams();
}

void addValue(TiXmlElement& root, const char* name, const std::string& value)
{
    TiXmlElement element(name);
    element.SetAttribute("value", value);
    root.InsertEndChild(element);
}

void addValue(TiXmlElement& root, const char* name, int value)
{
    TiXmlElement element(name);
    element.SetAttribute("value", value);
    root.InsertEndChild(element);
}

// Copies at most `limit` characters of text into a cleared field.
void copyField(char* field, std::size_t fieldSize, const std::string& text, std::size_t limit)
{
    std::memset(field, 0, fieldSize);
    std::strncpy(field, text.c_str(), std::min(limit, fieldSize - 1));
}

// All bytes zero: the starting point of an import, and how key material is
// wiped once it is no longer needed.
void clearRecord(tagRegCfgInfo& record)
{
    std::memset(static_cast<void*>(&record), 0, sizeof(record));
}

// The key as the export file carries it; false when it cannot be encrypted.
bool encryptKey(const char* key, std::string& encoded)
{
    Base::Encrypt::CAESParamsSetRAII guard(exportParams());
    std::string plain(key, strnlen(key, kKeyLength));
    const bool ok = Base::Encrypt::Base64AndAESEncode(encoded, plain) && !encoded.empty();
    std::fill(plain.begin(), plain.end(), '\0');
    return ok;
}

} // namespace

CAuthenticationManager::CAuthenticationManager()
    : libInitialised(false)
{
}

std::uint32_t CAuthenticationManager::InitIdentifyLib()
{
    const std::uint32_t code = Base::IdentifyUtil::InitIdentifyLib();
    if (code == Base::IdentifyUtil::kOk)
        libInitialised = true;
    return code;
}

bool CAuthenticationManager::ReleaseIdentifyLib()
{
    if (Base::IdentifyUtil::ReleaseIdentifyLib() != Base::IdentifyUtil::kOk)
        return false;
    libInitialised = false;
    return true;
}

std::string CAuthenticationManager::generateKey()
{
    const std::string guid = Base::GuidUtil::CreateGuid();
    std::vector<unsigned char> bytes;
    bytes.reserve(guid.size() / 2);
    Base::StringUtil::HexString2Value(guid, bytes);
    std::string encoded;
    Base::Encrypt::Base64EncodeEx(encoded, bytes.data(), bytes.size());
    return encoded.substr(0, kKeyLength);
}

void CAuthenticationManager::CreateIdentifyInfo()
{
    tagRegCfgInfo record;
    copyField(record.saltKey, sizeof(record.saltKey), generateKey(), kKeyLength);
    copyField(record.secretKey, sizeof(record.secretKey), generateKey(), kKeyLength);
    Base::IdentifyUtil::WriteIdenteifyInfo(record);
}

bool CAuthenticationManager::ExportIdentifyInfo(const std::string& path)
{
    tagRegCfgInfo record;
    clearRecord(record);
    if (Base::IdentifyUtil::ReadIdentifyInfo(record) != Base::IdentifyUtil::kOk) {
        TLOG_ERROR("Failed to read the identity record; nothing exported.");
        return false;
    }

    std::string saltKey;
    std::string secretKey;
    const bool saltEncrypted = encryptKey(record.saltKey, saltKey);
    const bool secretEncrypted = saltEncrypted && encryptKey(record.secretKey, secretKey);
    if (!saltEncrypted || !secretEncrypted) {
        clearRecord(record);
        TLOG_ERROR("Failed to encrypt the %s key of the identity record; nothing exported.",
                   saltEncrypted ? "secret" : "salt");
        return false;
    }

    TiXmlDocument document;
    document.InsertEndChild(TiXmlDeclaration("1.0", "UTF-8", "yes"));
    TiXmlElement root("Identify");
    addValue(root, "version", std::string(kVersion));
    addValue(root, "encryptName", std::string(record.encryptName, strnlen(record.encryptName, kNameLength)));
    addValue(root, "encryptMode", std::string(record.encryptMode, strnlen(record.encryptMode, kNameLength)));
    addValue(root, "digest", std::string(record.digest, strnlen(record.digest, kNameLength)));
    addValue(root, "saltKey", saltKey);
    addValue(root, "secretKey", secretKey);
    addValue(root, "keyLength", record.keyLength);
    addValue(root, "authenType", record.authenType);
    addValue(root, "securityLevel", record.securityLevel);
    addValue(root, "padding", record.padding);
    document.InsertEndChild(root);
    clearRecord(record);

    // Replaced whole or not at all: a failed write leaves no partial file.
    TiXmlPrinter printer;
    document.Accept(&printer);
    if (!platform::writeWholeFile(path, printer.Str())) {
        TLOG_ERROR("Failed to save the identity file %s: %s.", path.c_str(), std::strerror(errno));
        return false;
    }
    return true;
}

void CAuthenticationManager::ParseIdentifyInfoXml(const TiXmlDocument& document, IdentifyData& data)
{
    const TiXmlElement* root = document.FirstChildElement("Identify");
    if (!root)
        return;

    auto textOf = [root](const char* name, std::string& out) {
        const TiXmlElement* element = root->FirstChildElement(name);
        if (!element)
            return false;
        const char* value = element->Attribute("value");
        out = value ? value : "";
        return true;
    };
    auto numberOf = [root](const char* name, std::int32_t& out) {
        const TiXmlElement* element = root->FirstChildElement(name);
        int value = 0;
        if (element && element->QueryIntAttribute("value", &value) == TIXML_SUCCESS)
            out = value;
    };
    auto keyOf = [&textOf](const char* name, char* field, std::size_t fieldSize) {
        std::string encoded;
        if (!textOf(name, encoded))
            return;
        std::string key;
        Base::Encrypt::CAESParamsSetRAII guard(exportParams());
        if (!Base::Encrypt::AESBase64Decode(key, encoded)) {
            TLOG_ERROR("Failed to AESBase64Decode.");
            key.clear();
        }
        copyField(field, fieldSize, key, kKeyLength);
    };

    std::string text;
    if (textOf("version", text))
        data.version = text;
    if (textOf("encryptName", text))
        copyField(data.info.encryptName, sizeof(data.info.encryptName), text, kNameLength);
    if (textOf("encryptMode", text))
        copyField(data.info.encryptMode, sizeof(data.info.encryptMode), text, kNameLength);
    if (textOf("digest", text))
        copyField(data.info.digest, sizeof(data.info.digest), text, kNameLength);
    keyOf("saltKey", data.info.saltKey, sizeof(data.info.saltKey));
    keyOf("secretKey", data.info.secretKey, sizeof(data.info.secretKey));
    numberOf("keyLength", data.info.keyLength);
    numberOf("authenType", data.info.authenType);
    numberOf("securityLevel", data.info.securityLevel);
    numberOf("padding", data.info.padding);
}

bool CAuthenticationManager::recordAcceptable(const IdentifyData& data)
{
    const std::string name = data.info.encryptName;
    const std::string mode = data.info.encryptMode;
    const std::string digest = data.info.digest;
    return data.version == kVersion && (name == "AES" || name == "RSA")
           && (mode == "CBC" || mode == "CFB" || mode == "OFB" || mode == "ECB")
           && (digest == "sha256" || digest == "sha384" || digest == "sha512");
}

bool CAuthenticationManager::ImportIdentifyInfo(const std::string& path)
{
    TiXmlDocument document;
    if (!document.LoadFile(path)) {
        TLOG_ERROR("Failed to load the identity file %s.", path.c_str());
        return false;
    }
    IdentifyData data;
    clearRecord(data.info);
    ParseIdentifyInfoXml(document, data);
    const bool stored =
        recordAcceptable(data) && Base::IdentifyUtil::WriteIdenteifyInfo(data.info) == Base::IdentifyUtil::kOk;
    clearRecord(data.info);
    if (!stored)
        TLOG_ERROR("The identity file %s was not imported.", path.c_str());
    return stored;
}

} // namespace serverframework
