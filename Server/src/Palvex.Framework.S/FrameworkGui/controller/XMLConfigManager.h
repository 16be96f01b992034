#pragma once
// The port configuration "Setup.xml" in the component's user-data folder and
// its shipped default "maintain/Setup.xml.benchmark". Process-wide instance:
// Base::CSingleton<serverframework::XMLConfigManager>::Instance().
//
// The public fields are the values of the last InitManager/reInitPort; the
// setters change the file only and return whether the value was stored (false,
// with a log line, when the file cannot be read, parsed or written; the file
// then stays as it was).

#include "CommonMethod/SetupDocument.h"
#include "logical/PortTable.h"

#include <cstdint>
#include <memory>
#include <string>

namespace comm_method {
class CDataEncryptionConfig;
}
namespace comm_methodlib {
class CCommonConfigFileMgr;
}

namespace serverframework {

class XMLConfigManager
{
public:
    // Working file in the user-data folder, benchmark beside the program,
    // framework ports in the process-wide common configuration.
    XMLConfigManager();
    // Working file in configDir, benchmark in maintainDir (both ending in
    // "/"), framework ports in commonConfig.
    XMLConfigManager(std::string configDir, std::string maintainDir,
                     comm_methodlib::CCommonConfigFileMgr& commonConfig);
    XMLConfigManager(const XMLConfigManager&) = delete;
    XMLConfigManager& operator=(const XMLConfigManager&) = delete;
    ~XMLConfigManager();

    void InitManager(bool checkFramework);
    void checkConfig();
    bool updateXMLParam();
    void reInitPort();

    bool setPort2xml(std::string key, std::string value);
    bool setExternParam2xml(std::string key, std::string value);

    bool setWebSocketPort(const std::string& port);
    bool setHttpPort(const std::string& port);
    bool setWebPort(const std::string& port);
    bool setTamsaCMSPort(const std::string& port);
    bool setTamsaAMSPort(const std::string& port);
    bool setTamsaMQTTPort(const std::string& port);
    bool setTamsaSSPort(const std::string& port);
    bool setTamsaVideoPort(const std::string& port);
    bool setTamsaVideoVICPort(const std::string& port);
    bool setTamsaAudioPort(const std::string& port);
    bool setTamsaPlaybackPort(const std::string& port);
    bool setVideoWallPort(const std::string& port);
    bool setIPAddress(const std::string& address);
    bool setEnabled(bool enabled);

    // The loaded value of a port of the table; -1 for the SMS plug-in's RTSP
    // port, which is not kept here.
    int port(ServicePort port) const;
    // The setter of a port of the table (false for the RTSP port).
    bool setPort(ServicePort port, const std::string& value);

    std::string workingPath() const { return configDir + "Setup.xml"; }
    std::string benchmarkPath() const { return maintainDir + "Setup.xml.benchmark"; }
    // The common configuration holding the framework HTTP and video wall ports.
    std::string commonConfigPath();

    int productType = 0;
    std::uint16_t webSocketPort = 0;
    std::uint16_t httpPort = 0;
    std::uint16_t cmsPort = 0;
    std::uint16_t amsPort = 0;
    std::uint16_t mqttPort = 0;
    std::uint16_t ssPort = 0;
    std::uint16_t webPort = 0;
    std::uint16_t videoPort = 0;
    std::uint16_t videoVicPort = 0;
    std::uint16_t audioPort = 0;
    std::uint16_t playbackPort = 0;
    bool externEnabled = false;
    std::string externIPAddress;
    int videoWallPort = 18018;
    int versionType = 0;
    std::string configDir;
    std::string maintainDir;
    std::shared_ptr<comm_method::CDataEncryptionConfig> dataEncryptionConfig;

private:
    void resolveDirectories();
    comm_methodlib::CCommonConfigFileMgr& commonConfig();
    void repairPorts(comm_method::CSetupDocument& doc, comm_method::CSetupDocument& benchmarkDoc);
    // Loads the working file; logs and returns false when it cannot be read
    // (a file that is not XML loads as an empty document).
    bool loadWorking(comm_method::CSetupDocument& doc);
    void readValues(comm_method::CSetupDocument& doc, bool fullLoad, bool checkFramework);
    // Sets section + key to value in the working file and writes it back;
    // what names the kind of value in the log.
    bool writeWorkingValue(comm_method::CSetupDocument::Section section, const std::string& key,
                           const std::string& value, const char* what);

    bool m_fixedDirectories = false;
    comm_methodlib::CCommonConfigFileMgr* m_commonConfig = nullptr;
};

} // namespace serverframework
