// The installed host as a real process in a private home: its control endpoint, second start, signals, service-manager
// datagrams and exit statuses (0 quit, 75 restart me, 255 start refused); its web client in headless Chromium; its icon
// in a real tray (Xvfb, trayer, xdotool, a stand-in "xdg-open"); the Debian package.
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QStandardPaths>
#include <QTcpServer>
#include <QWebSocket>
#include <QtTest>

#include "TestSupport.h"

#include <csignal>
#include <cstdio>

const QString kHost = QStringLiteral(TAVRIN_STAGE_DIR "/Server/Palvex.Framework.S");

struct XWindow
{
    QString id, name;
    QRect geometry;
};

class TestHostProcess : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        const QString other = tst::runningHost();
        if (!other.isEmpty())
            QFAIL(qPrintable("another host of this user runs (" + other + "); the hosts of this test would be refused"));
    }
    void init()
    {
        home.reset(new ScratchHome); // for this process and the host alike
        notify.reset(new tst::NotifySocket(home->path() + "/notify.sock"));
        QVERIFY(notify->bound());
        environment = QProcessEnvironment::systemEnvironment();
        // Ports free now: another host (a developer's own) may serve on the shipped ones.
        configuredHttp = tst::freePort();
        int webSocket = configuredHttp;
        while (webSocket == configuredHttp)
            webSocket = tst::freePort();
        QVERIFY(tst::writeHostPorts(home->path() + "/data/Tavrin/UserData/Framework.S/", configuredHttp, webSocket));
    }

    void cleanup()
    {
        browser.terminate(); // the browser takes its helper processes along
        if (!browser.waitForFinished(10000))
            browser.kill();
        host.reset(); // killed if still running
        notify.reset();
    }

    // Without a display nobody can answer the port dialog: a held HTTP port is moved to the first free one from itself, written to "Setup.xml" before
    // the web client starts there. The host stands a kill -9 (the next start serves at once, in the language and skin the web client set last, which
    // its own file does not keep); a quit request ends it with 0 through its teardown in order.
    void movesHeldPortSurvivesKillQuitsInOrder()
    {
        const int held = configuredHttp;
        QTcpServer holder;
        QVERIFY(holder.listen(QHostAddress::Any, quint16(held)));
        int httpPort = 0;
        QVERIFY(startAndServe(httpPort));
        QVERIFY2(logText().contains(QRegularExpression(QString("HTTP port %1 was taken( by [^;]+)?; moved to %2\\.").arg(held).arg(httpPort))),
                 qPrintable(logText()));
        QVERIFY(httpPort > held);
        QCOMPARE(httpIn(tst::findText(home->path() + "/data", "Setup.xml")), httpPort);
        QStringList said; // the service manager shows where the moved web client is
        QTRY_VERIFY_WITH_TIMEOUT(
            !(said += notify->drain()).filter(QString("STATUS=Web client http://127.0.0.1:%1/, WebSocket port ").arg(httpPort)).isEmpty(), 10000);
        const QByteArray greyRed = get(httpPort, "/favicon.png"); // the skin's tray icon
        QVERIFY(request(httpPort, "/api/language", "POST", "1") == 200 && request(httpPort, "/api/skin", "POST", "BlueSkin") == 200);
        const QByteArray blue = get(httpPort, "/favicon.png");
        QVERIFY(!blue.isEmpty() && blue != greyRed);
        const QString setup = tst::findText(home->path() + "/data", "Setup.xml");
        host->kill();
        QVERIFY(tst::ended(*host, 5000));
        QElapsedTimer clock;
        clock.start();
        QVERIFY(startAndServe(httpPort, 2));
        QVERIFY2(clock.elapsed() < 8000, qPrintable(QString::number(clock.elapsed())));
        QTRY_COMPARE_WITH_TIMEOUT(QJsonDocument::fromJson(get(httpPort, "/api/status"))["language"].toInt(), 1, 10000);
        QTRY_COMPARE_WITH_TIMEOUT(get(httpPort, "/favicon.png"), blue, 10000);
        QCOMPARE(tst::findText(home->path() + "/data", "Setup.xml"), setup);
        QCOMPARE(request(httpPort, "/api/close"), 200);
        QVERIFY(endsWith0());
        QVERIFY(notify->drain().endsWith("STOPPING=1"));
        tst::verifyInOrder(logText(), {"Quit: begin.", "Quit: identity library released.", "the framework's servers are stopped",
                                       "Quit: end of the event loop queued."});
        QCOMPARE(runtimeFiles(), QStringList());
    }

    // A reboot request ends the host with 75.
    void rebootRequestEndsWith75()
    {
        int httpPort = 0;
        QVERIFY(startAndServe(httpPort));
        QVERIFY(QList<int>({200, 0}).contains(request(httpPort, "/api/reboot"))); // 0: cut off by the end
        QVERIFY2(tst::ended(*host, 30000), qPrintable(logText().right(2500)));
        QCOMPARE(host->exitCode(), 75);
        QVERIFY(!logText().contains("Quit: begin."));
        QCOMPARE(runtimeFiles(), QStringList());
    }

    // A second start is refused with 255; the first one serves on, and a termination signal ends it with 0 through its teardown.
    void secondStartIsRefusedAndSignalQuits()
    {
        int httpPort = 0;
        QVERIFY(startAndServe(httpPort));
        QProcess second;
        second.setProcessEnvironment(environment);
        second.setProcessChannelMode(QProcess::MergedChannels);
        second.start(kHost, QStringList());
        QVERIFY(tst::ended(second, 20000));
        QVERIFY(second.readAll().contains("The service is already running."));
        QCOMPARE(second.exitCode(), 255);
        QCOMPARE(request(httpPort, "/api/status", "GET"), 200);
        ::kill(pid_t(host->processId()), SIGTERM);
        QVERIFY(endsWith0());
        QVERIFY(logText().contains(QString("Termination signal %1 received.").arg(SIGTERM)));
        tst::verifyInOrder(logText(), {"Quit: begin.", "the framework's servers are stopped"});
        QCOMPARE(runtimeFiles(), QStringList());
    }

    // The web client's page at a phone's width: services, ports and states, the moved HTTP port and its holder,
    // an up time that advances, a clean console; once the host is gone, every service stopped under a banner.
    void webClientPageInChromium()
    {
        const QString chromium = QStandardPaths::findExecutable("chromium");
        if (chromium.isEmpty())
            QSKIP("chromium is not installed (scripts/deps installs it)");
        QTcpServer holder;
        QVERIFY(holder.listen(QHostAddress::Any, quint16(configuredHttp)));
        int httpPort = 0;
        QVERIFY(startAndServe(httpPort));
        browser.setStandardOutputFile(QProcess::nullDevice()); // its chatter is not this test's business
        browser.setStandardErrorFile(QProcess::nullDevice());
        browser.start(chromium, {"--headless", "--no-sandbox", "--disable-gpu", "--no-first-run", "--disable-background-networking",
                                 "--user-data-dir=" + browserProfile.path(), "--remote-debugging-address=127.0.0.1", "--remote-debugging-port=0",
                                 "about:blank"});
        QVERIFY(browser.waitForStarted(10000));
        // The browser names its debugging port in its profile folder.
        QStringList active;
        QTRY_VERIFY_WITH_TIMEOUT((active = tst::readText(browserProfile.filePath("DevToolsActivePort")).split('\n', Qt::SkipEmptyParts)).size() >= 2,
                                 30000);
        QNetworkReply* list = network.get(QNetworkRequest(QUrl(QString("http://127.0.0.1:%1/json/list").arg(active[0]))));
        QTRY_VERIFY_WITH_TIMEOUT(list->isFinished(), 10000);
        QString pageSocket;
        for (const QJsonValue& target : QJsonDocument::fromJson(list->readAll()).array())
            if (target.toObject().value("type") == "page")
                pageSocket = target.toObject().value("webSocketDebuggerUrl").toString();
        delete list;
        QHash<int, QJsonObject> replies;
        QList<QJsonObject> events;
        QWebSocket devTools;
        QSignalSpy connected(&devTools, &QWebSocket::connected);
        connect(&devTools, &QWebSocket::textMessageReceived, this, [&](const QString& text) {
            const QJsonObject message = QJsonDocument::fromJson(text.toUtf8()).object();
            if (message.contains("id"))
                replies.insert(message.value("id").toInt(), message);
            else
                events << message;
        });
        devTools.open(QUrl(pageSocket));
        QVERIFY(!pageSocket.isEmpty() && connected.wait(10000));
        int lastId = 0;
        const auto call = [&](const QString& method, const QJsonObject& params) {
            const int id = ++lastId;
            devTools.sendTextMessage(QJsonDocument(QJsonObject{{"id", id}, {"method", method}, {"params", params}}).toJson());
            if (!QTest::qWaitFor([&] { return replies.contains(id); }, 10000))
                return QJsonObject{{"error", "no reply to " + method}};
            return replies.take(id);
        };
        const auto evaluate = [&](const QString& expression) { // a script expression's value in the page, as text
            return call("Runtime.evaluate", {{"expression", expression}, {"awaitPromise", true}, {"returnByValue", true}})
                .value("result")
                .toObject()
                .value("result")
                .toObject()
                .value("value")
                .toVariant()
                .toString();
        };
        const auto texts = [&](const QString& selector) { // the texts of the elements, joined by '|'
            return evaluate("Array.from(document.querySelectorAll('" + selector + "')).map(e => e.textContent).join('|')");
        };
        const auto upTime = [&] { return QTime::fromString(evaluate("document.getElementById('banner').textContent").section(' ', -1), "hh:mm:ss"); };

        // Listening before the page loads, so nothing it reports is missed.
        for (const char* domain : {"Runtime.enable", "Log.enable", "Page.enable"})
            call(domain, {});
        call("Emulation.setDeviceMetricsOverride", {{"width", 390}, {"height", 844}, {"deviceScaleFactor", 3}, {"mobile", true}});
        QVERIFY(!call("Page.navigate", {{"url", QString("http://127.0.0.1:%1/").arg(httpPort)}}).contains("error"));
        QTRY_COMPARE_WITH_TIMEOUT(evaluate("document.readyState"), QString("complete"), 20000);
        QCOMPARE(evaluate("window.innerWidth + ' ' + document.documentElement.scrollWidth"), QString("390 390"));
        QCOMPARE(evaluate("document.title"), QString("Palvex - Service status"));
        const QString services = texts("#services li");
        QVERIFY2(services.contains(QString("HTTP%1Started").arg(httpPort))
                     && QRegularExpression("\\|WebSocket\\d+Started\\|").match(services).hasMatch()
                     && QRegularExpression("\\|TamsaAMS\\d+Stopped\\|").match(services).hasMatch() && services.count('|') == 12,
                 qPrintable(services));
        QCOMPARE(texts("#moves li"), QString("HTTP%1 \u2192 %2was held by TestHostProcess").arg(configuredHttp).arg(httpPort));
        QVERIFY(evaluate("document.getElementById('banner').textContent").startsWith("Started at "));
        const QTime first = upTime();
        QVERIFY(first.isValid());
        QTRY_VERIFY_WITH_TIMEOUT(upTime() > first, 5000);
        QStringList errors;
        for (const QJsonObject& event : qAsConst(events)) { // exceptions, console errors, log errors
            const QJsonObject params = event.value("params").toObject();
            if (event.value("method") == "Runtime.exceptionThrown" || params.value("type") == "error"
                || params.value("entry").toObject().value("level") == "error")
                errors << QString::fromUtf8(QJsonDocument(params).toJson(QJsonDocument::Compact));
        }
        QVERIFY2(errors.isEmpty(), qPrintable(errors.join('\n')));
        QCOMPARE(request(httpPort, "/api/close"), 200);
        QVERIFY(endsWith0());
        QTRY_COMPARE_WITH_TIMEOUT(evaluate("document.getElementById('banner').className"), QString("gone"), 10000);
        QVERIFY(evaluate("document.getElementById('banner').textContent").startsWith("Connection lost: the host has stopped."));
        QCOMPARE(texts(".state").count("Stopped"), 13);
    }

    // The icon in the panel under openbox: the port moved at start told once, clicks open the web client (its address told when no browser can), the
    // menu brings the window back; the port dialog is its transient dialog. A port changed in the dialog (keyboard) restarts the host, without a
    // service manager, on the new port (the seconds printed); "Quit" leaves no token behind.
    void trayIconClickMenuRestartAndQuit()
    {
        for (const char* tool : {"Xvfb", "trayer", "xdotool", "openbox", "xprop"})
            QVERIFY2(!QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty(), tool);
        tst::XServer xserver;
        QVERIFY(!xserver.display().isEmpty());
        const QString opened = home->path() + "/opened.txt", opener = home->path() + "/bin/xdg-open";
        QVERIFY(tst::writeExecutable(opener, "#!/bin/sh\necho \"$@\" >> '" + opened.toUtf8() + "'\n"));
        xserver.use(environment);
        environment.insert("PATH", home->path() + "/bin:" + environment.value("PATH"));
        environment.remove("NOTIFY_SOCKET");
        QProcess trayer, windowManager;
        for (QProcess* desktop : {&trayer, &windowManager})
            desktop->setProcessEnvironment(environment);
        // The window manager first: a panel mapped while it takes over can stay hidden.
        windowManager.start("openbox", QStringList());
        QTRY_VERIFY_WITH_TIMEOUT(!window("Openbox").id.isEmpty(), 30000);
        trayer.start("trayer", {"--edge", "top", "--align", "right", "--widthtype", "request", "--height", "32", "--SetDockType", "true",
                                "--transparent", "false"});
        QTRY_VERIFY_WITH_TIMEOUT(!window("panel").id.isEmpty(), 30000);
        // Free ports configured, the WebSocket port then held by this test.
        const int webSocket = tst::freePort(tst::Bind::AnyAddress), http = tst::freePort(tst::Bind::AnyAddress);
        QVERIFY(tst::writeHostPorts(home->path() + "/data/Tavrin/UserData/Framework.S/", http, webSocket));
        QTcpServer holder;
        QVERIFY(holder.listen(QHostAddress::Any, quint16(webSocket)));
        int httpPort = 0;
        QVERIFY(startAndServe(httpPort));
        QTRY_VERIFY2_WITH_TIMEOUT(logText().contains(QRegularExpression(QString("Tray message: Ports changed at start: WebSocket port "
                                                                                "%1 was taken by TestHostProcess; moved to \\d+")
                                                                            .arg(webSocket))),
                                  qPrintable(logText().right(3000)), 10000);

        XWindow icon; // in the panel, where the message beside it is not
        const QRect panel = window("panel").geometry;
        QTRY_VERIFY_WITH_TIMEOUT(!(icon = window("Palvex.Framework.S", QString(), panel)).id.isEmpty(), 30000);
        XWindow message; // beside it; a click puts it away
        QTRY_VERIFY_WITH_TIMEOUT(!(message = window("Palvex.Framework.S", icon.id)).id.isEmpty(), 10000);
        QVERIFY(xdotool({"mousemove", "--window", message.id, "20", "20", "click", "1"}));
        QTRY_VERIFY_WITH_TIMEOUT(window("Palvex.Framework.S", icon.id).id.isEmpty(), 10000);
        const QString clientUrl = QString("http://127.0.0.1:%1/").arg(httpPort);
        QVERIFY(xdotool({"mousemove", "--window", icon.id, "8", "8", "click", "1"}));
        QTRY_COMPARE_WITH_TIMEOUT(tst::readText(opened), clientUrl + '\n', 10000);
        QVERIFY(xdotool({"mousemove", "--window", icon.id, "8", "8", "click", "--repeat", "2", "--delay", "80", "1"}));
        QTRY_COMPARE_WITH_TIMEOUT(tst::readText(opened).count(clientUrl), 2, 10000);
        QTest::qWait(1000); // no late third opening
        QCOMPARE(tst::readText(opened).count(clientUrl), 2);
        QVERIFY(tst::writeExecutable(opener, "#!/bin/sh\nexit 3\n")); // no browser
        QVERIFY(xdotool({"mousemove", "--window", icon.id, "8", "8", "click", "1"}));
        QTRY_VERIFY_WITH_TIMEOUT(logText().contains("Tray message: The web client could not be opened: No browser could "
                                                    "open it. Open "
                                                    + clientUrl + " in a browser."),
                                 10000);

        QVERIFY(window("Tavrin.Framework.S").id.isEmpty());
        clickMenuEntry(icon, 0);
        XWindow managed;
        QTRY_VERIFY_WITH_TIMEOUT(!(managed = window("Tavrin.Framework.S")).id.isEmpty(), 10000);
        QCOMPARE(managed.geometry.size(), QSize(650, 350));
        QVERIFY(xdotool({"windowminimize", "--sync", managed.id}));
        clickMenuEntry(icon, 0);
        QString active;
        QTRY_VERIFY_WITH_TIMEOUT(
            !window("Tavrin.Framework.S").id.isEmpty() && xdotool({"getactivewindow"}, &active) && active.trimmed() == managed.id, 10000);

        QVERIFY(xdotool({"mousemove", "--window", managed.id, "115", "285", "click", "1"})); // "Change Ports"
        XWindow dialog;
        QTRY_VERIFY_WITH_TIMEOUT(!(dialog = window("Change Ports")).id.isEmpty(), 10000);
        QVERIFY((dialog.geometry.center() - managed.geometry.center()).manhattanLength() <= 2);
        QVERIFY(xprop({"-id", dialog.id, "WM_TRANSIENT_FOR"}).endsWith(QString::number(managed.id.toULong(), 16)));
        QVERIFY(xdotool({"mousemove", "--window", managed.id, "20", "330", "click", "1"}));
        QTest::qWait(500);
        const QString stacking = xprop({"-root", "_NET_CLIENT_LIST_STACKING"});
        QVERIFY2(stacking.indexOf(QString::number(dialog.id.toULong(), 16)) > stacking.indexOf(QString::number(managed.id.toULong(), 16)),
                 qPrintable(stacking));
        // The HTTP field (after the title's close button), the confirm button (the last in the dialog), and the notice's confirm.
        const int newHttp = tst::freePort();
        QVERIFY(xdotool({"windowfocus", "--sync", dialog.id, "key", "Tab", "ctrl+a", "type", "--delay", "50", QString::number(newHttp)}));
        QVERIFY(xdotool({"key", "shift+Tab", "shift+Tab", "space"}));
        XWindow notice;
        QTRY_VERIFY_WITH_TIMEOUT(!(notice = window("Form")).id.isEmpty(), 10000);
        QElapsedTimer clock;
        QVERIFY(xdotool({"windowfocus", "--sync", notice.id, "key", "Tab", "space"}));
        clock.start();
        QVERIFY(tst::ended(*host, 30000) && host->exitCode() == 75);
        QTRY_VERIFY_WITH_TIMEOUT(request(newHttp, "/api/status", "GET") == 200, 60000);
        std::printf("The new host answered on port %d %.1f s after the restart was confirmed.\n", newHttp, clock.elapsed() / 1000.0);
        QTRY_VERIFY_WITH_TIMEOUT(!(icon = window("Palvex.Framework.S", QString(), panel)).id.isEmpty(), 30000);
        QVERIFY(QTcpServer().listen(QHostAddress::LocalHost, quint16(httpPort)));
        QCOMPARE(hostProcesses().size(), 1);

        clickMenuEntry(icon, 0);
        QTRY_VERIFY_WITH_TIMEOUT(!(managed = window("Tavrin.Framework.S")).id.isEmpty(), 10000);
        QVERIFY(xdotool({"mousemove", "--window", managed.id, "632", "20", "click", "1"})); // its close button
        QTRY_VERIFY_WITH_TIMEOUT(window("Tavrin.Framework.S").id.isEmpty(), 10000);
        clickMenuEntry(icon, 2);
        QTRY_VERIFY_WITH_TIMEOUT(hostProcesses().isEmpty(), 30000);
        tst::verifyInOrder(logText(), {"Restart: start after the end requested.", "initFrameworkFirst: http " + QString::number(newHttp),
                                       "Closing was requested from the service management window.", "Quit: begin.", "Quit: tray object deleted."});
        QCOMPARE(tst::findText(home->path() + "/data", "FrameworkControl.token"), QString());
        for (QProcess* desktop : {&trayer, &windowManager}) {
            desktop->kill();
            desktop->waitForFinished();
        }
    }

    // The Debian package, unpacked: its launcher starts the user unit where a (stand-in) user manager runs it,
    // and otherwise the host directly, which serves and quits on --quit.
    void packageInstallsAndServes()
    {
        QTemporaryDir work;
        const QString output = work.filePath("package");
        const QString root = work.filePath("root");
        // The dependency scan of the package is the release's business.
        QVERIFY(tst::run("cpack",
                         {"-G", "DEB", "--config", TAVRIN_BUILD_DIR "/CPackConfig.cmake", "-B", output, "-D", "CPACK_DEBIAN_PACKAGE_SHLIBDEPS=OFF"},
                         environment));
        const QStringList packages = QDir(output).entryList({"*.deb"}, QDir::Files);
        QCOMPARE(packages.size(), 1);
        QVERIFY(tst::run("dpkg-deb", {"-x", output + "/" + packages.first(), root}, environment));
        const QString program = "/opt/tavrin/Server/Palvex.Framework.S";
        const QString unit = tst::readText(root + "/usr/lib/systemd/user/tavrin-server.service");
        QVERIFY2(unit.contains("\nExecStart=" + program + "\n") && !unit.contains(TAVRIN_BUILD_DIR), qPrintable(unit));
        const QString launcher = "/opt/tavrin/Server/tavrin-server-start";
        QVERIFY(tst::readText(root + "/usr/share/applications/tavrin-server.desktop").contains("\nExec=\"" + launcher + "\"\n"));
        environment.remove("NOTIFY_SOCKET");
        const QString asked = home->path() + "/systemctl.txt";
        QVERIFY(tst::writeExecutable(home->path() + "/manager/systemctl",
                                     "#!/bin/sh\necho \"$*\" >> '" + asked.toUtf8()
                                         + "'\ncase \"$*\" in *LoadState*) echo loaded;; *ExecStart*) echo '{ path=" + root.toUtf8()
                                         + program.toUtf8() + " ; argv[]=x }';; esac\n"));
        QProcessEnvironment session = environment;
        session.insert("PATH", home->path() + "/manager:" + environment.value("PATH"));
        session.insert("DISPLAY", ":7");
        session.remove("WAYLAND_DISPLAY");
        session.remove("XAUTHORITY");
        QProcess viaManager;
        viaManager.setProcessEnvironment(session);
        viaManager.start(root + launcher, QStringList());
        QVERIFY(viaManager.waitForFinished(30000) && viaManager.exitCode() == 0);
        QVERIFY2(tst::readText(asked).endsWith("--user import-environment DISPLAY\n--user start --no-block tavrin-server.service\n"),
                 qPrintable(tst::readText(asked)));
        QCOMPARE(hostProcesses(), QStringList());
        int httpPort = 0;
        QVERIFY(startAndServe(httpPort, 1, root + launcher));
        QVERIFY(tst::run(root + program, {"--quit"}, environment));
        QVERIFY(endsWith0());
    }

private:
    // Starts the host and waits until it logged its framework ports (the count-th time) and the web client answers.
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

    bool endsWith0() const { return tst::ended(*host, 30000) && host->exitStatus() == QProcess::NormalExit && host->exitCode() == 0; }
    static int httpIn(const QString& xml) { return QRegularExpression("<Http>(\\d+)</Http>").match(xml).captured(1).toInt(); }
    QStringList runtimeFiles() const { return QDir(home->path() + "/runtime").entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System); }
    QString logText() const { return tst::findText(home->path() + "/data", "Framework.S.txt"); }
    // The process ids of the hosts running in this test's process-id namespace (not those that ended).
    static QStringList hostProcesses()
    {
        QStringList hosts;
        for (const QString& pid : QDir("/proc").entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
            if (QFileInfo("/proc/" + pid + "/exe").symLinkTarget().endsWith("/Palvex.Framework.S"))
                hosts << pid;
        }
        return hosts;
    }

    // The status of a control request (POSTs carry the token), -1 without an answer.
    int request(int port, const QString& path, const QByteArray& verb = "POST", const QByteArray& body = {}, QByteArray* answer = nullptr)
    {
        QNetworkRequest req(QUrl(QString("http://127.0.0.1:%1%2").arg(port).arg(path)));
        const QString token = tst::findText(home->path() + "/data", "FrameworkControl.token");
        req.setRawHeader("Authorization", "Bearer " + token.trimmed().toUtf8());
        req.setHeader(QNetworkRequest::ContentTypeHeader, "text/plain");
        QNetworkReply* reply = network.sendCustomRequest(req, verb, body);
        const bool finished = QTest::qWaitFor([reply] { return reply->isFinished(); }, 5000);
        const int status = finished ? reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt() : -1;
        if (answer)
            *answer = reply->readAll();
        reply->abort();
        reply->deleteLater();
        return status;
    }

    QByteArray get(int port, const QString& path)
    {
        QByteArray answer;
        request(port, path, "GET", {}, &answer);
        return answer;
    }

    // Opens the icon's menu and clicks entry `index` (entries 32 pixels high below a 6-pixel padding, as the menu's style sheet lays them out).
    void clickMenuEntry(const XWindow& icon, int index)
    {
        QVERIFY(xdotool({"mousemove", "--window", icon.id, "8", "8", "click", "3"}));
        XWindow menu;
        QTRY_VERIFY_WITH_TIMEOUT(!(menu = window("Palvex.Framework.S", icon.id)).id.isEmpty(), 10000);
        const QPoint entry = menu.geometry.topLeft() + QPoint(50, 6 + 32 * index + 16);
        QVERIFY(xdotool({"mousemove", QString::number(entry.x()), QString::number(entry.y()), "click", "1"}));
    }

    // What xprop prints, trimmed; empty when it fails.
    QString xprop(const QStringList& arguments)
    {
        QProcess process;
        process.setProcessEnvironment(environment);
        process.start("xprop", arguments);
        return process.waitForFinished(10000) && process.exitCode() == 0 ? QString::fromUtf8(process.readAllStandardOutput()).trimmed() : QString();
    }

    bool xdotool(const QStringList& arguments, QString* output = nullptr)
    {
        QProcess process;
        process.setProcessEnvironment(environment);
        process.start("xdotool", arguments);
        if (!process.waitForFinished(30000))
            return false;
        if (output)
            *output = QString::fromUtf8(process.readAllStandardOutput());
        return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    }

    // The first visible window of that name but other, within an area when one is given.
    XWindow window(const QString& name, const QString& other = QString(), const QRect& within = QRect())
    {
        QString ids;
        xdotool({"search", "--onlyvisible", "--name", ""}, &ids);
        for (const QString& id : ids.split('\n', Qt::SkipEmptyParts)) {
            QString windowName;
            QString shell;
            if (id == other || !xdotool({"getwindowname", id}, &windowName) || windowName.trimmed() != name
                || !xdotool({"getwindowgeometry", "--shell", id}, &shell))
                continue;
            QMap<QString, int> values;
            for (const QString& line : shell.split('\n', Qt::SkipEmptyParts))
                values.insert(line.section('=', 0, 0), line.section('=', 1).toInt());
            const QRect geometry(values.value("X"), values.value("Y"), values.value("WIDTH"), values.value("HEIGHT"));
            if (within.isNull() || within.contains(geometry))
                return {id, windowName.trimmed(), geometry};
        }
        return {};
    }

    QScopedPointer<ScratchHome> home;
    std::unique_ptr<QProcess> host;
    QProcessEnvironment environment;
    int configuredHttp = 0; // the HTTP port the host of a case is given
    QNetworkAccessManager network;
    QScopedPointer<tst::NotifySocket> notify;
    QTemporaryDir browserProfile;
    QProcess browser; // ended in cleanup(), before its profile goes
};

QTEST_GUILESS_MAIN(TestHostProcess)
#include "TestHostProcess.moc"
