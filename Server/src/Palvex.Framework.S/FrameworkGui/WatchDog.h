#pragma once
// Heartbeat towards the suite's watchdog library: once started, a thread of
// its own reports "alive" every period until stop() ends it with the final
// "stopping in order" beat.

#include <Base/Singleton.h>
#include <ZRT/ZRT.h>

namespace serverframework {

class WatchDog : public Base::CSingleton<WatchDog>, public Base::CNoncopyable
{
public:
    // The host's heartbeat period.
    static constexpr unsigned int kDefaultPeriodMs = 5000;

    explicit WatchDog(unsigned int periodMs = kDefaultPeriodMs);
    ~WatchDog();

    // Registers with the watchdog library and starts the heartbeat thread;
    // true when the thread runs.
    bool start();
    // Ends the heartbeat thread at once (if it runs) and sends the final
    // beat from the calling thread. Always true.
    bool stop();

private:
    static unsigned int heartbeatLoop(void* argument);

    ZRT_HANDLE stopEvent;
    ZRT_HANDLE thread;
    unsigned int periodMs;
};

} // namespace serverframework
