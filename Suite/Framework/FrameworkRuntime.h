#pragma once

// The framework library's process-wide state: its configuration, the host's
// callbacks and the thread that runs the servers. The exported functions
// delegate here; every operation may be called from the host's thread while
// the library's thread runs.

#include "FrameworkCallbacks.h"
#include "FrameworkConfig.h"
#include "FrameworkServer.h"
#include "FrameworkStatus.h"

#include "CommonMethod/ServedPorts.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

class QThread;

class CFrameworkRuntime
{
public:
    // pushIntervalMs: how often the WebSocket clients are sent the status.
    explicit CFrameworkRuntime(int pushIntervalMs = CFrameworkServer::kPushIntervalMs);
    CFrameworkRuntime(const CFrameworkRuntime&) = delete;
    CFrameworkRuntime& operator=(const CFrameworkRuntime&) = delete;

    bool initFirst();
    bool initSecond();
    bool initLast();
    void uninit();

    CFrameworkCallbacks& callbacks() { return m_callbacks; }
    // Set the host's skin and language callbacks and, while the library
    // runs, hand the host the skin or language the web client set last,
    // from the library's thread.
    void setRegisterRccCallback(FrameworkSkinCallback fn, void* user);
    void setLanguageCallback(FrameworkLanguageCallback fn);
    void setLanguage(int index) { m_language = index; }
    void setHostServices(const std::string& product, const std::vector<FrameworkService>& services);
    int httpPort() const;

    FrameworkStatus status() const;

private:
    // Runs fn on the library's thread and waits for it.
    void runOnServerThread(const std::function<void()>& fn);
    bool onServerThread() const;
    // Queues fn on the library's thread; nothing when it does not run.
    void handOver(const char* what, std::function<void()> fn);
    // The common part of initSecond and initLast: refused before initFirst,
    // starts the up time, then runs start with the ports on the library's thread.
    bool startServer(const char* caller, const std::function<bool(CFrameworkServer&, const FrameworkPorts&)>& start);

    const int m_pushIntervalMs;
    std::mutex m_lifecycle; // one init or uninit at a time
    CFrameworkCallbacks m_callbacks;
    std::atomic<int> m_language{0};

    mutable std::mutex m_stateMutex; // guards what the status reads
    FrameworkPorts m_ports;
    QElapsedTimer m_upTime;   // valid while the services are up
    qint64 m_startedAtMs = 0; // when m_upTime started, since 1970
    std::string m_product;
    std::vector<FrameworkService> m_services; // the host's; empty: the library's own servers
    // The served ports, read at most every kServedPortsMaxAgeMs: every page, status answer and push asks, and
    // reading the socket tables of a busy machine (thousands of closed connections) takes milliseconds.
    mutable std::mutex m_servedMutex;
    mutable comm_method::CServedPorts m_served;
    mutable QElapsedTimer m_servedRead;

    QThread* m_thread = nullptr;
    CFrameworkServer* m_server = nullptr; // lives on m_thread
    bool m_configured = false;            // initFirst succeeded
};
