// The framework library against real HTTP and WebSocket clients on loopback; parsing and routing also directly, for peers loopback cannot be.
#include "TestSupport.h"

#include "Framework/FrameworkCallbacks.h"
#include "Framework/FrameworkConfig.h"
#include "Framework/FrameworkRouter.h"
#include "Framework/FrameworkRuntime.h"
#include "Framework/FrameworkServer.h"
#include "Framework/HttpRequest.h"
#include "Framework/Framework.h"

#include "Base/Singleton.h"
#include "CommonMethodLib/CommonConfigFileMgr.h"
#include "CommonMethod/UserDataPath.h"

#include <QNetworkInterface>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>
#include <QWebSocket>
#include <algorithm>
#include <atomic>
#include <list>
#include <mutex>

namespace {

std::atomic<QThread*> g_closedOn{nullptr}; // the thread of the host's last close callback
std::mutex g_choicesMutex;
QStringList g_choices; // what the host's skin and language callbacks were handed, and on which thread

// The status code (0: no HTTP answer) and the body, over a connection of its own.
std::pair<int, QByteArray> request(const QByteArray& method, int port, const QByteArray& path, const QByteArray& authorization = {},
                                   const QByteArray& body = {})
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, quint16(port));
    socket.write(method + " " + path + " HTTP/1.0\r\nAuthorization: " + authorization + "\r\nContent-Length: " + QByteArray::number(body.size())
                 + "\r\n\r\n" + body);
    QByteArray reply;
    while (socket.waitForReadyRead(5000))
        reply += socket.readAll();
    return {reply.startsWith("HTTP/1.1 ") ? reply.mid(9, 3).toInt() : 0, reply.mid(reply.indexOf("\r\n\r\n") + 4)};
}

// The code of the first close frame among the host's frames (of up to 64 KB each); 0 when there is none.
int closeCode(const QByteArray& frames)
{
    int at = 0;
    while (at + 4 <= frames.size() && (frames[at] & 0x0F) != 0x8)
        at += 2 + (quint8(frames[at + 1]) == 126 ? (quint8(frames[at + 2]) << 8 | quint8(frames[at + 3])) + 2 : quint8(frames[at + 1]));
    return at + 4 <= frames.size() ? quint8(frames[at + 2]) << 8 | quint8(frames[at + 3]) : 0;
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
        QVERIFY(QDir().mkpath(m_dir.path() + "/Server") && paths.init((m_dir.path() + "/Server/").toStdString(), "Framework.S", 0, 0));
        m_dataDir = QString::fromStdString(paths.getUserDataDir());
        setCloseCallback([](void* user) { g_closedOn = user == &g_closedOn ? QThread::currentThread() : nullptr; }, &g_closedOn);
    }

    void init()
    {
        m_httpPort = tst::freePort(tst::Bind::AnyAddress), m_wsPort = tst::freePort(tst::Bind::AnyAddress);
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
        const QString tokenTemporary = m_dataDir + "." + CFrameworkConfig::kTokenFileName + ".Ab12Cd"; // of a killed start
        QVERIFY(tst::writeOldBytes(tokenTemporary, "0123"));
        QVERIFY(initAll());
        QVERIFY(!QFile::exists(tokenTemporary));
        const QFileInfo tokenFile(m_dataDir + CFrameworkConfig::kTokenFileName);
        QVERIFY(!(tokenFile.permissions() & ~(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser)));
        const QByteArray token = tst::readBytes(tokenFile.filePath());
        QCOMPARE(token.size(), 64);
        QVERIFY(request("GET", m_httpPort, "/").second.contains(QByteArray::number(m_wsPort)));
        QCOMPARE(request("GET", m_httpPort, "/../Setup.xml").first, 404);
        QCOMPARE(request("POST", m_httpPort, "/api/close", "Bearer " + token).first, 200);
        QVERIFY(g_closedOn && g_closedOn != thread()); // with its user pointer, off the main thread

        // A service's state follows its port: served while something listens on it, stopped soon after nothing does.
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost));
        setHostServices("", {{"Probe", probe.serverPort(), 0, {}}});
        const auto probeServed = [this] {
            return QJsonDocument::fromJson(request("GET", m_httpPort, "/api/status").second)["services"][0]["served"].toBool();
        };
        QTRY_VERIFY_WITH_TIMEOUT(probeServed(), 5000);
        probe.close();
        QTRY_VERIFY_WITH_TIMEOUT(!probeServed(), 5000);
        setHostServices("", {});

        // The status at once and every second; an open connection does not keep the port after uninit.
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
        QCOMPARE(request("POST", newHttp, "/api/close", "Bearer " + token).first, 403);
    }

    // The language and skin the host applied (not those it refused) are handed to its callbacks, from the library's thread, at the next start.
    void lastLanguageAndSkinComeBack()
    {
        const auto setCallbacks = [] {
            setLanguageCallback([](int index) {
                const std::lock_guard<std::mutex> lock(g_choicesMutex);
                g_choices << QString::number(index) + (QThread::currentThread() == qApp->thread() ? " main" : "");
                return index != 99;
            });
            setRegisterRccCallback(
                [](const char* name, void*) {
                    const std::lock_guard<std::mutex> lock(g_choicesMutex);
                    g_choices << QString::fromLatin1(name);
                    return QByteArray(name) != "NoSuch";
                },
                nullptr);
        };
        const auto choices = [] {
            const std::lock_guard<std::mutex> lock(g_choicesMutex);
            return g_choices;
        };
        QVERIFY(initAll());
        setCallbacks();
        const QByteArray token = "Bearer " + tst::readBytes(m_dataDir + CFrameworkConfig::kTokenFileName);
        for (const auto& [path, body] :
             {std::pair{"/api/language", "11"}, {"/api/language", "99"}, {"/api/skin", "BlueSkin"}, {"/api/skin", "NoSuch"}})
            request("POST", m_httpPort, path, token, body);
        QCOMPARE(choices(), QStringList({"11", "99", "BlueSkin", "NoSuch"}));
        uninitFramework();
        g_choices.clear();
        QVERIFY(initAll());
        setCallbacks();
        QTRY_COMPARE(choices(), QStringList({"11", "BlueSkin"}));
        setLanguageCallback(nullptr);
        setRegisterRccCallback(nullptr, nullptr);
    }

    // Only an external access setting of exactly "true" opens the ports beyond 127.0.0.1 (to 127.0.0.2 here, which a loopback-only socket refuses).
    void listensOnLoopbackUnlessExternal()
    {
        for (const QByteArray enabled : {"True", "true"}) {
            writeSetup(QByteArray::number(m_wsPort), "<ExternParam><Enabled>" + enabled + "</Enabled></ExternParam>");
            QVERIFY(initAll());
            for (const int port : {m_httpPort, m_wsPort}) {
                QTcpSocket socket;
                socket.connectToHost(QHostAddress("127.0.0.2"), quint16(port));
                QCOMPARE(socket.waitForConnected(5000), enabled == "true");
            }
            uninitFramework();
        }
    }

    // A frame or message over its bound is refused with the protocol's close code, a client that sends pings and never reads is dropped by its pongs
    // alone (long before 32 MB have gone; no status push comes in an hour), close codes and text follow the protocol, a page of another site cannot
    // open a socket. (Unmasked frames are taken: the client's messages are not used anyway.)
    void webSocketRefusesWhatAClientMayNotSend_data()
    {
        QTest::addColumn<QByteArray>("origin");   // of the opening; HTTPPORT stands for the web client's port
        QTest::addColumn<QByteArray>("header");   // written first
        QTest::addColumn<QByteArray>("repeated"); // then again and again
        QTest::addColumn<int>("close");           // the code of the host's close frame; 0: cut off without one; 403: refused opening
        // Frames: final bit and opcode, mask bit and length (126, 127: 2 or 8 bytes follow), a zero mask key.
        const QByteArray mask(4, '\0'), part = QByteArray("\xFE\x40\0", 3) + mask + QByteArray(16 * 1024, 'x');
        const auto frame = [&mask](char first, const QByteArray& payload) {
            return first + QByteArray(1, char(0x80 | payload.size())) + mask + payload;
        };
        QTest::newRow("1 GB frame") << QByteArray() << QByteArray("\x82\xFF\0\0\0\0\x40\0\0\0\0\0\0\0", 14) << QByteArray() << 1009;
        QTest::newRow("message over 64 KB") << QByteArray() << '\x02' + part + ('\x00' + part).repeated(3) + frame('\x80', "x") << QByteArray()
                                            << 1009;
        QTest::newRow("pings, never reading") << QByteArray() << QByteArray() << frame('\x89', QByteArray(125, 'p')) << 0;
        QTest::newRow("invalid UTF-8") << QByteArray() << frame('\x81', "ab\xFF\xFE") << QByteArray() << 1007;
        QTest::newRow("1-byte close") << QByteArray() << frame('\x88', "\x03") << QByteArray() << 1002;
        for (const int code : {0, 999, 1004, 1005, 1006, 1015, 1016, 2999, 5000, 65535, 1000, 1001, 3000, 4999})
            QTest::addRow("close %d", code) << QByteArray() << frame('\x88', QByteArray(1, char(code >> 8)) + char(code)) << QByteArray()
                                            << (code == 1000 || code == 1001 || (code >= 3000 && code < 5000) ? code : 1002);
        QTest::newRow("page of another site") << QByteArray("http://evil.example:HTTPPORT") << QByteArray() << QByteArray() << 403;
        QTest::newRow("the web client's page") << QByteArray("http://localhost:HTTPPORT") << frame('\x88', "\x03\xE8") << QByteArray() << 1000;
    }

    void webSocketRefusesWhatAClientMayNotSend()
    {
        QFETCH(QByteArray, origin);
        QFETCH(QByteArray, header);
        QFETCH(QByteArray, repeated);
        QFETCH(int, close);
        CFrameworkRuntime runtime(3600 * 1000);
        const std::unique_ptr<CFrameworkRuntime, void (*)(CFrameworkRuntime*)> stops(&runtime, [](CFrameworkRuntime* r) { r->uninit(); });
        QVERIFY(runtime.initFirst() && runtime.initSecond() && runtime.initLast());
        QTcpSocket socket;
        socket.setReadBufferSize(64 * 1024); // and reads no more: the host's frames back up
        socket.connectToHost(QHostAddress::LocalHost, quint16(m_wsPort));
        socket.write("GET / HTTP/1.1\r\nHost: 127.0.0.1\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
                     + (origin.isEmpty() ? QByteArray() : "Origin: " + origin.replace("HTTPPORT", QByteArray::number(m_httpPort)) + "\r\n")
                     + "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Version: 13\r\n\r\n");
        QByteArray received;
        QTRY_VERIFY_WITH_TIMEOUT((received += socket.readAll()).contains("\r\n\r\n"), 5000);
        QVERIFY(close == 403 ? received.startsWith("HTTP/1.1 403")
                             : received.startsWith("HTTP/1.1 101") && received.contains("s3pPLMBiTxaQ9kYGzzhZRbK+xOo="));

        for (qint64 pushed = socket.write(header);
             !repeated.isEmpty() && pushed < (32 << 20) && socket.state() == QAbstractSocket::ConnectedState && socket.write(repeated) > 0;
             pushed += repeated.size())
            socket.waitForBytesWritten(1000);
        QTRY_VERIFY_WITH_TIMEOUT((received += socket.readAll(), socket.state() == QAbstractSocket::UnconnectedState), 5000);
        QCOMPARE(close == 403 ? 403 : closeCode(received.mid(received.indexOf("\r\n\r\n") + 4)), close);
    }

    // 1,064 held connections used to take every descriptor and lock everyone out: each server holds its cap at
    // most, dropping the oldest idle one. Neither they nor one page's sockets evict the web client's socket.
    void serversHoldAtMostTheirConnectionCap()
    {
        QVERIFY(initAll());
        const QUrl url(QStringLiteral("ws://127.0.0.1:%1/").arg(m_wsPort));
        QWebSocket webClient(QStringLiteral("http://127.0.0.1:%1").arg(m_httpPort));
        webClient.open(url);
        QTRY_COMPARE_WITH_TIMEOUT(webClient.state(), QAbstractSocket::ConnectedState, 5000);
        std::list<QWebSocket> page; // of another name of this machine
        for (int i = 0; i < 80; ++i)
            page.emplace_back(QStringLiteral("http://localhost:%1").arg(m_httpPort)).open(url);
        QTRY_VERIFY_WITH_TIMEOUT(
            std::none_of(page.begin(), page.end(), [](const QWebSocket& s) { return s.state() == QAbstractSocket::ConnectingState; }), 10000);
        const auto descriptors = [] { return QDir("/proc/self/fd").entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System).size(); };
        const int before = descriptors();
        std::vector<QTcpSocket> clients(1100);
        for (QTcpSocket& client : clients) {
            client.connectToHost(QHostAddress::LocalHost, quint16(m_wsPort));
            QVERIFY(client.waitForConnected(5000));
        }
        QTRY_COMPARE_WITH_TIMEOUT(clients.front().state(), QAbstractSocket::UnconnectedState, 5000);
        QTest::qWait(500);
        QVERIFY(descriptors() - before <= 2 * CFrameworkServer::kMaxConnections + 8); // both ends of each held connection
        QCOMPARE(clients.back().state(), QAbstractSocket::ConnectedState);            // the newest held, not refused
        QCOMPARE(webClient.state(), QAbstractSocket::ConnectedState);
    }

    // One connection: how requests parse, which keep it open, answered in order however many arrive at once.
    void parseAndKeepAlive_data()
    {
        QTest::addColumn<QByteArray>("requests");
        QTest::addColumn<QByteArray>("answers"); // status/Connection header of each answer, in order
        const QByteArray get11 = "GET /none HTTP/1.1\r\nHost: localhost\r\n\r\n", get10 = "GET /none HTTP/1.0\r\n\r\n";
        QTest::newRow("1.1 kept, 2000 pipelined") << get11.repeated(2000) << QByteArray("404/keep-alive ").repeated(2000).trimmed();
        QTest::newRow("1.1 close, the rest unread")
            << get11 + "GET /?x=1 HTTP/1.1\r\nHost: [::1]:PORT\r\nConnection: TE, Close\r\n\r\n" + get11 << QByteArray("404/keep-alive 200/close");
        QTest::newRow("1.0 kept when asked") << "GET / HTTP/1.0\r\nConnection: Keep-Alive\r\n\r\n" + get10 << QByteArray("200/keep-alive 404/close");
        QTest::newRow("body by its length, bad request closes")
            << "POST /api/status HTTP/1.1\r\nHost: 127.0.0.1:PORT\r\ncontent-length: 2\r\n\r\n12" + get11 + "GET\r\n\r\n" + get11
            << QByteArray("405/keep-alive 404/keep-alive 400/close");
        // A page of another site that its own name now leads here (DNS rebinding) is refused, not this machine's.
        QList<QByteArray> hosts{"evil.example:PORT", "", "127.0.0.1:1", "evil.example@localhost:PORT", "LocalHost:PORT"};
        for (const QHostAddress& address : QNetworkInterface::allAddresses()) {
            if (address.protocol() == QAbstractSocket::IPv4Protocol)
                hosts << address.toString().toLatin1() + ":PORT";
        }
        for (int i = 0; i < hosts.size(); ++i)
            QTest::addRow("Host %s", hosts[i].constData()) << "GET /api/status HTTP/1.1\r\nHost: " + hosts[i] + "\r\n\r\n"
                                                           << QByteArray(i < 4 ? "421/keep-alive" : "200/keep-alive");
        QTest::newRow("two lengths") << QByteArray("POST /a HTTP/1.1\r\nHost: localhost\r\nContent-Length: 1\r\nContent-Length: 2\r\n\r\nab")
                                     << QByteArray("400/close");
        QTest::newRow("signed length") << QByteArray("POST /a HTTP/1.1\r\nHost: localhost\r\nContent-Length: +37\r\n\r\n") << QByteArray("400/close");
        QTest::newRow("1.1 without Host") << QByteArray("GET / HTTP/1.1\r\n\r\n") << QByteArray("400/close");
        QTest::newRow("two Hosts") << QByteArray("GET / HTTP/1.1\r\nHost: localhost\r\nHost: localhost\r\n\r\n") << QByteArray("400/close");
        QTest::newRow("HTTP/1.9") << QByteArray("GET / HTTP/1.9\r\nHost: localhost\r\n\r\n") << QByteArray("505/close");
        QTest::newRow("blank before colon") << QByteArray("GET / HTTP/1.1\r\nHost: localhost\r\nHost : evil.example\r\n\r\n")
                                            << QByteArray("400/close");
        QTest::newRow("bare LF") << QByteArray("GET / HTTP/1.1\nHost: localhost\n\n") << QByteArray("400/close");
        QTest::newRow("body incomplete") << QByteArray("POST /a HTTP/1.1\r\nContent-Length: 5\r\n\r\nab") << QByteArray();
        QTest::newRow("chunked") << QByteArray("POST /a HTTP/1.1\r\nHost: localhost\r\nTransfer-Encoding: chunked\r\n\r\n")
                                 << QByteArray("400/close");
        QTest::newRow("huge body") << QByteArray("POST /a HTTP/1.1\r\nHost: localhost\r\nContent-Length: 999999\r\n\r\n") << QByteArray("413/close");
        QTest::newRow("endless head") << "GET /" + QByteArray(CHttpRequest::kMaxHeaderBytes + 10, 'a') << QByteArray("413/close");
    }

    void parseAndKeepAlive()
    {
        QFETCH(QByteArray, requests);
        QFETCH(QByteArray, answers);
        CFrameworkCallbacks callbacks;
        CFrameworkServer server(callbacks, [] { return FrameworkStatus(); });
        QVERIFY(server.startHttp(quint16(m_httpPort)));
        QTcpSocket client;
        client.connectToHost(QHostAddress::LocalHost, quint16(m_httpPort));
        client.write(requests.replace("PORT", QByteArray::number(m_httpPort)));
        const QList<QByteArray> expected = answers.isEmpty() ? QList<QByteArray>() : answers.split(' ');
        const bool closes = !expected.isEmpty() && expected.last().endsWith("close");
        QByteArray received;
        QVERIFY(QTest::qWaitFor(
            [&] {
                received += client.readAll();
                return received.count("HTTP/1.1 ") >= expected.size() && (!closes || client.state() == QAbstractSocket::UnconnectedState);
            },
            10000));
        QTest::qWait(100); // a kept connection stays open, with nothing more said
        received += client.readAll();
        QCOMPARE(client.state() == QAbstractSocket::ConnectedState, !closes);
        QList<QByteArray> said;
        for (int at = received.indexOf("HTTP/1.1 "); at >= 0; at = received.indexOf("HTTP/1.1 ", at + 1)) {
            const int connection = received.indexOf("\r\nConnection: ", at) + 14;
            said << received.mid(at + 9, 3) + '/' + received.mid(connection, received.indexOf("\r\n", connection) - connection);
        }
        QCOMPARE(said, expected);
    }

    void routerChecksPeerTokenAndBody_data()
    {
        QTest::addColumn<QString>("peer");
        QTest::addColumn<QByteArray>("request"); // path, then the authorization's token and the body
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("call"); // what reached the host; empty: nothing
        QTest::newRow("mapped loopback") << "::ffff:127.0.0.1" << QByteArray("/api/reboot feedbeef") << 200 << "reboot";
        QTest::newRow("lan v4") << "192.168.1.20" << QByteArray("/api/close feedbeef") << 403 << "";
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
        post.parse("POST " + parts[0] + " HTTP/1.0\r\nAuthorization: Bearer " + parts.value(1)
                   + "\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" + body);
        // A host with the languages 0 to 36 and one skin it can load.
        CFrameworkCallbacks callbacks;
        static QStringList routed;
        callbacks.setClose([](void*) { routed << "close"; }, nullptr);
        callbacks.setReboot([](void*) { routed << "reboot"; }, nullptr);
        callbacks.setDelayClose([](void*) { routed << "delay-close"; }, nullptr);
        callbacks.setLanguage([](int index) { return routed << QString::number(index), index <= 36; });
        callbacks.setRegisterRcc([](const char* name, void*) { return routed << name, QByteArray(name) == "BlueSkin"; }, nullptr);
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
        QVERIFY(tst::writeBytes(m_dataDir + "Setup.xml",
                                "<Configs><ServerPort><WebSocket>" + wsPort + "</WebSocket></ServerPort>" + extra + "</Configs>"));
    }
    bool initAll() { return initFrameworkFirst() && initFrameworkSecond() && initFrameworkLast(); }

    ScratchHome m_dir;
    QString m_dataDir;
    int m_httpPort = 0, m_wsPort = 0;
};

QTEST_GUILESS_MAIN(TestFramework)
#include "TestFramework.moc"
