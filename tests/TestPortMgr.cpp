// The port snapshot against sockets this test opens itself, and the owner's
// name from the port-owner script beside the executable.
#include "CheckPort.h"
#include "PortMgr.h"
#include "Platform.h"

#include "TestSupport.h"

#include <Base/FileUtil.h>
#include <Base/Log.h>

#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUdpSocket>
#include <QtTest>

#include <algorithm>
#include <memory>

#include <unistd.h>

using serverframework::CCheckPort;
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

class TestPortMgr : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        Base::FileUtil::InitCurExeDirUtf8(m_dir.path().toStdString() + "/"); // where the owner script is looked for
        m_logPath = m_dir.filePath(QStringLiteral("test.log"));
        const QString config = m_dir.filePath(QStringLiteral("log4cxx.properties"));
        QVERIFY(tst::writeBytes(config, "log4j.rootLogger=INFO, F\n"
                                        "log4j.appender.F=org.apache.log4j.FileAppender\n"
                                        "log4j.appender.F.File=" + m_logPath.toUtf8() + "\n"
                                        "log4j.appender.F.layout=org.apache.log4j.PatternLayout\n"
                                        "log4j.appender.F.layout.ConversionPattern=%p %m%n\n"));
        QVERIFY(Base::details::CLog::Configure(config.toStdString()));
    }

    void entriesDescribeTheSockets()
    {
        Connected held;
        QVERIFY(held.open(2));
        const quint16 port = held.server.serverPort();
        QUdpSocket udp;
        QVERIFY(udp.bind(QHostAddress(QHostAddress::LocalHost), 0));
        CPortMgr ports;
        const int warnedBefore = warnings().size();
        QVERIFY(ports.CheckPortConflict(port));
        const QString line = QStringLiteral("port conflict, the port is %1, conflict process id is %2.").arg(port).arg(::getpid());
        QCOMPARE(warnings().mid(warnedBefore), QStringList({line, line, line})); // every owner logged
        QVERIFY(entriesOn(ports, udp.localPort(), 0).empty());
        QCOMPARE(entriesOn(ports, udp.localPort(), 1).size(), size_t(1));
        QVERIFY(ports.CheckPortConflict(udp.localPort()));
        QVERIFY(!ports.CheckPortConflict(65536u + port));

        const std::vector<PortConnInfo> onPort = entriesOn(ports, port, 0);
        QCOMPARE(onPort.size(), size_t(3));
        const auto listener = std::find_if(onPort.begin(), onPort.end(), [](const PortConnInfo& i) { return i.state == 2; });
        QVERIFY(listener != onPort.end());
        QCOMPARE(listener->localAddress, std::string("127.0.0.1"));
        QCOMPARE(listener->remotePort, 0u);
        QCOMPARE(listener->processId, std::int32_t(::getpid()));
        const auto connection = std::find_if(onPort.begin(), onPort.end(), [](const PortConnInfo& i) { return i.state == 5; });
        QVERIFY(connection != onPort.end());
        QCOMPARE(connection->remoteAddress, std::string("127.0.0.1"));
        QVERIFY(connection->remotePort != 0u);
    }

    void snapshotIsNotRefreshed()
    {
        auto released = std::make_unique<QTcpServer>();
        QVERIFY(released->listen(QHostAddress::LocalHost, 0));
        const quint16 releasedPort = released->serverPort();
        const quint16 laterPort = tst::freePort(); // free at snapshot time, opened afterwards
        CPortMgr ports;
        released.reset();
        QTcpServer later;
        QVERIFY(later.listen(QHostAddress::LocalHost, laterPort));
        QVERIFY(ports.CheckPortConflict(releasedPort));
        QVERIFY(!ports.CheckPortConflict(laterPort));
        ports.RefreshPortTable();
        QVERIFY(!ports.CheckPortConflict(releasedPort));
        QVERIFY(ports.CheckPortConflict(laterPort));
    }

    void timeWaitOnlyIsFree()
    {
        quint16 clientPort = 0;
        {
            Connected held;
            QVERIFY(held.open(1));
            clientPort = held.clients.front()->localPort();
            held.clients.front()->disconnectFromHost(); // the side closing first keeps the time-wait entry
            QTRY_COMPARE(held.accepted.front()->state(), QAbstractSocket::UnconnectedState);
            QTRY_COMPARE(held.clients.front()->state(), QAbstractSocket::UnconnectedState);
        }
        CPortMgr ports;
        const std::vector<PortConnInfo> onPort = entriesOn(ports, clientPort, 0);
        if (onPort.size() != 1 || onPort.front().state != 11)
            QSKIP("the closed connection left no lone time-wait entry");
        QCOMPARE(onPort.front().processId, 0);
        QVERIFY(!ports.CheckPortConflict(clientPort));
        const unsigned char bytes[4] = {192, 168, 0, 254};
        std::uint32_t word = 0;
        std::memcpy(&word, bytes, sizeof word);
        QCOMPARE(CPortMgr::IpToString(word), std::string("192.168.0.254"));
    }

    void ownerNameComesFromScript_data()
    {
        QTest::addColumn<QByteArray>("body"); // empty: no script at all
        QTest::addColumn<bool>("udp");
        QTest::addColumn<QString>("expected"); // %1: the port
        QTest::newRow("quoted, line-ended") << QByteArray("printf '\"owner.exe\"\\r\\n'\n") << false << "owner.exe";
        QTest::newRow("port is the only argument") << QByteArray("printf '\"arg-%s-%s\"\\n' \"$1\" \"$#\"\n") << false
                                                   << "arg-%1-1";
        QTest::newRow("blanks, quotes inside") << QByteArray("printf '  \\t a\"b\"c d \\n\\n'\n") << true << "abc d";
        QTest::newRow("prints nothing") << QByteArray("exit 3\n") << false << "";
        QTest::newRow("no script: still taken") << QByteArray() << false << "";
    }
    void ownerNameComesFromScript()
    {
        QFETCH(QByteArray, body);
        QFETCH(bool, udp);
        QFETCH(QString, expected);
        const QString script = m_dir.filePath("checkport" + QString::fromStdString(platform::scriptExtension()));
        QFile::remove(script);
        if (!body.isEmpty())
            QVERIFY(tst::writeExecutable(script, "#!/bin/sh\n" + body));
        QTcpServer tcp;
        QUdpSocket udpSocket;
        QVERIFY(udp ? udpSocket.bind(QHostAddress(QHostAddress::LocalHost), 0) : tcp.listen(QHostAddress::LocalHost, 0));
        const quint16 port = udp ? udpSocket.localPort() : tcp.serverPort();
        CCheckPort checker;
        QString name = QStringLiteral("caller's value");
        QVERIFY(checker.IsPortUsed(port, name));
        QCOMPARE(name, expected.contains(QLatin1String("%1")) ? expected.arg(port) : expected);
        // A free port, or one above the range, is free without asking the script.
        name = QStringLiteral("kept");
        QVERIFY(!checker.IsPortUsed(tst::freePort(), name));
        QVERIFY(!checker.IsPortUsed(65536u + port, name));
        QCOMPARE(name, QStringLiteral("kept"));
    }

private:
    QStringList warnings()
    {
        QStringList lines;
        for (const QByteArray& line : tst::readBytes(m_logPath).split('\n')) {
            if (line.startsWith("WARN "))
                lines << QString::fromUtf8(line.mid(5));
        }
        return lines;
    }

    QTemporaryDir m_dir;
    QString m_logPath;
};

QTEST_GUILESS_MAIN(TestPortMgr)
#include "TestPortMgr.moc"
