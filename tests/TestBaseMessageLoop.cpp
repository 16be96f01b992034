// The notification loop: its own thread, order, cancelling, weak references.
#include "Base/MessageLoop.h"
#include "ZRT/ZRT.h"

#include <QtTest>

#include <atomic>
#include <chrono>
#include <numeric>
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

class TestBaseMessageLoop : public QObject
{
    Q_OBJECT

private slots:
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
        std::vector<int> expected(50);
        std::iota(expected.begin(), expected.end(), 0);
        QVERIFY(order == expected);
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
        QVERIFY(!Base::CCancelableTask(Base::details::CWeakReference(), [&runs] { ++runs; }).Run());
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
        target.InvalidateWeakReferences();
        QVERIFY(finished); // the owner cannot go while its task runs
        QVERIFY(drainLoop());
        ZRT_CloseEvent(started);
    }

    void shutdownRefusesLaterTasks()
    {
        loop().Shutdown();
        QVERIFY(!loop().PostTask(Base::CCancelableTask([] {})));
        loop().Shutdown(); // harmless twice
    }
};

QTEST_GUILESS_MAIN(TestBaseMessageLoop)
#include "TestBaseMessageLoop.moc"
