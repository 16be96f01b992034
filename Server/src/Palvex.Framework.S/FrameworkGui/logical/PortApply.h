#pragma once
// The confirm step of the port dialog, without the dialog: compares the
// chosen values with the configuration, writes what changed in a fixed order
// to the port configuration, the framework's common configuration and the
// SMS plug-in's properties, all of it or nothing, restarts the plug-in when
// its port changed and reloads the configuration.

#include "logical/PortValues.h"

#include <string>

namespace serverframework {

class XMLConfigManager;

class CPortApply
{
public:
    enum class Result {
        Unchanged, // nothing differs: nothing was written
        Applied,   // written and reloaded
        Failed,    // a file could not be written: every file is as it was
    };

    // The configuration, and the SMS plug-in's properties file the RTSP port
    // is saved to.
    CPortApply(XMLConfigManager& config, std::string smsPropertiesPath);

    Result apply(const PortValues& chosen);

private:
    // The external-access values that differ, written; false when one
    // could not be stored.
    bool writeExternValues(const PortValues& chosen, bool& changed);

    XMLConfigManager& m_config;
    std::string m_smsPropertiesPath;
};

} // namespace serverframework
