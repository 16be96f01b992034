// Arbitrary bytes from a WebSocket client through a socket pair to a connection handed to the WebSocket server,
// then the client hangs up; an odd first byte puts a valid opening handshake in front. Checked: the connection
// ends after the hang-up (no hang) and whatever the server sent begins with an HTTP answer.
#include "Framework/WebSocketConnection.h"

#include <QCoreApplication>
#include <QTcpSocket>
#include <QWebSocket>
#include <QWebSocketServer>

#include <ctime>
#include <cstdlib>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

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
    static QWebSocketServer server(QStringLiteral("FuzzWebSocket"), QWebSocketServer::NonSecureMode);
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
    auto* connection = new CWebSocketConnection(socket);
    QObject::connect(connection, &CWebSocketConnection::finished, [&finished] { finished = true; });
    QObject::connect(&server, &QWebSocketServer::newConnection, connection, [connection] { connection->adopt(server.nextPendingConnection()); });
    connection->handOver(server);

    QByteArray out;
    int sent = 0;
    // CPU time, not wall time: a hang spins, a starved machine only slows down.
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
            std::abort(); // the hang-up must end the connection
    }
    delete connection;
    drain(fds[1], out);
    ::close(fds[1]);
    if (!out.isEmpty() && !out.startsWith("HTTP/1.1 "))
        std::abort();
    return 0;
}
