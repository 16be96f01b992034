#pragma once

// The suite's watchdog library. When the process runs under a service
// manager that gave it a notify socket ($NOTIFY_SOCKET), the calls are
// forwarded there; without one they only log.
//
// An "alive" heartbeat shows more than a thread that still runs: it reaches
// the service manager only when the event loop of the thread that opened the
// watchdog has turned since the beat before. A process whose loop hangs (a
// blocked call, a deadlock) thus misses its beats and is restarted by the
// manager's watchdog.

// Heartbeat codes.
enum WatchDogHeartbeat {
    WATCHDOG_HEARTBEAT_ALIVE = 0,
    // The process ends in order to be started again. A service manager that
    // runs it starts it again by its own rules (the unit restarts on the exit
    // status of a restart); without one the library starts the same program,
    // with the arguments and environment it was started with, once the
    // process has ended. The first such beat of a process counts.
    WATCHDOG_HEARTBEAT_RESTART = 1,
    WATCHDOG_HEARTBEAT_STOPPING = 2
};

// Registers the process with the watchdog and says it is ready. The Qt event
// loop of the thread that opens it first is the one the heartbeat vouches
// for (the host's main thread); it need not run yet. `intervalSeconds` is the heartbeat
// period the caller intends to keep. Returns 0 on success.
int OpenWatchDog(int intervalSeconds);
// Tells the service manager what the process serves: one line of text,
// shown by `systemctl status`. Returns 0 on success.
int SetWatchDogStatus(const char* status);
// Sends one heartbeat (0: alive, 1: restart, 2: stopping in order), from any
// thread. Returns 0 when it was sent, -1 when it was not (an alive beat while
// the event loop has not turned since the last one, an unknown code, a send
// failure, a restart that cannot be arranged).
int SendHeartbeat(int code);
