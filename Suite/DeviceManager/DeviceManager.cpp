#include "DeviceManager/DeviceManager.h"

#include "Base/Log.h"

namespace devmgr {

int InitDeviceManagerServer()
{
    TLOG_INFO("device-manager server started");
    return 0;
}

int UnInitDeviceManagerServer()
{
    TLOG_INFO("device-manager server stopped");
    return 0;
}

} // namespace devmgr
