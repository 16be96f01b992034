// The watchdog library and the host's heartbeat thread against a notify
// socket bound by the test.
#include "WatchDog.h"
#include "WatchDog/WatchDog.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>
#include "TestSupport.h"

using tst::NotifySocket;

class TestWatchDog : public QObject
{
    Q_OBJECT

private slots:
    void library()
    {
        {
            NotifySocket socket(dir.filePath("lib.sock"));
            QVERIFY(socket.bound());
            QVERIFY(OpenWatchDog(5) == 0 && SendHeartbeat(0) == 0 && SendHeartbeat(2) == 0);
            QCOMPARE(SendHeartbeat(7), -1); // unknown code: nothing sent
            QCOMPARE(socket.drain(), QStringList({"READY=1", "WATCHDOG=1", "STOPPING=1"}));
            qputenv("NOTIFY_SOCKET", dir.filePath("missing").toLocal8Bit());
            QCOMPARE(SendHeartbeat(0), -1); // a socket that is gone is reported
        }
        QVERIFY(OpenWatchDog(5) == 0 && SendHeartbeat(0) == 0); // no socket named: nothing fails
    }

    void beatsUntilStoppedThenSaysStopping()
    {
        NotifySocket notify(dir.filePath("beat.sock"));
        serverframework::WatchDog watchDog(100);
        QVERIFY(watchDog.start());
        QThread::msleep(550);
        const QStringList before = notify.drain();
        QVERIFY2(before.value(0) == "READY=1" && before.count("WATCHDOG=1") >= 3 && !before.contains("STOPPING=1"),
                 qPrintable(before.join(',')));
        QVERIFY(watchDog.stop());
        QCOMPARE(notify.drain().last(), QString("STOPPING=1"));
        QThread::msleep(300);
        QVERIFY(notify.drain().isEmpty()); // no beat after stop
    }

    void stopEndsTheWaitAtOnce()
    {
        NotifySocket notify(dir.filePath("long.sock"));
        serverframework::WatchDog watchDog(60000);
        QVERIFY(watchDog.start());
        QElapsedTimer clock;
        clock.start();
        QVERIFY(watchDog.stop() && clock.elapsed() < 30000);
        QCOMPARE(notify.drain(), QStringList({"READY=1", "STOPPING=1"}));
        serverframework::WatchDog never(60000);
        QVERIFY(never.stop());
        QCOMPARE(notify.drain(), QStringList({"STOPPING=1"}));
    }

private:
    QTemporaryDir dir;
};

QTEST_GUILESS_MAIN(TestWatchDog)
#include "TestWatchDog.moc"
