// The watchdog library against a notify socket bound by the test.

#include "WatchDog/WatchDog.h"

#include <QTemporaryDir>
#include <QTest>

#include "TestSupport.h"

using tst::NotifySocket;

class TestWatchDogLib : public QObject
{
    Q_OBJECT

private slots:
    void notifiesReadyAliveAndStopping();
    void withoutNotifySocketNothingFails();
    void unknownCodeSendsNothing();
};

void TestWatchDogLib::notifiesReadyAliveAndStopping()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.path() + "/notify";
    NotifySocket socket(path);
    QVERIFY(socket.bound());

    QCOMPARE(OpenWatchDog(5), 0);
    QCOMPARE(SendHeartbeat(0), 0);
    QCOMPARE(SendHeartbeat(0), 0);
    QCOMPARE(SendHeartbeat(2), 0);
    QCOMPARE(socket.receive(), QByteArray("READY=1"));
    QCOMPARE(socket.receive(), QByteArray("WATCHDOG=1"));
    QCOMPARE(socket.receive(), QByteArray("WATCHDOG=1"));
    QCOMPARE(socket.receive(), QByteArray("STOPPING=1"));
    QVERIFY(!socket.hasMessage());
}

void TestWatchDogLib::withoutNotifySocketNothingFails()
{
    qunsetenv("NOTIFY_SOCKET");
    QCOMPARE(OpenWatchDog(5), 0);
    QCOMPARE(SendHeartbeat(0), 0);
    QCOMPARE(SendHeartbeat(2), 0);
}

void TestWatchDogLib::unknownCodeSendsNothing()
{
    QTemporaryDir dir;
    const QString path = dir.path() + "/notify";
    NotifySocket socket(path);
    QVERIFY(socket.bound());
    QCOMPARE(SendHeartbeat(7), -1);
    QVERIFY(!socket.hasMessage());
    // A socket that is gone is reported, not ignored.
    qputenv("NOTIFY_SOCKET", (dir.path() + "/missing").toLocal8Bit());
    QCOMPARE(SendHeartbeat(0), -1);
}

QTEST_GUILESS_MAIN(TestWatchDogLib)
#include "TestWatchDogLib.moc"
