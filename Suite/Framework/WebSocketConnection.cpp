#include "WebSocketConnection.h"

#include "HttpRequest.h"
#include "HttpResponse.h"

#include "Base/Log.h"

#include <QCryptographicHash>
#include <QTcpSocket>
#include <QTimer>

#include <algorithm>

namespace {

enum Opcode : quint8 {
    kContinuation = 0x0,
    kText = 0x1,
    kBinary = 0x2,
    kClose = 0x8,
    kPing = 0x9,
    kPong = 0xA,
};

const QByteArray kAcceptGuid = "258EAFA5-E914-47DA-95CA-C5AB0DC85B11";

// Time a failed client is given to take the close frame before it is cut off.
constexpr int kCloseGraceMs = 1000;

bool hasToken(const QByteArray& headerValue, const QByteArray& token)
{
    for (const QByteArray& part : headerValue.split(',')) {
        if (part.trimmed().toLower() == token)
            return true;
    }
    return false;
}

} // namespace

CWebSocketConnection::CWebSocketConnection(QTcpSocket* socket, int handshakeTimeoutMs, QObject* parent)
    : QObject(parent), m_socket(socket)
{
    m_socket->setParent(this);
    m_socket->setReadBufferSize(kReadBufferBytes);
    connect(m_socket, &QTcpSocket::readyRead, this, &CWebSocketConnection::onReadyRead);
    connect(m_socket, &QTcpSocket::disconnected, this, &CWebSocketConnection::finish);
    QTimer::singleShot(handshakeTimeoutMs, this, [this] {
        if (m_state == State::Handshake)
            abort();
    });
}

void CWebSocketConnection::abort()
{
    m_socket->abort();
    finish();
}

void CWebSocketConnection::finish()
{
    if (m_state == State::Finished)
        return;
    m_state = State::Finished;
    m_socket->disconnect(this);
    emit finished();
}

void CWebSocketConnection::onReadyRead()
{
    // Nothing more is read once a close is under way: with the read buffer
    // full, TCP holds the client back until the connection is cut.
    if (m_state == State::Closing || m_state == State::Finished)
        return;
    emit received();
    const QByteArray bytes = m_socket->readAll();
    if (m_state == State::Handshake)
        readHandshake(bytes);
    else
        readFrames(bytes);
}

void CWebSocketConnection::readHandshake(const QByteArray& bytes)
{
    m_handshake += bytes;
    CHttpRequest request;
    const CHttpRequest::Parse result = request.parse(m_handshake);
    if (result == CHttpRequest::Parse::Incomplete)
        return;
    const QByteArray key = request.header("sec-websocket-key");
    QByteArray refusal;
    if (result == CHttpRequest::Parse::TooLarge)
        refusal = CHttpResponse::text(413).toBytes();
    else if (result == CHttpRequest::Parse::Bad || request.method() != "GET" ||
             !hasToken(request.header("upgrade"), "websocket") ||
             !hasToken(request.header("connection"), "upgrade") ||
             QByteArray::fromBase64(key).size() != 16)
        refusal = CHttpResponse::text(400, "not a WebSocket opening handshake").toBytes();
    else if (request.header("sec-websocket-version") != "13")
        refusal = CHttpResponse::text(400, "WebSocket version 13 only").toBytes();
    if (!refusal.isEmpty()) {
        m_state = State::Closing;
        m_socket->write(refusal);
        m_socket->disconnectFromHost();
        QTimer::singleShot(kCloseGraceMs, this, &CWebSocketConnection::abort);
        return;
    }

    const QByteArray accept = QCryptographicHash::hash(key + kAcceptGuid, QCryptographicHash::Sha1).toBase64();
    m_socket->write("HTTP/1.1 101 Switching Protocols\r\n"
                    "Upgrade: websocket\r\n"
                    "Connection: Upgrade\r\n"
                    "Sec-WebSocket-Accept: " + accept + "\r\n\r\n");
    m_state = State::Open;
    // Frames sent right behind the handshake are read as frames.
    const QByteArray rest = m_handshake.mid(m_handshake.indexOf("\r\n\r\n") + 4);
    m_handshake.clear();
    emit opened();
    if (!rest.isEmpty() && m_state == State::Open)
        readFrames(rest);
}

void CWebSocketConnection::readFrames(const QByteArray& bytes)
{
    int at = 0;
    while (at < bytes.size() && m_state == State::Open) {
        if (!m_inPayload) {
            m_header += bytes[at++];
            if (m_header.size() < headerLength())
                continue;
            if (!acceptHeader())
                return;
            m_header.clear();
            m_inPayload = true;
            if (m_payloadLeft == 0)
                finishFrame();
            continue;
        }
        const int take = static_cast<int>(std::min<qint64>(m_payloadLeft, bytes.size() - at));
        if (m_opcode >= kClose)
            m_control += bytes.mid(at, take);
        at += take;
        m_payloadLeft -= take;
        if (m_payloadLeft == 0)
            finishFrame();
    }
}

int CWebSocketConnection::headerLength() const
{
    if (m_header.size() < 2)
        return 2;
    const quint8 second = static_cast<quint8>(m_header[1]);
    const quint8 length7 = second & 0x7F;
    return 2 + (length7 == 126 ? 2 : length7 == 127 ? 8 : 0) + ((second & 0x80) ? 4 : 0);
}

bool CWebSocketConnection::acceptHeader()
{
    const quint8 first = static_cast<quint8>(m_header[0]);
    const quint8 second = static_cast<quint8>(m_header[1]);
    m_final = (first & 0x80) != 0;
    m_opcode = first & 0x0F;
    if (first & 0x70) {
        fail(kCloseProtocolError, "reserved bits set");
        return false;
    }
    if (!(second & 0x80)) {
        fail(kCloseProtocolError, "unmasked frame from a client");
        return false;
    }
    const quint8 length7 = second & 0x7F;
    qint64 length = length7;
    if (length7 >= 126) {
        const int bytes = length7 == 126 ? 2 : 8;
        length = 0;
        for (int i = 0; i < bytes; ++i)
            length = (length << 8) | static_cast<quint8>(m_header[2 + i]);
        if (length < 0) { // the most significant bit must be 0
            fail(kCloseProtocolError, "invalid frame length");
            return false;
        }
    }
    const bool control = m_opcode >= kClose;
    if (control) {
        if (m_opcode != kClose && m_opcode != kPing && m_opcode != kPong) {
            fail(kCloseProtocolError, "reserved opcode");
            return false;
        }
        if (length > 125 || !m_final) {
            fail(kCloseProtocolError, "control frame too long or fragmented");
            return false;
        }
        m_control = m_header.right(4); // the mask, then the payload
    } else {
        if (m_opcode != kContinuation && m_opcode != kText && m_opcode != kBinary) {
            fail(kCloseProtocolError, "reserved opcode");
            return false;
        }
        if ((m_opcode == kContinuation) != m_inMessage) {
            fail(kCloseProtocolError, "continuation out of place");
            return false;
        }
        if (length > kMaxFrameBytes) {
            fail(kCloseTooBig, "frame too large");
            return false;
        }
        if (!m_inMessage)
            m_messageBytes = 0;
        m_messageBytes += length;
        if (m_messageBytes > kMaxMessageBytes) {
            fail(kCloseTooBig, "message too large");
            return false;
        }
        m_inMessage = !m_final;
    }
    m_payloadLeft = length;
    return true;
}

void CWebSocketConnection::finishFrame()
{
    m_inPayload = false;
    if (m_opcode < kClose)
        return; // data: counted, not kept
    QByteArray payload = m_control.mid(4);
    for (int i = 0; i < payload.size(); ++i)
        payload[i] = static_cast<char>(payload[i] ^ m_control[i % 4]);
    m_control.clear();
    if (m_opcode == kPing) {
        sendFrame(kPong, payload);
    } else if (m_opcode == kClose) {
        // Answer with the client's code, then end.
        sendFrame(kClose, payload.left(2));
        m_state = State::Closing;
        m_socket->disconnectFromHost();
        QTimer::singleShot(kCloseGraceMs, this, &CWebSocketConnection::abort);
    }
}

void CWebSocketConnection::sendText(const QByteArray& utf8)
{
    if (m_state != State::Open)
        return;
    if (m_socket->bytesToWrite() > kMaxUnsentBytes) {
        TLOG_WARN("dropping a WebSocket client that does not read what it is sent");
        abort();
        return;
    }
    sendFrame(kText, utf8);
}

void CWebSocketConnection::sendFrame(quint8 opcode, const QByteArray& payload)
{
    QByteArray frame;
    frame += static_cast<char>(0x80 | opcode);
    const qint64 size = payload.size();
    if (size < 126) {
        frame += static_cast<char>(size);
    } else if (size < 65536) {
        frame += static_cast<char>(126);
        frame += static_cast<char>((size >> 8) & 0xFF);
        frame += static_cast<char>(size & 0xFF);
    } else {
        frame += static_cast<char>(127);
        for (int shift = 56; shift >= 0; shift -= 8)
            frame += static_cast<char>((size >> shift) & 0xFF);
    }
    m_socket->write(frame + payload);
}

void CWebSocketConnection::fail(quint16 code, const QByteArray& reason)
{
    TLOG_WARN("closing a WebSocket client (%u): %s", unsigned(code), reason.constData());
    QByteArray payload;
    payload += static_cast<char>(code >> 8);
    payload += static_cast<char>(code & 0xFF);
    sendFrame(kClose, payload + reason);
    // Closing now would answer the client's unread bytes with a reset that
    // may destroy the close frame before the client reads it: the client is
    // given the grace time to take it and leave.
    m_state = State::Closing;
    QTimer::singleShot(kCloseGraceMs, this, &CWebSocketConnection::abort);
}
