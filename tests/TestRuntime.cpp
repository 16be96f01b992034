// The portable runtime: files, events, dynamic loading (its threads run
// under the watchdog and notification-loop tests).
#include "ZRT/ZRT.h"

#include "TestSupport.h"

#include <QtTest>

#include <cerrno>
#include <sys/stat.h>

class TestRuntime : public QObject
{
    Q_OBJECT

private slots:
    void filesAndFolders()
    {
        const QByteArray dir = path("made").toUtf8();
        QCOMPARE(ZRT_AccessFile(dir.constData(), 0), -1);
        QCOMPARE(ZRT_MakeDir(dir.constData()), 0);
        QCOMPARE(ZRT_AccessFile(dir.constData(), 0), 0);
        QCOMPARE(ZRT_MakeDir(dir.constData()), -1);
        QCOMPARE(ZRT_GetLastError(), int(ZRT_ERROR_ALREADY_EXISTS));
        QCOMPARE(ZRT_MakeDir(path("no/such/parent").toUtf8().constData()), -1); // one level only
        QCOMPARE(ZRT_GetSystemLastError(), ENOENT);

        QCOMPARE(ZRT_CopyFile(path("missing").toUtf8().constData(), path("copy").toUtf8().constData(), 0), -1);
        QCOMPARE(ZRT_GetSystemLastError(), ENOENT);
        QCOMPARE(ZRT_CopyFile(dir.constData(), path("copy").toUtf8().constData(), 0), -1); // a folder
        QVERIFY(!QFileInfo::exists(path("copy")));

        QVERIFY(tst::writeBytes(path("gone.txt"), "x"));
        QCOMPARE(ZRT_DeleteFile(path("gone.txt").toUtf8().constData()), 0);
        QCOMPARE(ZRT_DeleteFile(path("gone.txt").toUtf8().constData()), -1);
        QCOMPARE(ZRT_GetLastError(), int(ZRT_ERROR_NOT_FOUND));
    }

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
        const QString source = dir.path() + "/source.xml";
        const QString target = dir.path() + "/target.xml";
        QByteArray big(300000, 'z');
        big[1234] = 'y';
        QVERIFY(tst::writeBytes(source, big));
        ::chmod(source.toUtf8().constData(), 0640);
        if (targetExists)
            QVERIFY(tst::writeBytes(target, "old target"));
        QCOMPARE(ZRT_CopyFile(source.toUtf8().constData(), target.toUtf8().constData(), failIfExists), result);
        QCOMPARE(tst::readBytes(target), result == 0 ? big : QByteArray("old target"));
        struct stat st{};
        QCOMPARE(::stat(target.toUtf8().constData(), &st), 0);
        QVERIFY(result != 0 || int(st.st_mode & 0777) == 0640);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files).size(), 2); // no temporary left over
    }

    void events()
    {
        ZRT_HANDLE autoEvent = ZRT_CreateEvent(0);
        QElapsedTimer timer;
        timer.start();
        QCOMPARE(ZRT_WaitForSingleObject(autoEvent, 150), ZRT_WAIT_TIMEOUT);
        QVERIFY(timer.elapsed() >= 140);
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

        QCOMPARE(ZRT_WaitForSingleObject(nullptr, 10), ZRT_WAIT_FAILED);
        QCOMPARE(ZRT_SetEvent(nullptr), -1);
        QCOMPARE(ZRT_GetLastError(), int(ZRT_ERROR_INVALID_ARGUMENT));
    }

    void libraries()
    {
        ZRT_HANDLE lib = ZRT_LoadDSo("libm.so.6");
        auto cosine = reinterpret_cast<double (*)(double)>(ZRT_GetDsoSym(lib, "cos"));
        QVERIFY(cosine);
        QCOMPARE(cosine(0.0), 1.0);
        QVERIFY(!ZRT_GetDsoSym(lib, "no_such_symbol_here"));
        QCOMPARE(ZRT_GetLastError(), int(ZRT_ERROR_NOT_FOUND));
        QCOMPARE(ZRT_UnloadDSo(lib), 0);
        for (const char* name : {"Kernel32.dll", "/nonexistent/libnothing.so", TAVRIN_SOURCE_DIR "/CMakeLists.txt", ""})
            QVERIFY2(!ZRT_LoadDSo(name), name);
    }

private:
    QString path(const QString& name) const { return m_dir.path() + '/' + name; }
    QTemporaryDir m_dir;
};

QTEST_GUILESS_MAIN(TestRuntime)
#include "TestRuntime.moc"
