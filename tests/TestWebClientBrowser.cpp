// The web client's page as the installed host serves it, rendered by headless
// Chromium driven over its debugging protocol on loopback.
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QWebSocket>
#include <QtTest>

#include "TestScratch.h"
#include "TestSupport.h"

static const QString kHost = QStringLiteral(TAVRIN_STAGE_DIR "/Server/Palvex.Framework.S");

class TestWebClientBrowser : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        const QString chromium = QStandardPaths::findExecutable("chromium");
        if (chromium.isEmpty())
            QSKIP("chromium is not installed (scripts/deps installs it)");
        QVERIFY(home.isValid());

        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove("NOTIFY_SOCKET");
        host.setProcessEnvironment(environment);
        host.setWorkingDirectory(home.path());
        host.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        host.start(kHost, QStringList());
        QVERIFY(host.waitForStarted(10000));
        static const QRegularExpression address("Web client: http://127\\.0\\.0\\.1:(\\d+)/");
        QString output;
        QTRY_VERIFY_WITH_TIMEOUT((output += host.readAllStandardOutput()).contains(address), 60000);
        httpPort = address.match(output).captured(1).toInt();

        QVERIFY(browserProfile.isValid());
        browser.setStandardOutputFile(QProcess::nullDevice()); // its chatter is not this test's business
        browser.setStandardErrorFile(QProcess::nullDevice());
        browser.start(chromium, {"--headless", "--no-sandbox", "--disable-gpu", "--no-first-run", "--disable-background-networking",
                                 "--user-data-dir=" + browserProfile.path(), "--remote-debugging-address=127.0.0.1",
                                 "--remote-debugging-port=0", "about:blank"});
        QVERIFY(browser.waitForStarted(10000));
        // The browser names its debugging port in its profile folder.
        QStringList active;
        const QString activeFile = browserProfile.filePath("DevToolsActivePort");
        QTRY_VERIFY_WITH_TIMEOUT((active = tst::readText(activeFile).split('\n', Qt::SkipEmptyParts)).size() >= 2, 30000);
        QNetworkAccessManager network;
        QNetworkReply* list = network.get(QNetworkRequest(QUrl(QString("http://127.0.0.1:%1/json/list").arg(active[0]))));
        QTRY_VERIFY_WITH_TIMEOUT(list->isFinished(), 10000);
        QString pageSocket;
        for (const QJsonValue& target : QJsonDocument::fromJson(list->readAll()).array())
            if (target.toObject().value("type") == "page")
                pageSocket = target.toObject().value("webSocketDebuggerUrl").toString();
        delete list;
        QVERIFY(!pageSocket.isEmpty());
        QSignalSpy connected(&devTools, &QWebSocket::connected);
        connect(&devTools, &QWebSocket::textMessageReceived, this, [this](const QString& text) {
            const QJsonObject message = QJsonDocument::fromJson(text.toUtf8()).object();
            if (message.contains("id"))
                replies.insert(message.value("id").toInt(), message);
            else
                events << message;
        });
        devTools.open(QUrl(pageSocket));
        QVERIFY(connected.wait(10000));

        // Listening before the page loads, so nothing it reports is missed.
        for (const char* domain : {"Runtime.enable", "Log.enable", "Page.enable"})
            call(domain);
        QVERIFY(!call("Page.navigate", {{"url", QString("http://127.0.0.1:%1/").arg(httpPort)}}).contains("error"));
        QTRY_COMPARE_WITH_TIMEOUT(evaluate("document.readyState"), QString("complete"), 20000);
    }

    void cleanupTestCase()
    {
        for (QProcess* process : {&browser, &host}) {
            process->terminate(); // the browser takes its helper processes along
            if (!process->waitForFinished(10000))
                process->kill();
        }
    }

    // The ports shown running, the up time pushed over the WebSocket advancing,
    // and no uncaught exception, error message or failed load on the console.
    void pageShowsPortsAndUpTime()
    {
        QTRY_COMPARE_WITH_TIMEOUT(text("httpPort"), QString("%1 (running)").arg(httpPort), 10000);
        QVERIFY(QRegularExpression("^\\d+ \\(running\\)$").match(text("webSocketPort")).hasMatch());
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
    }

private:
    // A call of the browser's debugging protocol on the page, and its answer.
    QJsonObject call(const QString& method, const QJsonObject& params = {})
    {
        const int id = ++lastId;
        devTools.sendTextMessage(QJsonDocument(QJsonObject{{"id", id}, {"method", method}, {"params", params}}).toJson());
        QTest::qWaitFor([&] { return replies.contains(id); }, 10000);
        return replies.take(id);
    }
    // The value of a script expression in the page, as text.
    QString evaluate(const QString& expression)
    {
        return call("Runtime.evaluate", {{"expression", expression}, {"awaitPromise", true}, {"returnByValue", true}})
            .value("result").toObject().value("result").toObject().value("value").toVariant().toString();
    }
    QString text(const char* id) { return evaluate(QString("document.getElementById('%1').textContent").arg(id)); }
    QTime upTime() { return QTime::fromString(text("uptime").section(' ', -1), "hh:mm:ss"); }

    ScratchHome home; // before the host starts, which inherits it
    QProcess host;
    QProcess browser;
    QTemporaryDir browserProfile;
    QWebSocket devTools;
    QHash<int, QJsonObject> replies;
    QList<QJsonObject> events;
    int lastId = 0;
    int httpPort = 0;
};

QTEST_GUILESS_MAIN(TestWebClientBrowser)
#include "TestWebClientBrowser.moc"
