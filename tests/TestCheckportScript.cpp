// The port-owner script of the program folder, naming a process that the
// test starts. The test program doubles as that process: started as
// "portholder --hold-port tcp|udp" it holds a port until its input closes.

#include <QCoreApplication>
#include <QFile>
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

const QString kScript = QStringLiteral(TAVRIN_BUILD_DIR "/Server/checkport.sh");

int holdPort(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const bool udp = argc > 2 && std::strcmp(argv[2], "udp") == 0;
    QTcpServer tcp;
    QUdpSocket datagram;
    quint16 port = 0;
    if (udp) {
        if (datagram.bind(QHostAddress(QHostAddress::LocalHost), 0))
            port = datagram.localPort();
    } else if (tcp.listen(QHostAddress::LocalHost, 0)) {
        port = tcp.serverPort();
    }
    std::printf("%u\n", static_cast<unsigned>(port));
    std::fflush(stdout);
    std::string line;
    while (std::getline(std::cin, line)) {
    }
    return port ? 0 : 1;
}

struct ScriptResult {
    int exitCode = -1;
    QByteArray out;
};

ScriptResult runScript(const QStringList& arguments)
{
    QProcess script;
    script.start(kScript, arguments);
    ScriptResult result;
    if (!script.waitForFinished(30000))
        return result;
    result.exitCode = script.exitCode();
    result.out = script.readAllStandardOutput();
    return result;
}

} // namespace

class TestCheckportScript : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void namesTheOwner_data();
    void namesTheOwner();
    void freePortPrintsNothing();
    void badArgument_data();
    void badArgument();

private:
    QTemporaryDir m_dir;
    QString m_holder;
    QString m_longHolder;
};

void TestCheckportScript::initTestCase()
{
    QVERIFY(QFile::exists(kScript));
    QVERIFY(m_dir.isValid());
    // The link's name becomes the process name that the script should print.
    m_holder = m_dir.path() + "/portholder";
    QVERIFY(QFile::link(QCoreApplication::applicationFilePath(), m_holder));
    // Longer than the kernel's 15-character process name.
    m_longHolder = m_dir.path() + "/Palvex.Framework.S.holder";
    QVERIFY(QFile::link(QCoreApplication::applicationFilePath(), m_longHolder));
}

void TestCheckportScript::namesTheOwner_data()
{
    QTest::addColumn<QString>("protocol");
    QTest::addColumn<bool>("longName");
    QTest::newRow("tcp") << "tcp" << false;
    QTest::newRow("udp") << "udp" << false;
    QTest::newRow("long name") << "tcp" << true;
}

void TestCheckportScript::namesTheOwner()
{
    QFETCH(QString, protocol);
    QFETCH(bool, longName);
    const QString program = longName ? m_longHolder : m_holder;
    QProcess holder;
    holder.start(program, {"--hold-port", protocol});
    QVERIFY(holder.waitForStarted(10000));
    QVERIFY(holder.waitForReadyRead(10000));
    const int port = holder.readLine().trimmed().toInt();
    QVERIFY(port > 0);

    const ScriptResult result = runScript({QString::number(port)});
    holder.closeWriteChannel();
    QVERIFY(holder.waitForFinished(10000));
    QCOMPARE(result.exitCode, 0);
    QCOMPARE(result.out, '"' + program.section('/', -1).toUtf8() + "\"\n");
}

void TestCheckportScript::freePortPrintsNothing()
{
    QTcpServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost, 0));
    const quint16 port = server.serverPort();
    server.close();
    const ScriptResult result = runScript({QString::number(port)});
    QCOMPARE(result.exitCode, 0);
    QCOMPARE(result.out, QByteArray());
}

void TestCheckportScript::badArgument_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("none") << QStringList();
    QTest::newRow("text") << QStringList{"http"};
    QTest::newRow("zero") << QStringList{"0"};
    QTest::newRow("too big") << QStringList{"65536"};
    QTest::newRow("negative") << QStringList{"-5"};
    QTest::newRow("injection") << QStringList{"1; echo hi"};
}

void TestCheckportScript::badArgument()
{
    QFETCH(QStringList, arguments);
    const ScriptResult result = runScript(arguments);
    QCOMPARE(result.exitCode, 2);
    QCOMPARE(result.out, QByteArray());
}

int main(int argc, char** argv)
{
    if (argc > 1 && std::strcmp(argv[1], "--hold-port") == 0)
        return holdPort(argc, argv);
    QCoreApplication app(argc, argv);
    TestCheckportScript test;
    return QTest::qExec(&test, argc, argv);
}

#include "TestCheckportScript.moc"
