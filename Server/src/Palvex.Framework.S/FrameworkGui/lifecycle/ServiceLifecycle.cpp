#include "ServiceLifecycle.h"

#include "SignalSet.h"
#include "WatchDog.h"
#include "controller/XMLConfigManager.h"
#include "logical/CheckPort.h"
#include "logical/IdentifyAuth/AuthCfgManager.h"
#include "logical/ProductType.h"

#include <Base/Log.h>
#include <DeviceManager/DeviceManager.h>
#include <VideoServer/VideoServer.h>

#include <QCoreApplication>

#include <atomic>
#include <utility>

namespace serverframework {

namespace {

std::atomic<bool> g_rebootRequested{false};
std::atomic<bool> g_endingBegun{false};

// The framework library calls these from a thread of its own; each only
// sets a flag or hands the request to the main thread.
void rebootCallback(void*)
{
    g_rebootRequested = true;
    QMetaObject::invokeMethod(QCoreApplication::instance(), "quit", Qt::QueuedConnection);
}

void closeCallback(void*)
{
    CSignalSet::Instance().emitCloseFrame();
}

void delayCloseCallback(void*)
{
    CSignalSet::Instance().stopCloseTimer();
}

const char* const kStepNames[] = {"identity library released",     "watchdog stopped",
                                  "device manager released",       "video server released",
                                  "framework library released",    "tray object deleted",
                                  "start after the end requested", "end of the event loop queued"};

const char* endingName(CServiceLifecycle::Ending ending)
{
    switch (ending) {
    case CServiceLifecycle::Ending::Quit: return "Quit";
    case CServiceLifecycle::Ending::Restart: return "Restart";
    case CServiceLifecycle::Ending::FailedStart: return "Failed start";
    case CServiceLifecycle::Ending::Reboot: return "Reboot";
    }
    return "";
}

// A server could not listen although the audit found its port free (someone
// took it in between): it moves like a held port of the audit.
void moveUnlistenedPort(ServicePort port, int from)
{
    CCheckPort& checkPort = CCheckPort::instance();
    const int moved = checkPort.claimServedPortFrom(from + 1);
    if (moved < 0) {
        TLOG_ERROR("%s port %d cannot be listened on and no other port is free.", serviceName(port), from);
        return;
    }
    checkPort.reportMove(port, from, moved);
    Base::CSingleton<XMLConfigManager>::Instance().setPort(port, std::to_string(moved));
}

} // namespace

CServiceLifecycle::CServiceLifecycle(std::function<void(bool deferred)> releaseTray)
    : m_releaseTray(std::move(releaseTray))
{
}

bool CServiceLifecycle::rebootRequested()
{
    return g_rebootRequested;
}

bool CServiceLifecycle::endingBegun()
{
    return g_endingBegun;
}

bool CServiceLifecycle::start(int productType, FrameworkSkinCallback registerRcc, void* user,
                              FrameworkLanguageCallback language)
{
    if (!initFrameworkFirst() || !startServers())
        return false;
    devmgr::InitDeviceManagerServer();
    video::InitVideoServer();

    setRebootCallback(&rebootCallback, user);
    setCloseCallback(&closeCallback, user);
    setDelayCloseCallback(&delayCloseCallback, user);
    setRegisterRccCallback(registerRcc, user);
    setLanguageCallback(std::move(language));

    WatchDog::Instance().start();

    if (usesIdentity(productType)) {
        m_identityEnabled = true;
        CAuthenticationManager& identity = CAuthenticationManager::Instance();
        if (identity.InitIdentifyLib() == CAuthenticationManager::kNoRecord) {
            identity.CreateIdentifyInfo();
            identity.InitIdentifyLib();
        }
    }
    return true;
}

bool CServiceLifecycle::startServers()
{
    // A few rounds: a port taken between the audit and the listen is rare.
    constexpr int kRounds = 5;
    XMLConfigManager& config = Base::CSingleton<XMLConfigManager>::Instance();
    for (int round = 1;; ++round) {
        const bool http = initFrameworkSecond();
        const bool webSocket = initFrameworkLast();
        if ((http && webSocket) || round == kRounds)
            return true;
        if (!http)
            moveUnlistenedPort(ServicePort::Http, config.httpPort);
        if (!webSocket)
            moveUnlistenedPort(ServicePort::WebSocket, config.webSocketPort);
        config.reInitPort();
        uninitFramework();
        if (!initFrameworkFirst())
            return false;
    }
}

void CServiceLifecycle::end(Ending ending)
{
    g_endingBegun = true;
    const bool wasUp = std::exchange(m_servicesUp, false);
    std::bitset<StepCount> steps;
    steps.set(QuitLoop);
    switch (ending) {
    case Ending::Quit: steps.set(Identity).set(Watchdog).set(Framework, wasUp).set(Tray); break;
    case Ending::Restart: steps.set(Identity).set(Framework, wasUp).set(Tray).set(StartAgain); break;
    case Ending::FailedStart:
        if (wasUp)
            steps.set(Watchdog).set(DeviceManager).set(VideoServer).set(Framework);
        [[fallthrough]];
    case Ending::Reboot:
        // The tray and the identity library only when the identity step ran.
        steps.set(Framework, steps[Framework] || wasUp);
        steps.set(Identity, wasUp && m_identityEnabled).set(Tray, wasUp && m_identityEnabled);
        steps.set(StartAgain, ending == Ending::Reboot);
        break;
    }
    TLOG_INFO("%s: begin.", endingName(ending));
    for (int step = 0; step < StepCount; ++step) {
        if (!steps[step] || m_released[step])
            continue;
        m_released.set(step);
        release(static_cast<Step>(step), ending);
        TLOG_INFO("%s: %s.", endingName(ending), kStepNames[step]);
    }
}

void CServiceLifecycle::release(Step step, Ending ending)
{
    switch (step) {
    case Identity: CAuthenticationManager::Instance().ReleaseIdentifyLib(); return;
    case Watchdog: WatchDog::Instance().stop(); return;
    case DeviceManager: devmgr::UnInitDeviceManagerServer(); return;
    case VideoServer: video::UnInitVideoServer(); return;
    case Framework: uninitFramework(); return;
    case Tray:
        if (m_releaseTray)
            m_releaseTray(ending == Ending::Quit || ending == Ending::Restart);
        return;
    case StartAgain: WatchDog::Instance().requestRestart(); return;
    case QuitLoop: QMetaObject::invokeMethod(QCoreApplication::instance(), "quit", Qt::QueuedConnection); return;
    case StepCount: return;
    }
}

} // namespace serverframework
