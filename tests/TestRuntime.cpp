// The portable runtime's file copy and the notification loop (its events and
// threads run under the watchdog test).
#include "Base/MessageLoop.h"
#include "ZRT/ZRT.h"

#include "TestSupport.h"

#include <QtTest>

#include <atomic>
#include <sys/stat.h>
#include <thread>

struct Target : Base::details::CWeakReferenceOwner {
    ~Target() { InvalidateWeakReferences(); }
};

class TestRuntime : public QObject
{
    Q_OBJECT

private slots:
    void copyFile()
    {
        QTemporaryDir dir;
        const QByteArray source = (dir.path() + "/source.xml").toUtf8(), target = (dir.path() + "/target.xml").toUtf8();
        const QByteArray big = QByteArray(300000, 'z') + 'y';
        QVERIFY(tst::writeBytes(source, big) && ::chmod(source.constData(), 0640) == 0 && tst::writeBytes(target, "old"));
        QCOMPARE(ZRT_CopyFile(source.constData(), target.constData(), 1), -1); // kept when asked
        QCOMPARE(tst::readBytes(target), QByteArray("old"));
        QCOMPARE(ZRT_CopyFile(source.constData(), target.constData(), 0), 0);
        struct stat st{};
        QVERIFY(::stat(target.constData(), &st) == 0 && (st.st_mode & 0777) == 0640);
        QCOMPARE(tst::readBytes(target), big);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files).size(), 2); // no temporary left over
        QCOMPARE(ZRT_CopyFile(dir.path().toUtf8().constData(), target.constData(), 0), -1); // a folder
    }

    // On its own thread, in order; a task runs while its target lives, not
    // once the target is gone or the task is cancelled before its turn (the
    // loop held meanwhile).
    void boundAndCancelledTasks()
    {
        auto& loop = Base::CSingleton<Base::CMessageLoopForNotify>::Instance();
        std::atomic<int> runs{0};
        std::thread::id runner;
        Target kept;
        QVERIFY(loop.PostTask(Base::CCancelableTask(kept.GetWeakReference(), [&runs, &runner] {
            runs = runs * 10 + 1;
            runner = std::this_thread::get_id();
        })));
        ZRT_HANDLE gate = ZRT_CreateEvent(1);
        QVERIFY(loop.PostTask(Base::CCancelableTask([gate] { ZRT_WaitForSingleObject(gate, 10000); })));
        auto* gone = new Target;
        Base::details::CWeakReference ref = gone->GetWeakReference();
        QVERIFY(loop.PostTask(Base::CCancelableTask(ref, [&runs] { runs = -1; })));
        delete gone;
        Base::CCancelableTask cancelled([&runs] { runs = -2; });
        QVERIFY(loop.PostTask(Base::CCancelableTask([&runs] { runs = runs * 10 + 2; })));
        QVERIFY(loop.PostTask(cancelled));
        cancelled.Cancel(); // the queued copy shares the flag
        ZRT_HANDLE done = ZRT_CreateEvent(0); // every task before it has run
        QVERIFY(loop.PostTask(Base::CCancelableTask([done] { ZRT_SetEvent(done); })));
        ZRT_SetEvent(gate);
        QCOMPARE(ZRT_WaitForSingleObject(done, 10000), ZRT_WAIT_OBJECT_0);
        QCOMPARE(runs.load(), 12);
        QVERIFY(runner != std::this_thread::get_id());
        QVERIFY(!loop.PostTask(Base::CCancelableTask()));
        loop.Shutdown(); // later tasks refused
        QVERIFY(!loop.PostTask(Base::CCancelableTask([] {})));
    }
};

QTEST_GUILESS_MAIN(TestRuntime)
#include "TestRuntime.moc"
