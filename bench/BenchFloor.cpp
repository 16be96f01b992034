// The floor the host is measured against: a minimal Qt Widgets program that
// opens one TCP listener (port in argv[1]) and answers every request with a
// short page, one request per connection.
#include <QApplication>
#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QWidget>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QWidget window; // a Widgets program, as the host is; not shown
    QTcpServer server;
    if (argc < 2 || !server.listen(QHostAddress::Any, static_cast<quint16>(QByteArray(argv[1]).toUShort())))
        return 1;
    QObject::connect(&server, &QTcpServer::newConnection, [&server] {
        while (QTcpSocket* socket = server.nextPendingConnection()) {
            QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            QObject::connect(socket, &QTcpSocket::readyRead, socket, [socket] {
                if (!socket->readAll().contains("\r\n\r\n"))
                    return;
                socket->write("HTTP/1.1 200 OK\r\nContent-Length: 2\r\nConnection: close\r\n\r\nok");
                socket->disconnectFromHost();
            });
        }
    });
    return app.exec();
}
