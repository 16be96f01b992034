// The port snapshot against sockets this test opens itself; the owner's name
// through the port-owner script beside the executable, the shipped one naming
// a process the test starts (this program doubles as that process:
// "--hold-port tcp|udp" holds a port until its input closes); and the SMS
// plug-in's restart script, run as the host runs it (bin folder as working
// directory and as the one argument) on a copy of the plug-in folder.
#include "CheckPort.h"
#include "PortMgr.h"
#include "Platform.h"

#include "TestSupport.h"

#include <Base/FileUtil.h>
#include <Base/Log.h>

#include <QCoreApplication>
#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUdpSocket>
#include <QtTest>

#include <algorithm>
#include <iostream>
#include <memory>

#include <unistd.h>

using serverframework::CCheckPort;
using serverframework::CPortMgr;
using serverframework::PortConnInfo;

namespace {

int holdPort(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTcpServer tcp;
    QUdpSocket udp;
    const bool held = argc > 2 && qstrcmp(argv[2], "udp") == 0 ? udp.bind(QHostAddress(QHostAddress::LocalHost), 0)
                                                                : tcp.listen(QHostAddress::LocalHost, 0);
    std::cout << (udp.localPort() + tcp.serverPort()) << std::endl;
    for (std::string line; std::getline(std::cin, line);) {
    }
    return held ? 0 : 1;
}

// Exit code (-1: no end within 30 s) and standard output.
QPair<int, QByteArray> run(const QString& program, const QStringList& arguments, const QString& workDir = QString())
{
    QProcess process;
    process.setWorkingDirectory(workDir);
    process.start(program, arguments);
    if (!process.waitForFinished(30000))
        return {-1, QByteArray()};
    return {process.exitCode(), process.readAllStandardOutput()};
}

const QString kCheckport = QStringLiteral(TAVRIN_BUILD_DIR "/Server/checkport.sh");

std::vector<PortConnInfo> entriesOn(CPortMgr& ports, quint16 port, std::uint32_t protocol)
{
    std::vector<PortConnInfo> found;
    for (const PortConnInfo& info : ports.portTable()) {
        if (info.localPort == port && info.protocol == protocol)
            found.push_back(info);
    }
    return found;
}

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
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost, 0));
        const quint16 port = server.serverPort();
        QTcpSocket clients[2];
        for (QTcpSocket& client : clients) {
            client.connectToHost(QHostAddress::LocalHost, port);
            QVERIFY(client.waitForConnected(5000) && server.waitForNewConnection(5000));
        }
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
            QTcpServer server;
            QVERIFY(server.listen(QHostAddress::LocalHost, 0));
            QTcpSocket client;
            client.connectToHost(QHostAddress::LocalHost, server.serverPort());
            QVERIFY(client.waitForConnected(5000) && server.waitForNewConnection(5000));
            QTcpSocket* accepted = server.nextPendingConnection();
            clientPort = client.localPort();
            client.disconnectFromHost(); // the side closing first keeps the time-wait entry
            QTRY_COMPARE(accepted->state(), QAbstractSocket::UnconnectedState);
            QTRY_COMPARE(client.state(), QAbstractSocket::UnconnectedState);
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

    void ownerName_data()
    {
        QTest::addColumn<QByteArray>("script"); // "shipped", a script's body, or empty: no script at all
        QTest::addColumn<QString>("protocol");
        QTest::addColumn<QString>("holder");    // the holding program's name
        QTest::addColumn<QString>("expected");
        QTest::newRow("tcp") << QByteArray("shipped") << "tcp" << "portholder" << "portholder";
        QTest::newRow("udp") << QByteArray("shipped") << "udp" << "portholder" << "portholder";
        QTest::newRow("longer than the kernel's 15 characters")
            << QByteArray("shipped") << "tcp" << "Palvex.Framework.S.holder" << "Palvex.Framework.S.holder";
        QTest::newRow("blanks, quotes inside, line ends") << QByteArray("printf '  \\t a\"b\"c d \\r\\n\\n'\n") << "udp"
                                                         << "portholder" << "abc d";
        QTest::newRow("prints nothing") << QByteArray("exit 3\n") << "tcp" << "portholder" << "";
        QTest::newRow("no script: still taken") << QByteArray() << "tcp" << "portholder" << "";
    }
    void ownerName()
    {
        QFETCH(QByteArray, script);
        QFETCH(QString, protocol);
        QFETCH(QString, holder);
        QFETCH(QString, expected);
        const QString path = m_dir.filePath("checkport" + QString::fromStdString(platform::scriptExtension()));
        QFile::remove(path);
        if (script == "shipped")
            QVERIFY(QFile::copy(kCheckport, path));
        else if (!script.isEmpty())
            QVERIFY(tst::writeExecutable(path, "#!/bin/sh\n" + script));
        const QString holderPath = m_dir.filePath(holder);
        QFile::link(QCoreApplication::applicationFilePath(), holderPath);
        QProcess holding;
        holding.start(holderPath, {"--hold-port", protocol});
        QVERIFY(holding.waitForReadyRead(10000));
        const uint port = holding.readLine().trimmed().toUInt();
        QVERIFY(port > 0);
        CCheckPort checker;
        QString name = QStringLiteral("caller's value");
        QVERIFY(checker.IsPortUsed(port, name));
        QCOMPARE(name, expected);
        holding.closeWriteChannel();
        QVERIFY(holding.waitForFinished(10000));
        // A free port, or one above the range, is free without asking the script.
        name = QStringLiteral("kept");
        QVERIFY(!checker.IsPortUsed(tst::freePort(), name));
        QVERIFY(!checker.IsPortUsed(65536u + port, name));
        QCOMPARE(name, QStringLiteral("kept"));
    }

    void checkportScriptAnswers()
    {
        QCOMPARE(run(kCheckport, {QString::number(tst::freePort())}), qMakePair(0, QByteArray())); // nobody holds it
        for (const QStringList& arguments :
             {QStringList(), QStringList{"http"}, QStringList{"0"}, QStringList{"65536"}, QStringList{"1; echo hi"}})
            QCOMPARE(run(kCheckport, arguments), qMakePair(2, QByteArray()));
    }

    void restartRecordsThePort_data()
    {
        QTest::addColumn<QByteArray>("properties");
        QTest::addColumn<QString>("port"); // "fails": no file, the script fails
        QTest::newRow("shipped") << tst::readBytes(TAVRIN_SOURCE_DIR "/Install/TavrinSMSPlugin/conf/config.properties")
                                 << "554";
        QTest::newRow("blanks and comment") << QByteArray("a=b\nums.1.rtspPort =  1554   # rtsp\n") << "1554";
        QTest::newRow("comment glued") << QByteArray("ums.1.rtspPort = 2554#c\n") << "2554";
        QTest::newRow("commented out first") << QByteArray("#ums.1.rtspPort=1\nums.1.rtspPort=3554\n") << "3554";
        QTest::newRow("first wins") << QByteArray("ums.1.rtspPort=4554\nums.1.rtspPort=5554\n") << "4554";
        QTest::newRow("similar key") << QByteArray("ums.1.rtspPortX=9\nums.1.rtspPort=6554\n") << "6554";
        QTest::newRow("crlf") << QByteArray("ums.1.rtspPort=7554\r\n") << "7554";
        QTest::newRow("absent") << QByteArray("ums.2.rtspPort=9554\n") << "";
        QTest::newRow("no properties file") << QByteArray() << "fails";
    }
    void restartRecordsThePort()
    {
        QFETCH(QByteArray, properties);
        QFETCH(QString, port);
        QTemporaryDir dir;
        const QString bin = dir.path() + "/TavrinSMSPlugin/bin";
        QVERIFY(QDir().mkpath(bin));
        QVERIFY(QFile::copy(TAVRIN_BUILD_DIR "/TavrinSMSPlugin/bin/restart.sh", bin + "/restart.sh"));
        if (port != "fails")
            QVERIFY(tst::writeBytes(dir.path() + "/TavrinSMSPlugin/conf/config.properties", properties));
        for (int round = 1; round <= 2; ++round) { // each restart adds a line
            QCOMPARE(run(bin + "/restart.sh", {bin}, bin).first == 0, port != "fails");
            const QStringList lines = tst::readText(bin + "/restart.log").split('\n', Qt::SkipEmptyParts);
            QCOMPARE(lines.size(), port == "fails" ? 0 : round);
            QVERIFY2(port == "fails" || lines.last().endsWith(" restarted rtspPort=" + port), qPrintable(lines.join('|')));
        }
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

int main(int argc, char** argv)
{
    if (argc > 1 && qstrcmp(argv[1], "--hold-port") == 0)
        return holdPort(argc, argv);
    QCoreApplication app(argc, argv);
    TestPortMgr test;
    return QTest::qExec(&test, argc, argv);
}

#include "TestPortMgr.moc"
