#include "CommonMethodLib/CommonConfigFileMgr.h"

#include "CommonMethod/FileOperation.h"
#include "CommonMethod/UserDataPath.h"
#include "CommonMethod/XmlConfigFile.h"

#include "Base/Log.h"
#include "Base/Singleton.h"

#include <string>

namespace comm_methodlib {

namespace {

const char* const kFileName = "CommonConfig.xml";
const char* const kHttpPortKey = "HttpPort";
const char* const kVideoWallPortKey = "VideoWallPort";
const char* const kLanguageKey = "Language";
const char* const kSkinKey = "Skin";

std::string valuePath(const char* key)
{
    return std::string("/CommonConfig/Framework/") + key;
}

bool validPort(int port)
{
    return port >= 1 && port <= 65535;
}

} // namespace

CCommonConfigFileMgr::CCommonConfigFileMgr() = default;

CCommonConfigFileMgr::CCommonConfigFileMgr(std::string filePath)
    : m_filePath(std::move(filePath))
{
}

std::string CCommonConfigFileMgr::filePath() const
{
    if (!m_filePath.empty())
        return m_filePath;
    const std::string dir = Base::CSingleton<comm_method::CUserDataPath>::Instance().getUserDataDir();
    return dir.empty() ? std::string() : dir + kFileName;
}

// The stored value; -1 when the file or the value is missing, or the file
// is damaged.
int CCommonConfigFileMgr::readPort(const char* key)
{
    comm_method::CXmlConfigFile file(filePath());
    if (file.load() != comm_method::CXmlConfigFile::State::Loaded)
        return -1;
    return file.document().get_int(valuePath(key), -1);
}

// Loads the file for a change. A damaged one (too large, unreadable, not
// XML) is moved aside, so the user's values can be recovered by hand, and
// the change starts from an empty document written at its own size.
bool CCommonConfigFileMgr::loadForChange(comm_method::CXmlConfigFile& file)
{
    const comm_method::CXmlConfigFile::State state = file.load();
    if (state == comm_method::CXmlConfigFile::State::Loaded || state == comm_method::CXmlConfigFile::State::Missing)
        return true;
    file.logLoadFailure(state);
    TLOG_ERROR("Common configuration [%s] is damaged; it is written afresh.", file.path().c_str());
    return file.keepDamaged(true);
}

bool CCommonConfigFileMgr::writeValue(const char* key, const std::string& value)
{
    comm_method::CXmlConfigFile file(filePath());
    if (file.path().empty()) {
        TLOG_ERROR("No folder for the common configuration: %s not stored.", key);
        return false;
    }
    if (!loadForChange(file))
        return false;
    if (!file.document().set_value(valuePath(key), value)) {
        // A document of another shape: start from an empty one.
        file.document().clear();
        file.document().set_value(valuePath(key), value);
    }
    return file.save(false);
}

bool CCommonConfigFileMgr::writePort(const char* key, int port)
{
    return writeValue(key, std::to_string(port));
}

bool CCommonConfigFileMgr::checkPort(const char* key, int defaultPort, bool checkOnly)
{
    using State = comm_method::CXmlConfigFile::State;
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!checkOnly)
        removeStaleWriteTemporaries(filePath());
    comm_method::CXmlConfigFile file(filePath());
    const State state = file.load();
    const int stored = state == State::Loaded ? file.document().get_int(valuePath(key), -1) : -1;
    if (validPort(stored))
        return true;
    if (checkOnly)
        return false;
    if (stored != -1) {
        TLOG_WARN("Common configuration: %s %d is not a port; %d is stored.", key, stored, defaultPort);
        file.keepDamaged(false);
    } else if (state == State::Loaded || state == State::Missing) {
        // Nothing stored yet is the first start, not a fault.
        TLOG_INFO("Common configuration: no %s yet; %d is stored.", key, defaultPort);
    }
    return writePort(key, defaultPort); // keeps a damaged file aside first
}

bool CCommonConfigFileMgr::CheckHttpPort(bool checkOnly)
{
    return checkPort(kHttpPortKey, kDefaultHttpPort, checkOnly);
}

bool CCommonConfigFileMgr::CheckVideoWallPort()
{
    return checkPort(kVideoWallPortKey, kDefaultVideoWallPort, false);
}

int CCommonConfigFileMgr::GetFrameworkHttpPort()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const int stored = readPort(kHttpPortKey);
    return validPort(stored) ? stored : kDefaultHttpPort;
}

int CCommonConfigFileMgr::GetFrameworkVideoWallPort()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const int stored = readPort(kVideoWallPortKey);
    return validPort(stored) ? stored : kDefaultVideoWallPort;
}

bool CCommonConfigFileMgr::SetFrameworkHttpPort(int port)
{
    if (!validPort(port)) {
        TLOG_ERROR("Framework HTTP port %d is not a port; not stored.", port);
        return false;
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    return writePort(kHttpPortKey, port);
}

bool CCommonConfigFileMgr::SetFrameworkVideoWallPort(int port)
{
    if (!validPort(port)) {
        TLOG_ERROR("Video wall port %d is not a port; not stored.", port);
        return false;
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    return writePort(kVideoWallPortKey, port);
}

int CCommonConfigFileMgr::GetFrameworkLanguage()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    comm_method::CXmlConfigFile file(filePath());
    if (file.load() != comm_method::CXmlConfigFile::State::Loaded)
        return -1;
    const int language = file.document().get_int(valuePath(kLanguageKey), -1);
    return language >= 0 ? language : -1;
}

std::string CCommonConfigFileMgr::GetFrameworkSkin()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    comm_method::CXmlConfigFile file(filePath());
    if (file.load() != comm_method::CXmlConfigFile::State::Loaded)
        return std::string();
    return file.document().get_str(valuePath(kSkinKey), std::string());
}

bool CCommonConfigFileMgr::SetFrameworkLanguage(int language)
{
    if (language < 0) {
        TLOG_ERROR("Language %d is not a language index; not stored.", language);
        return false;
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    return writeValue(kLanguageKey, std::to_string(language));
}

bool CCommonConfigFileMgr::SetFrameworkSkin(const std::string& skin)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return writeValue(kSkinKey, skin);
}

} // namespace comm_methodlib

TAVRIN_SINGLETON_DEFINE(comm_methodlib::CCommonConfigFileMgr)
