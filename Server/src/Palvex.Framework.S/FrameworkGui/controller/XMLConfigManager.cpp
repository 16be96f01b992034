#include "XMLConfigManager.h"

#include "CommonMethod/DataEncryptionConfig.h"
#include "CommonMethod/FileOperation.h"
#include "CommonMethod/Proto/XmlProto.h"
#include "CommonMethod/UserDataPath.h"

#include "Base/FileUtil.h"
#include "Base/Log.h"
#include "Base/Singleton.h"
#include "CommonMethodLib/CommonConfigFileMgr.h"
#include "DatabaseUpdate/DBVersion.h"
#include "ZRT/ZRT.h"

#include <cstdint>
#include <filesystem>
#include <system_error>

namespace serverframework {

namespace {

const char* const kServerPort = "/Configs/ServerPort/";
const char* const kExternParam = "/Configs/ExternParam/";

// Reads and parses a whole file; false when either fails (no logging).
bool loadDocument(const std::string& path, proto::CXmlProto& doc)
{
    std::string content;
    return readFile(content, path) && doc.set_str(content);
}

std::uint16_t portValue(proto::IProto& doc, const char* key)
{
    // A missing port reads as -1 and so as 65535.
    return static_cast<std::uint16_t>(doc.get_int(std::string(kServerPort) + key, -1));
}

// Text without surrounding white space.
std::string trimmed(const std::string& text)
{
    const std::string::size_type first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos)
        return std::string();
    return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

} // namespace

XMLConfigManager::XMLConfigManager() = default;

XMLConfigManager::XMLConfigManager(std::string configDirectory, std::string maintainDirectory,
                                   comm_methodlib::CCommonConfigFileMgr& common)
    : configDir(std::move(configDirectory))
    , maintainDir(std::move(maintainDirectory))
    , m_fixedDirectories(true)
    , m_commonConfig(&common)
{
}

XMLConfigManager::~XMLConfigManager() = default;

void XMLConfigManager::resolveDirectories()
{
    if (m_fixedDirectories)
        return;
    configDir = Base::CSingleton<comm_method::CUserDataPath>::Instance().getUserDataDir();
    maintainDir = Base::FileUtil::GetCurExeDir() + "maintain/";
}

comm_methodlib::CCommonConfigFileMgr& XMLConfigManager::commonConfig()
{
    return m_commonConfig ? *m_commonConfig : Base::CSingleton<comm_methodlib::CCommonConfigFileMgr>::Instance();
}

int XMLConfigManager::parsePort(const std::string& text)
{
    std::string::size_type i = text.find_first_not_of(" \t");
    if (i == std::string::npos)
        return -1;
    long value = 0;
    bool digits = false;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9')
            return -1;
        digits = true;
        value = value * 10 + (text[i] - '0');
        if (value > 65535)
            return -1;
    }
    return digits && value >= 1 ? static_cast<int>(value) : -1;
}

void XMLConfigManager::InitManager(bool checkFramework)
{
    resolveDirectories();
    dataEncryptionConfig = std::make_shared<comm_method::CDataEncryptionConfig>();
    checkConfig();

    std::string content;
    if (!readWorking(content))
        return;
    proto::CXmlProto doc;
    doc.set_str(content); // not XML: an empty document, every value missing
    readValues(doc, true, checkFramework);
}

void XMLConfigManager::reInitPort()
{
    resolveDirectories();
    dataEncryptionConfig = std::make_shared<comm_method::CDataEncryptionConfig>();

    std::string content;
    if (!readWorking(content))
        return;
    proto::CXmlProto doc;
    doc.set_str(content);
    readValues(doc, false, false);
}

bool XMLConfigManager::readWorking(std::string& content)
{
    const std::string path = workingPath();
    if (configDir.empty() || !readFile(content, path)) {
        TLOG_FATAL("ReadFile fail, path = %s", path.c_str());
        return false;
    }
    return true;
}

void XMLConfigManager::readValues(proto::IProto& doc, bool fullLoad, bool checkFramework)
{
    comm_methodlib::CCommonConfigFileMgr& common = commonConfig();
    if (fullLoad) {
        if (checkFramework)
            common.CheckHttpPort(false);
        httpPort = static_cast<std::uint16_t>(common.GetFrameworkHttpPort());
        webSocketPort = portValue(doc, "WebSocket");
    } else {
        webSocketPort = portValue(doc, "WebSocket");
        httpPort = static_cast<std::uint16_t>(common.GetFrameworkHttpPort());
    }
    cmsPort = portValue(doc, "TamsaCMS");
    amsPort = portValue(doc, "TamsaAMS");
    mqttPort = portValue(doc, "TamsaMQTT");
    ssPort = portValue(doc, "TamsaSS");
    webPort = portValue(doc, "Web");
    videoPort = portValue(doc, "TamsaVideo");
    videoVicPort = portValue(doc, "TamsaVideoVIC");
    audioPort = portValue(doc, "TamsaAudio");
    playbackPort = portValue(doc, "TamsaPlayback");
    if (fullLoad) {
        productType = doc.get_int("/Configs/ProductType/Value", -1);
        versionType = doc.get_int("/Configs/VersionType/Value", -1);
    }
    externEnabled = doc.get_str(std::string(kExternParam) + "Enabled", std::string()) == "true";
    externIPAddress = doc.get_str(std::string(kExternParam) + "IPAddress", std::string());
    if (fullLoad) {
        if (checkFramework)
            common.CheckVideoWallPort();
        videoWallPort = common.GetFrameworkVideoWallPort();
    }
}

void XMLConfigManager::checkConfig()
{
    const std::string working = workingPath();
    const std::string benchmark = benchmarkPath();
    if (configDir.empty()) {
        TLOG_FATAL("No user data folder: the port configuration cannot be checked.");
        return;
    }

    removeStaleWriteTemporaries(working);

    if (ZRT_AccessFile(working.c_str(), 0) == 0) {
        std::string content;
        proto::CXmlProto doc;
        std::error_code sizeError;
        const std::uintmax_t size = std::filesystem::file_size(working, sizeError);
        if (!sizeError && size > kMaxFileBytes) {
            TLOG_ERROR("[file-%s] holds %llu bytes, more than a port configuration may (%llu).", working.c_str(),
                       static_cast<unsigned long long>(size), static_cast<unsigned long long>(kMaxFileBytes));
        } else if (!readFile(content, working)) {
            ZRT_AccessFile(working.c_str(), 4); // records why it cannot be read
            TLOG_ERROR("Failed to read [file-%s]. [error-%d-%d]", working.c_str(), ZRT_GetLastError(),
                       ZRT_GetSystemLastError());
        } else if (!doc.set_str(content)) {
            TLOG_ERROR("Failed to parse [file-%s].", working.c_str());
        } else {
            proto::CXmlProto benchmarkDoc;
            const bool haveBenchmark =
                ZRT_AccessFile(benchmark.c_str(), 0) == 0 && loadDocument(benchmark, benchmarkDoc);
            if (haveBenchmark)
                repairPorts(doc, benchmarkDoc);
            const std::string workingVersion = doc.get_attr("/Configs", "Version", "");
            const std::string benchmarkVersion =
                haveBenchmark ? benchmarkDoc.get_attr("/Configs", "Version", "") : std::string();
            if (DatabaseUpdate::CDBVersion(benchmarkVersion) > DatabaseUpdate::CDBVersion(workingVersion))
                updateXMLParam();
            return;
        }
        keepDamaged(working, true);
    }

    if (ZRT_CopyFile(benchmark.c_str(), working.c_str(), 0) == -1) {
        TLOG_FATAL("Failed copy [file-%s] to [file-%s]. [error-%d-%d]", benchmark.c_str(), working.c_str(),
                   ZRT_GetLastError(), ZRT_GetSystemLastError());
    }
}

// A port the services cannot use (70000, "abc") would stop every start: it
// takes the benchmark's value, and the file as it was is kept beside it. An
// empty or missing port is left to the loading rules (65535).
void XMLConfigManager::repairPorts(proto::IProto& doc, proto::IProto& benchmarkDoc)
{
    static const char* const kPortKeys[] = {"Http", "WebSocket", "Web", "TamsaCMS", "TamsaAMS", "TamsaMQTT",
                                            "TamsaSS", "TamsaVideo", "TamsaVideoVIC", "TamsaAudio",
                                            "TamsaPlayback"};
    const std::string working = workingPath();
    bool repaired = false;
    for (const char* key : kPortKeys) {
        const std::string path = std::string(kServerPort) + key;
        const std::string text = doc.get_str(path, std::string());
        if (text.empty() || parsePort(trimmed(text)) > 0)
            continue;
        const std::string shipped = benchmarkDoc.get_str(path, std::string());
        if (parsePort(trimmed(shipped)) < 0) {
            TLOG_ERROR("Port %s in [file-%s] is [%s], not a port, and the benchmark has none to replace it.", key,
                       working.c_str(), text.c_str());
            continue;
        }
        TLOG_ERROR("Port %s in [file-%s] is [%s], not a port (1 to 65535); the benchmark's %s replaces it.", key,
                   working.c_str(), text.c_str(), shipped.c_str());
        doc.set_value(path, trimmed(shipped));
        repaired = true;
    }
    if (repaired && keepDamaged(working, false) && !writeFile(working, doc.to_str(0)))
        TLOG_FATAL("ReadFile fail, path = %s", working.c_str());
}

// Keeps a damaged working file beside it (moved away when it is about to be
// replaced by the benchmark, copied when it is about to be repaired), so the
// user's values can be recovered by hand. False when it could not be kept.
bool XMLConfigManager::keepDamaged(const std::string& working, bool move)
{
    std::string error;
    const std::string kept = keepDamagedFile(working, move, error);
    if (kept.empty()) {
        TLOG_ERROR("Damaged [file-%s] could not be kept: %s.", working.c_str(), error.c_str());
        return false;
    }
    TLOG_ERROR("Damaged [file-%s] kept as [file-%s].", working.c_str(), kept.c_str());
    return true;
}

bool XMLConfigManager::updateXMLParam()
{
    const std::string working = workingPath();
    const std::string benchmark = benchmarkPath();
    proto::CXmlProto workingDoc;
    proto::CXmlProto benchmarkDoc;
    if (!loadDocument(working, workingDoc)) {
        TLOG_FATAL("ReadFile fail, path = %s", working.c_str());
        return false;
    }
    if (!loadDocument(benchmark, benchmarkDoc)) {
        TLOG_FATAL("ReadFile fail, path = %s", benchmark.c_str());
        return false;
    }

    workingDoc.set_attr("/Configs", "Version", benchmarkDoc.get_attr("/Configs", "Version", ""));
    static const std::string kMerged[] = {
        std::string(kServerPort) + "TamsaSS",       std::string(kExternParam) + "Enabled",
        std::string(kExternParam) + "IPAddress",    std::string(kServerPort) + "TamsaVideo",
        std::string(kServerPort) + "TamsaVideoVIC", std::string(kServerPort) + "TamsaAudio",
        std::string(kServerPort) + "TamsaPlayback",
    };
    for (const std::string& path : kMerged) {
        if (workingDoc.get_str(path, std::string()).empty())
            workingDoc.set_value(path, benchmarkDoc.get_str(path, std::string()));
    }

    if (!writeFile(working, workingDoc.to_str(0))) {
        TLOG_FATAL("ReadFile fail, path = %s", working.c_str());
        return false;
    }
    return true;
}

bool XMLConfigManager::setPort2xml(std::string key, std::string value)
{
    const int port = parsePort(value);
    if (port < 0) {
        TLOG_ERROR("[%s] is not a port (1 to 65535): %s is not written.", value.c_str(), key.c_str());
        return false;
    }
    return writeWorkingValue(kServerPort, key, std::to_string(port), "Port");
}

bool XMLConfigManager::setExternParam2xml(std::string key, std::string value)
{
    return writeWorkingValue(kExternParam, key, value, "External parameter");
}

bool XMLConfigManager::writeWorkingValue(const char* section, const std::string& key, const std::string& value,
                                         const char* what)
{
    if (configDir.empty())
        resolveDirectories();
    const std::string working = workingPath();
    std::string content;
    if (!readWorking(content))
        return false;
    proto::CXmlProto doc;
    if (!doc.set_str(content)) {
        TLOG_ERROR("Failed to parse [file-%s]: %s is not written.", working.c_str(), key.c_str());
        return false;
    }
    if (!doc.set_value(section + key, value)) {
        TLOG_ERROR("%s %s cannot be set in [file-%s].", what, key.c_str(), working.c_str());
        return false;
    }
    // Formatted, so the file stays readable and editable by hand.
    if (!writeFile(working, doc.to_formatted_str())) {
        TLOG_FATAL("ReadFile fail, path = %s", working.c_str());
        return false;
    }
    return true;
}

bool XMLConfigManager::setWebSocketPort(const std::string& port) { return setPort2xml("WebSocket", port); }
bool XMLConfigManager::setWebPort(const std::string& port) { return setPort2xml("Web", port); }
bool XMLConfigManager::setTamsaCMSPort(const std::string& port) { return setPort2xml("TamsaCMS", port); }
bool XMLConfigManager::setTamsaAMSPort(const std::string& port) { return setPort2xml("TamsaAMS", port); }
bool XMLConfigManager::setTamsaMQTTPort(const std::string& port) { return setPort2xml("TamsaMQTT", port); }
bool XMLConfigManager::setTamsaSSPort(const std::string& port) { return setPort2xml("TamsaSS", port); }
bool XMLConfigManager::setTamsaVideoPort(const std::string& port) { return setPort2xml("TamsaVideo", port); }
bool XMLConfigManager::setTamsaVideoVICPort(const std::string& port) { return setPort2xml("TamsaVideoVIC", port); }
bool XMLConfigManager::setTamsaAudioPort(const std::string& port) { return setPort2xml("TamsaAudio", port); }
bool XMLConfigManager::setTamsaPlaybackPort(const std::string& port) { return setPort2xml("TamsaPlayback", port); }

// The framework's own port is stored only once "Setup.xml" took the value.
bool XMLConfigManager::setHttpPort(const std::string& port)
{
    const int value = parsePort(port);
    if (value < 0) {
        TLOG_ERROR("[%s] is not a port (1 to 65535): Http is not written.", port.c_str());
        return false;
    }
    return setPort2xml("Http", port) && commonConfig().SetFrameworkHttpPort(value);
}

bool XMLConfigManager::setVideoWallPort(const std::string& port)
{
    const int value = parsePort(port);
    if (value < 0) {
        TLOG_ERROR("[%s] is not a port (1 to 65535): the video wall port is not written.", port.c_str());
        return false;
    }
    return commonConfig().SetFrameworkVideoWallPort(value);
}

bool XMLConfigManager::setIPAddress(const std::string& address) { return setExternParam2xml("IPAddress", address); }

bool XMLConfigManager::setEnabled(bool enabled)
{
    return setExternParam2xml("Enabled", enabled ? "true" : "false");
}

std::string XMLConfigManager::commonConfigPath()
{
    return commonConfig().filePath();
}

} // namespace serverframework
