// The portable runtime (files, events, dynamic loading; its threads run
// under the watchdog test) and the notification loop: its own thread,
// order, cancelling, weak references.
#include "Base/MessageLoop.h"
#include "ZRT/ZRT.h"

#include "TestSupport.h"

#include <QtTest>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <sys/stat.h>
#include <thread>
#include <vector>

namespace {

Base::CMessageLoopForNotify& loop()
{
    return Base::CSingleton<Base::CMessageLoopForNotify>::Instance();
}

class Target : public Base::details::CWeakReferenceOwner
{
public:
    ~Target() { InvalidateWeakReferences(); }
};

// Waits until every task queued so far has run.
bool drainLoop()
{
    ZRT_HANDLE done = ZRT_CreateEvent(0);
    const bool ok = loop().PostTask(Base::CCancelableTask([done] { ZRT_SetEvent(done); }))
                    && ZRT_WaitForSingleObject(done, 10000) == ZRT_WAIT_OBJECT_0;
    ZRT_CloseEvent(done);
    return ok;
}

} // namespace

class TestRuntime : public QObject
{
    Q_OBJECT

private slots:
    void copyFile_data()
    {
        QTest::addColumn<bool>("targetExists");
        QTest::addColumn<int>("failIfExists");
        QTest::addColumn<int>("result");
        QTest::newRow("new target, flag 1") << false << 1 << 0;
        QTest::newRow("existing target, flag 0") << true << 0 << 0;
        QTest::newRow("existing target, flag 1") << true << 1 << -1;
    }
    void copyFile()
    {
        QFETCH(bool, targetExists);
        QFETCH(int, failIfExists);
        QFETCH(int, result);
        QTemporaryDir dir;
        const QByteArray source = (dir.path() + "/source.xml").toUtf8(), target = (dir.path() + "/target.xml").toUtf8();
        QByteArray big(300000, 'z');
        big[1234] = 'y';
        QVERIFY(tst::writeBytes(source, big) && ::chmod(source.constData(), 0640) == 0);
        QVERIFY(!targetExists || tst::writeBytes(target, "old target"));
        QCOMPARE(ZRT_CopyFile(source.constData(), target.constData(), failIfExists), result);
        QCOMPARE(tst::readBytes(target), result == 0 ? big : QByteArray("old target"));
        struct stat st{};
        QVERIFY(::stat(target.constData(), &st) == 0 && (result != 0 || (st.st_mode & 0777) == 0640));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files).size(), 2); // no temporary left over
        QCOMPARE(ZRT_CopyFile(dir.path().toUtf8().constData(), target.constData(), 0), -1); // a folder
    }

    void events()
    {
        ZRT_HANDLE autoEvent = ZRT_CreateEvent(0);
        QCOMPARE(ZRT_WaitForSingleObject(autoEvent, 50), ZRT_WAIT_TIMEOUT);
        ZRT_SetEvent(autoEvent);
        QCOMPARE(ZRT_WaitForSingleObject(autoEvent, 5000), ZRT_WAIT_OBJECT_0);
        QCOMPARE(ZRT_WaitForSingleObject(autoEvent, 0), ZRT_WAIT_TIMEOUT); // reset by the wait
        ZRT_CloseEvent(autoEvent);
        ZRT_HANDLE manual = ZRT_CreateEvent(1);
        ZRT_SetEvent(manual);
        QCOMPARE(ZRT_WaitForSingleObject(manual, 0), ZRT_WAIT_OBJECT_0);
        QCOMPARE(ZRT_WaitForSingleObject(manual, 0), ZRT_WAIT_OBJECT_0);
        QCOMPARE(ZRT_ResetEvent(manual), 0);
        QCOMPARE(ZRT_WaitForSingleObject(manual, 0), ZRT_WAIT_TIMEOUT);
        ZRT_CloseEvent(manual);
    }

    void libraries()
    {
        ZRT_HANDLE lib = ZRT_LoadDSo("libm.so.6");
        auto cosine = reinterpret_cast<double (*)(double)>(ZRT_GetDsoSym(lib, "cos"));
        QVERIFY(cosine && cosine(0.0) == 1.0);
        QVERIFY(!ZRT_GetDsoSym(lib, "no_such_symbol_here"));
        QCOMPARE(ZRT_UnloadDSo(lib), 0);
        QVERIFY(!ZRT_LoadDSo(TAVRIN_SOURCE_DIR "/CMakeLists.txt"));
    }

    void runsOnItsOwnThreadInOrder()
    {
        std::vector<int> order;
        std::thread::id runner;
        for (int i = 0; i < 50; ++i)
            QVERIFY(loop().PostTask(Base::CCancelableTask([&order, &runner, i] {
                order.push_back(i);
                runner = std::this_thread::get_id();
            })));
        QVERIFY(drainLoop());
        QVERIFY(order.size() == 50 && std::is_sorted(order.begin(), order.end()));
        QVERIFY(runner != std::this_thread::get_id());
    }

    // Runs while its target lives; not once the target is gone or the task is
    // cancelled before its turn (the loop held meanwhile).
    void boundAndCancelledTasks()
    {
        std::atomic<int> runs{0};
        Target kept;
        QVERIFY(loop().PostTask(Base::CCancelableTask(kept.GetWeakReference(), [&runs] { runs += 1; })));
        ZRT_HANDLE gate = ZRT_CreateEvent(1);
        QVERIFY(loop().PostTask(Base::CCancelableTask([gate] { ZRT_WaitForSingleObject(gate, 10000); })));
        auto* gone = new Target;
        Base::details::CWeakReference ref = gone->GetWeakReference();
        QVERIFY(loop().PostTask(Base::CCancelableTask(ref, [&runs] { runs += 10; })));
        delete gone;
        QVERIFY(!ref.IsValid());
        Base::CCancelableTask cancelled([&runs] { runs += 100; });
        QVERIFY(loop().PostTask(cancelled));
        cancelled.Cancel(); // the queued copy shares the flag
        ZRT_SetEvent(gate);
        QVERIFY(drainLoop());
        ZRT_CloseEvent(gate);
        QCOMPARE(runs.load(), 1);
        QVERIFY(!loop().PostTask(Base::CCancelableTask()));
    }

    void invalidateWaitsForRunningTask()
    {
        Target target;
        ZRT_HANDLE started = ZRT_CreateEvent(0);
        std::atomic<bool> finished{false};
        QVERIFY(loop().PostTask(Base::CCancelableTask(target.GetWeakReference(), [started, &finished] {
            ZRT_SetEvent(started);
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            finished = true;
        })));
        QCOMPARE(ZRT_WaitForSingleObject(started, 10000), ZRT_WAIT_OBJECT_0);
        ZRT_CloseEvent(started);
        target.InvalidateWeakReferences();
        QVERIFY(finished); // the owner cannot go while its task runs
    }

    void shutdownRefusesLaterTasks()
    {
        loop().Shutdown();
        QVERIFY(!loop().PostTask(Base::CCancelableTask([] {})));
    }
};

QTEST_GUILESS_MAIN(TestRuntime)
#include "TestRuntime.moc"
