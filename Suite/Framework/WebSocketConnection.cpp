#include "WebSocketConnection.h"

#include "Base/Log.h"

#include <QTcpSocket>
#include <QWebSocket>
#include <QWebSocketServer>

CWebSocketConnection::CWebSocketConnection(QTcpSocket* socket, QObject* parent)
    : QObject(parent)
    , m_socket(socket)
{
    socket->setParent(this);
    socket->setReadBufferSize(kReadBufferBytes);
    connect(socket, &QTcpSocket::readyRead, this, &CWebSocketConnection::received);
    connect(socket, &QTcpSocket::disconnected, this, &CWebSocketConnection::finish);
}

CWebSocketConnection::~CWebSocketConnection()
{
    m_finished = true;
    delete m_webSocket; // before the connection it uses
    delete m_socket.data();
}

void CWebSocketConnection::handOver(const QWebSocketServer& server)
{
    server.handleConnection(m_socket);
}

bool CWebSocketConnection::adopt(QWebSocket* webSocket)
{
    if (!m_socket || m_webSocket || webSocket->peerPort() != m_socket->peerPort()
        || webSocket->peerAddress() != m_socket->peerAddress())
        return false;
    m_webSocket = webSocket;
    webSocket->setParent(this);
    webSocket->setMaxAllowedIncomingFrameSize(kMaxFrameBytes);
    webSocket->setMaxAllowedIncomingMessageSize(kMaxMessageBytes);
    connect(webSocket, &QWebSocket::disconnected, this, &CWebSocketConnection::finish);
    // Queued behind the protocol's own reading, which answers pings.
    connect(m_socket, &QTcpSocket::readyRead, this, &CWebSocketConnection::checkUnsent, Qt::QueuedConnection);
    return true;
}

bool CWebSocketConnection::isOpen() const
{
    return !m_finished && m_webSocket && m_webSocket->state() == QAbstractSocket::ConnectedState;
}

QByteArray CWebSocketConnection::client() const
{
    const QString origin = m_webSocket ? m_webSocket->origin() : QString();
    return origin.isEmpty() && m_socket ? m_socket->peerAddress().toString().toUtf8() : origin.toUtf8();
}

void CWebSocketConnection::sendText(const QByteArray& utf8)
{
    if (!isOpen())
        return;
    m_webSocket->sendTextMessage(QString::fromUtf8(utf8));
    checkUnsent();
}

void CWebSocketConnection::checkUnsent()
{
    if (!m_finished && m_socket && m_socket->bytesToWrite() > kMaxUnsentBytes) {
        TLOG_WARN("dropping a WebSocket client that does not read what it is sent");
        abort();
    }
}

void CWebSocketConnection::abort()
{
    if (m_webSocket)
        m_webSocket->abort();
    else if (m_socket)
        m_socket->abort();
    finish();
}

void CWebSocketConnection::finish()
{
    if (m_finished)
        return;
    m_finished = true;
    emit finished();
}
