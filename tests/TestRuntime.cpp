// The portable runtime: files, events, threads, dynamic loading.
#include "ZRT/ZRT.h"

#include "TestSupport.h"

#include <QtTest>

#include <atomic>
#include <cerrno>
#include <sys/stat.h>

namespace {

struct WaitArgs
{
    ZRT_HANDLE event;
    std::atomic<int> result{-2};
    std::atomic<qint64> waitedMs{-1};
};

unsigned int waitOnEvent(void* p)
{
    auto* args = static_cast<WaitArgs*>(p);
    QElapsedTimer timer;
    timer.start();
    args->result = ZRT_WaitForSingleObject(args->event, 10000);
    args->waitedMs = timer.elapsed();
    return 0;
}

unsigned int returnArgument(void* p)
{
    return *static_cast<unsigned int*>(p) * 2;
}

} // namespace

class TestRuntime : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void accessAndMakeDir();
    void copyFile_data();
    void copyFile();
    void copyFailures();
    void deleteFile();
    void eventWaitEndsWhenSet();
    void eventTimesOut();
    void eventAutoAndManualReset();
    void badHandles();
    void threadCreateAndWait();
    void threadNameAndId();
    void threadReservedFlagsRefused();
    void loadRealLibrary();
    void loadMissingLibrary_data();
    void loadMissingLibrary();

private:
    QTemporaryDir m_dir;
    QString path(const QString& name) const { return m_dir.path() + '/' + name; }
};

void TestRuntime::initTestCase()
{
    QVERIFY(m_dir.isValid());
}

void TestRuntime::accessAndMakeDir()
{
    const QByteArray dir = path("made").toUtf8();
    QCOMPARE(ZRT_AccessFile(dir.constData(), 0), -1);
    QCOMPARE(ZRT_MakeDir(dir.constData()), 0);
    QCOMPARE(ZRT_AccessFile(dir.constData(), 0), 0);
    QVERIFY(QFileInfo(path("made")).isDir());
    // Exists already, or a missing parent: one level only.
    QCOMPARE(ZRT_MakeDir(dir.constData()), -1);
    QCOMPARE(ZRT_GetLastError(), int(ZRT_ERROR_ALREADY_EXISTS));
    QCOMPARE(ZRT_MakeDir(path("no/such/parent").toUtf8().constData()), -1);
    QCOMPARE(ZRT_GetSystemLastError(), ENOENT);
    QVERIFY(!QFileInfo::exists(path("no")));
    QCOMPARE(ZRT_AccessFile(nullptr, 0), -1);
}

void TestRuntime::copyFile_data()
{
    QTest::addColumn<bool>("targetExists");
    QTest::addColumn<int>("failIfExists");
    QTest::addColumn<int>("result");
    QTest::addColumn<QByteArray>("targetAfter");
    QTest::newRow("new target, flag 0") << false << 0 << 0 << QByteArray("source");
    QTest::newRow("new target, flag 1") << false << 1 << 0 << QByteArray("source");
    QTest::newRow("existing target, flag 0") << true << 0 << 0 << QByteArray("source");
    QTest::newRow("existing target, flag 1") << true << 1 << -1 << QByteArray("old target");
}

void TestRuntime::copyFile()
{
    QFETCH(bool, targetExists);
    QFETCH(int, failIfExists);
    QFETCH(int, result);
    QFETCH(QByteArray, targetAfter);
    QTemporaryDir dir;
    const QString source = dir.path() + "/source.xml";
    const QString target = dir.path() + "/target.xml";
    QVERIFY(tst::writeBytes(source, "source"));
    ::chmod(source.toUtf8().constData(), 0640);
    if (targetExists)
        QVERIFY(tst::writeBytes(target, "old target"));
    QCOMPARE(ZRT_CopyFile(source.toUtf8().constData(), target.toUtf8().constData(), failIfExists), result);
    QCOMPARE(tst::readBytes(target), targetAfter);
    QCOMPARE(tst::readBytes(source), QByteArray("source"));
    if (result == 0) {
        struct stat st{};
        QCOMPARE(::stat(target.toUtf8().constData(), &st), 0);
        QCOMPARE(int(st.st_mode & 0777), 0640);
    }
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files).size(), 2);  // no temporary left over
}

void TestRuntime::copyFailures()
{
    const QByteArray missing = path("missing.xml").toUtf8();
    const QByteArray target = path("copy-target.xml").toUtf8();
    QCOMPARE(ZRT_CopyFile(missing.constData(), target.constData(), 0), -1);
    QCOMPARE(ZRT_GetSystemLastError(), ENOENT);
    QVERIFY(!QFileInfo::exists(path("copy-target.xml")));
    // A big file copies whole.
    QByteArray big(300000, 'z');
    big[1234] = 'y';
    QVERIFY(tst::writeBytes(path("big.bin"), big));
    QCOMPARE(ZRT_CopyFile(path("big.bin").toUtf8().constData(), target.constData(), 1), 0);
    QCOMPARE(tst::readBytes(path("copy-target.xml")), big);
    // Target folder missing; a folder as source.
    QCOMPARE(ZRT_CopyFile(path("big.bin").toUtf8().constData(), path("nodir/x").toUtf8().constData(), 0), -1);
    QCOMPARE(ZRT_CopyFile(m_dir.path().toUtf8().constData(), path("dircopy").toUtf8().constData(), 0), -1);
    QVERIFY(!QFileInfo::exists(path("dircopy")));
}

void TestRuntime::deleteFile()
{
    QVERIFY(tst::writeBytes(path("gone.txt"), "x"));
    QCOMPARE(ZRT_DeleteFile(path("gone.txt").toUtf8().constData()), 0);
    QVERIFY(!QFileInfo::exists(path("gone.txt")));
    QCOMPARE(ZRT_DeleteFile(path("gone.txt").toUtf8().constData()), -1);
    QCOMPARE(ZRT_GetLastError(), int(ZRT_ERROR_NOT_FOUND));
}

void TestRuntime::eventWaitEndsWhenSet()
{
    WaitArgs args;
    args.event = ZRT_CreateEvent(0);
    QVERIFY(args.event);
    ZRT_HANDLE thread = ZRT_Thread_Create(waitOnEvent, &args, 0, nullptr, nullptr, 0);
    QVERIFY(thread);
    QTest::qSleep(100);
    QCOMPARE(args.result.load(), -2);  // still waiting
    QCOMPARE(ZRT_SetEvent(args.event), 0);
    QCOMPARE(ZRT_Thread_Wait(thread), 0);
    QCOMPARE(args.result.load(), ZRT_WAIT_OBJECT_0);
    QVERIFY2(args.waitedMs < 2000, qPrintable(QString::number(args.waitedMs)));  // far below the 10 s limit
    QCOMPARE(ZRT_CloseEvent(args.event), 0);
}

void TestRuntime::eventTimesOut()
{
    ZRT_HANDLE event = ZRT_CreateEvent(0);
    QElapsedTimer timer;
    timer.start();
    const int rc = ZRT_WaitForSingleObject(event, 150);
    QVERIFY(rc != 0);
    QCOMPARE(rc, ZRT_WAIT_TIMEOUT);
    QVERIFY(timer.elapsed() >= 140);
    QCOMPARE(ZRT_WaitForSingleObject(event, 0), ZRT_WAIT_TIMEOUT);
    ZRT_CloseEvent(event);
}

void TestRuntime::eventAutoAndManualReset()
{
    // Set before anyone waits: the next wait returns at once, then it is reset.
    ZRT_HANDLE autoEvent = ZRT_CreateEvent(0);
    ZRT_SetEvent(autoEvent);
    QCOMPARE(ZRT_WaitForSingleObject(autoEvent, 5000), ZRT_WAIT_OBJECT_0);
    QCOMPARE(ZRT_WaitForSingleObject(autoEvent, 0), ZRT_WAIT_TIMEOUT);
    ZRT_CloseEvent(autoEvent);

    ZRT_HANDLE manual = ZRT_CreateEvent(1);
    ZRT_SetEvent(manual);
    QCOMPARE(ZRT_WaitForSingleObject(manual, 0), ZRT_WAIT_OBJECT_0);
    QCOMPARE(ZRT_WaitForSingleObject(manual, 0), ZRT_WAIT_OBJECT_0);
    QCOMPARE(ZRT_ResetEvent(manual), 0);
    QCOMPARE(ZRT_WaitForSingleObject(manual, 0), ZRT_WAIT_TIMEOUT);
    ZRT_CloseEvent(manual);
}

void TestRuntime::badHandles()
{
    QCOMPARE(ZRT_SetEvent(nullptr), -1);
    QCOMPARE(ZRT_WaitForSingleObject(nullptr, 10), ZRT_WAIT_FAILED);
    QCOMPARE(ZRT_CloseEvent(nullptr), -1);
    QCOMPARE(ZRT_Thread_Wait(nullptr), -1);
    QVERIFY(!ZRT_Thread_Create(nullptr, nullptr, 0, nullptr, nullptr, 0));
    QCOMPARE(ZRT_GetLastError(), int(ZRT_ERROR_INVALID_ARGUMENT));
    QCOMPARE(ZRT_UnloadDSo(nullptr), -1);
}

void TestRuntime::threadCreateAndWait()
{
    unsigned int input = 21;
    unsigned int exitCode = 0;
    ZRT_HANDLE thread = ZRT_Thread_Create(returnArgument, &input, 256 * 1024, nullptr, nullptr, 0);
    QVERIFY(thread);
    QCOMPARE(ZRT_Thread_WaitEx(thread, &exitCode), 0);
    QCOMPARE(exitCode, 42u);
}

void TestRuntime::threadNameAndId()
{
    static std::atomic<unsigned long> seenId{0};
    static char seenName[16];
    unsigned long id = 0;
    ZRT_HANDLE thread = ZRT_Thread_Create(
        [](void*) -> unsigned int {
            QTest::qSleep(50);  // the creator names the thread right after starting it
            seenId = static_cast<unsigned long>(pthread_self());
            pthread_getname_np(pthread_self(), seenName, sizeof seenName);
            return 0;
        },
        nullptr, 0, "heartbeat-thread-long-name", &id, 0);
    QVERIFY(thread);
    QCOMPARE(ZRT_Thread_Wait(thread), 0);
    QCOMPARE(seenId.load(), id);
    QCOMPARE(QByteArray(seenName), QByteArray("heartbeat-threa"));
}

void TestRuntime::threadReservedFlagsRefused()
{
    QVERIFY(!ZRT_Thread_Create(returnArgument, nullptr, 0, nullptr, nullptr, 1));
}

void TestRuntime::loadRealLibrary()
{
    ZRT_HANDLE lib = ZRT_LoadDSo("libm.so.6");
    QVERIFY(lib);
    auto cosine = reinterpret_cast<double (*)(double)>(ZRT_GetDsoSym(lib, "cos"));
    QVERIFY(cosine);
    QCOMPARE(cosine(0.0), 1.0);
    QVERIFY(!ZRT_GetDsoSym(lib, "no_such_symbol_here"));
    QCOMPARE(ZRT_GetLastError(), int(ZRT_ERROR_NOT_FOUND));
    QCOMPARE(ZRT_UnloadDSo(lib), 0);
}

void TestRuntime::loadMissingLibrary_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("windows library") << "Kernel32.dll";
    QTest::newRow("missing path") << "/nonexistent/libnothing.so";
    QTest::newRow("not a library") << QStringLiteral(TAVRIN_SOURCE_DIR "/CMakeLists.txt");
    QTest::newRow("empty") << "";
}

void TestRuntime::loadMissingLibrary()
{
    QFETCH(QString, name);
    QVERIFY(!ZRT_LoadDSo(name.toUtf8().constData()));
    QVERIFY(!ZRT_GetDsoSym(nullptr, "cos"));
}

QTEST_GUILESS_MAIN(TestRuntime)
#include "TestRuntime.moc"
