#include "PortValues.h"

#include "controller/XMLConfigManager.h"

namespace serverframework {

PortValues PortValues::configured(const XMLConfigManager& config, int rtspPort)
{
    PortValues values;
    values.productType = config.productType;
    for (const PortInfo& info : portTable())
        values[info.port] = info.port == ServicePort::Rtsp ? rtspPort : config.port(info.port);
    values.externEnabled = config.externEnabled;
    values.externIPAddress = config.externIPAddress;
    return values;
}

} // namespace serverframework
