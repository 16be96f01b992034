#pragma once

// The suite's watchdog library. When the process runs under a service
// manager that gave it a notify socket ($NOTIFY_SOCKET), the calls are
// forwarded there.

// Heartbeat codes.
enum WatchDogHeartbeat {
    WATCHDOG_HEARTBEAT_ALIVE = 0,
    WATCHDOG_HEARTBEAT_STOPPING = 2
};

// Registers the process with the watchdog; `intervalSeconds` is the
// heartbeat period the caller intends to keep. Returns 0 on success.
int OpenWatchDog(int intervalSeconds);
// Sends one heartbeat (0: alive, 2: stopping in order). Returns 0 on
// success.
int SendHeartbeat(int code);
