#include "FrameworkServer.h"

#include "HttpRequest.h"
#include "HttpResponse.h"
#include "StatusPage.h"

#include "Base/Log.h"

#include <QHostAddress>
#include <QNetworkInterface>
#include <QStringList>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QWebSocket>
#include <QWebSocketServer>

#include <cstdio>
#include <string>
#include <utility>

CFrameworkServer::CFrameworkServer(const CFrameworkCallbacks& callbacks, std::function<FrameworkStatus()> status)
    : m_status(std::move(status)),
      m_router(callbacks, [this] { return this->status(); }),
      m_pushTimer(new QTimer(this))
{
    m_pushTimer->setInterval(kPushIntervalMs);
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
    m_webSocket = new QWebSocketServer(QString::fromLatin1(CStatusPage::kProductName),
                                       QWebSocketServer::NonSecureMode, this);
    if (!m_webSocket->listen(listenAddress(), static_cast<quint16>(port))) {
        TLOG_ERROR("the WebSocket server cannot listen on port %d: %s", port,
                   m_webSocket->errorString().toUtf8().constData());
        delete m_webSocket;
        m_webSocket = nullptr;
        return false;
    }
    connect(m_webSocket, &QWebSocketServer::newConnection, this, &CFrameworkServer::onWebSocketConnection);
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
        socket->disconnect(this);
        socket->abort();
        delete socket;
    }
}

void CFrameworkServer::stopWebSocket()
{
    m_pushTimer->stop();
    const QList<QWebSocket*> clients = m_clients;
    m_clients.clear();
    for (QWebSocket* client : clients) {
        client->disconnect(this);
        client->abort();
        delete client;
    }
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
        // Owned here from now on, so that stopping frees it at once.
        socket->setParent(this);
        m_pending.insert(socket, QByteArray());
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { readRequest(socket); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            if (m_pending.remove(socket))
                socket->deleteLater();
        });
        // A client that never completes its request is dropped.
        QTimer::singleShot(kIdleTimeoutMs, socket, [socket] { socket->abort(); });
    }
}

void CFrameworkServer::readRequest(QTcpSocket* socket)
{
    auto it = m_pending.find(socket);
    if (it == m_pending.end())
        return;
    it.value() += socket->readAll();

    CHttpRequest request;
    const CHttpRequest::Parse result = request.parse(it.value());
    if (result == CHttpRequest::Parse::Incomplete)
        return;
    it.value().clear();
    // One request per connection: whatever follows is not read.
    disconnect(socket, &QTcpSocket::readyRead, this, nullptr);

    CHttpResponse response = CHttpResponse::text(400);
    if (result == CHttpRequest::Parse::TooLarge)
        response = CHttpResponse::text(413);
    else if (result == CHttpRequest::Parse::Complete)
        response = m_router.handle(request, socket->peerAddress());

    QByteArray bytes = response.toBytes();
    if (request.method() == "HEAD")
        bytes.truncate(bytes.size() - response.body().size());
    socket->write(bytes);
    socket->disconnectFromHost();
}

void CFrameworkServer::onWebSocketConnection()
{
    while (m_webSocket && m_webSocket->hasPendingConnections()) {
        QWebSocket* client = m_webSocket->nextPendingConnection();
        client->setParent(this);
        m_clients.append(client);
        connect(client, &QWebSocket::disconnected, this, [this, client] {
            if (m_clients.removeOne(client))
                client->deleteLater();
        });
        client->sendTextMessage(QString::fromUtf8(CStatusPage::statusJson(status())));
    }
}

void CFrameworkServer::onPushStatus()
{
    if (m_clients.isEmpty())
        return;
    const QString message = QString::fromUtf8(CStatusPage::statusJson(status()));
    for (QWebSocket* client : qAsConst(m_clients))
        client->sendTextMessage(message);
}
