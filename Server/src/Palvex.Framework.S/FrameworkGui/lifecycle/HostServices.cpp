#include "HostServices.h"

#include "controller/XMLConfigManager.h"
#include "logical/CheckPort.h"
#include "logical/PortTable.h"
#include "logical/PortValues.h"
#include "logical/SmsPlugin.h"

#include <Base/Singleton.h>
#include <Framework/Framework.h>

#include <vector>

namespace serverframework {

void publishHostServices(const std::string& productName)
{
    const PortValues ports =
        PortValues::configured(Base::CSingleton<XMLConfigManager>::Instance(), CSmsPlugin::rtspPort());
    std::vector<FrameworkService> services;
    for (const PortInfo& info : portTable()) {
        FrameworkService service;
        service.name = serviceName(info.port);
        service.port = ports[info.port];
        // The last move of the port is the one it was started on.
        for (const PortMove& move : CCheckPort::instance().moves()) {
            if (move.port == info.port && move.to == service.port) {
                service.movedFrom = move.from;
                service.heldBy = move.heldBy;
            }
        }
        services.push_back(service);
    }
    setHostServices(productName, services);
}

} // namespace serverframework
