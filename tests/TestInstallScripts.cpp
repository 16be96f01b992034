// The scripts of the program folder. The port-owner script names a process
// the test starts: this program doubles as that process ("portholder
// --hold-port tcp|udp" holds a port until its input closes). The SMS
// plug-in's restart script runs as the host runs it (bin folder as working
// directory and as the one argument) on a copy of the plug-in folder.
#include "TestSupport.h"

#include <QCoreApplication>
#include <QHostAddress>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <QUdpSocket>

#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>

namespace {

int holdPort(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTcpServer tcp;
    QUdpSocket datagram;
    quint16 port = 0;
    if (argc > 2 && std::strcmp(argv[2], "udp") == 0) {
        if (datagram.bind(QHostAddress(QHostAddress::LocalHost), 0))
            port = datagram.localPort();
    } else if (tcp.listen(QHostAddress::LocalHost, 0)) {
        port = tcp.serverPort();
    }
    std::printf("%u\n", static_cast<unsigned>(port));
    std::fflush(stdout);
    for (std::string line; std::getline(std::cin, line);) {
    }
    return port ? 0 : 1;
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

} // namespace

class TestInstallScripts : public QObject
{
    Q_OBJECT

private slots:
    void checkportNamesTheOwner_data()
    {
        QTest::addColumn<QString>("protocol");
        QTest::addColumn<QString>("name"); // the link's name is the program's name
        QTest::newRow("tcp") << "tcp" << "portholder";
        QTest::newRow("udp") << "udp" << "portholder";
        QTest::newRow("longer than the kernel's 15 characters") << "tcp" << "Palvex.Framework.S.holder";
    }
    void checkportNamesTheOwner()
    {
        QFETCH(QString, protocol);
        QFETCH(QString, name);
        const QString holderPath = m_dir.path() + "/" + name;
        QFile::link(QCoreApplication::applicationFilePath(), holderPath);
        QProcess holder;
        holder.start(holderPath, {"--hold-port", protocol});
        QVERIFY(holder.waitForReadyRead(10000));
        const int port = holder.readLine().trimmed().toInt();
        QVERIFY(port > 0);
        const auto result = run(kCheckport, {QString::number(port)});
        holder.closeWriteChannel();
        QVERIFY(holder.waitForFinished(10000));
        QCOMPARE(result, qMakePair(0, '"' + name.toUtf8() + "\"\n"));
        QCOMPARE(run(kCheckport, {QString::number(tst::freePort())}), qMakePair(0, QByteArray()));
    }

    void checkportRefusesBadArguments()
    {
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
    QTemporaryDir m_dir;
};

int main(int argc, char** argv)
{
    if (argc > 1 && std::strcmp(argv[1], "--hold-port") == 0)
        return holdPort(argc, argv);
    QCoreApplication app(argc, argv);
    TestInstallScripts test;
    return QTest::qExec(&test, argc, argv);
}

#include "TestInstallScripts.moc"
