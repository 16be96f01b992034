// The web client's page in a real browser: the installed host serves it,
// headless Chromium renders it (driven over its debugging protocol on
// loopback), and the rendered page must show the ports running and an up
// time that advances over the WebSocket, with nothing on the console.
#include <QDir>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QWebSocket>
#include <QtTest>

#include "TestScratch.h"
#include "TestSupport.h"

namespace {

const QString kHost = QStringLiteral(TAVRIN_STAGE_DIR "/Server/Palvex.Framework.S");

// A page session of the browser's debugging protocol.
class DevTools : public QObject
{
public:
    bool open(const QUrl& url)
    {
        QSignalSpy connected(&m_socket, &QWebSocket::connected);
        connect(&m_socket, &QWebSocket::textMessageReceived, this, [this](const QString& text) {
            const QJsonObject message = QJsonDocument::fromJson(text.toUtf8()).object();
            if (message.contains("id"))
                m_replies.insert(message.value("id").toInt(), message);
            else
                events << message;
        });
        m_socket.open(url);
        return connected.wait(10000);
    }

    QJsonObject call(const QString& method, const QJsonObject& params = {})
    {
        const int id = ++m_lastId;
        m_socket.sendTextMessage(QString::fromUtf8(
            QJsonDocument(QJsonObject{{"id", id}, {"method", method}, {"params", params}}).toJson()));
        QElapsedTimer clock;
        clock.start();
        while (!m_replies.contains(id) && clock.elapsed() < 10000)
            QTest::qWait(20);
        return m_replies.take(id);
    }

    // The value of a script expression in the page, as text.
    QString evaluate(const QString& expression)
    {
        return call("Runtime.evaluate", {{"expression", expression}, {"awaitPromise", true}, {"returnByValue", true}})
            .value("result").toObject().value("result").toObject().value("value").toVariant().toString();
    }

    QList<QJsonObject> events;

private:
    QWebSocket m_socket;
    QHash<int, QJsonObject> m_replies;
    int m_lastId = 0;
};

} // namespace

class TestWebClientBrowser : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void pageShows_data();
    void pageShows();
    void upTimeAdvances();
    void consoleHasNoError();

private:
    QTime upTime() { return QTime::fromString(tools.evaluate("document.getElementById('uptime').textContent").section(' ', -1), "hh:mm:ss"); }

    QScopedPointer<ScratchHome> home;
    QProcess host;
    QProcess browser;
    QTemporaryDir browserProfile;
    DevTools tools;
    int httpPort = 0;
};

void TestWebClientBrowser::initTestCase()
{
    const QString chromium = QStandardPaths::findExecutable("chromium");
    if (chromium.isEmpty())
        QSKIP("chromium is not installed (scripts/deps installs it)");
    QVERIFY(QFile::exists(kHost));
    home.reset(new ScratchHome);
    QVERIFY(home->isValid());

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    environment.insert("ASAN_OPTIONS", "detect_leaks=0:new_delete_type_mismatch=0");
    environment.remove("NOTIFY_SOCKET");
    host.setProcessEnvironment(environment);
    host.setWorkingDirectory(home->path());
    host.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    host.start(kHost, QStringList());
    QVERIFY(host.waitForStarted(10000));
    static const QRegularExpression address("Web client: http://127\\.0\\.0\\.1:(\\d+)/");
    QByteArray output;
    QRegularExpressionMatch match;
    QTRY_VERIFY_WITH_TIMEOUT((match = address.match(QString::fromUtf8(output += host.readAllStandardOutput())))
                                 .hasMatch(),
                             60000);
    httpPort = match.captured(1).toInt();

    QVERIFY(browserProfile.isValid());
    // Its own chatter (no session bus and the like) is not this test's business.
    browser.setStandardOutputFile(QProcess::nullDevice());
    browser.setStandardErrorFile(QProcess::nullDevice());
    browser.start(chromium, {"--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                             "--disable-background-networking", "--disable-component-update", "--disable-sync",
                             "--user-data-dir=" + browserProfile.path(), "--remote-debugging-address=127.0.0.1",
                             "--remote-debugging-port=0", "about:blank"});
    QVERIFY(browser.waitForStarted(10000));
    // The browser names its debugging port in its profile folder.
    QStringList active;
    QTRY_VERIFY_WITH_TIMEOUT(
        (active = tst::readText(browserProfile.filePath("DevToolsActivePort")).split('\n', Qt::SkipEmptyParts))
                .size() >= 2,
        30000);
    QNetworkAccessManager network;
    QNetworkReply* list = network.get(QNetworkRequest(QUrl(QString("http://127.0.0.1:%1/json/list").arg(active[0]))));
    QTRY_VERIFY_WITH_TIMEOUT(list->isFinished(), 10000);
    QString pageSocket;
    for (const QJsonValue& target : QJsonDocument::fromJson(list->readAll()).array()) {
        if (target.toObject().value("type") == "page")
            pageSocket = target.toObject().value("webSocketDebuggerUrl").toString();
    }
    delete list;
    QVERIFY(!pageSocket.isEmpty());
    QVERIFY(tools.open(QUrl(pageSocket)));

    // Listening before the page loads, so nothing it reports is missed.
    for (const char* domain : {"Runtime.enable", "Log.enable", "Page.enable"})
        tools.call(domain);
    QVERIFY(!tools.call("Page.navigate", {{"url", QString("http://127.0.0.1:%1/").arg(httpPort)}})
                 .contains("error"));
    QTRY_COMPARE_WITH_TIMEOUT(tools.evaluate("document.readyState"), QString("complete"), 20000);
}

void TestWebClientBrowser::cleanupTestCase()
{
    for (QProcess* process : {&browser, &host}) {
        if (process->state() != QProcess::NotRunning) {
            process->terminate(); // the browser takes its helper processes along
            if (!process->waitForFinished(10000)) {
                process->kill();
                process->waitForFinished(5000);
            }
        }
    }
    home.reset();
}

void TestWebClientBrowser::pageShows_data()
{
    QTest::addColumn<QString>("expression");
    QTest::addColumn<QString>("expected"); // a pattern; %1 is the HTTP port

    QTest::newRow("HTTP port running") << "document.getElementById('httpPort').textContent" << "^%1 \\(running\\)$";
    QTest::newRow("WebSocket port running")
        << "document.getElementById('webSocketPort').textContent" << "^\\d+ \\(running\\)$";
    QTest::newRow("favicon loads")
        << "fetch('/favicon.png').then(r => r.status + ' ' + r.headers.get('content-type'))" << "^200 image/png$";
}

void TestWebClientBrowser::pageShows()
{
    QFETCH(QString, expression);
    QFETCH(QString, expected);
    const QRegularExpression pattern(expected.arg(httpPort));
    QString value;
    QTRY_VERIFY2_WITH_TIMEOUT(pattern.match(value = tools.evaluate(expression)).hasMatch(), qPrintable(value), 10000);
}

// Pushed over the WebSocket while the page stays open.
void TestWebClientBrowser::upTimeAdvances()
{
    const QTime first = upTime();
    QVERIFY(first.isValid());
    QTRY_VERIFY_WITH_TIMEOUT(upTime() > first, 5000);
}

// No uncaught exception, no error message, no failed load.
void TestWebClientBrowser::consoleHasNoError()
{
    QStringList errors;
    for (const QJsonObject& event : qAsConst(tools.events)) {
        const QString method = event.value("method").toString();
        const QJsonObject params = event.value("params").toObject();
        if (method == "Runtime.exceptionThrown"
            || (method == "Runtime.consoleAPICalled" && params.value("type") == "error")
            || (method == "Log.entryAdded" && params.value("entry").toObject().value("level") == "error"))
            errors << QString::fromUtf8(QJsonDocument(params).toJson(QJsonDocument::Compact));
    }
    QVERIFY2(errors.isEmpty(), qPrintable(errors.join('\n')));
}

QTEST_GUILESS_MAIN(TestWebClientBrowser)
#include "TestWebClientBrowser.moc"
