#include "WatchDog/WatchDog.h"

#include "Base/Log.h"
#include "Platform/Platform.h"

namespace {

// Sends one state to the service manager. 0 when it was sent or when no
// service manager listens ($NOTIFY_SOCKET unset), -1 on a send failure.
int notify(const char* state)
{
    if (!platform::notifyServiceManager(state)) {
        TLOG_ERROR("watchdog: cannot send \"%s\" to the service manager", state);
        return -1;
    }
    return 0;
}

} // namespace

int OpenWatchDog(int intervalSeconds)
{
    TLOG_INFO("watchdog opened, heartbeat every %d s", intervalSeconds);
    return notify("READY=1");
}

int SendHeartbeat(int code)
{
    switch (code) {
    case WATCHDOG_HEARTBEAT_ALIVE:
        // Every few seconds for as long as the host runs: kept out of the
        // log at its usual level.
        TLOG_DEBUG("watchdog heartbeat %d", code);
        return notify("WATCHDOG=1");
    case WATCHDOG_HEARTBEAT_STOPPING:
        TLOG_INFO("watchdog heartbeat %d", code);
        return notify("STOPPING=1");
    default:
        TLOG_WARN("watchdog: unknown heartbeat code %d", code);
        return -1;
    }
}
