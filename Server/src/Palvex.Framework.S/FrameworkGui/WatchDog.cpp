#include "WatchDog.h"

#include "controller/XMLConfigManager.h"

#include <Base/StringUtil.h>
#include <WatchDog/WatchDog.h>

namespace serverframework {

WatchDog::WatchDog(unsigned int periodMs)
    : stopEvent(ZRT_CreateEvent(0))
    , thread(nullptr)
    , periodMs(periodMs)
{
}

WatchDog::~WatchDog()
{
    if (thread) {
        ZRT_SetEvent(stopEvent);
        ZRT_Thread_Wait(thread);
    }
    ZRT_CloseEvent(stopEvent);
}

std::string WatchDog::servedStatus()
{
    const XMLConfigManager& config = Base::CSingleton<XMLConfigManager>::Instance();
    return Base::StringUtil::FormatString("Web client http://127.0.0.1:%d/, WebSocket port %d", int(config.httpPort),
                                          int(config.webSocketPort));
}

bool WatchDog::start()
{
    OpenWatchDog(5);
    SetWatchDogStatus(servedStatus().c_str());
    thread = ZRT_Thread_Create(&WatchDog::heartbeatLoop, this, 0, nullptr, nullptr, 0);
    return thread != nullptr;
}

bool WatchDog::stop()
{
    ZRT_SetEvent(stopEvent);
    if (thread) {
        ZRT_Thread_Wait(thread);
        thread = nullptr;
    }
    SendHeartbeat(WATCHDOG_HEARTBEAT_STOPPING);
    return true;
}

bool WatchDog::requestRestart()
{
    return SendHeartbeat(WATCHDOG_HEARTBEAT_RESTART) == 0;
}

unsigned int WatchDog::heartbeatLoop(void* argument)
{
    auto* self = static_cast<WatchDog*>(argument);
    while (ZRT_WaitForSingleObject(self->stopEvent, self->periodMs) == ZRT_WAIT_TIMEOUT)
        SendHeartbeat(WATCHDOG_HEARTBEAT_ALIVE);
    return 0;
}

} // namespace serverframework
