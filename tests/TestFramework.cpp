// The framework library through its exported functions, against real HTTP
// and WebSocket clients on loopback; its request parsing and routing also
// directly, with peers a loopback test cannot be (remote addresses).
#include "TestScratch.h"
#include "TestSupport.h"

#include "FrameworkCallbacks.h"
#include "FrameworkConfig.h"
#include "FrameworkRouter.h"
#include "FrameworkServer.h"
#include "HttpRequest.h"
#include "Framework/Framework.h"

#include "Base/Singleton.h"
#include "CommonMethodLib/CommonConfigFileMgr.h"
#include "UserDataPath.h"

#include <QBuffer>
#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QThread>
#include <QWebSocket>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

namespace {

// What the library handed to the host's callbacks: name, argument, thread.
std::mutex g_mutex;
QStringList g_calls;
QThread* g_thread = nullptr;
int g_user = 42; // its address is the user pointer
QStringList g_routed; // what the router handed to the host

void record(const QString& call, void* user)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    g_calls << (user == &g_user ? call : "wrong user");
    g_thread = QThread::currentThread();
}

QStringList takeCalls()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    return std::exchange(g_calls, {});
}

bool canListen(int port)
{
    QTcpServer server;
    return server.listen(QHostAddress::Any, quint16(port));
}

struct Reply {
    int status = 0; // 0: no HTTP answer
    QByteArray body;
};

Reply request(const QByteArray& method, int port, const QString& path, const QByteArray& body = {},
              const QByteArray& authorization = {})
{
    QNetworkAccessManager manager;
    manager.setProxy(QNetworkProxy::NoProxy);
    QNetworkRequest request(QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(port).arg(path)));
    if (!authorization.isEmpty())
        request.setRawHeader("Authorization", authorization);
    QBuffer data;
    data.setData(body);
    data.open(QIODevice::ReadOnly);
    std::unique_ptr<QNetworkReply> reply(manager.sendCustomRequest(request, method, &data));
    QSignalSpy finished(reply.get(), &QNetworkReply::finished);
    if (!reply->isFinished())
        finished.wait(5000);
    if (!reply->isFinished())
        return {};
    return {reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), reply->readAll()};
}

qint64 residentBytes()
{
    const QByteArray status = tst::readBytes("/proc/self/status");
    const int at = status.indexOf("VmRSS:") + 6;
    return status.mid(at, status.indexOf('\n', at) - at).trimmed().split(' ').first().toLongLong() * 1024;
}

int openDescriptors()
{
    return QDir("/proc/self/fd").entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System).size();
}

// A client frame header; masked with a key of zeros, so the payload goes as it is.
QByteArray frameHeader(quint8 opcode, bool final, quint64 length, bool masked)
{
    QByteArray header(1, char((final ? 0x80 : 0) | opcode));
    const int lengthBytes = length < 126 ? 0 : length < 65536 ? 2 : 8;
    header += char((masked ? 0x80 : 0) | (lengthBytes == 0 ? int(length) : lengthBytes == 2 ? 126 : 127));
    for (int shift = 8 * (lengthBytes - 1); shift >= 0; shift -= 8)
        header += char((length >> shift) & 0xFF);
    return masked ? header + QByteArray(4, '\0') : header;
}

QJsonObject json(const QByteArray& text) { return QJsonDocument::fromJson(text).object(); }

const QByteArray kToken = "feedbeef";

CHttpRequest post(const QByteArray& path, const QByteArray& authorization, const QByteArray& body = {})
{
    QByteArray raw = "POST " + path + " HTTP/1.1\r\nHost: x\r\n";
    if (!authorization.isEmpty())
        raw += "Authorization: " + authorization + "\r\n";
    CHttpRequest request;
    request.parse(raw + "Content-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" + body);
    return request;
}

} // namespace

class TestFramework : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup() { uninitFramework(); }
    void badConfigurationFailsFirstStage_data();
    void badConfigurationFailsFirstStage();
    void servesWithAPrivateTokenAndReleasesAll();
    void listensOnLoopbackUnlessExternal_data();
    void listensOnLoopbackUnlessExternal();
    void controlRequestReachesCallbackOffMainThread_data();
    void controlRequestReachesCallbackOffMainThread();
    void webSocketRefusesWhatAClientMayNotSend_data();
    void webSocketRefusesWhatAClientMayNotSend();
    void serversHoldAtMostTheirConnectionCap();
    void closeFrameworkClientEndsTheClient();
    void parse_data();
    void parse();
    void routerChecksPeerTokenAndBody_data();
    void routerChecksPeerTokenAndBody();

private:
    void writeSetup(const QByteArray& extra = {})
    {
        QVERIFY(tst::writeBytes(m_dataDir + "Setup.xml", "<Configs><ServerPort><WebSocket>" +
                                QByteArray::number(m_wsPort) + "</WebSocket></ServerPort>" + extra + "</Configs>"));
    }
    bool initAll() { return initFrameworkFirst() && initFrameworkSecond() && initFrameworkLast(); }
    QByteArray token() const { return tst::readBytes(m_dataDir + CFrameworkConfig::kTokenFileName); }

    ScratchHome m_dir;
    QString m_dataDir;
    int m_httpPort = 0;
    int m_wsPort = 0;
};

void TestFramework::initTestCase()
{
    auto& paths = Base::CSingleton<comm_method::CUserDataPath>::Instance();
    QVERIFY(QDir().mkpath(m_dir.path() + "/Server"));
    QVERIFY(paths.init((m_dir.path() + "/Server/").toStdString(), "Framework.S", 0, 0));
    m_dataDir = QString::fromStdString(paths.getUserDataDir());
    QVERIFY(m_dataDir.startsWith(m_dir.path()));
    uninitFramework(); // harmless before any init
    setRebootCallback([](void* user) { record("reboot", user); }, &g_user);
    setCloseCallback([](void* user) { record("close", user); }, &g_user);
    setDelayCloseCallback([](void* user) { record("delay-close", user); }, &g_user);
    setRegisterRccCallback([](const char* skin, void* user) { return record(skin, user), true; }, &g_user);
    setLanguageCallback([](int index) { return record(QString::number(index), &g_user), true; });
}

void TestFramework::init()
{
    m_httpPort = tst::freePort(tst::Bind::AnyAddress);
    m_wsPort = tst::freePort(tst::Bind::AnyAddress);
    QVERIFY(m_httpPort > 0 && m_wsPort > 0 && m_httpPort != m_wsPort);
    writeSetup();
    QVERIFY(Base::CSingleton<comm_methodlib::CCommonConfigFileMgr>::Instance().SetFrameworkHttpPort(m_httpPort));
    takeCalls();
}

void TestFramework::badConfigurationFailsFirstStage_data()
{
    QTest::addColumn<QByteArray>("content"); // empty: no file
    QTest::newRow("missing") << QByteArray();
    QTest::newRow("no WebSocket key") << QByteArray("<Configs><ServerPort/></Configs>");
    QTest::newRow("port 65536") << QByteArray("<Configs><ServerPort><WebSocket>65536</WebSocket></ServerPort></Configs>");
}

void TestFramework::badConfigurationFailsFirstStage()
{
    QFETCH(QByteArray, content);
    QFile::remove(m_dataDir + "Setup.xml");
    if (!content.isEmpty())
        QVERIFY(tst::writeBytes(m_dataDir + "Setup.xml", content));
    QVERIFY(!initFrameworkFirst());
    QVERIFY(!initFrameworkSecond()); // nothing served after a failed first stage
    QVERIFY(!initFrameworkLast());
    QCOMPARE(request("GET", m_httpPort, "/").status, 0);
}

void TestFramework::servesWithAPrivateTokenAndReleasesAll()
{
    QVERIFY(initAll());
    const QFileInfo tokenFile(m_dataDir + CFrameworkConfig::kTokenFileName);
    QCOMPARE(tokenFile.permissions() & ~(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser),
             QFile::Permissions());
    const QByteArray oldToken = token();
    QCOMPARE(oldToken.size(), 64);

    QVERIFY(request("GET", m_httpPort, "/").body.contains(QByteArray::number(m_wsPort)));
    const QJsonObject status = json(request("GET", m_httpPort, "/api/status").body);
    QCOMPARE(status.value("httpPort").toInt(), m_httpPort);
    QCOMPARE(status.value("webSocketListening").toBool(), true);
    QCOMPARE(request("GET", m_httpPort, "/nothing").status, 404);
    QCOMPARE(request("POST", m_httpPort, "/api/status").status, 405);
    reloadTranslations(1);
    QCOMPARE(json(request("GET", m_httpPort, "/api/status").body).value("texts").toObject().value("title").toString(),
             QString::fromUtf8("服务状态"));
    reloadTranslations(0);

    // The socket gets the status at once and again every second; an open
    // connection does not keep the port after uninit.
    QWebSocket socket;
    QSignalSpy messages(&socket, &QWebSocket::textMessageReceived);
    socket.open(QUrl(QStringLiteral("ws://127.0.0.1:%1/").arg(m_wsPort)));
    QTRY_VERIFY_WITH_TIMEOUT(messages.count() >= 2, 5000);
    QCOMPARE(json(messages.first().first().toString().toUtf8()).value("webSocketPort").toInt(), m_wsPort);
    uninitFramework();
    QVERIFY(!QFile::exists(tokenFile.filePath()));
    QVERIFY(canListen(m_httpPort) && canListen(m_wsPort));

    // New ports from the settings, a new token; the old one is refused.
    const int newHttp = tst::freePort(tst::Bind::AnyAddress);
    QVERIFY(setHttpPort2Xml(std::to_string(newHttp)));
    QVERIFY(!setHttpPort2Xml("0"));
    QVERIFY(!setWebSocketPort2Xml("80a"));
    QVERIFY(initAll());
    QCOMPARE(request("GET", m_httpPort, "/").status, 0);
    QCOMPARE(request("POST", newHttp, "/api/close", {}, "Bearer " + oldToken).status, 403);
    QVERIFY(takeCalls().isEmpty());
}

void TestFramework::listensOnLoopbackUnlessExternal_data()
{
    QTest::addColumn<QByteArray>("enabled"); // text of /Configs/ExternParam/Enabled
    QTest::addColumn<QByteArray>("address");
    QTest::newRow("no external parameters") << QByteArray() << QByteArray("loopback");
    QTest::newRow("not exactly true") << QByteArray("True") << QByteArray("loopback");
    QTest::newRow("external access on") << QByteArray("true") << QByteArray("any");
}

void TestFramework::listensOnLoopbackUnlessExternal()
{
    QFETCH(QByteArray, enabled);
    QFETCH(QByteArray, address);
    if (!enabled.isEmpty())
        writeSetup("<ExternParam><Enabled>" + enabled + "</Enabled></ExternParam>");
    QVERIFY(initAll());
    // The listening sockets' local addresses, from the kernel's own tables.
    const QList<QByteArray> table = (tst::readBytes("/proc/net/tcp") + tst::readBytes("/proc/net/tcp6")).split('\n');
    for (const int port : {m_httpPort, m_wsPort}) {
        const QByteArray local = ":" + QByteArray::number(port, 16).toUpper().rightJustified(4, '0');
        QByteArray bound;
        for (const QByteArray& line : table) {
            const QList<QByteArray> fields = line.simplified().split(' ');
            if (fields.size() > 3 && fields[1].endsWith(local) && fields[3] == "0A") {
                const QByteArray host = fields[1].chopped(local.size());
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
    QTest::addColumn<QString>("call");
    QTest::newRow("close") << "/api/close" << QByteArray() << "close";
    QTest::newRow("reboot") << "/api/reboot" << QByteArray() << "reboot";
    QTest::newRow("delay-close") << "/api/delay-close" << QByteArray() << "delay-close";
    QTest::newRow("language") << "/api/language" << QByteArray("1") << "1";
    QTest::newRow("skin") << "/api/skin" << QByteArray("BlueSkin\n") << "BlueSkin";
}

void TestFramework::controlRequestReachesCallbackOffMainThread()
{
    QFETCH(QString, path);
    QFETCH(QByteArray, body);
    QFETCH(QString, call);
    QVERIFY(initAll());
    QCOMPARE(request("POST", m_httpPort, path, body, "Bearer " + token()).status, 200);
    QCOMPARE(takeCalls(), QStringList{call});
    QVERIFY(g_thread && g_thread != thread());
}

// One unauthenticated client used to push the host to 1 GB: the frame or
// message is refused at its bound, the connection closed with the protocol's
// code, and the host's memory barely moves.
void TestFramework::webSocketRefusesWhatAClientMayNotSend_data()
{
    QTest::addColumn<QByteArray>("header");   // written first
    QTest::addColumn<QByteArray>("repeated"); // then again and again
    QTest::addColumn<QByteArray>("close"); // the close frame's code and reason
    const int piece = 16 * 1024;
    QTest::newRow("unmasked frame") << frameHeader(0x1, true, 5, false) + "hello" << QByteArray()
                                    << QByteArray("\x03\xEA" "unmasked frame");
    QTest::newRow("1 GB frame") << frameHeader(0x2, true, 1ull << 30, true) << QByteArray(64 * 1024, 'x')
                                << QByteArray("\x03\xF1" "frame too large");
    QTest::newRow("endless message") << frameHeader(0x2, false, piece, true) + QByteArray(piece, 'x')
                                     << frameHeader(0x0, false, piece, true) + QByteArray(piece, 'x')
                                     << QByteArray("\x03\xF1" "message too large");
}

void TestFramework::webSocketRefusesWhatAClientMayNotSend()
{
    QFETCH(QByteArray, header);
    QFETCH(QByteArray, repeated);
    QFETCH(QByteArray, close);
    QVERIFY(initAll());
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, quint16(m_wsPort));
    QVERIFY(socket.waitForConnected(5000));
    socket.write("GET / HTTP/1.1\r\nHost: 127.0.0.1\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
                 "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Version: 13\r\n\r\n");
    QByteArray received;
    while (!received.contains("\r\n\r\n") && socket.waitForReadyRead(5000))
        received += socket.readAll();
    QVERIFY(received.startsWith("HTTP/1.1 101") && received.contains("s3pPLMBiTxaQ9kYGzzhZRbK+xOo="));

    const qint64 before = residentBytes();
    qint64 peak = before;
    qint64 pushed = socket.write(header);
    while (!repeated.isEmpty() && pushed < (128 << 20) && socket.state() == QAbstractSocket::ConnectedState &&
           socket.write(repeated) > 0) {
        pushed += repeated.size();
        socket.waitForBytesWritten(1000);
        received += socket.readAll();
        peak = std::max(peak, residentBytes());
    }
    for (int i = 0; i < 5 && socket.state() == QAbstractSocket::ConnectedState && socket.waitForReadyRead(1000); ++i)
        received += socket.readAll();
    received += socket.readAll();
    QVERIFY(received.contains(char(0x88)) && received.contains(close));
    QTRY_COMPARE_WITH_TIMEOUT(socket.state(), QAbstractSocket::UnconnectedState, 5000);
    QVERIFY2(std::max(peak, residentBytes()) - before < (32 << 20), qPrintable(QString::number(pushed >> 20)));
}

// 1,064 held connections used to take every descriptor and lock everyone
// out: each server holds its cap at most, dropping the oldest idle one.
void TestFramework::serversHoldAtMostTheirConnectionCap()
{
    const int port = m_wsPort;
    QVERIFY(initAll());
    const int before = openDescriptors();
    std::vector<std::unique_ptr<QTcpSocket>> clients;
    for (int i = 0; i < 1100; ++i) {
        clients.push_back(std::make_unique<QTcpSocket>());
        clients.back()->connectToHost(QHostAddress::LocalHost, quint16(port));
        QVERIFY2(clients.back()->waitForConnected(5000), qPrintable(QString::number(i)));
    }
    int used = 0;
    for (int round = 0, last = -1; round < 50 && used != last; ++round) {
        last = used;
        QTest::qWait(100);
        used = openDescriptors() - before; // both ends of each held connection
    }
    QVERIFY2(used <= 2 * CFrameworkServer::kMaxConnections + 8, qPrintable(QString::number(used)));
    QTRY_COMPARE_WITH_TIMEOUT(clients.front()->state(), QAbstractSocket::UnconnectedState, 5000);
    QCOMPARE(clients.back()->state(), QAbstractSocket::ConnectedState);
    QWebSocket socket;
    QSignalSpy messages(&socket, &QWebSocket::textMessageReceived);
    socket.open(QUrl(QStringLiteral("ws://127.0.0.1:%1/").arg(port)));
    QTRY_VERIFY_WITH_TIMEOUT(messages.count() >= 1, 5000);
}

void TestFramework::closeFrameworkClientEndsTheClient()
{
    QVERIFY(closeFrameworkClient()); // nothing to end is no failure
    // A stand-in client: a copy of sleep under the client's image name.
    const QString client = m_dir.path() + "/TavrinClient";
    QVERIFY(QFile::copy(QStandardPaths::findExecutable("sleep"), client));
    QProcess process;
    process.start(client, {"60"});
    QVERIFY(process.waitForStarted(5000));
    QVERIFY(closeFrameworkClient());
    QVERIFY(process.waitForFinished(5000));
    QCOMPARE(process.exitStatus(), QProcess::CrashExit); // ended by a signal
}

void TestFramework::parse_data()
{
    QTest::addColumn<QByteArray>("raw");
    QTest::addColumn<int>("result");
    QTest::addColumn<QByteArray>("parsed"); // path|body when complete
    using P = CHttpRequest::Parse;
    QTest::newRow("get") << QByteArray("GET /api/status?x=1 HTTP/1.1\r\nHost: a\r\n\r\n") << int(P::Complete)
                         << QByteArray("/api/status|");
    QTest::newRow("body") << QByteArray("POST /a HTTP/1.0\r\ncontent-length: 2\r\n\r\n12") << int(P::Complete)
                          << QByteArray("/a|12");
    QTest::newRow("body incomplete") << QByteArray("POST /a HTTP/1.1\r\nContent-Length: 5\r\n\r\nab")
                                     << int(P::Incomplete) << QByteArray();
    QTest::newRow("bad request line") << QByteArray("GET\r\n\r\n") << int(P::Bad) << QByteArray();
    QTest::newRow("bad length") << QByteArray("POST /a HTTP/1.1\r\nContent-Length: -3\r\n\r\n") << int(P::Bad)
                                << QByteArray();
    QTest::newRow("chunked") << QByteArray("POST /a HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n") << int(P::Bad)
                             << QByteArray();
    QTest::newRow("huge body") << QByteArray("POST /a HTTP/1.1\r\nContent-Length: 999999\r\n\r\n")
                               << int(P::TooLarge) << QByteArray();
    QTest::newRow("endless head") << QByteArray(CHttpRequest::kMaxHeaderBytes + 10, 'a') << int(P::TooLarge)
                                  << QByteArray();
}

void TestFramework::parse()
{
    QFETCH(QByteArray, raw);
    QFETCH(int, result);
    QFETCH(QByteArray, parsed);
    CHttpRequest request;
    QCOMPARE(int(request.parse(raw)), result);
    QVERIFY(!parsed.size() || request.path() + '|' + request.body() == parsed);
}

void TestFramework::routerChecksPeerTokenAndBody_data()
{
    QTest::addColumn<QString>("peer");
    QTest::addColumn<QByteArray>("path");
    QTest::addColumn<QByteArray>("authorization");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("call"); // what reached the host; empty: nothing
    const QByteArray good = "Bearer " + kToken;
    QTest::newRow("loopback v4") << "127.0.0.1" << QByteArray("/api/close") << good << QByteArray() << 200 << "close";
    QTest::newRow("loopback v6") << "::1" << QByteArray("/api/close") << good << QByteArray() << 200 << "close";
    QTest::newRow("mapped loopback") << "::ffff:127.0.0.1" << QByteArray("/api/close") << good << QByteArray() << 200
                                     << "close";
    QTest::newRow("lan v4") << "192.168.1.20" << QByteArray("/api/close") << good << QByteArray() << 403 << "";
    QTest::newRow("mapped lan") << "::ffff:10.0.0.7" << QByteArray("/api/close") << good << QByteArray() << 403 << "";
    QTest::newRow("no header") << "127.0.0.1" << QByteArray("/api/close") << QByteArray() << QByteArray() << 403 << "";
    QTest::newRow("prefix of token") << "127.0.0.1" << QByteArray("/api/close") << QByteArray("Bearer feed")
                                     << QByteArray() << 403 << "";
    QTest::newRow("longer token") << "127.0.0.1" << QByteArray("/api/close") << good + "0" << QByteArray() << 403 << "";
    QTest::newRow("language") << "::1" << QByteArray("/api/language") << good << QByteArray(" 19\r\n") << 200 << "19";
    QTest::newRow("language text") << "::1" << QByteArray("/api/language") << good << QByteArray("en") << 400 << "";
    QTest::newRow("language the host refuses") << "::1" << QByteArray("/api/language") << good << QByteArray("99")
                                               << 400 << "99";
    QTest::newRow("skin") << "::1" << QByteArray("/api/skin") << good << QByteArray("BlueSkin") << 200 << "BlueSkin";
    QTest::newRow("skin that fails to load") << "::1" << QByteArray("/api/skin") << good << QByteArray("NoSuch") << 400
                                             << "NoSuch";
    QTest::newRow("unknown action") << "::1" << QByteArray("/api/format-disk") << good << QByteArray() << 404 << "";
}

void TestFramework::routerChecksPeerTokenAndBody()
{
    QFETCH(QString, peer);
    QFETCH(QByteArray, path);
    QFETCH(QByteArray, authorization);
    QFETCH(QByteArray, body);
    QFETCH(int, status);
    QFETCH(QString, call);
    // A host with the languages 0 to 36 and one skin it can load.
    CFrameworkCallbacks callbacks;
    callbacks.setClose([](void*) { g_routed << "close"; }, nullptr);
    callbacks.setLanguage([](int index) { return g_routed << QString::number(index), index <= 36; });
    callbacks.setRegisterRcc([](const char* name, void*) { return g_routed << name, QByteArray(name) == "BlueSkin"; },
                             nullptr);
    CFrameworkRouter router(callbacks, [] { return FrameworkStatus(); });
    router.setToken(kToken);
    g_routed.clear();
    QCOMPARE(router.handle(post(path, authorization, body), QHostAddress(peer)).status(), status);
    QCOMPARE(g_routed.join(','), call);
    router.setToken(QByteArray()); // without a token no action is ever served
    QCOMPARE(router.handle(post(path, authorization, body), QHostAddress(peer)).status(), status == 404 ? 404 : 403);
    QCOMPARE(g_routed.join(','), call);
}

QTEST_GUILESS_MAIN(TestFramework)
#include "TestFramework.moc"
