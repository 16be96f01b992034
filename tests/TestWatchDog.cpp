// The host's heartbeat thread, through the watchdog library, against a notify socket bound by the test and read by a
// thread of its own (the main thread is blocked on purpose).
#include "WatchDog.h"
#include "controller/XMLConfigManager.h"

#include "TestSupport.h"

#include <QElapsedTimer>
#include <QThread>
#include <QtTest>

#include <atomic>
#include <climits>
#include <mutex>
#include <thread>

namespace {

// Every datagram of the notify socket with the time it arrived.
class Recorder
{
public:
    explicit Recorder(tst::NotifySocket& socket)
        : m_thread([this, &socket] {
            while (!m_done) {
                const QStringList said = socket.drain();
                std::lock_guard<std::mutex> lock(m_mutex);
                for (const QString& state : said)
                    m_said.append({m_clock.elapsed(), state});
                QThread::msleep(5);
            }
        })
    {
        m_clock.start();
    }
    ~Recorder()
    {
        m_done = true;
        m_thread.join();
    }
    qint64 now() const { return m_clock.elapsed(); }
    // The states received in (from, to] milliseconds.
    QStringList said(qint64 from = -1, qint64 to = LLONG_MAX)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        QStringList states;
        for (const auto& [at, state] : m_said) {
            if (at > from && at <= to)
                states << state;
        }
        return states;
    }

private:
    QElapsedTimer m_clock;
    std::mutex m_mutex;
    QList<QPair<qint64, QString>> m_said;
    std::atomic<bool> m_done{false};
    std::thread m_thread;
};

} // namespace

class TestWatchDog : public QObject
{
    Q_OBJECT

private slots:
    // Says what the host serves, then beats every period while the main event loop turns. Blocked for three beats, the loop gets no beat after the
    // one it had earned before; turning again, it gets them back. Then it says it stops on purpose, and no beat follows.
    void beatsWhileTheMainLoopTurns()
    {
        constexpr int period = 300;
        tst::NotifySocket notify(dir.filePath("beats.sock"));
        Recorder recorder(notify);
        auto& config = Base::CSingleton<serverframework::XMLConfigManager>::Instance();
        config.httpPort = 16100;
        config.webSocketPort = 16101;
        serverframework::WatchDog watchDog(period);
        QVERIFY(watchDog.start());
        QTest::qWait(3 * period);
        const qint64 blockStart = recorder.now();
        QThread::msleep(3 * period);
        const qint64 blockEnd = recorder.now();
        QTest::qWait(3 * period);
        watchDog.stop(); // its result is always true: what it sent is checked below
        QThread::msleep(period);

        const QStringList all = recorder.said();
        QCOMPARE(all.mid(0, 2), QStringList({"READY=1", "STATUS=Web client http://127.0.0.1:16100/, WebSocket port 16101"}));
        QVERIFY2(recorder.said(-1, blockStart).count("WATCHDOG=1") >= 2, qPrintable(all.join(',')));
        QVERIFY2(recorder.said(blockStart + period * 3 / 2, blockEnd).isEmpty(), qPrintable(all.join(',')));
        QVERIFY2(recorder.said(blockEnd).count("WATCHDOG=1") >= 1, qPrintable(all.join(',')));
        QCOMPARE(all.last(), QString("STOPPING=1"));
        QCOMPARE(all.count("STOPPING=1"), 1);
    }

    // A long period does not hold the stop up.
    void stopsAtOnce()
    {
        tst::NotifySocket notify(dir.filePath("long.sock"));
        serverframework::WatchDog watchDog(60000);
        QVERIFY(watchDog.start());
        QElapsedTimer clock;
        clock.start();
        watchDog.stop();
        QVERIFY(clock.elapsed() < 30000); // not the period's 60 s, with room for a loaded machine
        QCOMPARE(notify.drain().filter("WATCHDOG"), QStringList());
    }

private:
    QTemporaryDir dir;
};

QTEST_GUILESS_MAIN(TestWatchDog)
#include "TestWatchDog.moc"
