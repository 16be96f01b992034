#pragma once
// The properties store, and the process-wide instance holding the SMS
// plug-in's settings.

#include "Properties.h"

#include <Base/Singleton.h>

#include <string>

namespace serverframework {

class SimpleProperties : public Properties, public Base::CSingleton<SimpleProperties>
{
public:
    SimpleProperties() = default;

    bool load(const std::string& path) override;
    std::string getProperty(const std::string& key) override;
    void addProperty(const std::string& key, const std::string& value) override;
    bool setProperty(const std::string& key, const std::string& value) override;

    // load and store for callers that must go on after a failure: the
    // failure is logged as an Error naming the file and the reason, the
    // entries read so far stay, and the result is false.
    // loadLogged skips a line that is not "key=value" with a warning and reads
    // on. storeLogged changes an existing file only where an entry's value
    // differs from the file's and appends the entries the file lacks: every
    // other line (comments, malformed lines, order, line ends) stays byte for
    // byte, as the file belongs to the plug-in. A missing file is written as
    // store does.
    bool loadLogged(const std::string& path);
    bool storeLogged(const std::string& path);

private:
    bool read(const std::string& path, bool skipMalformed);
    bool storeInPlace(const std::string& path);
};

// The key of the SMS plug-in's RTSP port.
constexpr const char* kRtspPortKey = "ums.1.rtspPort";

} // namespace serverframework
