#pragma once
// The properties store, and the process-wide instance holding the SMS
// plug-in's settings.

#include "Properties.h"

#include <Base/Singleton.h>

#include <string>

namespace serverframework {

class SimpleProperties : public Properties, public Base::CSingleton<SimpleProperties> {
public:
    SimpleProperties() = default;

    bool load(const std::string& path) override;
    std::string getProperty(const std::string& key) override;
    void addProperty(const std::string& key, const std::string& value) override;
    bool setProperty(const std::string& key, const std::string& value) override;

    // load and store for callers that must go on after a failure: the
    // failure is logged as an Error naming the file and the reason, the
    // entries read so far stay, and the result is false.
    bool loadLogged(const std::string& path);
    bool storeLogged(const std::string& path);

    // The SMS plug-in's properties file:
    // <exe dir>../TavrinSMSPlugin/conf/config.properties
    static std::string smsConfigPath();
};

// The key of the SMS plug-in's RTSP port.
constexpr const char* kRtspPortKey = "ums.1.rtspPort";

} // namespace serverframework
