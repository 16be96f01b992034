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

#include <QDir>
#include <QJsonDocument>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QThread>
#include <QWebSocket>
#include <memory>
#include <atomic>
#include <vector>

namespace {

// The thread and user pointer of the host's last close callback.
std::atomic<QThread*> g_closedOn{nullptr};
std::atomic<void*> g_closeUser{nullptr};

// The status code (0: no HTTP answer) and the body, over a connection of its own.
std::pair<int, QByteArray> request(const QByteArray& method, int port, const QByteArray& path,
                                   const QByteArray& authorization = {})
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, quint16(port));
    if (!socket.waitForConnected(5000))
        return {};
    socket.write(method + " " + path + " HTTP/1.0\r\nAuthorization: " + authorization + "\r\nContent-Length: 0\r\n\r\n");
    QByteArray reply;
    while (socket.waitForReadyRead(5000))
        reply += socket.readAll();
    return {reply.startsWith("HTTP/1.1 ") ? reply.mid(9, 3).toInt() : 0, reply.mid(reply.indexOf("\r\n\r\n") + 4)};
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

} // namespace

class TestFramework : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { uninitFramework(); }

    void initTestCase()
    {
        auto& paths = Base::CSingleton<comm_method::CUserDataPath>::Instance();
        QVERIFY(QDir().mkpath(m_dir.path() + "/Server"));
        QVERIFY(paths.init((m_dir.path() + "/Server/").toStdString(), "Framework.S", 0, 0));
        m_dataDir = QString::fromStdString(paths.getUserDataDir());
        setCloseCallback([](void* user) { g_closeUser = user, g_closedOn = QThread::currentThread(); }, &m_dir);
    }

    void init()
    {
        m_httpPort = tst::freePort(tst::Bind::AnyAddress);
        m_wsPort = tst::freePort(tst::Bind::AnyAddress);
        QVERIFY(m_httpPort > 0 && m_wsPort > 0 && m_httpPort != m_wsPort);
        writeSetup(QByteArray::number(m_wsPort));
        QVERIFY(Base::CSingleton<comm_methodlib::CCommonConfigFileMgr>::Instance().SetFrameworkHttpPort(m_httpPort));
    }

    void servesWithAPrivateTokenAndReleasesAll()
    {
        writeSetup("65536"); // a bad configuration fails the first stage, and nothing is served
        QVERIFY(!initFrameworkFirst() && !initFrameworkSecond() && !initFrameworkLast());
        QCOMPARE(request("GET", m_httpPort, "/").first, 0);
        writeSetup(QByteArray::number(m_wsPort));
        QVERIFY(initAll());
        const QFileInfo tokenFile(m_dataDir + CFrameworkConfig::kTokenFileName);
        QCOMPARE(tokenFile.permissions() & ~(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser),
                 QFile::Permissions());
        const QByteArray token = tst::readBytes(tokenFile.filePath());
        QCOMPARE(token.size(), 64);
        QVERIFY(request("GET", m_httpPort, "/").second.contains(QByteArray::number(m_wsPort)));
        QCOMPARE(request("GET", m_httpPort, "/../Setup.xml").first, 404);
        QCOMPARE(request("POST", m_httpPort, "/api/status").first, 405);
        QCOMPARE(request("POST", m_httpPort, "/api/close", "Bearer " + token).first, 200);
        QVERIFY(g_closeUser == &m_dir && g_closedOn && g_closedOn != thread()); // off the main thread
        g_closedOn = nullptr;

        // The socket gets the status at once and again every second; an open
        // connection does not keep the port after uninit.
        QWebSocket socket;
        QSignalSpy messages(&socket, &QWebSocket::textMessageReceived);
        socket.open(QUrl(QStringLiteral("ws://127.0.0.1:%1/").arg(m_wsPort)));
        QTRY_VERIFY_WITH_TIMEOUT(messages.count() >= 2, 5000);
        QCOMPARE(QJsonDocument::fromJson(messages.first().first().toString().toUtf8())["webSocketPort"].toInt(), m_wsPort);
        uninitFramework();
        QVERIFY(!QFile::exists(tokenFile.filePath()));
        for (const int port : {m_httpPort, m_wsPort})
            QVERIFY(QTcpServer().listen(QHostAddress::Any, quint16(port)));

        // A new port from the settings, a new token; the old one is refused.
        const int newHttp = tst::freePort(tst::Bind::AnyAddress);
        QVERIFY(setHttpPort2Xml(std::to_string(newHttp)) && !setHttpPort2Xml("0") && !setWebSocketPort2Xml("80a"));
        QVERIFY(initAll());
        QCOMPARE(request("GET", m_httpPort, "/").first, 0);
        QCOMPARE(request("POST", newHttp, "/api/close", "Bearer " + token).first, 403);
        QVERIFY(!g_closedOn);
    }

    void listensOnLoopbackUnlessExternal_data()
    {
        QTest::addColumn<QByteArray>("enabled"); // text of /Configs/ExternParam/Enabled
        QTest::addColumn<QByteArray>("address");
        QTest::newRow("not exactly true") << QByteArray("True") << QByteArray("0100007F");
        QTest::newRow("external access on") << QByteArray("true") << QByteArray("any");
    }

    void listensOnLoopbackUnlessExternal()
    {
        QFETCH(QByteArray, enabled);
        QFETCH(QByteArray, address);
        writeSetup(QByteArray::number(m_wsPort), "<ExternParam><Enabled>" + enabled + "</Enabled></ExternParam>");
        QVERIFY(initAll());
        // The listening sockets' local addresses, from the kernel's own table.
        const QList<QByteArray> table = (tst::readBytes("/proc/net/tcp") + tst::readBytes("/proc/net/tcp6")).split('\n');
        for (const int port : {m_httpPort, m_wsPort}) {
            const QByteArray local = ":" + QByteArray::number(port, 16).toUpper().rightJustified(4, '0');
            QByteArray bound;
            for (const QByteArray& line : table) {
                const QList<QByteArray> fields = line.simplified().split(' ');
                if (fields.size() > 3 && fields[1].endsWith(local) && fields[3] == "0A")
                    bound = fields[1].chopped(local.size());
            }
            QCOMPARE(bound.isEmpty() || bound.count('0') != bound.size() ? bound : QByteArray("any"), address);
        }
    }

    // One unauthenticated client used to push the host to 1 GB: the frame or
    // message is refused at its bound (long before 128 MB have gone), the
    // connection closed with the protocol's code.
    void webSocketRefusesWhatAClientMayNotSend_data()
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

    void webSocketRefusesWhatAClientMayNotSend()
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

        qint64 pushed = socket.write(header);
        while (!repeated.isEmpty() && pushed < (128 << 20) && socket.state() == QAbstractSocket::ConnectedState
               && socket.write(repeated) > 0) {
            pushed += repeated.size();
            socket.waitForBytesWritten(1000);
        }
        for (int i = 0; i < 5 && socket.state() == QAbstractSocket::ConnectedState && socket.waitForReadyRead(1000); ++i)
            received += socket.readAll();
        received += socket.readAll();
        QVERIFY(received.contains(char(0x88)) && received.contains(close));
        QTRY_COMPARE_WITH_TIMEOUT(socket.state(), QAbstractSocket::UnconnectedState, 5000);
    }

    // 1,064 held connections used to take every descriptor and lock everyone
    // out: each server holds its cap at most, dropping the oldest idle one.
    void serversHoldAtMostTheirConnectionCap()
    {
        QVERIFY(initAll());
        const auto descriptors = [] { return QDir("/proc/self/fd").entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System).size(); };
        const int before = descriptors();
        std::vector<std::unique_ptr<QTcpSocket>> clients;
        for (int i = 0; i < 1100; ++i) {
            clients.push_back(std::make_unique<QTcpSocket>());
            clients.back()->connectToHost(QHostAddress::LocalHost, quint16(m_wsPort));
            QVERIFY2(clients.back()->waitForConnected(5000), qPrintable(QString::number(i)));
        }
        QTRY_COMPARE_WITH_TIMEOUT(clients.front()->state(), QAbstractSocket::UnconnectedState, 5000);
        QTest::qWait(500);
        const int used = descriptors() - before; // both ends of each held connection
        QVERIFY2(used <= 2 * CFrameworkServer::kMaxConnections + 8, qPrintable(QString::number(used)));
        QCOMPARE(clients.back()->state(), QAbstractSocket::ConnectedState);
        QWebSocket socket;
        QSignalSpy messages(&socket, &QWebSocket::textMessageReceived);
        socket.open(QUrl(QStringLiteral("ws://127.0.0.1:%1/").arg(m_wsPort)));
        QTRY_VERIFY_WITH_TIMEOUT(messages.count() >= 1, 5000);
    }

    // One connection: which requests keep it open, answered in order however
    // many arrive at once.
    void keepAlive_data()
    {
        QTest::addColumn<QByteArray>("requests");
        QTest::addColumn<QByteArray>("answers"); // the Connection header of each answer, in order
        const QByteArray get11 = "GET /none HTTP/1.1\r\nHost: x\r\n\r\n", get10 = "GET /none HTTP/1.0\r\n\r\n";
        QTest::newRow("1.1 kept, 2000 pipelined") << get11.repeated(2000) << QByteArray("keep-alive ").repeated(2000).trimmed();
        QTest::newRow("1.1 close honoured, the rest not read")
            << get11 + "GET / HTTP/1.1\r\nConnection: TE, Close\r\n\r\n" + get11 << QByteArray("keep-alive close");
        QTest::newRow("1.0 closes") << get10 + get10 << QByteArray("close");
        QTest::newRow("1.0 kept when asked")
            << "GET / HTTP/1.0\r\nConnection: Keep-Alive\r\n\r\n" + get10 << QByteArray("keep-alive close");
        QTest::newRow("bad request closes") << get11 + "GET\r\n\r\n" + get11 << QByteArray("keep-alive close");
    }

    void keepAlive()
    {
        QFETCH(QByteArray, requests);
        QFETCH(QByteArray, answers);
        CFrameworkCallbacks callbacks;
        CFrameworkServer server(callbacks, [] { return FrameworkStatus(); });
        QVERIFY(server.startHttp(quint16(m_httpPort)));
        QTcpSocket client;
        client.connectToHost(QHostAddress::LocalHost, quint16(m_httpPort));
        QVERIFY(client.waitForConnected(5000));
        client.write(requests);
        const QList<QByteArray> expected = answers.split(' ');
        const bool closes = expected.last() == "close";
        QByteArray received;
        QVERIFY(QTest::qWaitFor([&] {
            received += client.readAll();
            return received.count("HTTP/1.1 ") >= expected.size()
                && (!closes || client.state() == QAbstractSocket::UnconnectedState);
        }, 10000));
        QTest::qWait(100); // a kept connection stays open, with nothing more said
        received += client.readAll();
        QCOMPARE(client.state() == QAbstractSocket::ConnectedState, !closes);
        QList<QByteArray> said;
        for (int at = received.indexOf("\r\nConnection: "); at >= 0; at = received.indexOf("\r\nConnection: ", at + 1))
            said << received.mid(at + 14, received.indexOf("\r\n", at + 2) - at - 14);
        QCOMPARE(said, expected);
    }

    void parse_data()
    {
        QTest::addColumn<QByteArray>("raw");
        QTest::addColumn<int>("result");
        QTest::addColumn<QByteArray>("parsed"); // path|body when complete
        using P = CHttpRequest::Parse;
        const auto row = [](const char* name, const QByteArray& raw, P result, const char* parsed = "") {
            QTest::newRow(name) << raw << int(result) << QByteArray(parsed);
        };
        row("get", "GET /api/status?x=1 HTTP/1.1\r\nHost: a\r\n\r\n", P::Complete, "/api/status|");
        row("body", "POST /a HTTP/1.0\r\ncontent-length: 2\r\n\r\n12", P::Complete, "/a|12");
        row("body incomplete", "POST /a HTTP/1.1\r\nContent-Length: 5\r\n\r\nab", P::Incomplete);
        row("bad request line", "GET\r\n\r\n", P::Bad);
        row("bad length", "POST /a HTTP/1.1\r\nContent-Length: -3\r\n\r\n", P::Bad);
        row("chunked", "POST /a HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n", P::Bad);
        row("huge body", "POST /a HTTP/1.1\r\nContent-Length: 999999\r\n\r\n", P::TooLarge);
        row("endless head", QByteArray(CHttpRequest::kMaxHeaderBytes + 10, 'a'), P::TooLarge);
    }

    void parse()
    {
        QFETCH(QByteArray, raw);
        QFETCH(int, result);
        QFETCH(QByteArray, parsed);
        CHttpRequest request;
        QCOMPARE(int(request.parse(raw)), result);
        QVERIFY(parsed.isEmpty() || request.path() + '|' + request.body() == parsed);
    }

    void routerChecksPeerTokenAndBody_data()
    {
        QTest::addColumn<QString>("peer");
        QTest::addColumn<QByteArray>("request"); // path, then the authorization's token and the body
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("call"); // what reached the host; empty: nothing
        QTest::newRow("loopback v4") << "127.0.0.1" << QByteArray("/api/close feedbeef") << 200 << "close";
        QTest::newRow("mapped loopback") << "::ffff:127.0.0.1" << QByteArray("/api/reboot feedbeef") << 200 << "reboot";
        QTest::newRow("lan v4") << "192.168.1.20" << QByteArray("/api/close feedbeef") << 403 << "";
        QTest::newRow("no token") << "127.0.0.1" << QByteArray("/api/close") << 403 << "";
        QTest::newRow("prefix of token") << "127.0.0.1" << QByteArray("/api/close feed") << 403 << "";
        QTest::newRow("longer token") << "127.0.0.1" << QByteArray("/api/close feedbeef0") << 403 << "";
        QTest::newRow("delay-close") << "::1" << QByteArray("/api/delay-close feedbeef") << 200 << "delay-close";
        QTest::newRow("language") << "::1" << QByteArray("/api/language feedbeef  19\r\n") << 200 << "19";
        QTest::newRow("language text") << "::1" << QByteArray("/api/language feedbeef en") << 400 << "";
        QTest::newRow("language the host refuses") << "::1" << QByteArray("/api/language feedbeef 99") << 400 << "99";
        QTest::newRow("skin") << "::1" << QByteArray("/api/skin feedbeef BlueSkin") << 200 << "BlueSkin";
        QTest::newRow("skin that fails to load") << "::1" << QByteArray("/api/skin feedbeef NoSuch") << 400 << "NoSuch";
        QTest::newRow("unknown action") << "::1" << QByteArray("/api/format-disk feedbeef") << 404 << "";
    }

    void routerChecksPeerTokenAndBody()
    {
        QFETCH(QString, peer);
        QFETCH(QByteArray, request);
        QFETCH(int, status);
        QFETCH(QString, call);
        const QList<QByteArray> parts = request.split(' ');
        const QByteArray body = request.mid(parts[0].size() + parts.value(1).size() + 2);
        CHttpRequest post;
        post.parse("POST " + parts[0] + " HTTP/1.1\r\nAuthorization: Bearer " + parts.value(1) + "\r\nContent-Length: "
                   + QByteArray::number(body.size()) + "\r\n\r\n" + body);
        // A host with the languages 0 to 36 and one skin it can load.
        CFrameworkCallbacks callbacks;
        static QStringList routed;
        callbacks.setClose([](void*) { routed << "close"; }, nullptr);
        callbacks.setReboot([](void*) { routed << "reboot"; }, nullptr);
        callbacks.setDelayClose([](void*) { routed << "delay-close"; }, nullptr);
        callbacks.setLanguage([](int index) { return routed << QString::number(index), index <= 36; });
        callbacks.setRegisterRcc([](const char* name, void*) { return routed << name, QByteArray(name) == "BlueSkin"; },
                                 nullptr);
        CFrameworkRouter router(callbacks, [] { return FrameworkStatus(); });
        router.setToken("feedbeef");
        routed.clear();
        QCOMPARE(router.handle(post, QHostAddress(peer)).status(), status);
        QCOMPARE(routed.join(','), call);
        router.setToken(QByteArray()); // without a token no action is ever served
        QCOMPARE(router.handle(post, QHostAddress(peer)).status(), status == 404 ? 404 : 403);
        QCOMPARE(routed.join(','), call);
    }

private:
    void writeSetup(const QByteArray& wsPort, const QByteArray& extra = {})
    {
        QVERIFY(tst::writeBytes(m_dataDir + "Setup.xml", "<Configs><ServerPort><WebSocket>" + wsPort
                                                             + "</WebSocket></ServerPort>" + extra + "</Configs>"));
    }
    bool initAll() { return initFrameworkFirst() && initFrameworkSecond() && initFrameworkLast(); }

    ScratchHome m_dir;
    QString m_dataDir;
    int m_httpPort = 0;
    int m_wsPort = 0;
};

QTEST_GUILESS_MAIN(TestFramework)
#include "TestFramework.moc"
