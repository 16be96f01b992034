#pragma once

// One WebSocket client of the web client's status push: the opening
// handshake, text messages sent to the client, and the client's frames read
// as the protocol requires. The client's messages carry nothing the server
// uses, so their payload is counted and dropped, never kept: a client can
// make the server hold no more than a control frame (125 bytes) of its data.
// Refused and closed: unmasked frames, reserved bits or opcodes, a frame
// above kMaxFrameBytes and a message above kMaxMessageBytes, and a client that
// does not read what is sent to it.

#include <QByteArray>
#include <QObject>

class QTcpSocket;

class CWebSocketConnection : public QObject
{
    Q_OBJECT

public:
    static constexpr qint64 kMaxFrameBytes = 16 * 1024;
    static constexpr qint64 kMaxMessageBytes = 64 * 1024;
    // Bytes sent but not yet taken by the client before it counts as stuck.
    static constexpr qint64 kMaxUnsentBytes = 256 * 1024;
    // Bytes Qt reads ahead of this object; beyond it TCP holds the client back.
    static constexpr qint64 kReadBufferBytes = 64 * 1024;

    // Close codes of the protocol.
    static constexpr quint16 kCloseNormal = 1000;
    static constexpr quint16 kCloseProtocolError = 1002;
    static constexpr quint16 kCloseTooBig = 1009;

    // Takes ownership of socket; the handshake must complete within
    // handshakeTimeoutMs.
    CWebSocketConnection(QTcpSocket* socket, int handshakeTimeoutMs, QObject* parent = nullptr);

    bool isOpen() const { return m_state == State::Open; }
    // Sends one text message; drops a client that does not keep up.
    void sendText(const QByteArray& utf8);
    // Ends the connection at once.
    void abort();

signals:
    void opened();
    // The client sent something.
    void received();
    // The connection is over; the object may be deleted later.
    void finished();

private:
    enum class State { Handshake, Open, Closing, Finished };

    void onReadyRead();
    void readHandshake(const QByteArray& bytes);
    void readFrames(const QByteArray& bytes);
    // The length of the frame header begun in m_header, as far as known.
    int headerLength() const;
    // False when the complete header is refused (the connection is failed).
    bool acceptHeader();
    void finishFrame();
    void sendFrame(quint8 opcode, const QByteArray& payload);
    // Sends a close frame with code and reason and ends the connection.
    void fail(quint16 code, const QByteArray& reason);
    void finish();

    QTcpSocket* m_socket;
    State m_state = State::Handshake;
    QByteArray m_handshake;

    // The frame being read.
    QByteArray m_header;
    bool m_inPayload = false;
    bool m_final = false;
    quint8 m_opcode = 0;
    qint64 m_payloadLeft = 0;
    QByteArray m_control; // payload of a control frame, at most 125 bytes
    // The message being read (data frames up to the final one).
    bool m_inMessage = false;
    qint64 m_messageBytes = 0;
};
