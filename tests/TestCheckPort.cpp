// Whether a port is held, with its owner's name from the port-owner script
// beside the executable.
#include "CheckPort.h"

#include "TestSupport.h"

#include <Base/FileUtil.h>
#include "Platform.h"

#include <QHostAddress>
#include <QTcpServer>
#include <QUdpSocket>
#include <QtTest>

using serverframework::CCheckPort;

class TestCheckPort : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void ownerNameComesFromScript_data();
    void ownerNameComesFromScript();
    void freePortKeepsCallersName();
    void portAboveRangeIsFreeAtOnce();
    void missingScriptStillTaken();
    void acceptedPortsStartAtDefaults();

private:
    void useScript(const QByteArray& body);

    QTemporaryDir m_dir;
};

void TestCheckPort::initTestCase()
{
    QVERIFY(m_dir.isValid());
    Base::FileUtil::InitCurExeDirUtf8(m_dir.path().toStdString() + "/");
}

// Puts a port-owner script with the given body into the folder the host
// takes for its executable's folder.
void TestCheckPort::useScript(const QByteArray& body)
{
    const QString path = m_dir.filePath(QStringLiteral("checkport") + QString::fromStdString(platform::scriptExtension()));
    QVERIFY(tst::writeExecutable(path, "#!/bin/sh\n" + body));
}

void TestCheckPort::ownerNameComesFromScript_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<bool>("udp");
    QTest::addColumn<QString>("expected"); // %1: the port

    QTest::newRow("quoted, line-ended") << QByteArray("printf '\"owner.exe\"\\r\\n'\n") << false << "owner.exe";
    QTest::newRow("port is the only argument") << QByteArray("printf '\"arg-%s-%s\"\\n' \"$1\" \"$#\"\n") << false
                                               << "arg-%1-1";
    QTest::newRow("surrounding blanks") << QByteArray("printf '  \\t name with blanks \\n\\n'\n") << true
                                        << "name with blanks";
    QTest::newRow("quotes inside") << QByteArray("printf 'a\"b\"c\\n'\n") << true << "abc";
    QTest::newRow("prints nothing") << QByteArray("exit 3\n") << false << "";
}

void TestCheckPort::ownerNameComesFromScript()
{
    QFETCH(QByteArray, body);
    QFETCH(bool, udp);
    QFETCH(QString, expected);
    useScript(body);

    QTcpServer tcp;
    QUdpSocket udpSocket;
    quint16 port = 0;
    if (udp) {
        QVERIFY(udpSocket.bind(QHostAddress(QHostAddress::LocalHost), 0));
        port = udpSocket.localPort();
    } else {
        QVERIFY(tcp.listen(QHostAddress::LocalHost, 0));
        port = tcp.serverPort();
    }
    CCheckPort checker;
    QString name = QStringLiteral("caller's value");
    QVERIFY(checker.IsPortUsed(port, name));
    QCOMPARE(name, expected.contains(QLatin1String("%1")) ? expected.arg(port) : expected);
}

void TestCheckPort::freePortKeepsCallersName()
{
    useScript("echo should-not-run\n");
    const quint16 port = tst::freePort();
    QVERIFY(port != 0);
    CCheckPort checker;
    QString name = QStringLiteral("caller's value");
    QVERIFY(!checker.IsPortUsed(port, name));
    QCOMPARE(name, QStringLiteral("caller's value"));
}

void TestCheckPort::portAboveRangeIsFreeAtOnce()
{
    useScript("echo should-not-run\n");
    QTcpServer tcp;
    QVERIFY(tcp.listen(QHostAddress::LocalHost, 0));
    CCheckPort checker;
    QString name = QStringLiteral("kept");
    QVERIFY(!checker.IsPortUsed(65536u + tcp.serverPort(), name));
    QVERIFY(!checker.IsPortUsed(4294967295u, name));
    QCOMPARE(name, QStringLiteral("kept"));
}

void TestCheckPort::missingScriptStillTaken()
{
    QFile::remove(m_dir.filePath(QStringLiteral("checkport") + QString::fromStdString(platform::scriptExtension())));
    QTcpServer tcp;
    QVERIFY(tcp.listen(QHostAddress::LocalHost, 0));
    CCheckPort checker;
    QString name = QStringLiteral("caller's value");
    QVERIFY(checker.IsPortUsed(tcp.serverPort(), name));
    QVERIFY(name.isEmpty());
}

void TestCheckPort::acceptedPortsStartAtDefaults()
{
    CCheckPort checker;
    int http = 0;
    int cms = 0;
    checker.GetAcceptedPorts(http, cms);
    QCOMPARE(http, 8080);
    QCOMPARE(cms, 18018);
    QVERIFY(checker.claimedPorts.isEmpty());
}

QTEST_GUILESS_MAIN(TestCheckPort)
#include "TestCheckPort.moc"
