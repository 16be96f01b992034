// Runs the installed host as a real process with a private home and data
// folders, drives it through the framework library's control endpoint and
// signals, listens to its service-manager datagrams, and judges its exit
// statuses by the installed systemd unit's own settings.
#include <QElapsedTimer>
#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QtTest>

#include "TestScratch.h"
#include "TestSupport.h"

#include <csignal>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <vector>

namespace {

const QString kHost = QStringLiteral(TAVRIN_STAGE_DIR "/Server/Palvex.Framework.S");
const QString kBenchmark = QStringLiteral(TAVRIN_STAGE_DIR "/Server/maintain/Setup.xml.benchmark");
const QString kUnit = QStringLiteral(TAVRIN_STAGE_DIR "/systemd/tavrin-server.service");

// Whether systemd restarts the installed unit's main process after it ended
// with this exit status (no user systemd instance runs here, so its rule is
// applied to the unit's settings: RestartPreventExitStatus wins, then
// RestartForceExitStatus, then Restart= with clean statuses 0 and
// SuccessExitStatus).
bool unitRestarts(int status)
{
    QSettings unit(kUnit, QSettings::IniFormat);
    unit.beginGroup("Service");
    const auto listed = [&unit](const char* key, int value) {
        const QStringList words = unit.value(key).toString().split(' ', Qt::SkipEmptyParts);
        return words.contains(QString::number(value));
    };
    if (listed("RestartPreventExitStatus", status))
        return false;
    if (listed("RestartForceExitStatus", status))
        return true;
    const bool clean = status == 0 || listed("SuccessExitStatus", status);
    const QString restart = unit.value("Restart", "no").toString();
    return restart == "always" || (restart == "on-success" && clean) || (restart == "on-failure" && !clean);
}

// The moments a termination signal is sent at.
enum Moment { Idle, StartupAudit, PortDialog };

int benchmarkHttpPort()
{
    static const QRegularExpression http("<Http>(\\d+)</Http>");
    return http.match(tst::readText(kBenchmark)).captured(1).toInt();
}

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
        for (auto& other : others) {
            other->kill();
            other->waitForFinished(5000);
        }
        others.clear();
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
        if (!logText().contains("was taken; moved to"))
            QCOMPARE(tst::readBytes(dataDir + "Setup.xml"), tst::readBytes(kBenchmark));
        QCOMPARE(request("GET", httpPort, "/api/status", QByteArray()), 200);

        // The heartbeat goes to the service manager, not into the log.
        QElapsedTimer beat;
        beat.start();
        while (notify->receive() != "WATCHDOG=1" && beat.elapsed() < 15000) {
        }
        QVERIFY(beat.elapsed() < 15000);
        QVERIFY(!logText().contains("watchdog heartbeat 0"));

        QElapsedTimer clock;
        clock.start();
        QCOMPARE(request("POST", httpPort, "/api/close", token()), 200);
        QVERIFY(host->waitForFinished(30000));
        QVERIFY2(clock.elapsed() >= 2500, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(host->exitStatus(), QProcess::NormalExit);
        QCOMPARE(host->exitCode(), 0);
        QVERIFY(!unitRestarts(host->exitCode())); // a quit stays down

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

    // A reboot request ends the host with a status the unit restarts on; the
    // next start (the manager's) serves on the same ports.
    void rebootRequestComesBack()
    {
        startHost();
        int httpPort = 0;
        QVERIFY(waitForServices(httpPort));
        // The answer may be cut off by the host ending at once.
        const int status = request("POST", httpPort, "/api/reboot", token());
        QVERIFY2(status == 200 || status == 0, qPrintable(QString::number(status)));
        QVERIFY(host->waitForFinished(30000));
        QCOMPARE(host->exitStatus(), QProcess::NormalExit);
        QVERIFY2(unitRestarts(host->exitCode()), qPrintable(QString::number(host->exitCode())));
        const QString log = logText();
        QVERIFY(log.contains("control request reboot"));
        tst::verifyInOrder(log, {"Reboot: identity library released.", "the framework's servers are stopped",
                          "Reboot: framework library released."});
        QVERIFY(!log.contains("Quit: begin."));
        QVERIFY(!notify->drain().contains("STOPPING=1"));
        QCOMPARE(runtimeFiles(), QStringList());

        const int firstPort = httpPort;
        startHost();
        QVERIFY(waitForServices(httpPort, 2));
        QCOMPARE(httpPort, firstPort);
        QVERIFY(endBySignal(SIGTERM));
    }

    void endsInOrderOnSignal_data()
    {
        QTest::addColumn<int>("signal");
        QTest::addColumn<int>("moment");
        QTest::newRow("SIGTERM, idle") << int(SIGTERM) << int(Idle);
        QTest::newRow("SIGINT, idle") << int(SIGINT) << int(Idle);
        QTest::newRow("SIGHUP, idle") << int(SIGHUP) << int(Idle);
        QTest::newRow("SIGTERM, start-up audit") << int(SIGTERM) << int(StartupAudit);
        QTest::newRow("SIGTERM, port dialog") << int(SIGTERM) << int(PortDialog);
        QTest::newRow("SIGHUP, port dialog") << int(SIGHUP) << int(PortDialog);
    }

    // Whenever it comes, a termination signal ends the host with 0 through its
    // teardown, leaving no token, block or socket; a host whose watchdog was
    // opened tells it that it stops.
    void endsInOrderOnSignal()
    {
        QFETCH(int, signal);
        QFETCH(int, moment);
        // A held HTTP port makes the audit ask for the ports, on a display.
        QTcpServer holder;
        std::unique_ptr<tst::XServer> x;
        if (moment == PortDialog) {
            holder.listen(QHostAddress::Any, quint16(benchmarkHttpPort()));
            x = std::make_unique<tst::XServer>();
            QVERIFY(!x->display().isEmpty());
            x->use(environment);
        }
        startHost();
        int httpPort = 0;
        QStringList datagrams;
        if (moment == Idle) {
            QVERIFY(waitForServices(httpPort));
            QVERIFY(!token().isEmpty());
        } else if (moment == StartupAudit) {
            QTRY_VERIFY_WITH_TIMEOUT(logText().contains("Checking the configured ports."), 60000);
        } else {
            // Start-up waits on the dialog and asks for more start time, each
            // time more than until the next request.
            QElapsedTimer clock;
            clock.start();
            std::vector<qint64> at;
            qint64 extension = 0;
            while (at.size() < 2 && clock.elapsed() < 30000) {
                const QByteArray message = notify->receive();
                datagrams << QString::fromLatin1(message);
                if (message.startsWith("EXTEND_TIMEOUT_USEC=")) {
                    at.push_back(clock.elapsed());
                    extension = message.mid(20).toLongLong();
                }
            }
            QCOMPARE(int(at.size()), 2);
            QVERIFY2((at[1] - at[0]) * 1000 < extension, qPrintable(QString::number(extension)));
            QCOMPARE(host->state(), QProcess::Running);
        }
        QVERIFY(endBySignal(signal));

        const QString log = logText();
        QVERIFY(log.contains(QString("Termination signal %1 received.").arg(signal)));
        QCOMPARE(log.count("Termination signal"), 1);
        datagrams << notify->drain();
        if (moment == Idle)
            QVERIFY(log.contains("Quit: begin."));
        if (moment == PortDialog)
            QVERIFY(!log.contains("initFrameworkFirst"));
        if (datagrams.contains("READY=1"))
            QCOMPARE(datagrams.last(), QString("STOPPING=1"));
        QVERIFY(!QFile::exists(userDataDir() + "FrameworkControl.token"));
        QCOMPARE(runtimeFiles(), QStringList());
    }

    // Ten simultaneous starts in one home, 20 rounds: exactly one serves, the
    // others log their refusal and end with -1 (no display to show a notice
    // on), which the unit does not restart.
    void oneOfTenSimultaneousStartsServes()
    {
        QVERIFY(!unitRestarts(255)); // a refused start ends with -1
        for (int round = 0; round < 20; ++round) {
            const int refusedBefore = logText().count("Start refused");
            const int servedBefore = logText().count("initFrameworkFirst: http");
            std::vector<std::unique_ptr<QProcess>> starts;
            for (int i = 0; i < 10; ++i)
                starts.push_back(startedHost());
            QTRY_VERIFY_WITH_TIMEOUT(logText().count("Start refused") - refusedBefore == 9
                                         && logText().count("initFrameworkFirst: http") - servedBefore >= 1,
                                     120000);
            QTest::qWait(300);
            QCOMPARE(logText().count("initFrameworkFirst: http") - servedBefore, 1);
            notify->drain(); // a full notify queue would hold up the senders
            int refused = 0;
            for (auto& start : starts) {
                if (start->state() == QProcess::NotRunning || start->waitForFinished(2000)) {
                    QCOMPARE(start->exitCode(), 255);
                    ++refused;
                }
            }
            QCOMPARE(refused, 9);
            for (auto& start : starts) {
                if (start->state() == QProcess::NotRunning)
                    continue;
                ::kill(pid_t(start->processId()), SIGTERM);
                QVERIFY2(start->waitForFinished(60000), qPrintable(QString("round %1").arg(round)));
                QCOMPARE(start->exitCode(), 0);
            }
            QCOMPARE(runtimeFiles(), QStringList());
        }
    }

    void processScan_data()
    {
        QTest::addColumn<bool>("otherUser");
        QTest::addColumn<bool>("serves");
        QTest::newRow("another user's program of that name") << true << true;
        QTest::newRow("this user's other copy") << false << false;
    }

    // A program named like the host counts as another host only when it is
    // this user's and another executable than this one.
    void processScan()
    {
        QFETCH(bool, otherUser);
        QFETCH(bool, serves);
        static const char* const kUser = "tavrin-probe";
        if (otherUser && ::geteuid() != 0)
            QSKIP("another user's process needs a second user, which only root can create here");
        if (otherUser && QProcess::execute("id", {"-u", kUser}) != 0)
            QCOMPARE(QProcess::execute("useradd", {"--system", "--no-create-home", "--shell", "/usr/sbin/nologin", kUser}), 0);

        QTemporaryDir folder;
        QVERIFY(QFile::setPermissions(folder.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner
                                                         | QFile::ReadOther | QFile::ExeOther));
        const QString named = folder.path() + "/" + QFileInfo(kHost).fileName();
        QVERIFY(QFile::copy("/bin/sleep", named));
        others.emplace_back(new QProcess());
        if (otherUser)
            others.back()->start("runuser", {"-u", kUser, "--", named, "120"});
        else
            others.back()->start(named, {"120"});
        QVERIFY(others.back()->waitForStarted(10000));
        QTest::qWait(300);

        startHost();
        int httpPort = 0;
        if (serves) {
            QVERIFY(waitForServices(httpPort));
            QVERIFY(endBySignal(SIGTERM));
        } else {
            QVERIFY(host->waitForFinished(60000));
            QCOMPARE(host->exitCode(), 255);
            QVERIFY(logText().contains("Start refused: another copy of the host runs for this user"));
            QVERIFY(logText().contains(named));
        }
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
        // What the host cannot apply is refused and changes nothing.
        QCOMPARE(request("POST", httpPort, "/api/skin", token(), "GreyRed"), 400);
        QCOMPARE(request("POST", httpPort, "/api/language", token(), "99999"), 400);

        // Still serving, with the web client on the new language.
        QTest::qWait(500);
        QCOMPARE(host->state(), QProcess::Running);
        QCOMPARE(request("GET", httpPort, "/api/status", QByteArray()), 200);
        const QString log = logText();
        QCOMPARE(log.count("Skin GreyRed:"), 1);
        QVERIFY(log.contains("the web client's language is now 1"));
        QVERIFY(!log.contains("language is now 99999"));

        QCOMPARE(request("POST", httpPort, "/api/close", token()), 200);
        QVERIFY(host->waitForFinished(30000));
        QCOMPARE(host->exitStatus(), QProcess::NormalExit);
        QCOMPARE(host->exitCode(), 0);
    }

    // A second process with the host running or not: it answers on the
    // terminal and ends at once (no dialog waits without a display).
    void secondProcess_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("hostRunning");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("output"); // pattern, standard output and error together
        QTest::addColumn<bool>("hostEnds");  // the running host ends with 0

        QTest::newRow("help") << QStringList{"--help"} << false << 0 << "--version.*--quit" << false;
        QTest::newRow("version") << QStringList{"--version"} << false << 0 << "^Palvex\\.Framework\\.S \\d+\\.\\d+\\.\\d+\n$"
                                 << false;
        QTest::newRow("unknown option") << QStringList{"--bogus"} << false << 2 << "Unknown option 'bogus'" << false;
        QTest::newRow("stray argument") << QStringList{"now"} << false << 2 << "Unexpected argument 'now'" << false;
        QTest::newRow("quit, none running") << QStringList{"--quit"} << false << 1 << "No running host" << false;
        QTest::newRow("second start") << QStringList() << true << 255 << "The service is already running\\." << false;
        QTest::newRow("quit") << QStringList{"--quit"} << true << 0 << "Asked the running host to quit" << true;
    }

    void secondProcess()
    {
        QFETCH(QStringList, arguments);
        QFETCH(bool, hostRunning);
        QFETCH(int, exitCode);
        QFETCH(QString, output);
        QFETCH(bool, hostEnds);
        int httpPort = 0;
        if (hostRunning) {
            startHost();
            QVERIFY(waitForServices(httpPort));
        }
        QProcess second;
        second.setProcessEnvironment(environment);
        second.setWorkingDirectory(home->path());
        second.setProcessChannelMode(QProcess::MergedChannels);
        second.start(kHost, arguments);
        QVERIFY(second.waitForFinished(20000));
        const QString text = QString::fromLocal8Bit(second.readAll());
        QVERIFY2(QRegularExpression(output, QRegularExpression::DotMatchesEverythingOption).match(text).hasMatch(),
                 qPrintable(text));
        QCOMPARE(second.exitCode(), exitCode);
        if (hostRunning) {
            QCOMPARE(host->waitForFinished(20000), hostEnds);
            if (hostEnds)
                QCOMPARE(host->exitCode(), 0);
            else
                QCOMPARE(request("GET", httpPort, "/api/status", QByteArray()), 200);
        }
    }

    // What a person reads in the terminal of a first start.
    void firstStartTellsWhereThingsAre()
    {
        startHost(QProcess::ForwardedErrorChannel);
        int httpPort = 0;
        QVERIFY(waitForServices(httpPort));
        QTRY_VERIFY_WITH_TIMEOUT(hostOutput.append(host->readAllStandardOutput()).contains("Stop: Ctrl+C"), 10000);
        const QString dataDir = userDataDir();
        tst::verifyInOrder(QString::fromLocal8Bit(hostOutput),
                           {QString("Web client: http://127.0.0.1:%1/").arg(httpPort),
                            "Configuration: " + dataDir + "Setup.xml", "Logs: " + dataHome(),
                            "Stop: Ctrl+C, or " + QFileInfo(kHost).canonicalFilePath() + " --quit"});
        // Nothing stored yet is no fault to warn about; sources are named plainly.
        const QString log = logText();
        QVERIFY2(!log.contains("is not a port"), qPrintable(log));
        QVERIFY(log.contains(" KestApplication.cpp:"));
        QVERIFY(!log.contains("/KestApplication.cpp:"));
    }

private:
    void startHost(QProcess::ProcessChannelMode channels = QProcess::ForwardedChannels)
    {
        host = startedHost(channels);
        QVERIFY(host->waitForStarted(10000));
    }

    std::unique_ptr<QProcess> startedHost(QProcess::ProcessChannelMode channels = QProcess::ForwardedChannels) const
    {
        std::unique_ptr<QProcess> process(new QProcess());
        process->setProcessEnvironment(environment);
        process->setWorkingDirectory(home->path());
        process->setProcessChannelMode(channels);
        process->start(kHost, QStringList());
        return process;
    }

    // Sends the signal to the host; true when it then ended normally with 0.
    bool endBySignal(int signal)
    {
        ::kill(pid_t(host->processId()), signal);
        return host->waitForFinished(30000) && host->exitStatus() == QProcess::NormalExit && host->exitCode() == 0;
    }

    // What is left in the private runtime folder.
    QStringList runtimeFiles() const
    {
        return QDir(home->path() + "/runtime").entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System);
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
    std::unique_ptr<QProcess> host;
    std::vector<std::unique_ptr<QProcess>> others;
    QProcessEnvironment environment;
    QNetworkAccessManager network;
    QByteArray hostOutput;
    QScopedPointer<tst::NotifySocket> notify;
};

QTEST_GUILESS_MAIN(TestHostProcess)
#include "TestHostProcess.moc"
