#include "FrameworkServer.h"

#include "HttpRequest.h"
#include "HttpResponse.h"
#include "StatusPage.h"
#include "WebSocketConnection.h"

#include "Base/Log.h"

#include <QHostAddress>
#include <QNetworkInterface>
#include <QStringList>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QWebSocket>
#include <QWebSocketCorsAuthenticator>
#include <QWebSocketServer>

#include <algorithm>
#include <cstdio>
#include <string>
#include <utility>

CFrameworkServer::CFrameworkServer(const CFrameworkCallbacks& callbacks, std::function<FrameworkStatus()> status,
                                   CHostCheck::Addresses machineAddresses, int pushIntervalMs)
    : m_status(std::move(status))
    , m_router(callbacks, [this] { return this->status(); })
    , m_hostCheck(std::move(machineAddresses))
    , m_pushTimer(new QTimer(this))
{
    m_pushTimer->setInterval(pushIntervalMs);
    connect(m_pushTimer, &QTimer::timeout, this, &CFrameworkServer::onPushStatus);
}

CFrameworkServer::~CFrameworkServer()
{
    stopAll();
}

void CFrameworkServer::setToken(const QByteArray& token)
{
    m_router.setToken(token);
}

void CFrameworkServer::setExternalAccess(bool enabled)
{
    m_external = enabled;
}

QHostAddress CFrameworkServer::listenAddress() const
{
    return m_external ? QHostAddress(QHostAddress::Any) : QHostAddress(QHostAddress::LocalHost);
}

FrameworkStatus CFrameworkServer::status() const
{
    FrameworkStatus s = m_status();
    s.httpListening = m_http && m_http->isListening();
    s.webSocketListening = m_webSocket && m_webSocket->isListening();
    return s;
}

bool CFrameworkServer::startHttp(int port)
{
    stopHttp();
    m_http = new QTcpServer(this);
    if (!m_http->listen(listenAddress(), static_cast<quint16>(port))) {
        TLOG_ERROR("the web client's HTTP server cannot listen on port %d: %s", port,
                   m_http->errorString().toUtf8().constData());
        delete m_http;
        m_http = nullptr;
        return false;
    }
    connect(m_http, &QTcpServer::newConnection, this, &CFrameworkServer::onHttpConnection);
    // Whoever started the host from a terminal sees where to point a browser:
    // the loopback address, and with external access every other one too.
    QStringList hosts{QStringLiteral("127.0.0.1")};
    if (m_external) {
        TLOG_INFO("the web client's HTTP server listens on port %d of every interface", port);
        std::printf("External access is enabled: the web client answers on every interface.\n");
        for (const QHostAddress& address : QNetworkInterface::allAddresses()) {
            if (address.protocol() == QAbstractSocket::IPv4Protocol && !address.isLoopback())
                hosts << address.toString();
        }
    } else {
        TLOG_INFO("the web client's HTTP server listens on port %d of the loopback interface", port);
    }
    for (const QString& host : qAsConst(hosts)) {
        const std::string address = "http://" + host.toStdString() + ":" + std::to_string(port) + "/";
        std::printf("Web client: %s\n", address.c_str());
        TLOG_INFO("Web client: %s", address.c_str());
    }
    std::fflush(stdout);
    return true;
}

bool CFrameworkServer::startWebSocket(int port)
{
    stopWebSocket();
    m_webSocket = new QTcpServer(this);
    if (!m_webSocket->listen(listenAddress(), static_cast<quint16>(port))) {
        TLOG_ERROR("the WebSocket server cannot listen on port %d: %s", port,
                   m_webSocket->errorString().toUtf8().constData());
        delete m_webSocket;
        m_webSocket = nullptr;
        return false;
    }
    connect(m_webSocket, &QTcpServer::newConnection, this, &CFrameworkServer::onWebSocketConnection);
    m_webSocketProtocol =
        new QWebSocketServer(QString::fromLatin1(CStatusPage::kProductName), QWebSocketServer::NonSecureMode, this);
    m_webSocketProtocol->setHandshakeTimeout(kIdleTimeoutMs);
    connect(m_webSocketProtocol, &QWebSocketServer::originAuthenticationRequired, this,
            &CFrameworkServer::onWebSocketOrigin);
    connect(m_webSocketProtocol, &QWebSocketServer::newConnection, this, &CFrameworkServer::onWebSocketOpened);
    m_pushTimer->start();
    TLOG_INFO("the WebSocket server listens on port %d of %s", port,
              m_external ? "every interface" : "the loopback interface");
    return true;
}

void CFrameworkServer::stopAll()
{
    stopWebSocket();
    stopHttp();
}

void CFrameworkServer::stopHttp()
{
    if (m_http) {
        m_http->close();
        delete m_http;
        m_http = nullptr;
    }
    const QList<QTcpSocket*> sockets = m_pending.keys();
    m_pending.clear();
    for (QTcpSocket* socket : sockets) {
        m_httpCap.remove(socket);
        socket->disconnect(this);
        socket->abort();
        delete socket;
    }
}

void CFrameworkServer::dropHttp(QTcpSocket* socket)
{
    m_pending.remove(socket);
    m_httpCap.remove(socket);
    socket->disconnect(this);
    socket->abort();
    socket->deleteLater();
}

void CFrameworkServer::stopWebSocket()
{
    m_pushTimer->stop();
    const QList<CWebSocketConnection*> clients = m_clients;
    m_clients.clear();
    for (CWebSocketConnection* client : clients) {
        m_handshakeCap.remove(client);
        m_webSocketCap.remove(client);
        client->disconnect(this);
        client->abort();
        delete client;
    }
    delete m_webSocketProtocol;
    m_webSocketProtocol = nullptr;
    if (m_webSocket) {
        m_webSocket->close();
        delete m_webSocket;
        m_webSocket = nullptr;
    }
}

void CFrameworkServer::onHttpConnection()
{
    while (m_http && m_http->hasPendingConnections()) {
        QTcpSocket* socket = m_http->nextPendingConnection();
        if (QObject* idlest = m_httpCap.toDropFor())
            dropHttp(static_cast<QTcpSocket*>(idlest));
        // Owned here from now on, so that stopping frees it at once.
        socket->setParent(this);
        // Qt holds at most one request; further bytes wait in the system.
        socket->setReadBufferSize(CHttpRequest::kMaxRequestBytes);
        auto* idle = new QTimer(socket);
        idle->setSingleShot(true);
        connect(idle, &QTimer::timeout, socket, &QTcpSocket::abort);
        idle->start(kIdleTimeoutMs);
        m_pending.insert(socket, HttpConnection{QByteArray(), idle});
        m_httpCap.add(socket);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { serveHttp(socket); });
        connect(socket, &QTcpSocket::bytesWritten, this, [this, socket] { serveHttp(socket); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            m_httpCap.remove(socket);
            if (m_pending.remove(socket))
                socket->deleteLater();
        });
    }
}

void CFrameworkServer::serveHttp(QTcpSocket* socket)
{
    auto it = m_pending.find(socket);
    if (it == m_pending.end())
        return;
    QByteArray& received = it->received;
    // A client that does not read its answers holds back its next requests.
    while (socket->bytesToWrite() < kMaxUnsentBytes) {
        const QByteArray input = socket->read(CHttpRequest::kMaxRequestBytes - received.size());
        if (!input.isEmpty()) {
            m_httpCap.touch(socket);
            received += input;
        }
        CHttpRequest request;
        const CHttpRequest::Parse result = request.parse(received);
        if (result == CHttpRequest::Parse::Incomplete)
            return;

        CHttpResponse response = CHttpResponse::text(400);
        if (result == CHttpRequest::Parse::TooLarge)
            response = CHttpResponse::text(413);
        else if (result == CHttpRequest::Parse::UnsupportedVersion)
            response = CHttpResponse::text(505);
        else if (result == CHttpRequest::Parse::Complete && request.hasHeader("host")
                 && !m_hostCheck.isOwnHost(request.header("host"), socket->localPort()))
            response = CHttpResponse::text(421, "this server answers for this machine's own names only");
        else if (result == CHttpRequest::Parse::Complete)
            response = m_router.handle(request, socket->peerAddress());
        const bool keepAlive = result == CHttpRequest::Parse::Complete && request.keepAlive();

        QByteArray bytes = response.toBytes(keepAlive);
        if (request.method() == "HEAD")
            bytes.truncate(bytes.size() - response.body().size());
        socket->write(bytes);
        if (!keepAlive) {
            // Whatever follows is not read.
            disconnect(socket, &QTcpSocket::readyRead, this, nullptr);
            disconnect(socket, &QTcpSocket::bytesWritten, this, nullptr);
            socket->disconnectFromHost();
            return;
        }
        received.remove(0, request.size());
        it->idle->start(kIdleTimeoutMs);
    }
}

void CFrameworkServer::onWebSocketConnection()
{
    while (m_webSocket && m_webSocket->hasPendingConnections()) {
        QTcpSocket* socket = m_webSocket->nextPendingConnection();
        if (QObject* idlest = m_handshakeCap.toDropFor()) // its finished signal takes it out of the lists
            static_cast<CWebSocketConnection*>(idlest)->abort();
        auto* client = new CWebSocketConnection(socket, this);
        m_clients.append(client);
        m_handshakeCap.add(client);
        connect(client, &CWebSocketConnection::received, this, [this, client] {
            m_handshakeCap.touch(client);
            m_webSocketCap.touch(client);
        });
        connect(client, &CWebSocketConnection::finished, this, [this, client] {
            m_handshakeCap.remove(client);
            m_webSocketCap.remove(client);
            if (m_clients.removeOne(client))
                client->deleteLater();
        });
        client->handOver(*m_webSocketProtocol);
    }
}

// Openings from a page other than the web client's are refused; those without
// an origin come from programs, not from pages.
void CFrameworkServer::onWebSocketOrigin(QWebSocketCorsAuthenticator* authenticator)
{
    const QByteArray origin = authenticator->origin().toUtf8();
    const bool own = origin.isEmpty() || m_hostCheck.isOwnOrigin(origin, m_http ? m_http->serverPort() : 0);
    if (!own)
        TLOG_WARN("refused a WebSocket opening from the page %s", origin.toPercentEncoding(":/").constData());
    authenticator->setAllowed(own);
}

void CFrameworkServer::onWebSocketOpened()
{
    while (QWebSocket* webSocket = m_webSocketProtocol->nextPendingConnection()) {
        const auto it = std::find_if(m_clients.cbegin(), m_clients.cend(),
                                     [webSocket](CWebSocketConnection* client) { return client->adopt(webSocket); });
        if (it == m_clients.cend()) { // dropped meanwhile
            delete webSocket;
            continue;
        }
        CWebSocketConnection* client = *it;
        m_handshakeCap.remove(client);
        if (QObject* idlest = m_webSocketCap.toDropFor(client->client()))
            static_cast<CWebSocketConnection*>(idlest)->abort();
        m_webSocketCap.add(client, client->client());
        client->sendText(CStatusPage::statusJson(status()));
    }
}

void CFrameworkServer::onPushStatus()
{
    if (m_clients.isEmpty())
        return;
    const QByteArray message = CStatusPage::statusJson(status());
    // A client that cannot keep up leaves the list while it is gone through.
    const QList<CWebSocketConnection*> clients = m_clients;
    for (CWebSocketConnection* client : clients) {
        if (client->isOpen())
            client->sendText(message);
    }
}
