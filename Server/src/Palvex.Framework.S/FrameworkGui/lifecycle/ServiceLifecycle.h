#pragma once
// The hosted services from start to end: the framework library in its three
// stages, the two server modules, the callbacks, the watchdog heartbeat and
// the identity library brought up in their fixed order; and one ordered
// list of releases from which every way of ending takes its own selection,
// each release running at most once per process.

#include <Framework/Framework.h>

#include <bitset>
#include <functional>

namespace serverframework {

class CServiceLifecycle
{
public:
    enum class Ending {
        Quit,        // an orderly quit: the watchdog gets its final beat
        Restart,     // the ports changed; the watchdog has the host started again after its end
        FailedStart, // the start-up sequence refused to go on
        Reboot,      // the framework library asked for it; the event loop has ended; as Restart
    };

    // The tray object is the interface's: its release is handed in. A quit
    // or restart may come from one of the tray's own signals: the release is
    // told to defer the deletion then.
    explicit CServiceLifecycle(std::function<void(bool deferred)> releaseTray);

    // Brings the framework library, the modules, the callbacks, the
    // heartbeat and (for the products that use it) the identity library up.
    // False when the framework library cannot read its configuration: the
    // rest is not started. A server that cannot listen on its port is moved
    // like a held port of the audit and started again.
    bool start(int productType, FrameworkSkinCallback registerRcc, void* user, FrameworkLanguageCallback language);

    // Releases what the ending releases, in list order.
    void end(Ending ending);

    bool servicesUp() const { return m_servicesUp; }
    // Start-up was refused before anything was started: no ending releases
    // the framework library.
    void markNothingStarted() { m_servicesUp = false; }
    bool identityEnabled() const { return m_identityEnabled; }

    // Set by the framework library's reboot callback.
    static bool rebootRequested();
    // An ending has begun in this process: nothing is to start the framework
    // library again (a re-initialisation would serve on until the end, and
    // leave its token behind).
    static bool endingBegun();

private:
    enum Step { Identity, Watchdog, DeviceManager, VideoServer, Framework, Tray, StartAgain, QuitLoop, StepCount };

    void release(Step step, Ending ending);
    // Starts the two servers, moving the port of one that cannot listen;
    // false when the configuration can no longer be read.
    bool startServers();

    std::function<void(bool deferred)> m_releaseTray;
    bool m_servicesUp = true;
    bool m_identityEnabled = false;
    std::bitset<StepCount> m_released;
};

} // namespace serverframework
