// The framework's request parsing and routing, with peers that a loopback
// test cannot produce (remote addresses).

#include "FrameworkCallbacks.h"
#include "FrameworkRouter.h"
#include "HttpRequest.h"

#include <QHostAddress>
#include <QTest>

namespace {

int g_closeCalls = 0;
void onClose(void*) { ++g_closeCalls; }
// A host that can apply one skin only.
bool onSkin(const char* name, void*) { return QByteArray(name) == "BlueSkin"; }

const QByteArray kToken = "feedbeef";

QByteArray post(const QByteArray& path, const QByteArray& authorization, const QByteArray& body = QByteArray())
{
    QByteArray raw = "POST " + path + " HTTP/1.1\r\nHost: x\r\n";
    if (!authorization.isEmpty())
        raw += "Authorization: " + authorization + "\r\n";
    raw += "Content-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" + body;
    return raw;
}

} // namespace

class TestFrameworkRouter : public QObject
{
    Q_OBJECT

private slots:
    void parse_data();
    void parse();
    void controlNeedsLoopbackAndToken_data();
    void controlNeedsLoopbackAndToken();
    void languageAndSkinBodiesAreChecked_data();
    void languageAndSkinBodiesAreChecked();
};

void TestFrameworkRouter::parse_data()
{
    QTest::addColumn<QByteArray>("raw");
    QTest::addColumn<int>("result");
    QTest::addColumn<QByteArray>("path");
    QTest::addColumn<QByteArray>("body");
    using P = CHttpRequest::Parse;
    QTest::newRow("get") << QByteArray("GET /api/status?x=1 HTTP/1.1\r\nHost: a\r\n\r\n") << int(P::Complete)
                         << QByteArray("/api/status") << QByteArray();
    QTest::newRow("head incomplete") << QByteArray("GET / HTTP/1.1\r\nHost: a\r\n") << int(P::Incomplete)
                                     << QByteArray() << QByteArray();
    QTest::newRow("body incomplete") << QByteArray("POST /a HTTP/1.1\r\nContent-Length: 5\r\n\r\nab")
                                     << int(P::Incomplete) << QByteArray() << QByteArray();
    QTest::newRow("body") << QByteArray("POST /a HTTP/1.0\r\ncontent-length: 2\r\n\r\n12") << int(P::Complete)
                          << QByteArray("/a") << QByteArray("12");
    QTest::newRow("bad request line") << QByteArray("GET\r\n\r\n") << int(P::Bad) << QByteArray() << QByteArray();
    QTest::newRow("bad length") << QByteArray("POST /a HTTP/1.1\r\nContent-Length: -3\r\n\r\n") << int(P::Bad)
                                << QByteArray() << QByteArray();
    QTest::newRow("chunked") << QByteArray("POST /a HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n") << int(P::Bad)
                             << QByteArray() << QByteArray();
    QTest::newRow("huge body") << QByteArray("POST /a HTTP/1.1\r\nContent-Length: 999999\r\n\r\n")
                               << int(P::TooLarge) << QByteArray() << QByteArray();
    QTest::newRow("endless head") << QByteArray(CHttpRequest::kMaxHeaderBytes + 10, 'a') << int(P::TooLarge)
                                  << QByteArray() << QByteArray();
}

void TestFrameworkRouter::parse()
{
    QFETCH(QByteArray, raw);
    QFETCH(int, result);
    QFETCH(QByteArray, path);
    QFETCH(QByteArray, body);
    CHttpRequest request;
    QCOMPARE(int(request.parse(raw)), result);
    if (result == int(CHttpRequest::Parse::Complete)) {
        QCOMPARE(request.path(), path);
        QCOMPARE(request.body(), body);
    }
}

void TestFrameworkRouter::controlNeedsLoopbackAndToken_data()
{
    QTest::addColumn<QString>("peer");
    QTest::addColumn<QByteArray>("authorization");
    QTest::addColumn<int>("status");
    QTest::newRow("loopback v4") << "127.0.0.1" << "Bearer " + kToken << 200;
    QTest::newRow("loopback v4 other") << "127.0.0.2" << "Bearer " + kToken << 200;
    QTest::newRow("loopback v6") << "::1" << "Bearer " + kToken << 200;
    QTest::newRow("mapped loopback") << "::ffff:127.0.0.1" << "Bearer " + kToken << 200;
    QTest::newRow("lan v4") << "192.168.1.20" << "Bearer " + kToken << 403;
    QTest::newRow("mapped lan") << "::ffff:10.0.0.7" << "Bearer " + kToken << 403;
    QTest::newRow("lan v6") << "fe80::1" << "Bearer " + kToken << 403;
    QTest::newRow("no header") << "127.0.0.1" << QByteArray() << 403;
    QTest::newRow("prefix of token") << "127.0.0.1" << QByteArray("Bearer feed") << 403;
    QTest::newRow("longer token") << "127.0.0.1" << "Bearer " + kToken + "0" << 403;
    QTest::newRow("basic scheme") << "127.0.0.1" << "Basic " + kToken << 403;
}

void TestFrameworkRouter::controlNeedsLoopbackAndToken()
{
    QFETCH(QString, peer);
    QFETCH(QByteArray, authorization);
    QFETCH(int, status);
    CFrameworkCallbacks callbacks;
    callbacks.setClose(onClose, nullptr);
    CFrameworkRouter router(callbacks, [] { return FrameworkStatus(); });
    router.setToken(kToken);
    CHttpRequest request;
    QCOMPARE(request.parse(post("/api/close", authorization)), CHttpRequest::Parse::Complete);

    g_closeCalls = 0;
    QCOMPARE(router.handle(request, QHostAddress(peer)).status(), status);
    QCOMPARE(g_closeCalls, status == 200 ? 1 : 0);

    // Without a token nothing is ever served.
    router.setToken(QByteArray());
    g_closeCalls = 0;
    QCOMPARE(router.handle(request, QHostAddress(peer)).status(), 403);
    QCOMPARE(g_closeCalls, 0);
}

void TestFrameworkRouter::languageAndSkinBodiesAreChecked_data()
{
    QTest::addColumn<QByteArray>("path");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<int>("status");
    QTest::addColumn<int>("language"); // -1: no language call
    QTest::addColumn<QByteArray>("reason"); // in the answer's body
    QTest::newRow("language") << QByteArray("/api/language") << QByteArray("19") << 200 << 19 << QByteArray("OK");
    QTest::newRow("language blank") << QByteArray("/api/language") << QByteArray(" 3\r\n") << 200 << 3
                                    << QByteArray("OK");
    QTest::newRow("language text") << QByteArray("/api/language") << QByteArray("en") << 400 << -1
                                   << QByteArray("not a number");
    QTest::newRow("language negative") << QByteArray("/api/language") << QByteArray("-1") << 400 << -1
                                       << QByteArray("not a number");
    QTest::newRow("language the host refuses") << QByteArray("/api/language") << QByteArray("99999") << 400
                                               << 99999 << QByteArray("language 99999 is not one the host");
    QTest::newRow("skin") << QByteArray("/api/skin") << QByteArray("BlueSkin") << 200 << -1 << QByteArray("OK");
    QTest::newRow("skin empty") << QByteArray("/api/skin") << QByteArray() << 400 << -1 << QByteArray("empty");
    QTest::newRow("skin that fails to load") << QByteArray("/api/skin") << QByteArray("NoSuch\x01Skin") << 400 << -1
                                             << QByteArray("skin NoSuch?Skin cannot be loaded");
    QTest::newRow("unknown action") << QByteArray("/api/format-disk") << QByteArray() << 404 << -1
                                    << QByteArray("Not Found");
    QTest::newRow("close unset") << QByteArray("/api/close") << QByteArray() << 503 << -1
                                 << QByteArray("Unavailable");
}

void TestFrameworkRouter::languageAndSkinBodiesAreChecked()
{
    QFETCH(QByteArray, path);
    QFETCH(QByteArray, body);
    QFETCH(int, status);
    QFETCH(int, language);
    QFETCH(QByteArray, reason);
    CFrameworkCallbacks callbacks;
    int received = -1;
    // A host with the languages 0 to 36.
    callbacks.setLanguage([&received](int index) {
        received = index;
        return index <= 36;
    });
    callbacks.setRegisterRcc(onSkin, nullptr);
    CFrameworkRouter router(callbacks, [] { return FrameworkStatus(); });
    router.setToken(kToken);
    CHttpRequest request;
    QCOMPARE(request.parse(post(path, "Bearer " + kToken, body)), CHttpRequest::Parse::Complete);
    const CHttpResponse response = router.handle(request, QHostAddress::LocalHost);
    QCOMPARE(response.status(), status);
    QVERIFY2(response.body().contains(reason), response.body().constData());
    QCOMPARE(received, language);
}

QTEST_GUILESS_MAIN(TestFrameworkRouter)
#include "TestFrameworkRouter.moc"
