#include "PortApply.h"

#include "controller/FileSnapshot.h"
#include "controller/XMLConfigManager.h"
#include "logical/ProductType.h"
#include "logical/SimpleProperties.h"
#include "logical/SmsPlugin.h"

#include <Base/Log.h>

namespace serverframework {

CPortApply::CPortApply(XMLConfigManager& config, std::string smsPropertiesPath)
    : m_config(config)
    , m_smsPropertiesPath(std::move(smsPropertiesPath))
{
}

CPortApply::Result CPortApply::apply(const PortValues& chosen)
{
    const bool httpOnly = choosesHttpOnly(m_config.productType);
    const auto differs = [&](ServicePort port) { return chosen[port] != m_config.port(port); };

    // Every file this step may change, put back whole when a later write
    // fails: the configuration is saved completely or not at all.
    const CFileSnapshot before({m_config.workingPath(), m_config.commonConfigPath(), m_smsPropertiesPath});
    const std::string oldRtsp = SimpleProperties::Instance().getProperty(kRtspPortKey);
    bool changed = differs(ServicePort::Http) || differs(ServicePort::VideoWall);
    bool rtspChanged = false;
    bool stored = true;
    if (!httpOnly) {
        changed = changed || differs(ServicePort::TamsaCMS) || chosen.externEnabled != m_config.externEnabled;
        if (chosen.externEnabled)
            stored = writeExternValues(chosen, changed);
        // Written on every press; a flag that was not stored matters only
        // when something is saved with it.
        stored = m_config.setEnabled(chosen.externEnabled) && stored;
        rtspChanged = chosen[ServicePort::Rtsp] != CSmsPlugin::rtspPort();
    }
    if (!changed && !rtspChanged)
        return Result::Unchanged;
    if (rtspChanged && stored)
        stored = CSmsPlugin::storeRtspPort(chosen[ServicePort::Rtsp], m_smsPropertiesPath);
    if (changed && stored) {
        stored = m_config.setHttpPort(std::to_string(chosen[ServicePort::Http]))
                 && (httpOnly || m_config.setTamsaCMSPort(std::to_string(chosen[ServicePort::TamsaCMS])))
                 && m_config.setVideoWallPort(std::to_string(chosen[ServicePort::VideoWall]));
    }
    if (!stored) {
        before.restore();
        if (rtspChanged)
            SimpleProperties::Instance().setProperty(kRtspPortKey, oldRtsp);
        TLOG_ERROR("The port settings could not be saved; the configuration is left as it was.");
        return Result::Failed;
    }
    if (rtspChanged)
        CSmsPlugin::restart();
    if (changed)
        m_config.reInitPort();
    return Result::Applied;
}

bool CPortApply::writeExternValues(const PortValues& chosen, bool& changed)
{
    bool stored = true;
    if (chosen.externIPAddress != m_config.externIPAddress) {
        changed = true;
        stored = m_config.setIPAddress(chosen.externIPAddress);
    }
    for (const ServicePort port : kExternPorts) {
        const bool offered = servesVideo(m_config.productType)
                             || (port != ServicePort::TamsaVideo && port != ServicePort::TamsaPlayback);
        if (offered && chosen[port] != m_config.port(port)) {
            changed = true;
            stored = stored && m_config.setPort(port, std::to_string(chosen[port]));
        }
    }
    return stored;
}

} // namespace serverframework
