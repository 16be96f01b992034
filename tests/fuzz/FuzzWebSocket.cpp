// Arbitrary bytes from a WebSocket client, sent through a socket pair and then
// the client hangs up. An odd first byte puts a valid opening handshake in
// front, so most inputs reach the frame reader. Checked: the connection ends
// once the client has hung up (no hang), and everything the server sent is an
// HTTP answer followed by well-formed unmasked frames, control frames within
// 125 bytes, nothing after a close frame.
#include "Framework/WebSocketConnection.h"

#include <QCoreApplication>
#include <QTcpSocket>

#include <ctime>
#include <cstdlib>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// False when the server's bytes are not an HTTP head and whole frames (the
// last one may be cut off by the hang-up).
bool wellFormed(const QByteArray& out)
{
    const int headEnd = out.indexOf("\r\n\r\n");
    if (!out.startsWith("HTTP/1.1 "))
        return out.isEmpty();
    if (headEnd < 0 || !out.startsWith("HTTP/1.1 101 "))
        return true; // a refusal: its body is text, not frames
    int at = headEnd + 4;
    bool closed = false;
    while (at < out.size()) {
        if (closed)
            return false;
        if (out.size() - at < 2)
            return true;
        const quint8 first = quint8(out[at]);
        const quint8 second = quint8(out[at + 1]);
        if ((first & 0x70) || (second & 0x80))
            return false;
        const int opcode = first & 0x0F;
        qint64 length = second & 0x7F;
        int head = 2;
        if (length >= 126) {
            head += length == 126 ? 2 : 8;
            if (out.size() - at < head)
                return true;
            length = 0;
            for (int i = 2; i < head; ++i)
                length = (length << 8) | quint8(out[at + i]);
        }
        if (opcode >= 0x8 && length > 125)
            return false;
        closed = opcode == 0x8;
        at += head + static_cast<int>(std::min<qint64>(length, out.size()));
    }
    return true;
}

void drain(int fd, QByteArray& out)
{
    char buffer[4096];
    ssize_t count = 0;
    while ((count = ::read(fd, buffer, sizeof buffer)) > 0)
        out.append(buffer, static_cast<int>(count));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size)
{
    static int argc = 1;
    static char name[] = "FuzzWebSocket";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    if (size == 0)
        return 0;

    QByteArray in;
    if (data[0] & 1)
        in = "GET /ws HTTP/1.1\r\nHost: x\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
             "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Version: 13\r\n\r\n";
    in.append(reinterpret_cast<const char*>(data + 1), static_cast<int>(size - 1));

    int fds[2];
    if (socketpair(AF_UNIX, SOCK_STREAM, 0, fds) != 0)
        std::abort();
    fcntl(fds[1], F_SETFL, O_NONBLOCK);
    auto* socket = new QTcpSocket;
    if (!socket->setSocketDescriptor(fds[0]))
        std::abort();
    bool finished = false;
    auto* connection = new CWebSocketConnection(socket, 5000);
    QObject::connect(connection, &CWebSocketConnection::finished, [&finished] { finished = true; });

    QByteArray out;
    int sent = 0;
    // CPU time, not wall time: the loop below spins, so a hang burns CPU time,
    // while a starved machine only slows it down.
    const std::clock_t start = std::clock();
    bool hungUp = false;
    while (!finished) {
        if (!hungUp) {
            const ssize_t count = ::write(fds[1], in.constData() + sent, static_cast<size_t>(in.size() - sent));
            sent += count > 0 ? static_cast<int>(count) : 0;
            if (sent == in.size())
                hungUp = shutdown(fds[1], SHUT_WR) == 0;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        drain(fds[1], out);
        if (std::clock() - start > 3 * CLOCKS_PER_SEC)
            std::abort(); // the hang-up must end the connection within the grace time
    }
    delete connection;
    drain(fds[1], out);
    ::close(fds[1]);
    if (!wellFormed(out))
        std::abort();
    return 0;
}
