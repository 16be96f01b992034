#pragma once

// The web client's HTTP and WebSocket servers. Lives on the library's own
// thread: every slot runs there, and so do the host's callbacks that the
// control requests reach.

#include "ConnectionCap.h"
#include "FrameworkRouter.h"
#include "FrameworkStatus.h"
#include "HostCheck.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QNetworkInterface>
#include <QObject>
#include <functional>

class CFrameworkCallbacks;
class QHostAddress;
class QTcpServer;
class QTcpSocket;
class QTimer;
class QWebSocketCorsAuthenticator;
class QWebSocketServer;
class CWebSocketConnection;

class CFrameworkServer : public QObject
{
    Q_OBJECT

public:
    // How often the open WebSocket clients are sent the status.
    static constexpr int kPushIntervalMs = 1000;
    // A client that takes longer for a request (the first one, or the next
    // one on a kept connection) is dropped.
    static constexpr int kIdleTimeoutMs = 10000;
    // Answers not yet taken by the client; beyond it further requests of the
    // connection wait.
    static constexpr int kMaxUnsentBytes = 64 * 1024;
    // Connections each server holds at most; beyond it the one idle the
    // longest is dropped. The WebSocket server holds as many again in their
    // opening handshake, so that these never push out open ones.
    static constexpr int kMaxConnections = 64;
    // Open WebSocket connections of one page (origin) or, without an origin,
    // of one peer; beyond it that client's own idlest one is dropped.
    static constexpr int kMaxConnectionsPerClient = 16;

    // status: ports, language and up time; the listening flags are added here.
    // machineAddresses: the machine's own addresses, which a request's Host
    // may name (see CHostCheck). pushIntervalMs: the period of the status push.
    CFrameworkServer(const CFrameworkCallbacks& callbacks, std::function<FrameworkStatus()> status,
                     CHostCheck::Addresses machineAddresses = &QNetworkInterface::allAddresses,
                     int pushIntervalMs = kPushIntervalMs);
    ~CFrameworkServer() override;

    // To be called on the server's thread. A port that cannot be bound is
    // logged with the system's reason and gives false.
    void setToken(const QByteArray& token);
    // Loopback only unless external access is enabled; takes effect at the
    // next start.
    void setExternalAccess(bool enabled);
    bool startHttp(int port);
    bool startWebSocket(int port);
    // Closes both servers and every connection; the ports are free after it.
    void stopAll();

    FrameworkStatus status() const;

private slots:
    void onHttpConnection();
    void onWebSocketConnection();
    void onWebSocketOrigin(QWebSocketCorsAuthenticator* authenticator);
    void onWebSocketOpened();
    void onPushStatus();

private:
    // Answers the complete requests received so far, in order.
    void serveHttp(QTcpSocket* socket);
    void dropHttp(QTcpSocket* socket);
    void stopHttp();
    void stopWebSocket();
    QHostAddress listenAddress() const;

    std::function<FrameworkStatus()> m_status;
    CFrameworkRouter m_router;
    CHostCheck m_hostCheck;
    QTcpServer* m_http = nullptr;
    QTcpServer* m_webSocket = nullptr;
    QWebSocketServer* m_webSocketProtocol = nullptr; // opens and speaks what m_webSocket accepts
    QTimer* m_pushTimer = nullptr;
    struct HttpConnection
    {
        QByteArray received; // not yet answered
        QTimer* idle;        // child of the socket
    };
    QHash<QTcpSocket*, HttpConnection> m_pending;
    CConnectionCap m_httpCap{kMaxConnections};
    QList<CWebSocketConnection*> m_clients; // handshaking or open
    CConnectionCap m_handshakeCap{kMaxConnections};
    CConnectionCap m_webSocketCap{kMaxConnections, kMaxConnectionsPerClient};
    bool m_external = false;
};
