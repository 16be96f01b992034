// Runs the installed host as a real process with a private home and data
// folders, drives it through the framework library's control endpoint, its
// command line and signals, listens to its service-manager datagrams, and
// judges its exit statuses by the installed systemd unit's own settings.
// Last, the Debian package is packed from this build and its host run.
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QTcpServer>
#include <QTcpSocket>
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

const QString kServer = QStringLiteral(TAVRIN_STAGE_DIR "/Server");
const QString kHost = kServer + "/Palvex.Framework.S";
const QString kBenchmark = kServer + "/maintain/Setup.xml.benchmark";

// Whether systemd restarts the installed unit's main process after it ended
// with this exit status (no user systemd instance runs here, so its rule is
// applied to the unit's settings: RestartPreventExitStatus wins, then
// RestartForceExitStatus, then Restart= with clean statuses 0 and
// SuccessExitStatus).
bool unitRestarts(int status)
{
    QSettings unit(TAVRIN_STAGE_DIR "/systemd/tavrin-server.service", QSettings::IniFormat);
    unit.beginGroup("Service");
    const auto listed = [&unit, status](const char* key) {
        return unit.value(key).toString().split(' ', Qt::SkipEmptyParts).contains(QString::number(status));
    };
    if (listed("RestartPreventExitStatus"))
        return false;
    if (listed("RestartForceExitStatus"))
        return true;
    const bool clean = status == 0 || listed("SuccessExitStatus");
    const QString restart = unit.value("Restart", "no").toString();
    return restart == "always" || (restart == "on-success" && clean) || (restart == "on-failure" && !clean);
}

// The port under /Configs/ServerPort/<key> of a configuration.
int configuredPort(const QString& key, const QString& xml = tst::readText(kBenchmark))
{
    return QRegularExpression(QString("<%1>(\\d+)</%1>").arg(key)).match(xml).captured(1).toInt();
}

// The moments a termination signal is sent at.
enum Moment { Idle, StartupAudit, PortDialog };

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
    }

    void cleanup()
    {
        for (auto* process : {host.get(), other.get()}) {
            if (process && process->state() != QProcess::NotRunning) {
                process->kill();
                process->waitForFinished(5000);
            }
        }
        host.reset();
        other.reset();
        notify.reset();
    }

    // A first start tells where things are, serves, stands a kill -9 (the
    // next start serves at once) and a quit request ends it with 0 through
    // its teardown in order; the run-time language and skin requests reach it.
    void servesSurvivesKillAndQuitsInOrder()
    {
        int httpPort = 0;
        QVERIFY(startAndServe(httpPort));
        QByteArray output;
        QTRY_VERIFY_WITH_TIMEOUT((output += host->readAllStandardOutput()).contains("Stop: Ctrl+C"), 10000);
        const QString dataDir = userDataDir();
        tst::verifyInOrder(QString::fromLocal8Bit(output),
                           {QString("Web client: http://127.0.0.1:%1/").arg(httpPort),
                            "Configuration: " + dataDir + "Setup.xml", "Logs: " + dataHome(),
                            "Stop: Ctrl+C, or " + QFileInfo(kHost).canonicalFilePath() + " --quit"});
        QVERIFY(QFile::exists(dataDir + "Framework.S.log4cxx.properties"));
        if (!logText().contains("was taken; moved to"))
            QCOMPARE(tst::readBytes(dataDir + "Setup.xml"), tst::readBytes(kBenchmark));
        QVERIFY2(!logText().contains("is not a port"), qPrintable(logText())); // nothing stored yet is no fault
        QVERIFY(logText().contains(" KestApplication.cpp:") && !logText().contains("/KestApplication.cpp:"));

        host->kill();
        QVERIFY(host->waitForFinished(5000));
        QElapsedTimer clock;
        clock.start();
        QVERIFY(startAndServe(httpPort, 2));
        QVERIFY2(clock.elapsed() < 8000, qPrintable(QString::number(clock.elapsed())));
        // The heartbeat goes to the service manager, not into the log.
        QElapsedTimer beat;
        beat.start();
        while (notify->receive() != "WATCHDOG=1" && beat.elapsed() < 15000) {
        }
        QVERIFY(beat.elapsed() < 15000);
        QVERIFY(!logText().contains("watchdog heartbeat 0"));

        QCOMPARE(request("POST", httpPort, "/api/language", "1"), 200);
        QCOMPARE(request("POST", httpPort, "/api/skin", "BlackRedSkin"), 200);
        QCOMPARE(request("POST", httpPort, "/api/skin", "GreyRed"), 400); // what it cannot apply changes nothing
        QCOMPARE(request("POST", httpPort, "/api/language", "99999"), 400);
        QTRY_VERIFY_WITH_TIMEOUT(logText().contains("the web client's language is now 1"), 10000);
        for (const char* applied : {"Language 1 \\(Chinese\\): (\\d+) of (\\d+) translation files loaded",
                                    "Skin BlackRed: (\\d+) of (\\d+) resource files registered"}) {
            QRegularExpressionMatch loaded;
            QTRY_VERIFY_WITH_TIMEOUT((loaded = QRegularExpression(applied).match(logText())).hasMatch(), 10000);
            QVERIFY(loaded.captured(2).toInt() > 0 && loaded.captured(1) == loaded.captured(2));
        }

        clock.restart();
        QCOMPARE(request("POST", httpPort, "/api/close"), 200);
        QVERIFY(host->waitForFinished(30000));
        QVERIFY2(clock.elapsed() >= 2500, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(host->exitStatus(), QProcess::NormalExit);
        QCOMPARE(host->exitCode(), 0);
        QVERIFY(!unitRestarts(0)); // a quit stays down
        const QStringList datagrams = notify->drain();
        QVERIFY2(!datagrams.isEmpty() && datagrams.last() == "STOPPING=1", qPrintable(datagrams.join(',')));
        QCOMPARE(datagrams.count("STOPPING=1"), 1);
        const QString log = logText();
        QCOMPARE(log.count("the framework's servers are stopped"), 1);
        QCOMPARE(log.count("This session has no notification area"), 2); // offscreen: no tray, said once a start
        QVERIFY(!log.contains("language is now 99999"));
        tst::verifyInOrder(log, {"Quit: begin.", "Quit: identity library released.", "watchdog heartbeat 2",
                                 "the framework's servers are stopped", "Quit: tray object deleted.",
                                 "Quit: queueing the end of the event loop."});
        QCOMPARE(runtimeFiles(), QStringList());
    }

    // A reboot request ends the host with a status the unit restarts on; the
    // next start (the manager's) serves on the same ports.
    void rebootRequestComesBack()
    {
        int httpPort = 0;
        QVERIFY(startAndServe(httpPort));
        const int status = request("POST", httpPort, "/api/reboot"); // may be cut off by the end
        QVERIFY2(status == 200 || status == 0, qPrintable(QString::number(status)));
        QVERIFY(host->waitForFinished(30000));
        QCOMPARE(host->exitStatus(), QProcess::NormalExit);
        QVERIFY2(unitRestarts(host->exitCode()), qPrintable(QString::number(host->exitCode())));
        const QString log = logText();
        QVERIFY(log.contains("control request reboot"));
        tst::verifyInOrder(log, {"Reboot: identity library released.",
                                 "the framework's servers are stopped", "Reboot: framework library released."});
        QVERIFY(!log.contains("Quit: begin."));
        QVERIFY(!notify->drain().contains("STOPPING=1"));
        QCOMPARE(runtimeFiles(), QStringList());
        const int firstPort = httpPort;
        QVERIFY(startAndServe(httpPort, 2));
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
    // teardown, leaving no token, block or socket; a host that said it was
    // ready says that it stops.
    void endsInOrderOnSignal()
    {
        QFETCH(int, signal);
        QFETCH(int, moment);
        // A held HTTP port makes the audit ask for the ports, on a display.
        QTcpServer holder;
        std::unique_ptr<tst::XServer> x;
        if (moment == PortDialog) {
            holder.listen(QHostAddress::Any, quint16(configuredPort("Http")));
            x = std::make_unique<tst::XServer>();
            QVERIFY(!x->display().isEmpty());
            x->use(environment);
        }
        int httpPort = 0;
        QStringList datagrams;
        if (moment == Idle) {
            QVERIFY(startAndServe(httpPort));
            QVERIFY(!token().isEmpty());
        } else if (moment == StartupAudit) {
            host = started();
            QTRY_VERIFY_WITH_TIMEOUT(logText().contains("Checking the configured ports."), 60000);
        } else {
            // Start-up waits on the dialog and asks for more start time, each
            // time more than until the next request.
            host = started();
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
        }
        QVERIFY(endBySignal(signal));
        const QString log = logText();
        QVERIFY(log.contains(QString("Termination signal %1 received.").arg(signal)));
        QCOMPARE(log.count("Termination signal"), 1);
        if (moment == Idle)
            QVERIFY(log.contains("Quit: begin."));
        if (moment == PortDialog)
            QVERIFY(!log.contains("initFrameworkFirst"));
        datagrams << notify->drain();
        if (datagrams.contains("READY=1"))
            QCOMPARE(datagrams.last(), QString("STOPPING=1"));
        QVERIFY(!QFile::exists(userDataDir() + "FrameworkControl.token"));
        QCOMPARE(runtimeFiles(), QStringList());
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
        other.reset(new QProcess);
        if (otherUser)
            other->start("runuser", {"-u", kUser, "--", named, "120"});
        else
            other->start(named, {"120"});
        QVERIFY(other->waitForStarted(10000));
        QTest::qWait(300);
        int httpPort = 0;
        if (serves) {
            QVERIFY(startAndServe(httpPort));
            QVERIFY(endBySignal(SIGTERM));
        } else {
            host = started();
            QVERIFY(host->waitForFinished(60000));
            QCOMPARE(host->exitCode(), 255);
            QVERIFY(logText().contains("Start refused: another copy of the host runs for this user"));
            QVERIFY(logText().contains(named));
        }
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
        if (hostRunning)
            QVERIFY(startAndServe(httpPort));
        const std::unique_ptr<QProcess> second = started(QProcess::MergedChannels, kHost, arguments);
        QVERIFY(second->waitForFinished(20000));
        const QString text = QString::fromLocal8Bit(second->readAll());
        QVERIFY2(QRegularExpression(output, QRegularExpression::DotMatchesEverythingOption).match(text).hasMatch(),
                 qPrintable(text));
        QCOMPARE(second->exitCode(), exitCode);
        QVERIFY(exitCode != 255 || !unitRestarts(255)); // a refused start stays down
        if (hostRunning) {
            QCOMPARE(host->waitForFinished(20000), hostEnds);
            if (hostEnds)
                QCOMPARE(host->exitCode(), 0);
            else
                QCOMPARE(request("GET", httpPort, "/api/status"), 200);
        }
    }

    // Without a display nobody can answer the port dialog: a held port is
    // moved to the first free one from the audit's starting point (the HTTP
    // port: from itself), written to "Setup.xml" before the services start,
    // the move is printed, and the service is there on the new port.
    void heldPortIsMoved_data()
    {
        QTest::addColumn<QString>("key");     // element under /Configs/ServerPort
        QTest::addColumn<QString>("service"); // as the move is printed
        QTest::addColumn<int>("firstTried");  // 0: the held port itself
        QTest::newRow("WebSocket") << "WebSocket" << "WebSocket" << 8081;
        QTest::newRow("HTTP, no one to ask") << "Http" << "HTTP" << 0;
    }
    void heldPortIsMoved()
    {
        QFETCH(QString, key);
        QFETCH(QString, service);
        QFETCH(int, firstTried);
        const int held = configuredPort(key);
        QTcpServer holder; // when another process holds it already, it is held all the same
        holder.listen(QHostAddress::Any, quint16(held));
        host = started(QProcess::MergedChannels);
        QByteArray output;
        const QRegularExpression moved(QString("%1 port %2 was taken; moved to (\\d+)\\.").arg(service).arg(held));
        QRegularExpressionMatch move;
        QTRY_VERIFY_WITH_TIMEOUT((move = moved.match(QString::fromUtf8(output += host->readAll()))).hasMatch(), 60000);
        const int to = move.captured(1).toInt();
        QVERIFY(to >= (firstTried ? firstTried : held));
        QCOMPARE(configuredPort(key, tst::readText(userDataDir() + "Setup.xml")), to);
        QTcpSocket client;
        QTRY_VERIFY_WITH_TIMEOUT((client.connectToHost(QHostAddress::LocalHost, quint16(to)), client.waitForConnected(1000)),
                                 30000);
        if (key == "Http")
            QTRY_VERIFY_WITH_TIMEOUT((output += host->readAll()).contains(QString("Web client: http://127.0.0.1:%1/").arg(to).toUtf8()), 30000);
        QVERIFY(endBySignal(SIGTERM));
    }

    // The Debian package, packed by CPack from this build and unpacked with
    // dpkg-deb into a temporary root: the files in their places, naming the
    // installed program, and the unpacked host serves in the throw-away home
    // and quits on --quit.
    void packageInstallsAndServes()
    {
        QTemporaryDir work;
        const QString output = work.filePath("package");
        const QString root = work.filePath("root");
        // The dependency scan of the package is the release's business.
        QVERIFY(run("cpack", {"-G", "DEB", "--config", TAVRIN_BUILD_DIR "/CPackConfig.cmake", "-B", output, "-D",
                              "CPACK_DEBIAN_PACKAGE_SHLIBDEPS=OFF"}));
        const QStringList packages = QDir(output).entryList({"*.deb"}, QDir::Files);
        QCOMPARE(packages.size(), 1);
        QVERIFY(run("dpkg-deb", {"-x", output + "/" + packages.first(), root}));
        const QString program = "/opt/tavrin/Server/Palvex.Framework.S";
        const QStringList files = { // path, then what it must hold
            program, "",
            "/opt/tavrin/Server/maintain/Setup.xml.benchmark", "<Configs",
            "/usr/lib/systemd/user/tavrin-server.service", "\nExecStart=" + program + "\n",
            "/usr/share/applications/tavrin-server.desktop", "\nExec=\"" + program + "\"\n",
            "/usr/share/icons/hicolor/scalable/apps/tavrin-server.svg", "<svg"};
        for (int i = 0; i < files.size(); i += 2) {
            const QString text = tst::readText(root + files[i]);
            QVERIFY2(QFileInfo(root + files[i]).isFile() && text.contains(files[i + 1]), qPrintable(files[i]));
            QVERIFY2(!text.contains(TAVRIN_BUILD_DIR) && !text.contains(TAVRIN_SOURCE_DIR), qPrintable(files[i]));
        }
        environment.remove("NOTIFY_SOCKET");
        int httpPort = 0;
        QVERIFY(startAndServe(httpPort, 1, root + program));
        QVERIFY(!tst::findFile(home->path(), "Setup.xml").isEmpty()); // its data live in the home
        QCOMPARE(run(root + program, {"--quit"}), true);
        QVERIFY(host->waitForFinished(30000));
        QCOMPARE(host->exitStatus(), QProcess::NormalExit);
        QCOMPARE(host->exitCode(), 0);
    }

private:
    std::unique_ptr<QProcess> started(QProcess::ProcessChannelMode channels = QProcess::ForwardedErrorChannel,
                                      const QString& program = kHost, const QStringList& arguments = {}) const
    {
        std::unique_ptr<QProcess> process(new QProcess);
        process->setProcessEnvironment(environment);
        process->setWorkingDirectory(home->path());
        process->setProcessChannelMode(channels);
        process->start(program, arguments);
        process->waitForStarted(10000);
        return process;
    }

    // Runs a program to its end; false (and its output logged) unless it ends with 0.
    bool run(const QString& program, const QStringList& arguments) const
    {
        const std::unique_ptr<QProcess> process = started(QProcess::MergedChannels, program, arguments);
        const bool ok = process->waitForFinished(600000) && process->exitStatus() == QProcess::NormalExit
                        && process->exitCode() == 0;
        if (!ok)
            qWarning("%s %s: %s", qPrintable(program), qPrintable(arguments.join(' ')), process->readAll().constData());
        return ok;
    }

    // Starts the host and waits until it logged its framework ports (the
    // count-th time) and the web client answers.
    bool startAndServe(int& httpPort, int count = 1, const QString& program = kHost)
    {
        host = started(QProcess::ForwardedErrorChannel, program);
        static const QRegularExpression portLine("initFrameworkFirst: http (\\d+)");
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < 60000 && host->state() == QProcess::Running) {
            int seen = 0;
            for (auto matches = portLine.globalMatch(logText()); matches.hasNext(); ++seen)
                httpPort = matches.next().captured(1).toInt();
            if (seen >= count && request("GET", httpPort, "/api/status") == 200)
                return true;
            QTest::qWait(200);
        }
        return false;
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
    QString dataHome() const { return home->path() + "/data"; }
    QString userDataDir() const { return QFileInfo(tst::findFile(dataHome(), "Setup.xml")).absolutePath() + "/"; }
    QString logText() const { return tst::findText(dataHome(), "Framework.S.txt"); }

    // The control token, only when it is private to the user.
    QByteArray token() const
    {
        const QString path = userDataDir() + "FrameworkControl.token";
        struct stat info {};
        if (::stat(path.toLocal8Bit().constData(), &info) != 0 || (info.st_mode & 0777) != 0600)
            return QByteArray();
        return tst::readBytes(path).trimmed();
    }

    // The status of a control request (POSTs carry the token), -1 without an answer.
    int request(const QByteArray& verb, int port, const QString& path, const QByteArray& body = QByteArray())
    {
        QNetworkRequest req(QUrl(QString("http://127.0.0.1:%1%2").arg(port).arg(path)));
        if (verb == "POST")
            req.setRawHeader("Authorization", "Bearer " + token());
        req.setHeader(QNetworkRequest::ContentTypeHeader, "text/plain");
        QNetworkReply* reply = network.sendCustomRequest(req, verb, body);
        QElapsedTimer clock;
        clock.start();
        while (!reply->isFinished() && clock.elapsed() < 5000)
            QTest::qWait(20);
        const int status = reply->isFinished() ? reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt() : -1;
        reply->abort();
        reply->deleteLater();
        return status;
    }

    QScopedPointer<ScratchHome> home;
    std::unique_ptr<QProcess> host, other;
    QProcessEnvironment environment;
    QNetworkAccessManager network;
    QScopedPointer<tst::NotifySocket> notify;
};

QTEST_GUILESS_MAIN(TestHostProcess)
#include "TestHostProcess.moc"
