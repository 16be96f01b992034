// The framework library through its exported functions, against real HTTP
// and WebSocket clients on loopback.

#include "TestFrameworkSupport.h"
#include "TestScratch.h"

#include "FrameworkConfig.h"
#include "Framework/Framework.h"

#include "Base/Singleton.h"
#include "CommonMethodLib/CommonConfigFileMgr.h"
#include "UserDataPath.h"

#include "TestSupport.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTest>
#include <QThread>
#include <QWebSocket>
#include <mutex>

using namespace frameworktest;

namespace {

// What the library handed to the host's callbacks.
struct CallRecord {
    QString name;
    QString argument;
    void* user = nullptr;
    QThread* thread = nullptr;
};

std::mutex g_callsMutex;
QList<CallRecord> g_calls;
int g_user = 42; // its address is the user pointer

void record(const QString& name, const QString& argument, void* user)
{
    std::lock_guard<std::mutex> lock(g_callsMutex);
    g_calls.append({name, argument, user, QThread::currentThread()});
}

QList<CallRecord> takeCalls()
{
    std::lock_guard<std::mutex> lock(g_callsMutex);
    QList<CallRecord> calls = g_calls;
    g_calls.clear();
    return calls;
}

void onReboot(void* user) { record("reboot", QString(), user); }
void onClose(void* user) { record("close", QString(), user); }
void onDelayClose(void* user) { record("delay-close", QString(), user); }
void onSkin(const char* skin, void* user) { record("skin", QString::fromUtf8(skin), user); }

} // namespace

class TestFramework : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void cleanupTestCase();

    void badConfigurationFailsFirstStage_data();
    void badConfigurationFailsFirstStage();
    void tokenFileIsPrivate();
    void servesPageStatusAndWebSocket();
    void uninitFreesPortsAndReinitBindsNewOnes();
    void busyHttpPortLeavesWebSocketServing();
    void listensOnLoopbackUnlessExternal_data();
    void listensOnLoopbackUnlessExternal();
    void controlRequestReachesCallbackOffMainThread_data();
    void controlRequestReachesCallbackOffMainThread();
    void controlRequestWithoutValidTokenCallsNothing_data();
    void controlRequestWithoutValidTokenCallsNothing();
    void reloadTranslationsSwitchesTexts();
    void closeFrameworkClientEndsTheClient();

private:
    void writeSetup(const QByteArray& content);
    void writePorts(int httpPort, int webSocketPort);
    bool initAll();
    QByteArray token() const;

    ScratchHome m_dir; // the private home; other folders of the case too
    QString m_userDataDir;
    int m_httpPort = 0;
    int m_webSocketPort = 0;
};

void TestFramework::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QDir().mkpath(m_dir.path() + "/Server");
    auto& paths = Base::CSingleton<comm_method::CUserDataPath>::Instance();
    QVERIFY(paths.init((m_dir.path() + "/Server/").toStdString(), "Framework.S", 0, 0));
    m_userDataDir = QString::fromStdString(paths.getUserDataDir());
    QVERIFY(!m_userDataDir.isEmpty());
    QVERIFY(m_userDataDir.startsWith(m_dir.path()));

    // Before any init, releasing is harmless.
    uninitFramework();
    uninitFramework();

    setRebootCallback(onReboot, &g_user);
    setCloseCallback(onClose, &g_user);
    setDelayCloseCallback(onDelayClose, &g_user);
    setRegisterRccCallback(onSkin, &g_user);
    setLanguageCallback([](int index) { record("language", QString::number(index), &g_user); });
}

void TestFramework::init()
{
    m_httpPort = tst::freePort(tst::Bind::AnyAddress);
    m_webSocketPort = tst::freePort(tst::Bind::AnyAddress);
    QVERIFY(m_httpPort > 0 && m_webSocketPort > 0 && m_httpPort != m_webSocketPort);
    writePorts(m_httpPort, m_webSocketPort);
    takeCalls();
}

void TestFramework::cleanup()
{
    uninitFramework();
    reloadTranslations(0);
}

void TestFramework::cleanupTestCase()
{
    uninitFramework();
}

void TestFramework::writeSetup(const QByteArray& content)
{
    QVERIFY(tst::writeBytes(m_userDataDir + "Setup.xml", content));
}

void TestFramework::writePorts(int httpPort, int webSocketPort)
{
    writeSetup("<?xml version=\"1.0\"?>\n<Configs><ServerPort><Http>" + QByteArray::number(httpPort) +
               "</Http><WebSocket>" + QByteArray::number(webSocketPort) +
               "</WebSocket></ServerPort></Configs>\n");
    QVERIFY(Base::CSingleton<comm_methodlib::CCommonConfigFileMgr>::Instance().SetFrameworkHttpPort(httpPort));
}

bool TestFramework::initAll()
{
    if (!initFrameworkFirst())
        return false;
    const bool second = initFrameworkSecond();
    const bool last = initFrameworkLast();
    return second && last;
}

QByteArray TestFramework::token() const
{
    return tst::readBytes(m_userDataDir + CFrameworkConfig::kTokenFileName);
}

void TestFramework::badConfigurationFailsFirstStage_data()
{
    QTest::addColumn<bool>("present");
    QTest::addColumn<QByteArray>("content");
    QTest::newRow("missing") << false << QByteArray();
    QTest::newRow("not xml") << true << QByteArray("<Configs><ServerPort>");
    QTest::newRow("no WebSocket key") << true << QByteArray("<Configs><ServerPort/></Configs>");
    QTest::newRow("port 0") << true
                            << QByteArray("<Configs><ServerPort><WebSocket>0</WebSocket></ServerPort></Configs>");
    QTest::newRow("port 65536")
        << true << QByteArray("<Configs><ServerPort><WebSocket>65536</WebSocket></ServerPort></Configs>");
}

void TestFramework::badConfigurationFailsFirstStage()
{
    QFETCH(bool, present);
    QFETCH(QByteArray, content);
    QFile::remove(m_userDataDir + "Setup.xml");
    if (present)
        writeSetup(content);
    QVERIFY(!initFrameworkFirst());
    // Nothing may be served after a failed first stage.
    QVERIFY(!initFrameworkSecond());
    QVERIFY(!initFrameworkLast());
    QCOMPARE(httpRequest("GET", m_httpPort, "/").status, 0);
}

void TestFramework::tokenFileIsPrivate()
{
    QVERIFY(initFrameworkFirst());
    const QFileInfo info(m_userDataDir + CFrameworkConfig::kTokenFileName);
    QVERIFY(info.exists());
    const QFile::Permissions others = QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup |
                                      QFile::ReadOther | QFile::WriteOther | QFile::ExeOther |
                                      QFile::ExeOwner;
    QCOMPARE(info.permissions() & others, QFile::Permissions());
    QVERIFY(info.permissions() & QFile::ReadOwner);
    const QByteArray first = token();
    QCOMPARE(first.size(), 64);

    // A new init writes a new token; uninit removes it.
    QVERIFY(initFrameworkFirst());
    QVERIFY(token() != first);
    uninitFramework();
    QVERIFY(!QFile::exists(info.filePath()));
}

void TestFramework::servesPageStatusAndWebSocket()
{
    QVERIFY(initAll());

    const HttpReply page = httpRequest("GET", m_httpPort, "/");
    QCOMPARE(page.status, 200);
    QVERIFY(page.body.contains("Tavrin"));
    QVERIFY(page.body.contains(QByteArray::number(m_webSocketPort)));

    const HttpReply status = httpRequest("GET", m_httpPort, "/api/status");
    QCOMPARE(status.status, 200);
    const QJsonObject json = QJsonDocument::fromJson(status.body).object();
    QCOMPARE(json.value("httpPort").toInt(), m_httpPort);
    QCOMPARE(json.value("webSocketPort").toInt(), m_webSocketPort);
    QCOMPARE(json.value("videoWallPort").toInt(),
             Base::CSingleton<comm_methodlib::CCommonConfigFileMgr>::Instance().GetFrameworkVideoWallPort());
    QCOMPARE(json.value("httpListening").toBool(), true);
    QCOMPARE(json.value("webSocketListening").toBool(), true);

    QCOMPARE(httpRequest("GET", m_httpPort, "/nothing").status, 404);
    QCOMPARE(httpRequest("POST", m_httpPort, "/api/status").status, 405);

    // The socket gets the status at once and again every second.
    QWebSocket socket;
    QSignalSpy messages(&socket, &QWebSocket::textMessageReceived);
    socket.open(QUrl(QStringLiteral("ws://127.0.0.1:%1/").arg(m_webSocketPort)));
    QTRY_VERIFY_WITH_TIMEOUT(messages.count() >= 2, 5000);
    const QJsonObject pushed =
        QJsonDocument::fromJson(messages.first().first().toString().toUtf8()).object();
    QCOMPARE(pushed.value("product").toString(), QStringLiteral("Tavrin"));
    QCOMPARE(pushed.value("webSocketPort").toInt(), m_webSocketPort);
    QVERIFY(pushed.contains("upSeconds"));
    socket.close();
}

void TestFramework::uninitFreesPortsAndReinitBindsNewOnes()
{
    QVERIFY(initAll());
    QWebSocket socket; // an open connection must not keep the port
    QSignalSpy connected(&socket, &QWebSocket::connected);
    socket.open(QUrl(QStringLiteral("ws://127.0.0.1:%1/").arg(m_webSocketPort)));
    QTRY_COMPARE_WITH_TIMEOUT(connected.count(), 1, 5000);
    QVERIFY(!canListen(m_httpPort));
    QVERIFY(!canListen(m_webSocketPort));

    uninitFramework();
    QVERIFY(canListen(m_httpPort));
    QVERIFY(canListen(m_webSocketPort));
    uninitFramework(); // twice is harmless

    const int newHttp = tst::freePort(tst::Bind::AnyAddress);
    const int newWebSocket = tst::freePort(tst::Bind::AnyAddress);
    QVERIFY(setHttpPort2Xml(std::to_string(newHttp)));
    QVERIFY(setWebSocketPort2Xml(std::to_string(newWebSocket)));
    QVERIFY(!setHttpPort2Xml("0"));
    QVERIFY(!setWebSocketPort2Xml("80a"));
    QVERIFY(initAll());
    QCOMPARE(httpRequest("GET", newHttp, "/").status, 200);
    QCOMPARE(httpRequest("GET", m_httpPort, "/").status, 0);
    const QJsonObject json =
        QJsonDocument::fromJson(httpRequest("GET", newHttp, "/api/status").body).object();
    QCOMPARE(json.value("webSocketPort").toInt(), newWebSocket);
    QVERIFY(!canListen(newWebSocket));
}

void TestFramework::busyHttpPortLeavesWebSocketServing()
{
    QTcpServer blocker;
    QVERIFY(blocker.listen(QHostAddress::Any, static_cast<quint16>(m_httpPort)));
    QVERIFY(initFrameworkFirst());
    QVERIFY(!initFrameworkSecond());
    QVERIFY(initFrameworkLast());
    QWebSocket socket;
    QSignalSpy messages(&socket, &QWebSocket::textMessageReceived);
    socket.open(QUrl(QStringLiteral("ws://127.0.0.1:%1/").arg(m_webSocketPort)));
    QTRY_VERIFY_WITH_TIMEOUT(messages.count() >= 1, 5000);
    const QJsonObject pushed =
        QJsonDocument::fromJson(messages.first().first().toString().toUtf8()).object();
    QCOMPARE(pushed.value("httpListening").toBool(), false);
}

void TestFramework::listensOnLoopbackUnlessExternal_data()
{
    QTest::addColumn<QByteArray>("enabled"); // text of /Configs/ExternParam/Enabled
    QTest::addColumn<QByteArray>("address"); // "loopback" or "any"
    QTest::newRow("no external parameters") << QByteArray() << QByteArray("loopback");
    QTest::newRow("external access off") << QByteArray("false") << QByteArray("loopback");
    QTest::newRow("not exactly true") << QByteArray("True") << QByteArray("loopback");
    QTest::newRow("external access on") << QByteArray("true") << QByteArray("any");
}

void TestFramework::listensOnLoopbackUnlessExternal()
{
    QFETCH(QByteArray, enabled);
    QFETCH(QByteArray, address);
    if (!enabled.isEmpty()) {
        writeSetup("<Configs><ServerPort><WebSocket>" + QByteArray::number(m_webSocketPort)
                   + "</WebSocket></ServerPort><ExternParam><Enabled>" + enabled
                   + "</Enabled></ExternParam></Configs>");
    }
    QVERIFY(initAll());
    // The listening sockets' local addresses, from the kernel's own tables.
    const QList<QByteArray> table = (tst::readBytes("/proc/net/tcp") + tst::readBytes("/proc/net/tcp6")).split('\n');
    for (const int port : {m_httpPort, m_webSocketPort}) {
        const QByteArray local = ":" + QByteArray::number(port, 16).toUpper().rightJustified(4, '0');
        QByteArray bound;
        for (const QByteArray& line : table) {
            const QList<QByteArray> fields = line.simplified().split(' ');
            if (fields.size() > 3 && fields[1].endsWith(local) && fields[3] == "0A") {
                const QByteArray host = fields[1].left(fields[1].size() - local.size());
                bound = host == "0100007F" ? "loopback" : host.count('0') == host.size() ? "any" : host;
            }
        }
        QCOMPARE(bound, address);
    }
}

void TestFramework::controlRequestReachesCallbackOffMainThread_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("callback");
    QTest::addColumn<QString>("argument");
    QTest::newRow("close") << "/api/close" << QByteArray() << "close" << QString();
    QTest::newRow("reboot") << "/api/reboot" << QByteArray() << "reboot" << QString();
    QTest::newRow("delay-close") << "/api/delay-close" << QByteArray() << "delay-close" << QString();
    QTest::newRow("language") << "/api/language" << QByteArray("1") << "language" << "1";
    QTest::newRow("skin") << "/api/skin" << QByteArray("BlueSkin\n") << "skin" << "BlueSkin";
}

void TestFramework::controlRequestReachesCallbackOffMainThread()
{
    QFETCH(QString, path);
    QFETCH(QByteArray, body);
    QFETCH(QString, callback);
    QFETCH(QString, argument);
    QVERIFY(initAll());
    const HttpReply reply =
        httpRequest("POST", m_httpPort, path, body, {{"Authorization", "Bearer " + token()}});
    QCOMPARE(reply.status, 200);
    const QList<CallRecord> calls = takeCalls();
    QCOMPARE(calls.size(), 1);
    QCOMPARE(calls[0].name, callback);
    QCOMPARE(calls[0].argument, argument);
    QCOMPARE(calls[0].user, static_cast<void*>(&g_user));
    QVERIFY(calls[0].thread != nullptr);
    QVERIFY(calls[0].thread != QCoreApplication::instance()->thread());
}

void TestFramework::controlRequestWithoutValidTokenCallsNothing_data()
{
    QTest::addColumn<QByteArray>("authorization"); // empty: no header
    QTest::addColumn<QString>("path");
    QTest::newRow("no token") << QByteArray() << "/api/close";
    QTest::newRow("wrong token") << QByteArray("Bearer 0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef")
                                 << "/api/reboot";
    QTest::newRow("empty bearer") << QByteArray("Bearer ") << "/api/language";
    QTest::newRow("token without scheme") << QByteArray("TOKEN") << "/api/skin";
}

void TestFramework::controlRequestWithoutValidTokenCallsNothing()
{
    QFETCH(QByteArray, authorization);
    QFETCH(QString, path);
    QVERIFY(initAll());
    if (authorization == "TOKEN")
        authorization = token();
    Headers headers;
    if (!authorization.isEmpty())
        headers.append({"Authorization", authorization});
    const HttpReply reply = httpRequest("POST", m_httpPort, path, "1", headers);
    QCOMPARE(reply.status, 403);
    QVERIFY(takeCalls().isEmpty());

    // The token of an earlier init is no longer accepted.
    const QByteArray oldToken = token();
    uninitFramework();
    QVERIFY(initAll());
    QCOMPARE(httpRequest("POST", m_httpPort, "/api/close", QByteArray(), {{"Authorization", "Bearer " + oldToken}})
                 .status,
             403);
    QVERIFY(takeCalls().isEmpty());
}

void TestFramework::reloadTranslationsSwitchesTexts()
{
    QVERIFY(initAll());
    auto title = [this] {
        const QJsonObject json =
            QJsonDocument::fromJson(httpRequest("GET", m_httpPort, "/api/status").body).object();
        return json.value("texts").toObject().value("title").toString();
    };
    QCOMPARE(title(), QStringLiteral("Service status"));
    reloadTranslations(1);
    QCOMPARE(title(), QString::fromUtf8("服务状态"));
    QVERIFY(httpRequest("GET", m_httpPort, "/").body.contains("服务状态"));
    reloadTranslations(0);
    QCOMPARE(title(), QStringLiteral("Service status"));
}

void TestFramework::closeFrameworkClientEndsTheClient()
{
    // Nothing to end is not a failure.
    QVERIFY(closeFrameworkClient());

    // A stand-in client: a copy of sleep under the client's image name.
    const QString sleep = QStandardPaths::findExecutable("sleep");
    QVERIFY(!sleep.isEmpty());
    const QString client = m_dir.path() + "/TavrinClient";
    QVERIFY(QFile::copy(sleep, client));
    QProcess process;
    process.start(client, {"60"});
    QVERIFY(process.waitForStarted(5000));

    QVERIFY(closeFrameworkClient());
    QVERIFY(process.waitForFinished(5000));
    QCOMPARE(process.exitStatus(), QProcess::CrashExit); // ended by a signal
}

QTEST_GUILESS_MAIN(TestFramework)
#include "TestFramework.moc"
