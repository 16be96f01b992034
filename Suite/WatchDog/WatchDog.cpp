#include "WatchDog/WatchDog.h"

#include "EventLoopProbe.h"

#include "Base/Log.h"
#include "Platform/Platform.h"

#include <atomic>
#include <mutex>
#include <string>

namespace {

std::mutex g_mutex;
// Never deleted: a heartbeat thread may look at it until the process ends.
CEventLoopProbe* g_probe = nullptr;
int g_intervalSeconds = 0;
int g_missedBeats = 0; // alive beats withheld since the loop last turned

// Sends one state to the service manager. 0 when it was sent or when no
// service manager listens ($NOTIFY_SOCKET unset), -1 on a send failure.
int notify(const std::string& state)
{
    if (!platform::notifyServiceManager(state)) {
        TLOG_ERROR("watchdog: cannot send \"%s\" to the service manager", state.c_str());
        return -1;
    }
    return 0;
}

// An alive beat, sent only when the watched event loop turned since the last.
int sendAlive()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    if (!g_probe) {
        TLOG_WARN("watchdog: a heartbeat before the watchdog was opened is not sent");
        return -1;
    }
    if (!g_probe->turnedSinceLastLook()) {
        if (g_missedBeats++ == 0)
            TLOG_WARN("watchdog: the main event loop has not turned since the last heartbeat; "
                      "heartbeats are withheld until it does");
        return -1;
    }
    if (g_missedBeats > 0) {
        TLOG_WARN("watchdog: the main event loop turns again after %d withheld heartbeat(s) of %d s", g_missedBeats,
                  g_intervalSeconds);
        g_missedBeats = 0;
    }
    // Every few seconds for as long as the host runs: kept out of the log at
    // its usual level.
    TLOG_DEBUG("watchdog heartbeat %d", WATCHDOG_HEARTBEAT_ALIVE);
    return notify("WATCHDOG=1");
}

// The process is to be started again once it has ended: by the service
// manager that runs it, else by a waiter started here.
int requestRestart()
{
    static std::atomic<bool> requested{false};
    if (requested.exchange(true)) {
        TLOG_INFO("watchdog: the restart was already requested");
        return 0;
    }
    if (platform::serviceManagerListens()) {
        TLOG_INFO("watchdog heartbeat %d: the service manager starts the process again once it has ended",
                  WATCHDOG_HEARTBEAT_RESTART);
        return notify("STOPPING=1\nSTATUS=Restarting");
    }
    if (!platform::startAgainAfterExit()) {
        TLOG_ERROR("watchdog heartbeat %d: the process cannot be started again once it has ended; it stays down",
                   WATCHDOG_HEARTBEAT_RESTART);
        return -1;
    }
    TLOG_INFO("watchdog heartbeat %d: the process is started again once it has ended", WATCHDOG_HEARTBEAT_RESTART);
    return 0;
}

} // namespace

int OpenWatchDog(int intervalSeconds)
{
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        if (!g_probe)
            g_probe = new CEventLoopProbe;
        g_intervalSeconds = intervalSeconds;
        g_missedBeats = 0;
    }
    TLOG_INFO("watchdog opened, heartbeat every %d s while the main event loop turns", intervalSeconds);
    return notify("READY=1");
}

int SetWatchDogStatus(const char* status)
{
    const std::string text = status ? status : "";
    // One line: a line break would end the state early.
    if (text.find('\n') != std::string::npos) {
        TLOG_WARN("watchdog: a status of more than one line is not sent");
        return -1;
    }
    TLOG_INFO("watchdog status: %s", text.c_str());
    return notify("STATUS=" + text);
}

int SendHeartbeat(int code)
{
    switch (code) {
    case WATCHDOG_HEARTBEAT_ALIVE: return sendAlive();
    case WATCHDOG_HEARTBEAT_RESTART: return requestRestart();
    case WATCHDOG_HEARTBEAT_STOPPING: TLOG_INFO("watchdog heartbeat %d", code); return notify("STOPPING=1");
    default: TLOG_WARN("watchdog: unknown heartbeat code %d", code); return -1;
    }
}
