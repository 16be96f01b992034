#include "CommonMethodLib/CommonConfigFileMgr.h"

#include "CommonMethod/FileOperation.h"
#include "CommonMethod/Proto/XmlProto.h"
#include "CommonMethod/UserDataPath.h"

#include "Base/Log.h"
#include "Base/Singleton.h"

#include <string>

namespace comm_methodlib {

namespace {

const char* const kFileName = "CommonConfig.xml";
const char* const kHttpPortKey = "HttpPort";
const char* const kVideoWallPortKey = "VideoWallPort";

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

// The stored value, -1 when the file or the value is missing.
int CCommonConfigFileMgr::readPort(const char* key)
{
    std::string content;
    const std::string path = filePath();
    if (path.empty() || !readFile(content, path))
        return -1;
    proto::CXmlProto doc;
    if (!doc.set_str(content))
        return -1;
    return doc.get_int(valuePath(key), -1);
}

bool CCommonConfigFileMgr::writePort(const char* key, int port)
{
    const std::string path = filePath();
    if (path.empty()) {
        TLOG_ERROR("No folder for the common configuration: %s not stored.", key);
        return false;
    }
    proto::CXmlProto doc;
    std::string content;
    if (readFile(content, path) && !doc.set_str(content))
        TLOG_ERROR("Common configuration [%s] is damaged; it is written afresh.", path.c_str());
    if (!doc.set_int(valuePath(key), port)) {
        // A document of another shape: start from an empty one.
        doc.clear();
        doc.set_int(valuePath(key), port);
    }
    if (!writeFile(path, doc.to_str(0))) {
        TLOG_ERROR("Failed to write the common configuration [%s].", path.c_str());
        return false;
    }
    return true;
}

bool CCommonConfigFileMgr::checkPort(const char* key, int defaultPort, bool checkOnly)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!checkOnly)
        removeStaleWriteTemporaries(filePath());
    const int stored = readPort(key);
    if (validPort(stored))
        return true;
    if (checkOnly)
        return false;
    // Nothing stored yet is the first start, not a fault.
    if (stored == -1)
        TLOG_INFO("Common configuration: no %s yet; %d is stored.", key, defaultPort);
    else
        TLOG_WARN("Common configuration: %s %d is not a port; %d is stored.", key, stored, defaultPort);
    return writePort(key, defaultPort);
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

} // namespace comm_methodlib
