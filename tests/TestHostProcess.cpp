// Runs the installed host as a real process with a private home and data
// folders, drives it through the framework library's control endpoint, its
// second start and signals, and listens to its service-manager datagrams
// (exit statuses as the systemd unit reads them: 0 quit, 75 restart me,
// 255 start refused).
// Last, the Debian package is packed from this build and its host run.
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QtTest>

#include "TestScratch.h"
#include "TestSupport.h"

#include <csignal>

#include <memory>

const QString kHost = QStringLiteral(TAVRIN_STAGE_DIR "/Server/Palvex.Framework.S");

class TestHostProcess : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        home.reset(new ScratchHome); // for this process and the host alike
        notify.reset(new tst::NotifySocket(home->path() + "/notify.sock"));
        QVERIFY(notify->bound());
        environment = QProcessEnvironment::systemEnvironment();
    }

    void cleanup()
    {
        host.reset(); // killed if still running
        notify.reset();
    }

    // Without a display nobody can answer the port dialog: a held HTTP port
    // is moved to the first free one from itself, written to "Setup.xml"
    // before the web client starts there. The host stands a kill -9 (the
    // next start serves at once); a quit request ends it with 0 through its
    // teardown in order.
    void movesHeldPortSurvivesKillQuitsInOrder()
    {
        const int held = httpIn(tst::readText(TAVRIN_STAGE_DIR "/Server/maintain/Setup.xml.benchmark"));
        QTcpServer holder; // when another process holds it already, it is held all the same
        holder.listen(QHostAddress::Any, quint16(held));
        int httpPort = 0;
        QVERIFY(startAndServe(httpPort));
        QVERIFY2(logText().contains(QString("HTTP port %1 was taken; moved to %2.").arg(held).arg(httpPort)),
                 qPrintable(logText()));
        QVERIFY(httpPort > held);
        QCOMPARE(httpIn(tst::findText(home->path() + "/data", "Setup.xml")), httpPort);
        host->kill();
        QVERIFY(host->waitForFinished(5000));
        QElapsedTimer clock;
        clock.start();
        QVERIFY(startAndServe(httpPort, 2));
        QVERIFY2(clock.elapsed() < 8000, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(request(httpPort, "/api/close"), 200);
        QVERIFY(endsWith0());
        QVERIFY(notify->drain().endsWith("STOPPING=1"));
        tst::verifyInOrder(logText(), {"Quit: begin.", "Quit: identity library released.",
                                       "the framework's servers are stopped", "Quit: queueing the end of the event loop."});
        QCOMPARE(runtimeFiles(), QStringList());
    }

    // A reboot request ends the host with 75.
    void rebootRequestEndsWith75()
    {
        int httpPort = 0;
        QVERIFY(startAndServe(httpPort));
        QVERIFY(QList<int>({200, 0}).contains(request(httpPort, "/api/reboot"))); // 0: cut off by the end
        QVERIFY2(host->waitForFinished(30000), qPrintable(logText().right(2500)));
        QCOMPARE(host->exitCode(), 75);
        QVERIFY(!logText().contains("Quit: begin."));
        QCOMPARE(runtimeFiles(), QStringList());
    }

    // A second start is refused with 255; the first one serves on, and a
    // termination signal ends it with 0 through its teardown.
    void secondStartIsRefusedAndSignalQuits()
    {
        int httpPort = 0;
        QVERIFY(startAndServe(httpPort));
        QProcess second;
        second.setProcessEnvironment(environment);
        second.setProcessChannelMode(QProcess::MergedChannels);
        second.start(kHost, QStringList());
        QVERIFY(second.waitForFinished(20000));
        QVERIFY(second.readAll().contains("The service is already running."));
        QCOMPARE(second.exitCode(), 255);
        QCOMPARE(request(httpPort, "/api/status", "GET"), 200);
        ::kill(pid_t(host->processId()), SIGTERM);
        QVERIFY(endsWith0());
        QVERIFY(logText().contains(QString("Termination signal %1 received.").arg(SIGTERM)));
        tst::verifyInOrder(logText(), {"Quit: begin.", "the framework's servers are stopped"});
        QCOMPARE(runtimeFiles(), QStringList());
    }

    // The Debian package, packed from this build and unpacked into a
    // temporary root: the unit and menu entry name the installed program, and
    // the unpacked host serves and quits on --quit.
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
        const QString unit = tst::readText(root + "/usr/lib/systemd/user/tavrin-server.service");
        QVERIFY2(unit.contains("\nExecStart=" + program + "\n") && !unit.contains(TAVRIN_BUILD_DIR), qPrintable(unit));
        QVERIFY(tst::readText(root + "/usr/share/applications/tavrin-server.desktop").contains("\nExec=\"" + program + "\"\n"));
        environment.remove("NOTIFY_SOCKET");
        int httpPort = 0;
        QVERIFY(startAndServe(httpPort, 1, root + program));
        QVERIFY(run(root + program, {"--quit"}));
        QVERIFY(endsWith0());
    }

private:
    // Runs a program to its end; false (and its output logged) unless it ends with 0.
    bool run(const QString& program, const QStringList& arguments) const
    {
        QProcess process;
        process.setProcessEnvironment(environment);
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(program, arguments);
        const bool ok = process.waitForFinished(600000) && process.exitStatus() == QProcess::NormalExit
                        && process.exitCode() == 0;
        if (!ok)
            qWarning("%s %s: %s", qPrintable(program), qPrintable(arguments.join(' ')), process.readAll().constData());
        return ok;
    }

    // Starts the host and waits until it logged its framework ports (the
    // count-th time) and the web client answers.
    bool startAndServe(int& httpPort, int count = 1, const QString& program = kHost)
    {
        host.reset(new QProcess);
        host->setProcessEnvironment(environment);
        host->setWorkingDirectory(home->path());
        host->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        host->start(program, QStringList());
        static const QRegularExpression portLine("initFrameworkFirst: http (\\d+)");
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < 60000 && host->waitForStarted(10000) && host->state() == QProcess::Running) {
            int seen = 0;
            for (auto matches = portLine.globalMatch(logText()); matches.hasNext(); ++seen)
                httpPort = matches.next().captured(1).toInt();
            if (seen >= count && request(httpPort, "/api/status", "GET") == 200)
                return true;
            QTest::qWait(200);
        }
        return false;
    }

    bool endsWith0() const
    {
        return host->waitForFinished(30000) && host->exitStatus() == QProcess::NormalExit && host->exitCode() == 0;
    }
    static int httpIn(const QString& xml) { return QRegularExpression("<Http>(\\d+)</Http>").match(xml).captured(1).toInt(); }
    QStringList runtimeFiles() const
    {
        return QDir(home->path() + "/runtime").entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System);
    }
    QString logText() const { return tst::findText(home->path() + "/data", "Framework.S.txt"); }

    // The status of a control request (POSTs carry the token), -1 without an answer.
    int request(int port, const QString& path, const QByteArray& verb = "POST")
    {
        QNetworkRequest req(QUrl(QString("http://127.0.0.1:%1%2").arg(port).arg(path)));
        const QString token = tst::findText(home->path() + "/data", "FrameworkControl.token");
        req.setRawHeader("Authorization", "Bearer " + token.trimmed().toUtf8());
        req.setHeader(QNetworkRequest::ContentTypeHeader, "text/plain");
        QNetworkReply* reply = network.sendCustomRequest(req, verb);
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
    std::unique_ptr<QProcess> host;
    QProcessEnvironment environment;
    QNetworkAccessManager network;
    QScopedPointer<tst::NotifySocket> notify;
};

QTEST_GUILESS_MAIN(TestHostProcess)
#include "TestHostProcess.moc"
