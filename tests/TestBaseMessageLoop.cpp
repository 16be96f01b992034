// The notification loop: its own thread, order, cancelling, weak references.
#include "Base/MessageLoop.h"
#include "ZRT/ZRT.h"

#include <QtTest>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace {

Base::CMessageLoopForNotify& loop()
{
    return Base::CSingleton<Base::CMessageLoopForNotify>::Instance();
}

// An object whose bound tasks record that they ran.
class Target : public Base::details::CWeakReferenceOwner
{
public:
    ~Target() { InvalidateWeakReferences(); }
    Base::CCancelableTask task(std::atomic<int>& runs)
    {
        return Base::CCancelableTask(GetWeakReference(), [this, &runs] {
            ++m_calls;
            ++runs;
        });
    }
    int m_calls = 0;
};

// Queues a task that blocks the loop until the returned event is set.
ZRT_HANDLE blockLoop()
{
    ZRT_HANDLE gate = ZRT_CreateEvent(1);
    loop().PostTask(Base::CCancelableTask([gate] { ZRT_WaitForSingleObject(gate, 10000); }));
    return gate;
}

// Waits until every task queued so far has run.
bool drainLoop()
{
    ZRT_HANDLE done = ZRT_CreateEvent(0);
    const bool posted = loop().PostTask(Base::CCancelableTask([done] { ZRT_SetEvent(done); }));
    const bool ok = posted && ZRT_WaitForSingleObject(done, 10000) == ZRT_WAIT_OBJECT_0;
    ZRT_CloseEvent(done);
    return ok;
}

} // namespace

class TestBaseMessageLoop : public QObject {
    Q_OBJECT
private slots:
    void runsOnItsOwnThreadInOrder();
    void boundTaskRunsWhileTargetLives();
    void boundTaskOfDestroyedTargetDoesNothing();
    void cancelledTaskDoesNothing();
    void emptyTaskIsRefused();
    void invalidateWaitsForRunningTask();
    void referenceValidity();
    void shutdownRefusesLaterTasks();
};

void TestBaseMessageLoop::runsOnItsOwnThreadInOrder()
{
    std::vector<int> order;
    std::thread::id runner;
    for (int i = 0; i < 50; ++i)
        QVERIFY(loop().PostTask(Base::CCancelableTask([&order, &runner, i] {
            order.push_back(i);
            runner = std::this_thread::get_id();
        })));
    QVERIFY(drainLoop());
    QCOMPARE(int(order.size()), 50);
    for (int i = 0; i < 50; ++i)
        QCOMPARE(order[i], i);
    QVERIFY(runner != std::this_thread::get_id());
}

void TestBaseMessageLoop::boundTaskRunsWhileTargetLives()
{
    std::atomic<int> runs{0};
    Target target;
    QVERIFY(loop().PostTask(target.task(runs)));
    QVERIFY(drainLoop());
    QCOMPARE(runs.load(), 1);
    QCOMPARE(target.m_calls, 1);
}

void TestBaseMessageLoop::boundTaskOfDestroyedTargetDoesNothing()
{
    std::atomic<int> runs{0};
    ZRT_HANDLE gate = blockLoop();
    auto* target = new Target;
    QVERIFY(loop().PostTask(target->task(runs)));
    delete target;  // gone before its task gets its turn
    ZRT_SetEvent(gate);
    QVERIFY(drainLoop());
    ZRT_CloseEvent(gate);
    QCOMPARE(runs.load(), 0);
}

void TestBaseMessageLoop::cancelledTaskDoesNothing()
{
    std::atomic<int> runs{0};
    ZRT_HANDLE gate = blockLoop();
    Base::CCancelableTask task([&runs] { ++runs; });
    QVERIFY(loop().PostTask(task));
    task.Cancel();  // the queued copy shares the flag
    QVERIFY(task.IsCanceled());
    ZRT_SetEvent(gate);
    QVERIFY(drainLoop());
    ZRT_CloseEvent(gate);
    QCOMPARE(runs.load(), 0);
}

void TestBaseMessageLoop::emptyTaskIsRefused()
{
    QVERIFY(!loop().PostTask(Base::CCancelableTask()));
    QVERIFY(!loop().PostTask(Base::CCancelableTask(std::function<void()>())));
    // A task bound to a reference that never had an owner does nothing.
    std::atomic<int> runs{0};
    QVERIFY(!Base::CCancelableTask(Base::details::CWeakReference(), [&runs] { ++runs; }).Run());
    QCOMPARE(runs.load(), 0);
}

void TestBaseMessageLoop::invalidateWaitsForRunningTask()
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
    QVERIFY(finished);  // the owner cannot go while its task runs
    QVERIFY(drainLoop());
    ZRT_CloseEvent(started);
}

void TestBaseMessageLoop::referenceValidity()
{
    Base::details::CWeakReference ref;
    QVERIFY(!ref.IsValid());
    {
        Target target;
        ref = target.GetWeakReference();
        QVERIFY(ref.IsValid());
    }
    QVERIFY(!ref.IsValid());
}

void TestBaseMessageLoop::shutdownRefusesLaterTasks()
{
    loop().Shutdown();
    std::atomic<int> runs{0};
    QVERIFY(!loop().PostTask(Base::CCancelableTask([&runs] { ++runs; })));
    loop().Shutdown();  // a second call is harmless
    QCOMPARE(runs.load(), 0);
}

QTEST_GUILESS_MAIN(TestBaseMessageLoop)
#include "TestBaseMessageLoop.moc"
