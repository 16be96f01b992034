#include "WatchDog.h"

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
    void initTestCase()
    {
        QVERIFY(dir.isValid());
    }

    void beatsUntilStoppedThenSaysStopping()
    {
        NotifySocket notify(dir.filePath("beat.sock"));
        QVERIFY(notify.bound());
        serverframework::WatchDog watchDog(100);
        QVERIFY(watchDog.start());
        QThread::msleep(550);
        QStringList before = notify.drain();
        QVERIFY(!before.contains("STOPPING=1"));
        QCOMPARE(before.value(0), QString("READY=1"));
        QVERIFY2(before.count("WATCHDOG=1") >= 3, qPrintable(before.join(',')));

        QVERIFY(watchDog.stop());
        const QStringList after = notify.drain();
        QVERIFY(!after.isEmpty());
        QCOMPARE(after.last(), QString("STOPPING=1"));
        QCOMPARE(after.count("STOPPING=1"), 1);

        // Nothing beats any more after stop.
        QThread::msleep(300);
        QVERIFY(notify.drain().isEmpty());
    }

    void stopEndsTheWaitAtOnce()
    {
        NotifySocket notify(dir.filePath("long.sock"));
        serverframework::WatchDog watchDog(60000);
        QVERIFY(watchDog.start());
        QElapsedTimer clock;
        clock.start();
        QVERIFY(watchDog.stop());
        // Far below the period: signalling the event ended the wait.
        QVERIFY2(clock.elapsed() < 30000, qPrintable(QString::number(clock.elapsed())));
        const QStringList sent = notify.drain();
        QCOMPARE(sent, QStringList({"READY=1", "STOPPING=1"}));
    }

    void stopWithoutStartStillSaysStopping()
    {
        NotifySocket notify(dir.filePath("never.sock"));
        serverframework::WatchDog watchDog(60000);
        QVERIFY(watchDog.stop());
        QCOMPARE(notify.drain(), QStringList({"STOPPING=1"}));
    }

private:
    QTemporaryDir dir;
};

QTEST_GUILESS_MAIN(TestWatchDog)
#include "TestWatchDog.moc"
