// The web client's HTTP server on one connection: which requests keep it
// open, answered in order however many arrive at once.

#include "FrameworkCallbacks.h"
#include "FrameworkServer.h"

#include "TestSupport.h"

#include <QTcpSocket>
#include <QTest>

class TestHttpKeepAlive : public QObject
{
    Q_OBJECT
private slots:
    void requestsOnOneConnection_data()
    {
        QTest::addColumn<QByteArray>("requests");
        QTest::addColumn<QByteArray>("answers"); // the Connection header of each answer, in order
        const QByteArray get11 = "GET /none HTTP/1.1\r\nHost: x\r\n\r\n";
        const QByteArray get10 = "GET /none HTTP/1.0\r\n\r\n";
        QTest::newRow("1.1 kept") << get11 + get11 << QByteArray("keep-alive keep-alive");
        QTest::newRow("1.1 close honoured, the rest not read")
            << get11 + "GET / HTTP/1.1\r\nConnection: TE, Close\r\n\r\n" + get11 << QByteArray("keep-alive close");
        QTest::newRow("1.0 closes") << get10 + get10 << QByteArray("close");
        QTest::newRow("1.0 kept when asked")
            << "GET / HTTP/1.0\r\nConnection: Keep-Alive\r\n\r\n" + get10 << QByteArray("keep-alive close");
        QTest::newRow("bad request closes") << get11 + "GET\r\n\r\n" + get11 << QByteArray("keep-alive close");
        QTest::newRow("body counted") << "POST /none HTTP/1.1\r\nContent-Length: 5\r\n\r\nGET /" + get11
                                      << QByteArray("keep-alive keep-alive");
        QByteArray many;
        for (int i = 0; i < 2000; ++i)
            many += get11;
        QTest::newRow("2000 pipelined") << many << QByteArray("keep-alive ").repeated(2000).trimmed();
    }
    void requestsOnOneConnection()
    {
        QFETCH(QByteArray, requests);
        QFETCH(QByteArray, answers);
        CFrameworkCallbacks callbacks;
        CFrameworkServer server(callbacks, [] { return FrameworkStatus(); });
        const quint16 port = tst::freePort();
        QVERIFY(server.startHttp(port));
        QTcpSocket client;
        client.connectToHost(QHostAddress::LocalHost, port);
        QVERIFY(client.waitForConnected(5000));
        client.write(requests);

        const QList<QByteArray> expected = answers.split(' ');
        const bool closes = expected.last() == "close";
        QByteArray received;
        const auto done = [&] {
            received += client.readAll();
            return received.count("HTTP/1.1 ") >= expected.size()
                && (!closes || client.state() == QAbstractSocket::UnconnectedState);
        };
        QVERIFY(QTest::qWaitFor(done, 10000));
        if (!closes) { // still open a while later, with nothing more said
            QTest::qWait(100);
            received += client.readAll();
            QCOMPARE(client.state(), QAbstractSocket::ConnectedState);
        }
        QList<QByteArray> said;
        for (int at = received.indexOf("\r\nConnection: "); at >= 0; at = received.indexOf("\r\nConnection: ", at + 1))
            said << received.mid(at + 14, received.indexOf("\r\n", at + 2) - at - 14);
        QCOMPARE(said, expected);
    }
};

QTEST_GUILESS_MAIN(TestHttpKeepAlive)
#include "TestHttpKeepAlive.moc"
