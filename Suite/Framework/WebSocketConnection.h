#pragma once

// One client of the web client's status push. Its TCP connection is handed to
// the WebSocket server, which reads the opening handshake and speaks the
// protocol; this object owns the connection, tells when the client sent
// something and holds the bytes sent but not yet taken by the client below
// kMaxUnsentBytes: every frame counts, the pongs to the client's pings too,
// and a client over it is dropped at once. A frame above kMaxFrameBytes or a
// message above kMaxMessageBytes closes the connection with the protocol's
// code; the client's messages carry nothing the server uses.

#include <QByteArray>
#include <QObject>
#include <QPointer>

class QTcpSocket;
class QWebSocket;
class QWebSocketServer;

class CWebSocketConnection : public QObject
{
    Q_OBJECT

public:
    static constexpr qint64 kMaxFrameBytes = 16 * 1024;
    static constexpr qint64 kMaxMessageBytes = 64 * 1024;
    // About 30 status messages.
    static constexpr qint64 kMaxUnsentBytes = 16 * 1024;
    // Bytes read ahead of the protocol; beyond it TCP holds the client back.
    // The library needs a whole frame's payload in it. It also bounds the
    // pongs that one read can add.
    static constexpr qint64 kReadBufferBytes = kMaxFrameBytes;

    // Takes ownership of socket.
    explicit CWebSocketConnection(QTcpSocket* socket, QObject* parent = nullptr);
    ~CWebSocketConnection() override;

    // Hands the connection to server for the opening handshake.
    void handOver(const QWebSocketServer& server);
    // Takes webSocket, a connection the server has opened, when it is this
    // connection's.
    bool adopt(QWebSocket* webSocket);
    bool isOpen() const;
    // Who the connection belongs to: the origin of the page that opened it,
    // else the peer's address.
    QByteArray client() const;
    // Sends one text message; drops a client that does not keep up.
    void sendText(const QByteArray& utf8);
    // Ends the connection at once.
    void abort();

signals:
    // The client sent something.
    void received();
    // The connection is over; the object may be deleted later.
    void finished();

private:
    // Drops the client when more than kMaxUnsentBytes wait for it.
    void checkUnsent();
    void finish();

    QPointer<QTcpSocket> m_socket;
    QWebSocket* m_webSocket = nullptr;
    bool m_finished = false;
};
