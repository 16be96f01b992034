// The Windows host (the 64-bit build's program folder) under wine64,
// headless, driven from this side: it serves its web client on loopback,
// keeps its data on Wine's system drive, refuses a second start, moves a port
// held here, ends in order on --quit and serves again after being killed.
// Each case prints its figures.
#include "TestSupport.h"

#include <QElapsedTimer>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

#include <csignal>

namespace {

const QString kProgram = QStringLiteral("C:\\Program Files\\Tavrin\\Server\\Palvex.Framework.S.exe");

// The status line and body of one GET on loopback; empty when nothing answered.
QByteArray get(quint16 port, const QByteArray& path)
{
    QTcpSocket socket;
    socket.connectToHost(QStringLiteral("127.0.0.1"), port);
    if (!socket.waitForConnected(5000))
        return QByteArray();
    socket.write("GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1:" + QByteArray::number(port) +
                 "\r\nConnection: close\r\n\r\n");
    QByteArray reply;
    while (socket.waitForReadyRead(10000))
        reply += socket.readAll();
    return reply + socket.readAll();
}

} // namespace

class TestWineHost : public QObject
{
    Q_OBJECT

    QString m_prefix;
    QString m_dataDir; // the data folder on Wine's system drive, as seen from here
    QProcessEnvironment m_environment;
    QProcess m_host;
    QByteArray m_output;
    quint16 m_webPort = 0;

    int runWine(const QStringList& args, int timeoutMs, QByteArray* output = nullptr)
    {
        QProcess process;
        process.setProcessEnvironment(m_environment);
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(QStringLiteral(TAVRIN_WINE64), args);
        if (!process.waitForFinished(timeoutMs)) {
            process.kill();
            process.waitForFinished();
            return -1000;
        }
        if (output)
            *output = process.readAll();
        return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1001;
    }

    // Starts the host and waits until it names its web client's address;
    // false when it did not within the time-out.
    bool startHost(qint64* servedAfterMs)
    {
        m_output.clear();
        m_host.setProcessEnvironment(m_environment);
        m_host.setProcessChannelMode(QProcess::MergedChannels);
        QElapsedTimer timer;
        timer.start();
        m_host.start(QStringLiteral(TAVRIN_WINE64), {kProgram});
        const QRegularExpression served(QStringLiteral("Web client: http://127\\.0\\.0\\.1:(\\d+)/"));
        while (timer.elapsed() < 180000 && m_host.state() != QProcess::NotRunning) {
            m_host.waitForReadyRead(1000);
            m_output += m_host.readAll();
            const QRegularExpressionMatch match = served.match(QString::fromLocal8Bit(m_output));
            if (match.hasMatch()) {
                m_webPort = static_cast<quint16>(match.captured(1).toUInt());
                *servedAfterMs = timer.elapsed();
                return true;
            }
        }
        qWarning("%s", m_output.constData());
        return false;
    }

    int waitForHostEnd(int timeoutMs)
    {
        if (!m_host.waitForFinished(timeoutMs)) {
            m_host.kill();
            m_host.waitForFinished();
            return -1000;
        }
        m_output += m_host.readAll();
        return m_host.exitStatus() == QProcess::NormalExit ? m_host.exitCode() : -1001;
    }

private slots:
    void initTestCase()
    {
        m_prefix = QStringLiteral(TAVRIN_BUILD_DIR "/wine-host");
        m_environment = QProcessEnvironment::systemEnvironment();
        m_environment.remove(QStringLiteral("DISPLAY"));
        m_environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
        m_environment.insert(QStringLiteral("WINEPREFIX"), m_prefix);
        m_environment.insert(QStringLiteral("WINEDEBUG"), QStringLiteral("-all"));
        m_environment.insert(QStringLiteral("WINEDLLOVERRIDES"), QStringLiteral("mscoree,mshtml="));
        m_environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        QProcess session;
        session.setProcessEnvironment(m_environment);
        session.start(QStringLiteral(TAVRIN_SOURCE_DIR "/scripts/wine-session"),
                      {QStringLiteral("start"), QStringLiteral(TAVRIN_WINESERVER), QStringLiteral(TAVRIN_WINE64)});
        QVERIFY(session.waitForFinished(300000) && session.exitCode() == 0);

        // Installed on the system drive, fresh, without data of an earlier run.
        const QString programFiles = m_prefix + "/drive_c/Program Files/Tavrin";
        QVERIFY(QDir(programFiles).removeRecursively());
        QVERIFY(QDir().mkpath(programFiles));
        QCOMPARE(QProcess::execute(QStringLiteral("cp"), {QStringLiteral("-a"), QStringLiteral(TAVRIN_WINE_HOST "/Server"),
                                                        QStringLiteral(TAVRIN_WINE_HOST "/TavrinSMSPlugin"), programFiles}),
                 0);
        m_dataDir = m_prefix + "/drive_c/users/Public/Tavrin/UserData";
        QVERIFY(QDir(m_dataDir).removeRecursively());
    }

    void cleanupTestCase()
    {
        if (m_host.state() != QProcess::NotRunning) {
            m_host.kill();
            m_host.waitForFinished();
        }
        QProcess::execute(QStringLiteral(TAVRIN_SOURCE_DIR "/scripts/wine-session"),
                          {QStringLiteral("stop"), QStringLiteral(TAVRIN_WINESERVER), QStringLiteral(TAVRIN_WINE64)});
    }

    // The first start makes the data folders on the system drive and serves
    // the status page and its JSON to a client on this side.
    void servesItsWebClient()
    {
        qint64 servedAfter = 0;
        QVERIFY(startHost(&servedAfter));
        QElapsedTimer timer;
        timer.start();
        const QByteArray page = get(m_webPort, "/");
        const qint64 pageMs = timer.restart();
        const QByteArray status = get(m_webPort, "/api/status");
        qInfo("first start served on port %u after %lld ms; GET / %lld ms (%d bytes), GET /api/status %lld ms",
              m_webPort, servedAfter, pageMs, page.size(), timer.elapsed());
        QVERIFY2(page.startsWith("HTTP/1.1 200"), page.left(200).constData());
        QVERIFY2(status.startsWith("HTTP/1.1 200") && status.contains("{"), status.left(200).constData());
        const QString setup = tst::readText(m_dataDir + "/Framework.S/Setup.xml");
        QVERIFY2(setup.contains(QStringLiteral("<Http>%1</Http>").arg(m_webPort)), qPrintable(setup.left(400)));
        QVERIFY(tst::readText(m_dataDir + "/Log/Framework.S/Framework.S.txt").contains(" INFO  "));
    }

    // A second start of the same user ends at once with -1; the first runs on.
    void refusesASecondStart()
    {
        QElapsedTimer timer;
        timer.start();
        QByteArray output;
        const int status = runWine({kProgram}, 120000, &output);
        qInfo("second start ended with %d after %lld ms", status, timer.elapsed());
        QCOMPARE(status, 255);
        QVERIFY(get(m_webPort, "/").startsWith("HTTP/1.1 200"));
    }

    // --quit asks the running host to end: both end with 0.
    void quitsInOrder()
    {
        QElapsedTimer timer;
        timer.start();
        QCOMPARE(runWine({kProgram, QStringLiteral("--quit")}, 120000), 0);
        const int status = waitForHostEnd(60000);
        qInfo("--quit: the host ended with %d after %lld ms", status, timer.elapsed());
        QCOMPARE(status, 0);
        QVERIFY(get(m_webPort, "/").isEmpty());
    }

    // A port of the configuration held by a listener on this side is moved
    // to the next free one, said so, and written back.
    void movesAHeldPort()
    {
        const QString setupPath = m_dataDir + "/Framework.S/Setup.xml";
        const QRegularExpression webSocket(QStringLiteral("<WebSocket>(\\d+)</WebSocket>"));
        const quint16 held = static_cast<quint16>(webSocket.match(tst::readText(setupPath)).captured(1).toUInt());
        QTcpServer holder;
        QVERIFY2(holder.listen(QHostAddress::LocalHost, held), qPrintable(holder.errorString()));
        qint64 servedAfter = 0;
        QVERIFY(startHost(&servedAfter));
        const QRegularExpressionMatch moved =
            QRegularExpression(QStringLiteral("WebSocket port %1 was taken; moved to (\\d+)\\.").arg(held))
                .match(QString::fromLocal8Bit(m_output));
        QVERIFY2(moved.hasMatch(), m_output.constData());
        qInfo("WebSocket port %u held here: moved to %s, served after %lld ms", held,
              qPrintable(moved.captured(1)), servedAfter);
        QCOMPARE(webSocket.match(tst::readText(setupPath)).captured(1), moved.captured(1));
    }

    // Killed, the host leaves its single-instance claim behind; the next
    // start takes it over and serves.
    void servesAgainAfterBeingKilled()
    {
        QVERIFY(::kill(static_cast<pid_t>(m_host.processId()), SIGKILL) == 0);
        QCOMPARE(waitForHostEnd(30000), -1001);
        qint64 servedAfter = 0;
        QVERIFY(startHost(&servedAfter));
        qInfo("after a kill: served again after %lld ms", servedAfter);
        QVERIFY(get(m_webPort, "/").startsWith("HTTP/1.1 200"));
        QCOMPARE(runWine({kProgram, QStringLiteral("--quit")}, 120000), 0);
        QCOMPARE(waitForHostEnd(60000), 0);
    }
};

QTEST_GUILESS_MAIN(TestWineHost)
#include "TestWineHost.moc"
