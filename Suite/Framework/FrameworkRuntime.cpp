#include "FrameworkRuntime.h"

#include "FrameworkServer.h"

#include "Base/Log.h"

#include <QMetaObject>
#include <QThread>

bool CFrameworkRuntime::onServerThread() const
{
    return m_thread && QThread::currentThread() == m_thread;
}

void CFrameworkRuntime::runOnServerThread(const std::function<void()>& fn)
{
    if (onServerThread())
        fn();
    else
        QMetaObject::invokeMethod(m_server, fn, Qt::BlockingQueuedConnection);
}

FrameworkStatus CFrameworkRuntime::status() const
{
    FrameworkStatus s;
    {
        std::lock_guard<std::mutex> lock(m_stateMutex);
        s.httpPort = m_ports.httpPort;
        s.webSocketPort = m_ports.webSocketPort;
        s.videoWallPort = m_ports.videoWallPort;
        s.upSeconds = m_upTime.isValid() ? m_upTime.elapsed() / 1000 : 0;
    }
    s.language = m_language;
    return s;
}

int CFrameworkRuntime::httpPort() const
{
    std::lock_guard<std::mutex> lock(m_stateMutex);
    return m_ports.httpPort;
}

bool CFrameworkRuntime::initFirst()
{
    if (onServerThread()) {
        TLOG_ERROR("the framework cannot be initialised from its own thread");
        return false;
    }
    std::lock_guard<std::mutex> lock(m_lifecycle);
    FrameworkPorts ports;
    if (!CFrameworkConfig::readPorts(ports)) {
        TLOG_ERROR("initFrameworkFirst: the framework configuration cannot be read");
        return false;
    }
    QByteArray token;
    if (!CFrameworkConfig::writeNewToken(token)) {
        TLOG_ERROR("initFrameworkFirst: the control token cannot be written");
        return false;
    }
    {
        std::lock_guard<std::mutex> state(m_stateMutex);
        m_ports = ports;
    }
    if (!m_thread) {
        m_thread = new QThread();
        m_thread->setObjectName("FrameworkServer");
        m_server = new CFrameworkServer(m_callbacks, [this] { return status(); });
        m_server->moveToThread(m_thread);
        QObject::connect(m_thread, &QThread::finished, m_server, &QObject::deleteLater);
        m_thread->start();
    }
    runOnServerThread([this, token, ports] {
        m_server->setToken(token);
        m_server->setExternalAccess(ports.externEnabled);
    });
    m_configured = true;
    TLOG_INFO("initFrameworkFirst: http %d, websocket %d, video wall %d", ports.httpPort,
              ports.webSocketPort, ports.videoWallPort);
    return true;
}

bool CFrameworkRuntime::initSecond()
{
    return startServer("initFrameworkSecond",
                       [](CFrameworkServer& server, const FrameworkPorts& ports) {
                           return server.startHttp(ports.httpPort);
                       });
}

bool CFrameworkRuntime::initLast()
{
    return startServer("initFrameworkLast",
                       [](CFrameworkServer& server, const FrameworkPorts& ports) {
                           return server.startWebSocket(ports.webSocketPort);
                       });
}

bool CFrameworkRuntime::startServer(const char* caller,
                                    const std::function<bool(CFrameworkServer&, const FrameworkPorts&)>& start)
{
    if (onServerThread())
        return false;
    std::lock_guard<std::mutex> lock(m_lifecycle);
    if (!m_configured) {
        TLOG_ERROR("%s before a successful initFrameworkFirst", caller);
        return false;
    }
    const FrameworkPorts ports = [this] {
        std::lock_guard<std::mutex> state(m_stateMutex);
        if (!m_upTime.isValid())
            m_upTime.start();
        return m_ports;
    }();
    bool ok = false;
    runOnServerThread([this, &ok, &ports, &start] { ok = start(*m_server, ports); });
    return ok;
}

void CFrameworkRuntime::uninit()
{
    if (onServerThread()) {
        // Waiting for our own thread would never end.
        TLOG_ERROR("uninitFramework cannot be called from the framework's own thread");
        return;
    }
    std::lock_guard<std::mutex> lock(m_lifecycle);
    if (m_thread) {
        runOnServerThread([this] { m_server->stopAll(); });
        m_thread->quit();
        m_thread->wait(); // the server is deleted as the thread finishes
        delete m_thread;
        m_thread = nullptr;
        m_server = nullptr;
        TLOG_INFO("the framework's servers are stopped");
    }
    if (m_configured)
        CFrameworkConfig::removeToken();
    m_configured = false;
    std::lock_guard<std::mutex> state(m_stateMutex);
    m_upTime.invalidate();
}
