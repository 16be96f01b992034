#include "FrameworkRuntime.h"

#include "FrameworkServer.h"
#include "StatusPage.h"

#include "Base/Log.h"
#include "CommonMethod/ServedPorts.h"

#include <QDateTime>
#include <QMetaObject>
#include <QNetworkInterface>
#include <QThread>

namespace {
// Short enough that a service that stops shows so at the next push.
constexpr qint64 kServedPortsMaxAgeMs = 250;
} // namespace

CFrameworkRuntime::CFrameworkRuntime(int pushIntervalMs)
    : m_pushIntervalMs(pushIntervalMs)
{
}

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

void CFrameworkRuntime::handOver(const char* what, std::function<void()> fn)
{
    std::lock_guard<std::mutex> lock(m_lifecycle);
    if (!m_server) {
        TLOG_WARN("the web client's last %s is not handed to the host: the framework does not run", what);
        return;
    }
    QMetaObject::invokeMethod(m_server, std::move(fn), Qt::QueuedConnection);
}

void CFrameworkRuntime::setRegisterRccCallback(FrameworkSkinCallback fn, void* user)
{
    m_callbacks.setRegisterRcc(fn, user);
    handOver("skin", [this] {
        const std::string skin = CFrameworkConfig::storedSkin();
        if (!skin.empty() && m_callbacks.registerRcc(skin) == CFrameworkCallbacks::Outcome::Refused)
            TLOG_WARN("the host did not apply the web client's last skin");
    });
}

void CFrameworkRuntime::setLanguageCallback(FrameworkLanguageCallback fn)
{
    m_callbacks.setLanguage(std::move(fn));
    handOver("language", [this] {
        const int language = CFrameworkConfig::storedLanguage();
        if (language >= 0 && m_callbacks.language(language) == CFrameworkCallbacks::Outcome::Refused)
            TLOG_WARN("the host did not apply the web client's last language %d", language);
    });
}

void CFrameworkRuntime::setHostServices(const std::string& product, const std::vector<FrameworkService>& services)
{
    std::lock_guard<std::mutex> lock(m_stateMutex);
    m_product = product;
    m_services = services;
}

FrameworkStatus CFrameworkRuntime::status() const
{
    FrameworkStatus s;
    std::vector<FrameworkService> services;
    {
        std::lock_guard<std::mutex> lock(m_stateMutex);
        s.product = m_product.empty() ? std::string(CStatusPage::kProductName) : m_product;
        s.httpPort = m_ports.httpPort;
        s.webSocketPort = m_ports.webSocketPort;
        s.videoWallPort = m_ports.videoWallPort;
        s.upSeconds = m_upTime.isValid() ? m_upTime.elapsed() / 1000 : 0;
        s.startedAtMs = m_upTime.isValid() ? m_startedAtMs : 0;
        services = m_services;
        if (services.empty())
            services = {{"HTTP", m_ports.httpPort, 0, {}}, {"WebSocket", m_ports.webSocketPort, 0, {}}};
    }
    s.language = m_language;
    comm_method::CServedPorts served;
    {
        std::lock_guard<std::mutex> lock(m_servedMutex);
        if (!m_servedRead.isValid() || m_servedRead.hasExpired(kServedPortsMaxAgeMs)) {
            m_served = comm_method::CServedPorts::now();
            m_servedRead.start();
        }
        served = m_served;
    }
    for (FrameworkService& service : services) {
        const bool isServed = served.served(service.port);
        s.services.push_back({std::move(service), isServed});
    }
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
        m_server = new CFrameworkServer(
            m_callbacks, [this] { return status(); }, &QNetworkInterface::allAddresses, m_pushIntervalMs);
        m_server->moveToThread(m_thread);
        QObject::connect(m_thread, &QThread::finished, m_server, &QObject::deleteLater);
        m_thread->start();
    }
    runOnServerThread([this, token, ports] {
        m_server->setToken(token);
        m_server->setExternalAccess(ports.externEnabled);
    });
    m_configured = true;
    TLOG_INFO("initFrameworkFirst: http %d, websocket %d, video wall %d", ports.httpPort, ports.webSocketPort,
              ports.videoWallPort);
    return true;
}

bool CFrameworkRuntime::initSecond()
{
    return startServer("initFrameworkSecond", [](CFrameworkServer& server, const FrameworkPorts& ports) {
        return server.startHttp(ports.httpPort);
    });
}

bool CFrameworkRuntime::initLast()
{
    return startServer("initFrameworkLast", [](CFrameworkServer& server, const FrameworkPorts& ports) {
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
        if (!m_upTime.isValid()) {
            m_upTime.start();
            m_startedAtMs = QDateTime::currentMSecsSinceEpoch();
        }
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
