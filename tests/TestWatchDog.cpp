// The host's heartbeat thread, through the watchdog library, against a
// notify socket bound by the test.
#include "WatchDog.h"

#include "TestSupport.h"

#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

class TestWatchDog : public QObject
{
    Q_OBJECT

private slots:
    // Beats every period until stopped, then says it stops on purpose; a
    // long period does not hold the stop up.
    void beatsUntilStoppedThenSaysStopping_data()
    {
        QTest::addColumn<int>("period");
        QTest::addColumn<int>("beats");
        QTest::newRow("100 ms") << 100 << 3;
        QTest::newRow("one minute") << 60000 << 0;
    }
    void beatsUntilStoppedThenSaysStopping()
    {
        QFETCH(int, period);
        QFETCH(int, beats);
        tst::NotifySocket notify(dir.filePath(QString("%1.sock").arg(period)));
        serverframework::WatchDog watchDog(period);
        QVERIFY(watchDog.start());
        QThread::msleep(550);
        const QStringList said = notify.drain();
        QVERIFY2(said.value(0) == "READY=1" && said.count("WATCHDOG=1") >= beats, qPrintable(said.join(',')));
        QVERIFY(watchDog.stop());
        QCOMPARE(notify.drain().filter("STOPPING"), QStringList{"STOPPING=1"});
        QThread::msleep(300);
        QVERIFY(notify.drain().isEmpty()); // no beat after stop
    }

private:
    QTemporaryDir dir;
};

QTEST_GUILESS_MAIN(TestWatchDog)
#include "TestWatchDog.moc"
