#include "SmsPlugin.h"

#include "logical/SimpleProperties.h"

#include "Base/FileUtil.h"
#include "Base/Log.h"
#include "Platform/Platform.h"

#include <cstdlib>

namespace serverframework {

std::string CSmsPlugin::configPath()
{
    return Base::FileUtil::GetCurExeDir() + "../TavrinSMSPlugin/conf/" + "config.properties";
}

std::string CSmsPlugin::binDir()
{
    return Base::FileUtil::GetCurExeDir() + "../TavrinSMSPlugin/bin";
}

int CSmsPlugin::rtspPort()
{
    return std::atoi(SimpleProperties::Instance().getProperty(kRtspPortKey).c_str());
}

bool CSmsPlugin::storeRtspPort(int port, const std::string& path)
{
    SimpleProperties& properties = SimpleProperties::Instance();
    const std::string value = std::to_string(port);
    if (!properties.setProperty(kRtspPortKey, value))
        properties.addProperty(kRtspPortKey, value);
    return properties.storeLogged(path);
}

bool CSmsPlugin::restart()
{
    const std::string bin = binDir();
    if (platform::runElevatedScript(bin, "restart"))
        return true;
    TLOG_WARN("Failed to launch the SMS plug-in restart script in %s", bin.c_str());
    return false;
}

} // namespace serverframework
