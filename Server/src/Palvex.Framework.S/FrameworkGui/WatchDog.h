#pragma once
// Heartbeat towards the suite's watchdog library: once started, a thread of
// its own reports "alive" every period (the library passes it on while the
// main event loop turns) until stop() ends it with the final "stopping in
// order" beat.

#include <Base/Singleton.h>
#include <ZRT/ZRT.h>

#include <string>

namespace serverframework {

class WatchDog : public Base::CSingleton<WatchDog>, public Base::CNoncopyable
{
public:
    // The host's heartbeat period.
    static constexpr unsigned int kDefaultPeriodMs = 5000;

    explicit WatchDog(unsigned int periodMs = kDefaultPeriodMs);
    ~WatchDog();

    // Registers with the watchdog library (from the main thread, whose event
    // loop the beats vouch for), tells it what the host serves, and starts
    // the heartbeat thread; true when the thread runs.
    bool start();
    // Ends the heartbeat thread at once (if it runs) and sends the final
    // beat from the calling thread. Always true.
    bool stop();
    // Asks the watchdog library to have the host started again once this
    // process has ended; the heartbeat goes on until then. True when the
    // library took the request.
    bool requestRestart();

private:
    // What the host serves, as the service manager shows it: the web
    // client's address and the WebSocket port of the port configuration.
    static std::string servedStatus();
    static unsigned int heartbeatLoop(void* argument);

    ZRT_HANDLE stopEvent;
    ZRT_HANDLE thread;
    unsigned int periodMs;
};

} // namespace serverframework
