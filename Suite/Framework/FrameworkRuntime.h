#pragma once

// The framework library's process-wide state: its configuration, the host's
// callbacks and the thread that runs the servers. The exported functions
// delegate here; every operation may be called from the host's thread while
// the library's thread runs.

#include "FrameworkCallbacks.h"
#include "FrameworkConfig.h"
#include "FrameworkStatus.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <atomic>
#include <functional>
#include <mutex>

class CFrameworkServer;
class QThread;

class CFrameworkRuntime
{
public:
    CFrameworkRuntime() = default;
    CFrameworkRuntime(const CFrameworkRuntime&) = delete;
    CFrameworkRuntime& operator=(const CFrameworkRuntime&) = delete;

    bool initFirst();
    bool initSecond();
    bool initLast();
    void uninit();

    CFrameworkCallbacks& callbacks() { return m_callbacks; }
    void setLanguage(int index) { m_language = index; }
    int httpPort() const;

    FrameworkStatus status() const;

private:
    // Runs fn on the library's thread and waits for it.
    void runOnServerThread(const std::function<void()>& fn);
    bool onServerThread() const;
    // The common part of initSecond and initLast: refused before initFirst,
    // starts the up time, then runs start with the ports on the library's thread.
    bool startServer(const char* caller,
                     const std::function<bool(CFrameworkServer&, const FrameworkPorts&)>& start);

    std::mutex m_lifecycle; // one init or uninit at a time
    CFrameworkCallbacks m_callbacks;
    std::atomic<int> m_language{0};

    mutable std::mutex m_stateMutex; // guards what the status reads
    FrameworkPorts m_ports;
    QElapsedTimer m_upTime;          // valid while the services are up

    QThread* m_thread = nullptr;
    CFrameworkServer* m_server = nullptr; // lives on m_thread
    bool m_configured = false;            // initFirst succeeded
};
