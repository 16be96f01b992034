#include "XMLConfigManager.h"

#include "CommonMethod/DataEncryptionConfig.h"
#include "CommonMethod/FileOperation.h"
#include "CommonMethod/UserDataPath.h"

#include "Base/FileUtil.h"
#include "Base/Log.h"
#include "Base/Singleton.h"
#include "Base/StringUtil.h"
#include "CommonMethodLib/CommonConfigFileMgr.h"
#include "DatabaseUpdate/DBVersion.h"
#include "ZRT/ZRT.h"

namespace serverframework {

namespace {

using Section = comm_method::CSetupDocument::Section;
using State = comm_method::CSetupDocument::State;

// The field each port of "Setup.xml" is loaded into.
std::uint16_t XMLConfigManager::*fieldOf(ServicePort port)
{
    switch (port) {
    case ServicePort::Http: return &XMLConfigManager::httpPort;
    case ServicePort::TamsaCMS: return &XMLConfigManager::cmsPort;
    case ServicePort::WebSocket: return &XMLConfigManager::webSocketPort;
    case ServicePort::TamsaAMS: return &XMLConfigManager::amsPort;
    case ServicePort::TamsaMQTT: return &XMLConfigManager::mqttPort;
    case ServicePort::TamsaSS: return &XMLConfigManager::ssPort;
    case ServicePort::Web: return &XMLConfigManager::webPort;
    case ServicePort::TamsaVideo: return &XMLConfigManager::videoPort;
    case ServicePort::TamsaPlayback: return &XMLConfigManager::playbackPort;
    case ServicePort::TamsaVideoVIC: return &XMLConfigManager::videoVicPort;
    case ServicePort::TamsaAudio: return &XMLConfigManager::audioPort;
    case ServicePort::Rtsp:
    case ServicePort::VideoWall: break;
    }
    return nullptr;
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

void XMLConfigManager::InitManager(bool checkFramework)
{
    resolveDirectories();
    dataEncryptionConfig = std::make_shared<comm_method::CDataEncryptionConfig>();
    checkConfig();

    comm_method::CSetupDocument doc(workingPath());
    if (loadWorking(doc))
        readValues(doc, true, checkFramework);
}

void XMLConfigManager::reInitPort()
{
    resolveDirectories();
    dataEncryptionConfig = std::make_shared<comm_method::CDataEncryptionConfig>();

    comm_method::CSetupDocument doc(workingPath());
    if (loadWorking(doc))
        readValues(doc, false, false);
}

bool XMLConfigManager::loadWorking(comm_method::CSetupDocument& doc)
{
    const State state = configDir.empty() ? State::Missing : doc.load();
    if (state == State::Loaded || state == State::NotXml) // not XML: every value missing
        return true;
    TLOG_FATAL("ReadFile fail, path = %s", doc.path().c_str());
    return false;
}

void XMLConfigManager::readValues(comm_method::CSetupDocument& doc, bool fullLoad, bool checkFramework)
{
    comm_methodlib::CCommonConfigFileMgr& common = commonConfig();
    if (fullLoad && checkFramework)
        common.CheckHttpPort(false);
    httpPort = static_cast<std::uint16_t>(common.GetFrameworkHttpPort());
    for (const PortInfo& info : portTable()) {
        if (info.inSetupXml && info.port != ServicePort::Http) // a missing port reads as -1, so 65535
            this->*fieldOf(info.port) = static_cast<std::uint16_t>(doc.port(info.name));
    }
    if (fullLoad) {
        productType = doc.productType();
        versionType = doc.versionType();
    }
    externEnabled = doc.externEnabled();
    externIPAddress = doc.text(Section::ExternParam, "IPAddress");
    if (fullLoad) {
        if (checkFramework)
            common.CheckVideoWallPort();
        videoWallPort = common.GetFrameworkVideoWallPort();
    }
}

int XMLConfigManager::port(ServicePort port) const
{
    switch (port) {
    case ServicePort::VideoWall: return videoWallPort;
    case ServicePort::Rtsp: return -1;
    default: return this->*fieldOf(port);
    }
}

bool XMLConfigManager::setPort(ServicePort port, const std::string& value)
{
    switch (port) {
    case ServicePort::Http: return setHttpPort(value);
    case ServicePort::VideoWall: return setVideoWallPort(value);
    case ServicePort::Rtsp: return false;
    default: return setPort2xml(portInfo(port).name, value);
    }
}

void XMLConfigManager::checkConfig()
{
    if (configDir.empty()) {
        TLOG_FATAL("No user data folder: the port configuration cannot be checked.");
        return;
    }
    const std::string working = workingPath();
    const std::string benchmark = benchmarkPath();

    removeStaleWriteTemporaries(working);

    comm_method::CSetupDocument doc(working);
    const State state = doc.load();
    if (state == State::Loaded) {
        comm_method::CSetupDocument benchmarkDoc(benchmark);
        const bool haveBenchmark = benchmarkDoc.load() == State::Loaded;
        if (haveBenchmark)
            repairPorts(doc, benchmarkDoc);
        const std::string benchmarkVersion = haveBenchmark ? benchmarkDoc.version() : std::string();
        if (DatabaseUpdate::CDBVersion(benchmarkVersion) > DatabaseUpdate::CDBVersion(doc.version()))
            updateXMLParam();
        return;
    }
    if (state != State::Missing) {
        doc.logLoadFailure(state);
        doc.keepDamaged(true);
    }
    if (ZRT_CopyFile(benchmark.c_str(), working.c_str(), 0) == -1) {
        TLOG_FATAL("Failed copy [file-%s] to [file-%s]. [error-%d-%d]", benchmark.c_str(), working.c_str(),
                   ZRT_GetLastError(), ZRT_GetSystemLastError());
    }
}

// A port the services cannot use (70000, "abc") would stop every start: it
// takes the benchmark's value, and the file as it was is kept beside it. An
// empty or missing port is left to the loading rules (65535).
void XMLConfigManager::repairPorts(comm_method::CSetupDocument& doc, comm_method::CSetupDocument& benchmarkDoc)
{
    bool repaired = false;
    for (const PortInfo& info : portTable()) {
        if (!info.inSetupXml)
            continue;
        const std::string text = doc.text(Section::ServerPort, info.name);
        if (text.empty() || Base::StringUtil::ParsePort(text) > 0)
            continue;
        const std::string shipped = benchmarkDoc.text(Section::ServerPort, info.name);
        if (Base::StringUtil::ParsePort(shipped) < 0) {
            TLOG_ERROR("Port %s in [file-%s] is [%s], not a port, and the benchmark has none to replace it.", info.name,
                       doc.path().c_str(), text.c_str());
            continue;
        }
        TLOG_ERROR("Port %s in [file-%s] is [%s], not a port (1 to 65535); the benchmark's %s replaces it.", info.name,
                   doc.path().c_str(), text.c_str(), shipped.c_str());
        doc.setText(Section::ServerPort, info.name, Base::StringUtil::Trim(shipped));
        repaired = true;
    }
    if (repaired && doc.keepDamaged(false) && !doc.save(false))
        TLOG_FATAL("ReadFile fail, path = %s", doc.path().c_str());
}

bool XMLConfigManager::updateXMLParam()
{
    comm_method::CSetupDocument workingDoc(workingPath());
    comm_method::CSetupDocument benchmarkDoc(benchmarkPath());
    for (comm_method::CSetupDocument* doc : {&workingDoc, &benchmarkDoc}) {
        if (doc->load() != State::Loaded) {
            TLOG_FATAL("ReadFile fail, path = %s", doc->path().c_str());
            return false;
        }
    }

    workingDoc.setVersion(benchmarkDoc.version());
    static const std::pair<Section, const char*> kMerged[] = {
        {Section::ServerPort, "TamsaSS"},       {Section::ExternParam, "Enabled"},
        {Section::ExternParam, "IPAddress"},    {Section::ServerPort, "TamsaVideo"},
        {Section::ServerPort, "TamsaVideoVIC"}, {Section::ServerPort, "TamsaAudio"},
        {Section::ServerPort, "TamsaPlayback"},
    };
    for (const auto& [section, key] : kMerged) {
        if (workingDoc.text(section, key).empty())
            workingDoc.setText(section, key, benchmarkDoc.text(section, key));
    }

    if (!workingDoc.save(false)) {
        TLOG_FATAL("ReadFile fail, path = %s", workingDoc.path().c_str());
        return false;
    }
    return true;
}

bool XMLConfigManager::setPort2xml(std::string key, std::string value)
{
    const int port = Base::StringUtil::ParsePort(value);
    if (port < 0) {
        TLOG_ERROR("[%s] is not a port (1 to 65535): %s is not written.", value.c_str(), key.c_str());
        return false;
    }
    return writeWorkingValue(Section::ServerPort, key, std::to_string(port), "Port");
}

bool XMLConfigManager::setExternParam2xml(std::string key, std::string value)
{
    return writeWorkingValue(Section::ExternParam, key, value, "External parameter");
}

bool XMLConfigManager::writeWorkingValue(Section section, const std::string& key, const std::string& value,
                                         const char* what)
{
    if (configDir.empty())
        resolveDirectories();
    comm_method::CSetupDocument doc(workingPath());
    const State state = configDir.empty() ? State::Missing : doc.load();
    if (state == State::NotXml) {
        TLOG_ERROR("Failed to parse [file-%s]: %s is not written.", doc.path().c_str(), key.c_str());
        return false;
    }
    if (state != State::Loaded) {
        TLOG_FATAL("ReadFile fail, path = %s", doc.path().c_str());
        return false;
    }
    if (!doc.setText(section, key, value)) {
        TLOG_ERROR("%s %s cannot be set in [file-%s].", what, key.c_str(), doc.path().c_str());
        return false;
    }
    // Formatted, so the file stays readable and editable by hand.
    if (!doc.save(true)) {
        TLOG_FATAL("ReadFile fail, path = %s", doc.path().c_str());
        return false;
    }
    return true;
}

bool XMLConfigManager::setWebSocketPort(const std::string& port)
{
    return setPort2xml("WebSocket", port);
}
bool XMLConfigManager::setWebPort(const std::string& port)
{
    return setPort2xml("Web", port);
}
bool XMLConfigManager::setTamsaCMSPort(const std::string& port)
{
    return setPort2xml("TamsaCMS", port);
}
bool XMLConfigManager::setTamsaAMSPort(const std::string& port)
{
    return setPort2xml("TamsaAMS", port);
}
bool XMLConfigManager::setTamsaMQTTPort(const std::string& port)
{
    return setPort2xml("TamsaMQTT", port);
}
bool XMLConfigManager::setTamsaSSPort(const std::string& port)
{
    return setPort2xml("TamsaSS", port);
}
bool XMLConfigManager::setTamsaVideoPort(const std::string& port)
{
    return setPort2xml("TamsaVideo", port);
}
bool XMLConfigManager::setTamsaVideoVICPort(const std::string& port)
{
    return setPort2xml("TamsaVideoVIC", port);
}
bool XMLConfigManager::setTamsaAudioPort(const std::string& port)
{
    return setPort2xml("TamsaAudio", port);
}
bool XMLConfigManager::setTamsaPlaybackPort(const std::string& port)
{
    return setPort2xml("TamsaPlayback", port);
}

// The framework's own port is stored only once "Setup.xml" took the value.
bool XMLConfigManager::setHttpPort(const std::string& port)
{
    const int value = Base::StringUtil::ParsePort(port);
    return setPort2xml("Http", port) && commonConfig().SetFrameworkHttpPort(value);
}

bool XMLConfigManager::setVideoWallPort(const std::string& port)
{
    const int value = Base::StringUtil::ParsePort(port);
    if (value < 0) {
        TLOG_ERROR("[%s] is not a port (1 to 65535): the video wall port is not written.", port.c_str());
        return false;
    }
    return commonConfig().SetFrameworkVideoWallPort(value);
}

bool XMLConfigManager::setIPAddress(const std::string& address)
{
    return setExternParam2xml("IPAddress", address);
}

bool XMLConfigManager::setEnabled(bool enabled)
{
    return setExternParam2xml("Enabled", enabled ? "true" : "false");
}

std::string XMLConfigManager::commonConfigPath()
{
    return commonConfig().filePath();
}

} // namespace serverframework
