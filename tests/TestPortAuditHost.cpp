// End to end: the installed host finds the benchmark's WebSocket port held,
// moves it to the first free port from 8081, writes it to "Setup.xml", and
// the framework library's WebSocket answers on the new port.
#include "PortMgr.h"
#include "TestScratch.h"
#include "TestSupport.h"

#include <QHostAddress>
#include <QProcess>
#include <QRegularExpression>
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
    void heldWebSocketPortIsMoved();
};

void TestPortAuditHost::heldWebSocketPortIsMoved()
{
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

    // Hold the WebSocket port (when some other process holds it already, it
    // is held all the same).
    QTcpServer holder;
    holder.listen(QHostAddress(QHostAddress::Any), quint16(webSocket));

    CPortMgr machine;
    if (machine.CheckPortConflict(quint16(http)))
        QSKIP("the benchmark's HTTP port is held on this machine: the host would ask for a new one");
    QVERIFY(machine.CheckPortConflict(quint16(webSocket)));
    int expected = 8081;
    while (machine.CheckPortConflict(quint16(expected)) || expected == http || expected == cms)
        ++expected;

    QProcess host;
    host.setProcessEnvironment(env);
    host.setWorkingDirectory(kServerDir);
    host.setProcessChannelMode(QProcess::MergedChannels);
    host.start(kServerDir + "/Palvex.Framework.S", QStringList());
    QVERIFY2(host.waitForStarted(10000), qPrintable(host.errorString()));

    // The port is written before the services start, then the WebSocket answers.
    QString setupXml;
    QTRY_VERIFY_WITH_TIMEOUT(!(setupXml = tst::findFile(scratch.path(), "Setup.xml")).isEmpty(), 30000);
    QTRY_COMPARE_WITH_TIMEOUT(benchmarkPort(tst::readBytes(setupXml), "WebSocket"), expected, 30000);

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

    host.terminate();
    if (!host.waitForFinished(15000)) {
        host.kill();
        host.waitForFinished(5000);
    }
    if (QTest::currentTestFailed())
        qWarning("%s", host.readAll().constData());
}

QTEST_GUILESS_MAIN(TestPortAuditHost)
#include "TestPortAuditHost.moc"
