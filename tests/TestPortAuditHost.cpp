// End to end without a display: the installed host finds one of the
// benchmark's ports held, moves it to the first free port from the audit's
// starting point (the HTTP port: from itself, as nobody can answer the port
// dialog), writes it to "Setup.xml", prints the move, and the framework
// library serves on the new port.
#include "PortMgr.h"
#include "TestScratch.h"
#include "TestSupport.h"

#include <QHostAddress>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QTcpServer>
#include <QWebSocket>
#include <QtTest>

using serverframework::CPortMgr;

namespace {

const QString kServerDir = QStringLiteral(TAVRIN_STAGE_DIR "/Server");

int benchmarkPort(const QByteArray& xml, const char* key)
{
    const QRegularExpression element(QStringLiteral("<%1>(\\d+)</%1>").arg(QLatin1String(key)));
    const QRegularExpressionMatch match = element.match(QString::fromUtf8(xml));
    return match.hasMatch() ? match.captured(1).toInt() : -1;
}

} // namespace

class TestPortAuditHost : public QObject {
    Q_OBJECT

private slots:
    void heldPortIsMoved_data();
    void heldPortIsMoved();
};

void TestPortAuditHost::heldPortIsMoved_data()
{
    QTest::addColumn<QString>("key");        // element under /Configs/ServerPort
    QTest::addColumn<QString>("service");    // as the move is printed
    QTest::addColumn<int>("firstTried");     // 0: the held port itself
    QTest::newRow("WebSocket") << "WebSocket" << "WebSocket" << 8081;
    QTest::newRow("HTTP, no one to ask") << "Http" << "HTTP" << 0;
}

void TestPortAuditHost::heldPortIsMoved()
{
    QFETCH(QString, key);
    QFETCH(QString, service);
    QFETCH(int, firstTried);
    ScratchHome scratch; // for this process and the host alike
    QVERIFY(scratch.isValid());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));

    const QByteArray xml = tst::readBytes(kServerDir + "/maintain/Setup.xml.benchmark");
    QVERIFY(!xml.isEmpty());
    const int webSocket = benchmarkPort(xml, "WebSocket");
    const int http = benchmarkPort(xml, "Http");
    const int cms = benchmarkPort(xml, "TamsaCMS");
    QVERIFY(webSocket > 0 && http > 0 && cms > 0);

    const int held = benchmarkPort(xml, key.toLatin1().constData());

    // Hold the port (when some other process holds it already, it is held
    // all the same).
    QTcpServer holder;
    holder.listen(QHostAddress(QHostAddress::Any), quint16(held));

    CPortMgr machine;
    for (const int port : {http, webSocket}) {
        if (port != held && machine.CheckPortConflict(quint16(port)))
            QSKIP("another of the benchmark's ports is held on this machine");
    }
    QVERIFY(machine.CheckPortConflict(quint16(held)));
    // Ports configured for other services are not taken either.
    QSet<int> configured;
    static const QRegularExpression element(QStringLiteral("<(\\w+)>(\\d+)</\\1>"));
    for (auto it = element.globalMatch(QString::fromUtf8(xml)); it.hasNext();)
        configured << it.next().captured(2).toInt();
    int expected = firstTried ? firstTried : held;
    while (machine.CheckPortConflict(quint16(expected)) || configured.contains(expected))
        ++expected;

    QProcess host;
    host.setProcessEnvironment(env);
    host.setWorkingDirectory(kServerDir);
    host.setProcessChannelMode(QProcess::MergedChannels);
    // No dialog can be answered: the host must not wait for one.
    host.start(kServerDir + "/Palvex.Framework.S", QStringList());
    QVERIFY2(host.waitForStarted(10000), qPrintable(host.errorString()));

    // The port is written before the services start, and the move is printed.
    QString setupXml;
    QTRY_VERIFY_WITH_TIMEOUT(!(setupXml = tst::findFile(scratch.path(), "Setup.xml")).isEmpty(), 30000);
    QTRY_COMPARE_WITH_TIMEOUT(benchmarkPort(tst::readBytes(setupXml), key.toLatin1().constData()), expected, 30000);
    QByteArray output;
    const QByteArray moved = QString("%1 port %2 was taken; moved to %3.").arg(service).arg(held).arg(expected).toUtf8();
    QTRY_VERIFY_WITH_TIMEOUT((output += host.readAll()).contains(moved), 30000);

    if (key == "Http") {
        const QByteArray address = QString("Web client: http://127.0.0.1:%1/").arg(expected).toUtf8();
        QTRY_VERIFY_WITH_TIMEOUT((output += host.readAll()).contains(address), 30000);
    } else {
        QWebSocket client;
        QSignalSpy answered(&client, &QWebSocket::textMessageReceived);
        QTRY_VERIFY_WITH_TIMEOUT(
            [&]() {
                if (client.state() == QAbstractSocket::UnconnectedState)
                    client.open(QUrl(QStringLiteral("ws://127.0.0.1:%1").arg(expected)));
                return !answered.isEmpty();
            }(),
            30000);
        QVERIFY(!answered.first().first().toString().isEmpty());
        client.close();
    }

    host.terminate();
    if (!host.waitForFinished(15000)) {
        host.kill();
        host.waitForFinished(5000);
    }
    if (QTest::currentTestFailed())
        qWarning("%s", (output + host.readAll()).constData());
}

QTEST_GUILESS_MAIN(TestPortAuditHost)
#include "TestPortAuditHost.moc"
