// The framework library through its exported functions, against real HTTP
// and WebSocket clients on loopback.

#include "TestFrameworkSupport.h"
#include "TestScratch.h"

#include "FrameworkConfig.h"
#include "FrameworkServer.h"
#include "Framework/Framework.h"

#include "Base/Singleton.h"
#include "CommonMethodLib/CommonConfigFileMgr.h"
#include "UserDataPath.h"

#include "TestSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QThread>
#include <QWebSocket>
#include <algorithm>
#include <memory>
#include <mutex>
#include <vector>

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

// Resident memory of this process (the library serves from one of its
// threads), in bytes.
qint64 residentBytes()
{
    const QByteArray status = tst::readBytes(QStringLiteral("/proc/self/status"));
    const int at = status.indexOf("VmRSS:");
    return at < 0 ? -1 : status.mid(at + 6, status.indexOf('\n', at) - at - 6).trimmed().split(' ').first().toLongLong() * 1024;
}

int openDescriptors()
{
    return QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System).size();
}

// A client that speaks the WebSocket protocol byte by byte: the opening
// handshake, then whatever frames a test writes.
bool openRawWebSocket(QTcpSocket& socket, int port)
{
    socket.connectToHost(QHostAddress::LocalHost, static_cast<quint16>(port));
    if (!socket.waitForConnected(5000))
        return false;
    socket.write("GET / HTTP/1.1\r\nHost: 127.0.0.1\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
                 "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Version: 13\r\n\r\n");
    QByteArray head;
    while (!head.contains("\r\n\r\n") && socket.waitForReadyRead(5000))
        head += socket.readAll();
    return head.startsWith("HTTP/1.1 101") && head.contains("Sec-WebSocket-Accept: s3pPLMBiTxaQ9kYGzzhZRbK+xOo=");
}

// The close code of the first close frame among the server's frames; -1
// when there is none.
int serverCloseCode(const QByteArray& frames)
{
    int at = 0;
    while (at + 2 <= frames.size()) {
        const int length7 = quint8(frames[at + 1]) & 0x7F;
        const int lengthBytes = length7 == 126 ? 2 : length7 == 127 ? 8 : 0;
        qint64 length = length7 < 126 ? length7 : 0;
        for (int i = 0; i < lengthBytes && at + 2 + i < frames.size(); ++i)
            length = (length << 8) | quint8(frames[at + 2 + i]);
        const int payload = at + 2 + lengthBytes;
        if ((quint8(frames[at]) & 0x0F) == 0x8)
            return payload + 2 <= frames.size() ? (quint8(frames[payload]) << 8) | quint8(frames[payload + 1]) : -1;
        at = payload + int(length);
    }
    return -1;
}

// A client frame header: opcode with the final bit as given, a mask key of
// zeros when masked (so the payload goes as it is).
QByteArray frameHeader(quint8 opcode, bool final, quint64 length, bool masked)
{
    QByteArray header;
    header += char((final ? 0x80 : 0) | opcode);
    const char maskBit = masked ? char(0x80) : 0;
    const int lengthBytes = length < 126 ? 0 : length < 65536 ? 2 : 8;
    header += char(maskBit | (lengthBytes == 0 ? char(length) : lengthBytes == 2 ? 126 : 127));
    for (int shift = 8 * (lengthBytes - 1); shift >= 0; shift -= 8)
        header += char((length >> shift) & 0xFF);
    if (masked)
        header += QByteArray(4, '\0');
    return header;
}

void onReboot(void* user) { record("reboot", QString(), user); }
void onClose(void* user) { record("close", QString(), user); }
void onDelayClose(void* user) { record("delay-close", QString(), user); }
bool onSkin(const char* skin, void* user)
{
    record("skin", QString::fromUtf8(skin), user);
    return true;
}

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
    void webSocketRefusesWhatAClientMayNotSend_data();
    void webSocketRefusesWhatAClientMayNotSend();
    void serversHoldAtMostTheirConnectionCap_data();
    void serversHoldAtMostTheirConnectionCap();
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
    setLanguageCallback([](int index) {
        record("language", QString::number(index), &g_user);
        return true;
    });
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

// One unauthenticated client used to push the host to 1 GB: now the frame or
// message is refused at its bound, the connection closed with the protocol's
// code, and the memory of the host barely moves.
void TestFramework::webSocketRefusesWhatAClientMayNotSend_data()
{
    QTest::addColumn<QByteArray>("header");  // written first
    QTest::addColumn<QByteArray>("repeated"); // then written again and again
    QTest::addColumn<int>("closeCode");
    const qint64 fragment = 16 * 1024;
    QTest::newRow("unmasked frame") << frameHeader(0x1, true, 5, false) + "hello" << QByteArray() << 1002;
    QTest::newRow("1 GB frame") << frameHeader(0x2, true, 1ull << 30, true) << QByteArray(64 * 1024, 'x') << 1009;
    QTest::newRow("endless message of small frames")
        << frameHeader(0x2, false, fragment, true) + QByteArray(fragment, 'x')
        << frameHeader(0x0, false, fragment, true) + QByteArray(fragment, 'x') << 1009;
}

void TestFramework::webSocketRefusesWhatAClientMayNotSend()
{
    QFETCH(QByteArray, header);
    QFETCH(QByteArray, repeated);
    QFETCH(int, closeCode);
    const qint64 pushBytes = 128 * 1024 * 1024;
    const qint64 memoryBar = 32 * 1024 * 1024;
    QVERIFY(initAll());
    QTcpSocket socket;
    QVERIFY(openRawWebSocket(socket, m_webSocketPort));
    QByteArray received;
    const qint64 before = residentBytes();
    qint64 peak = before;
    qint64 pushed = socket.write(header);
    while (!repeated.isEmpty() && pushed < pushBytes && socket.state() == QAbstractSocket::ConnectedState) {
        if (socket.write(repeated) < 0)
            break;
        pushed += repeated.size();
        socket.waitForBytesWritten(1000);
        received += socket.readAll();
        peak = std::max(peak, residentBytes());
    }
    // The status keeps coming while the connection stays open: wait a bounded time.
    QElapsedTimer waited;
    waited.start();
    while (socket.state() == QAbstractSocket::ConnectedState && waited.elapsed() < 5000 &&
           socket.waitForReadyRead(1000))
        received += socket.readAll();
    received += socket.readAll();
    peak = std::max(peak, residentBytes());

    // The status the server pushes comes first; the close frame ends it all.
    QCOMPARE(serverCloseCode(received), closeCode);
    QTRY_COMPARE_WITH_TIMEOUT(socket.state(), QAbstractSocket::UnconnectedState, 5000);
    QVERIFY2(peak - before < memoryBar, qPrintable(QString("resident memory grew by %1 MB after %2 MB pushed")
                                                      .arg((peak - before) >> 20).arg(pushed >> 20)));
}

void TestFramework::serversHoldAtMostTheirConnectionCap_data()
{
    QTest::addColumn<bool>("webSocket");
    QTest::newRow("http") << false;
    QTest::newRow("websocket") << true;
}

// 1,064 held connections used to take every descriptor of the host and lock
// everyone out: each server now holds its cap at most, dropping the oldest
// idle connection, and a new client is served.
void TestFramework::serversHoldAtMostTheirConnectionCap()
{
    QFETCH(bool, webSocket);
    const int port = webSocket ? m_webSocketPort : m_httpPort;
    const int flood = 1100;
    QVERIFY(initAll());
    const int before = openDescriptors();
    std::vector<std::unique_ptr<QTcpSocket>> clients;
    for (int i = 0; i < flood; ++i) {
        clients.push_back(std::make_unique<QTcpSocket>());
        clients.back()->connectToHost(QHostAddress::LocalHost, static_cast<quint16>(port));
        QVERIFY2(clients.back()->waitForConnected(5000), qPrintable(QString::number(i)));
    }
    // Descriptors of both ends, once the server has taken every connection
    // (a client whose connection was dropped closes its socket).
    int used = 0;
    int last = -1;
    for (int round = 0; round < 50 && used != last; ++round) {
        last = used;
        QTest::qWait(100);
        used = openDescriptors() - before;
    }
    QVERIFY2(used <= 2 * CFrameworkServer::kMaxConnections + 8, qPrintable(QString::number(used)));
    QTRY_COMPARE_WITH_TIMEOUT(clients.front()->state(), QAbstractSocket::UnconnectedState, 5000);
    QCOMPARE(clients.back()->state(), QAbstractSocket::ConnectedState);

    if (webSocket) {
        QWebSocket socket;
        QSignalSpy messages(&socket, &QWebSocket::textMessageReceived);
        socket.open(QUrl(QStringLiteral("ws://127.0.0.1:%1/").arg(port)));
        QTRY_VERIFY_WITH_TIMEOUT(messages.count() >= 1, 5000);
    } else {
        QCOMPARE(httpRequest("GET", port, "/api/status").status, 200);
    }
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
