// Runs the installed host as a real process with a private home and data
// folders, drives it through the framework library's control endpoint and
// listens to its watchdog datagrams.
#include <QElapsedTimer>
#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QProcess>
#include <QRegularExpression>
#include <QtTest>

#include "TestScratch.h"
#include "TestSupport.h"

#include <sys/stat.h>

namespace {

const QString kHost = QStringLiteral(TAVRIN_STAGE_DIR "/Server/Palvex.Framework.S");
const QString kBenchmark = QStringLiteral(TAVRIN_STAGE_DIR "/Server/maintain/Setup.xml.benchmark");

} // namespace

class TestHostProcess : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        QVERIFY(QFile::exists(kHost));
        home.reset(new ScratchHome); // for this process and the host alike
        QVERIFY(home->isValid());
        notify.reset(new tst::NotifySocket(home->path() + "/notify.sock"));
        QVERIFY(notify->bound());

        environment = QProcessEnvironment::systemEnvironment();
        environment.insert("QT_QPA_PLATFORM", "offscreen");
        // The system's log4cxx trips ASan's new/delete size check in its own
        // exit handlers; that is outside this program.
        environment.insert("ASAN_OPTIONS", "detect_leaks=0:new_delete_type_mismatch=0");
    }

    void cleanup()
    {
        if (host && host->state() != QProcess::NotRunning) {
            host->kill();
            host->waitForFinished(5000);
        }
        host.reset();
        hostOutput.clear();
        notify.reset();
    }

    void firstStartServesAndClosesInOrder()
    {
        startHost();
        int httpPort = 0;
        QVERIFY(waitForServices(httpPort));

        const QString dataDir = userDataDir();
        QVERIFY(!dataDir.isEmpty());
        QVERIFY(QFile::exists(dataDir + "Framework.S.log4cxx.properties"));
        if (!logText().contains("is taken, moved to"))
            QCOMPARE(tst::readBytes(dataDir + "Setup.xml"), tst::readBytes(kBenchmark));
        QCOMPARE(request("GET", httpPort, "/api/status", QByteArray()), 200);

        QElapsedTimer clock;
        clock.start();
        QCOMPARE(request("POST", httpPort, "/api/close", token()), 200);
        QVERIFY(host->waitForFinished(30000));
        QVERIFY2(clock.elapsed() >= 2500, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(host->exitStatus(), QProcess::NormalExit);
        QCOMPARE(host->exitCode(), 0);

        const QStringList datagrams = notify->drain();
        QVERIFY2(!datagrams.isEmpty() && datagrams.last() == "STOPPING=1", qPrintable(datagrams.join(',')));
        QCOMPARE(datagrams.count("STOPPING=1"), 1);

        const QString log = logText();
        QCOMPARE(log.count("the framework's servers are stopped"), 1);
        QCOMPARE(log.count("This session has no notification area"), 1); // offscreen: no tray, said once
        tst::verifyInOrder(log, {"Quit: begin.", "Quit: identity library released.", "watchdog heartbeat 2",
                          "the framework's servers are stopped", "Quit: tray object deleted.",
                          "Quit: queueing the end of the event loop."});
    }

    void rebootRequestEndsThroughTheRebootTeardown()
    {
        startHost();
        int httpPort = 0;
        QVERIFY(waitForServices(httpPort));
        // The answer may be cut off by the host ending at once.
        const int status = request("POST", httpPort, "/api/reboot", token());
        QVERIFY2(status == 200 || status == 0, qPrintable(QString::number(status)));
        QVERIFY(host->waitForFinished(30000));
        QCOMPARE(host->exitStatus(), QProcess::NormalExit);
        QCOMPARE(host->exitCode(), 0);
        const QString log = logText();
        QVERIFY(log.contains("control request reboot"));
        tst::verifyInOrder(log, {"Reboot: identity library released.", "the framework's servers are stopped",
                          "Reboot: framework library released."});
        QVERIFY(!log.contains("Quit: begin."));
        QVERIFY(!notify->drain().contains("STOPPING=1"));
    }

    void killedHostIsReplacedAtOnce()
    {
        startHost();
        int httpPort = 0;
        QVERIFY(waitForServices(httpPort));
        host->kill();
        QVERIFY(host->waitForFinished(5000));

        const int linesBefore = logText().count("initFrameworkFirst: http");
        startHost();
        QElapsedTimer clock;
        clock.start();
        QVERIFY(waitForServices(httpPort, linesBefore + 1));
        QVERIFY2(clock.elapsed() < 8000, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(host->state(), QProcess::Running);
        QCOMPARE(request("POST", httpPort, "/api/close", token()), 200);
        QVERIFY(host->waitForFinished(30000));
        QCOMPARE(host->exitCode(), 0);
    }

    void languageAndSkinSwitchAtRunTime()
    {
        startHost(QProcess::ForwardedErrorChannel); // standard output is read here
        int httpPort = 0;
        QVERIFY(waitForServices(httpPort));
        QTRY_VERIFY_WITH_TIMEOUT(hostOutput.append(host->readAllStandardOutput())
                                     .contains(QString("Web client: http://127.0.0.1:%1/").arg(httpPort).toUtf8()),
                                 10000);

        // Chinese: every translation file of its folder is loaded.
        QCOMPARE(request("POST", httpPort, "/api/language", token(), "1"), 200);
        static const QRegularExpression chinese(
            "Language 1 \\(Chinese\\): (\\d+) of (\\d+) translation files loaded");
        QRegularExpressionMatch loaded;
        QTRY_VERIFY_WITH_TIMEOUT((loaded = chinese.match(logText())).hasMatch(), 10000);
        QVERIFY(loaded.captured(2).toInt() > 0);
        QCOMPARE(loaded.captured(1), loaded.captured(2));
        QTRY_VERIFY_WITH_TIMEOUT(logText().contains("Interface language switched to 1."), 10000);
        QTRY_VERIFY_WITH_TIMEOUT(hostOutput.append(host->readAllStandardOutput())
                                     .contains("I get the language change!!!!"), 10000);

        // BlackRed replaces the start-up skin's resources.
        QCOMPARE(request("POST", httpPort, "/api/skin", token(), "BlackRedSkin"), 200);
        static const QRegularExpression blackRed("Skin BlackRed: (\\d+) of (\\d+) resource files registered");
        QTRY_VERIFY_WITH_TIMEOUT((loaded = blackRed.match(logText())).hasMatch(), 10000);
        QVERIFY(loaded.captured(2).toInt() > 0);
        QCOMPARE(loaded.captured(1), loaded.captured(2));
        // A name outside the skin table changes nothing.
        QCOMPARE(request("POST", httpPort, "/api/skin", token(), "GreyRed"), 200);

        // Still serving, with the web client on the new language.
        QTest::qWait(500);
        QCOMPARE(host->state(), QProcess::Running);
        QCOMPARE(request("GET", httpPort, "/api/status", QByteArray()), 200);
        const QString log = logText();
        QCOMPARE(log.count("Skin GreyRed:"), 1);
        QVERIFY(log.contains("the web client's language is now 1"));

        QCOMPARE(request("POST", httpPort, "/api/close", token()), 200);
        QVERIFY(host->waitForFinished(30000));
        QCOMPARE(host->exitStatus(), QProcess::NormalExit);
        QCOMPARE(host->exitCode(), 0);
    }

private:
    void startHost(QProcess::ProcessChannelMode channels = QProcess::ForwardedChannels)
    {
        host.reset(new QProcess());
        host->setProcessEnvironment(environment);
        host->setWorkingDirectory(home->path());
        host->setProcessChannelMode(channels);
        host->start(kHost, QStringList());
        QVERIFY(host->waitForStarted(10000));
    }

    QString userDataDir() const
    {
        const QString setup = tst::findFile(dataHome(), "Setup.xml");
        return setup.isEmpty() ? QString() : QFileInfo(setup).absolutePath() + "/";
    }

    QString dataHome() const { return home->path() + "/data"; }

    QString logText() const { return tst::findText(dataHome(), "Framework.S.txt"); }

    // Waits until the host logged its framework ports (the count-th time)
    // and the web client answers.
    bool waitForServices(int& httpPort, int count = 1)
    {
        static const QRegularExpression portLine("initFrameworkFirst: http (\\d+)");
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < 60000 && host->state() == QProcess::Running) {
            const QString log = logText();
            auto matches = portLine.globalMatch(log);
            int seen = 0;
            while (matches.hasNext()) {
                httpPort = matches.next().captured(1).toInt();
                ++seen;
            }
            if (seen >= count && request("GET", httpPort, "/api/status", QByteArray()) == 200)
                return true;
            QTest::qWait(200);
        }
        return false;
    }

    QByteArray token() const
    {
        const QString path = userDataDir() + "FrameworkControl.token";
        struct stat info {};
        if (::stat(path.toLocal8Bit().constData(), &info) != 0 || (info.st_mode & 0777) != 0600)
            return QByteArray();
        return tst::readBytes(path).trimmed();
    }

    int request(const QByteArray& verb, int port, const QString& path, const QByteArray& bearer,
                const QByteArray& body = QByteArray())
    {
        QNetworkRequest req(QUrl(QString("http://127.0.0.1:%1%2").arg(port).arg(path)));
        if (!bearer.isEmpty())
            req.setRawHeader("Authorization", "Bearer " + bearer);
        req.setHeader(QNetworkRequest::ContentTypeHeader, "text/plain");
        QNetworkReply* reply = network.sendCustomRequest(req, verb, body);
        QElapsedTimer clock;
        clock.start();
        while (!reply->isFinished() && clock.elapsed() < 5000)
            QTest::qWait(20);
        const int status = reply->isFinished()
            ? reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt() : -1;
        reply->abort();
        reply->deleteLater();
        return status;
    }

    QScopedPointer<ScratchHome> home;
    QScopedPointer<QProcess> host;
    QProcessEnvironment environment;
    QNetworkAccessManager network;
    QByteArray hostOutput;
    QScopedPointer<tst::NotifySocket> notify;
};

QTEST_GUILESS_MAIN(TestHostProcess)
#include "TestHostProcess.moc"
