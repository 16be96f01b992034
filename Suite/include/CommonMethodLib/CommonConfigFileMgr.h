#pragma once
// The framework's common configuration: the framework HTTP port, the video
// wall port and the web client's last language and skin, kept in a small XML file ("CommonConfig.xml") in the component's
// user-data folder. Process-wide instance:
// Base::CSingleton<comm_methodlib::CCommonConfigFileMgr>::Instance().

#include "Base/Singleton.h"

#include <mutex>
#include <string>

namespace comm_method {
class CXmlConfigFile;
}

namespace comm_methodlib {

class CCommonConfigFileMgr
{
public:
    static constexpr int kDefaultHttpPort = 16100;
    static constexpr int kDefaultVideoWallPort = 18018;

    // Keeps the file in the user-data folder of the process-wide
    // comm_method::CUserDataPath (resolved on each use).
    CCommonConfigFileMgr();
    // Keeps the file at filePath.
    explicit CCommonConfigFileMgr(std::string filePath);
    CCommonConfigFileMgr(const CCommonConfigFileMgr&) = delete;
    CCommonConfigFileMgr& operator=(const CCommonConfigFileMgr&) = delete;

    // Store the default when the value is missing or outside 1..65535.
    // checkOnly: report without storing. True when the stored value is valid
    // afterwards.
    bool CheckHttpPort(bool checkOnly);
    bool CheckVideoWallPort();

    // The stored value; the default when none is stored.
    int GetFrameworkHttpPort();
    int GetFrameworkVideoWallPort();

    // Store a new value (1..65535) crash-safe; true on success.
    bool SetFrameworkHttpPort(int port);
    bool SetFrameworkVideoWallPort(int port);

    // The language index and skin name last stored; -1 and empty when none is.
    int GetFrameworkLanguage();
    std::string GetFrameworkSkin();
    // Store the language index (0 or more) or the skin name; true on success.
    bool SetFrameworkLanguage(int language);
    bool SetFrameworkSkin(const std::string& skin);

    std::string filePath() const;

private:
    int readPort(const char* key);
    bool loadForChange(comm_method::CXmlConfigFile& file);
    bool writeValue(const char* key, const std::string& value);
    bool writePort(const char* key, int port);
    bool checkPort(const char* key, int defaultPort, bool checkOnly);

    std::string m_filePath; // empty: the user-data folder's file
    std::mutex m_mutex;
};

} // namespace comm_methodlib

TAVRIN_SINGLETON_SHARED(comm_methodlib::CCommonConfigFileMgr)
