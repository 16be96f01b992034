// The port snapshot against sockets this test opens itself.
#include "PortMgr.h"

#include "TestSupport.h"

#include <Base/Log.h>

#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUdpSocket>
#include <QtTest>

#include <algorithm>
#include <cstring>
#include <memory>

#include <unistd.h>

using serverframework::CPortMgr;
using serverframework::PortConnInfo;

namespace {

std::vector<PortConnInfo> entriesOn(CPortMgr& ports, quint16 port, std::uint32_t protocol)
{
    std::vector<PortConnInfo> found;
    for (const PortConnInfo& info : ports.portTable()) {
        if (info.localPort == port && info.protocol == protocol)
            found.push_back(info);
    }
    return found;
}

// A loopback listener with connections made to it from this process.
struct Connected {
    QTcpServer server;
    std::vector<std::unique_ptr<QTcpSocket>> clients;
    std::vector<QTcpSocket*> accepted;

    bool open(int connections)
    {
        if (!server.listen(QHostAddress::LocalHost, 0))
            return false;
        for (int i = 0; i < connections; ++i) {
            clients.emplace_back(new QTcpSocket);
            clients.back()->connectToHost(QHostAddress::LocalHost, server.serverPort());
            if (!clients.back()->waitForConnected(5000) || !server.waitForNewConnection(5000))
                return false;
            accepted.push_back(server.nextPendingConnection());
        }
        return true;
    }
};

} // namespace

class TestPortMgr : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void udpOnlyPortIsTaken();
    void listenerWithConnectionsLogsEveryOwner();
    void entriesDescribeTheSockets();
    void snapshotIsNotRefreshed();
    void timeWaitOnlyIsFree();
    void portAboveRangeIsFree();
    void ipToStringReadsBytesInMemoryOrder();

private:
    QStringList warnLines();

    QTemporaryDir m_dir;
    QString m_logPath;
};

void TestPortMgr::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_logPath = m_dir.filePath(QStringLiteral("test.log"));
    const QString config = m_dir.filePath(QStringLiteral("log4cxx.properties"));
    QVERIFY(tst::writeBytes(config, "log4j.rootLogger=INFO, F\n"
                                    "log4j.appender.F=org.apache.log4j.FileAppender\n"
                                    "log4j.appender.F.File=" + m_logPath.toUtf8() + "\n"
                                    "log4j.appender.F.layout=org.apache.log4j.PatternLayout\n"
                                    "log4j.appender.F.layout.ConversionPattern=%p %m%n\n"));
    QVERIFY(Base::details::CLog::Configure(config.toStdString()));
}

QStringList TestPortMgr::warnLines()
{
    QStringList lines;
    for (const QByteArray& line : tst::readBytes(m_logPath).split('\n')) {
        if (line.startsWith("WARN "))
            lines << QString::fromUtf8(line.mid(5));
    }
    return lines;
}

void TestPortMgr::udpOnlyPortIsTaken()
{
    QUdpSocket udp;
    QVERIFY(udp.bind(QHostAddress(QHostAddress::LocalHost), 0));
    CPortMgr ports;
    QVERIFY(entriesOn(ports, udp.localPort(), 0).empty());
    QCOMPARE(entriesOn(ports, udp.localPort(), 1).size(), size_t(1));
    QVERIFY(ports.CheckPortConflict(udp.localPort()));
}

void TestPortMgr::listenerWithConnectionsLogsEveryOwner()
{
    Connected held;
    QVERIFY(held.open(2));
    const quint16 port = held.server.serverPort();
    CPortMgr ports;
    const int before = warnLines().size();
    QVERIFY(ports.CheckPortConflict(port));

    const QStringList lines = warnLines().mid(before);
    const QString expected = QStringLiteral("port conflict, the port is %1, conflict process id is %2.")
                                 .arg(port)
                                 .arg(::getpid());
    QCOMPARE(lines, QStringList() << expected << expected << expected);
}

void TestPortMgr::entriesDescribeTheSockets()
{
    Connected held;
    QVERIFY(held.open(1));
    const quint16 port = held.server.serverPort();
    CPortMgr ports;
    const std::vector<PortConnInfo> onPort = entriesOn(ports, port, 0);
    QCOMPARE(onPort.size(), size_t(2));

    const auto listener = std::find_if(onPort.begin(), onPort.end(), [](const PortConnInfo& i) { return i.state == 2; });
    QVERIFY(listener != onPort.end());
    QCOMPARE(listener->localAddress, std::string("127.0.0.1"));
    QCOMPARE(listener->remotePort, 0u);
    QCOMPARE(listener->processId, std::int32_t(::getpid()));

    const auto connection = std::find_if(onPort.begin(), onPort.end(), [](const PortConnInfo& i) { return i.state == 5; });
    QVERIFY(connection != onPort.end());
    QCOMPARE(connection->remoteAddress, std::string("127.0.0.1"));
    QCOMPARE(connection->remotePort, std::uint32_t(held.clients.front()->localPort()));

    // All TCP entries come before the UDP ones.
    bool seenUdp = false;
    for (const PortConnInfo& info : ports.portTable()) {
        if (info.protocol == 1)
            seenUdp = true;
        else
            QVERIFY2(!seenUdp, "a TCP entry after a UDP entry");
        if (info.protocol == 1) {
            QCOMPARE(info.state, 0u);
            QCOMPARE(info.remotePort, 0u);
            QVERIFY(info.remoteAddress.empty());
        }
    }
}

void TestPortMgr::snapshotIsNotRefreshed()
{
    auto released = std::make_unique<QTcpServer>();
    QVERIFY(released->listen(QHostAddress::LocalHost, 0));
    const quint16 releasedPort = released->serverPort();

    // A port that is free at snapshot time and opened afterwards.
    const quint16 laterPort = tst::freePort();
    QVERIFY(laterPort != 0);

    CPortMgr ports;
    released.reset();
    QTcpServer later;
    QVERIFY(later.listen(QHostAddress::LocalHost, laterPort));

    QVERIFY(ports.CheckPortConflict(releasedPort));
    QVERIFY(!ports.CheckPortConflict(laterPort));

    // Until the table is taken again.
    ports.RefreshPortTable();
    QVERIFY(!ports.CheckPortConflict(releasedPort));
    QVERIFY(ports.CheckPortConflict(laterPort));
}

void TestPortMgr::timeWaitOnlyIsFree()
{
    quint16 clientPort = 0;
    {
        Connected held;
        QVERIFY(held.open(1));
        clientPort = held.clients.front()->localPort();
        // The side that closes first keeps the time-wait entry.
        held.clients.front()->disconnectFromHost();
        QTRY_COMPARE(held.accepted.front()->state(), QAbstractSocket::UnconnectedState);
        QTRY_COMPARE(held.clients.front()->state(), QAbstractSocket::UnconnectedState);
    }
    CPortMgr ports;
    const std::vector<PortConnInfo> onPort = entriesOn(ports, clientPort, 0);
    const bool timeWait = std::any_of(onPort.begin(), onPort.end(), [](const PortConnInfo& i) { return i.state == 11; });
    if (!timeWait || onPort.size() != 1)
        QSKIP("the closed connection left no lone time-wait entry");
    QCOMPARE(onPort.front().processId, 0);
    QVERIFY(!ports.CheckPortConflict(clientPort));
}

void TestPortMgr::portAboveRangeIsFree()
{
    Connected held;
    QVERIFY(held.open(0));
    CPortMgr ports;
    QVERIFY(ports.CheckPortConflict(held.server.serverPort()));
    QVERIFY(!ports.CheckPortConflict(65536u + held.server.serverPort()));
}

void TestPortMgr::ipToStringReadsBytesInMemoryOrder()
{
    const unsigned char bytes[4] = {192, 168, 0, 254};
    std::uint32_t word = 0;
    std::memcpy(&word, bytes, sizeof word);
    QCOMPARE(CPortMgr::IpToString(word), std::string("192.168.0.254"));
    QCOMPARE(CPortMgr::IpToString(0), std::string("0.0.0.0"));
}

QTEST_GUILESS_MAIN(TestPortMgr)
#include "TestPortMgr.moc"
