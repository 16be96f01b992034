// Processes, the user, and the elevated script runner.
#include "Platform.h"

#include "PlatformCases.h"
#include "TestSupport.h"

#include <QtTest>

#include <pwd.h>
#include <sys/socket.h>
#include <unistd.h>

class TestPlatformProcesses : public QObject {
    Q_OBJECT
private slots:
    void listFindAndTerminate();
    void imageNameOfAMissingProcess();
    void userIsTheEffectiveUser();
    void terminateRefusesNonProcesses();
    void scriptRunsInHostileFolder_data();
    void scriptRunsInHostileFolder();
    void scriptInheritsNoDescriptor();
    void missingScriptIsNotLaunched();
};

// A client whose file was removed while it runs keeps its plain name, is
// listed and found by it, and ends when terminated.
void TestPlatformProcesses::listFindAndTerminate()
{
    QCOMPARE(qint64(platform::currentProcessId()), QCoreApplication::applicationPid());
    QTemporaryDir dir;
    const QString copy = dir.filePath("TavrinClient");
    QVERIFY(QFile::copy("/bin/sleep", copy));
    QVERIFY(QFile::setPermissions(copy, QFile::ReadOwner | QFile::ExeOwner));
    QProcess process;
    process.start(copy, {"30"});
    QVERIFY(process.waitForStarted());
    QVERIFY(QFile::remove(copy));

    const auto pid = std::uint32_t(process.processId());
    const std::string name = platform::clientImageName();
    const std::vector<platform::ProcessInfo> all = platform::listProcesses();
    QVERIFY(std::any_of(all.begin(), all.end(), [&](const auto& p) { return p.pid == pid && p.imageName == name; }));
    QCOMPARE(platform::processImageName(pid), name);
    const std::vector<std::uint32_t> clients = platform::findProcessesByImageName(name);
    QVERIFY(std::find(clients.begin(), clients.end(), pid) != clients.end());
    QVERIFY(platform::terminateProcess(pid));
    QVERIFY(process.waitForFinished(5000));
    QCOMPARE(process.exitStatus(), QProcess::CrashExit);
}

void TestPlatformProcesses::imageNameOfAMissingProcess()
{
    QProcess process;
    process.start("/bin/true", QStringList());
    QVERIFY(process.waitForFinished());
    const auto pid = std::uint32_t(process.processId());
    // Reaped: the id names no process now (unless reused at once, which the list would show).
    const std::vector<platform::ProcessInfo> all = platform::listProcesses();
    const bool reused = std::any_of(all.begin(), all.end(), [pid](const platform::ProcessInfo& p) { return p.pid == pid; });
    if (reused)
        QSKIP("process id reused");
    QCOMPARE(platform::processImageName(pid), std::string());
}

void TestPlatformProcesses::userIsTheEffectiveUser()
{
    QProcess id;
    id.start("id", {"-un"});
    QVERIFY(id.waitForFinished());
    QCOMPARE(platform::userName(), QString::fromLocal8Bit(id.readAllStandardOutput()).trimmed().toStdString());
    QCOMPARE(platform::isAdmin(), ::geteuid() == 0);
}

void TestPlatformProcesses::terminateRefusesNonProcesses()
{
    // A wrong guard would signal this test's own process group or every process.
    for (const cases::NotAProcess& row : cases::kNotAProcess)
        QVERIFY2(!platform::terminateProcess(row.pid), row.label);
}

void TestPlatformProcesses::scriptRunsInHostileFolder_data()
{
    QTest::addColumn<QString>("folderName");
    for (const cases::HostileFolder& row : cases::kHostileFolders)
        QTest::newRow(row.label) << QString::fromUtf8(row.name);
    // Characters Windows allows in no folder name.
    QTest::newRow("double quotes") << "bin\" && mkdir INJECTED && echo \"";
    QTest::newRow("line break") << "bin\nmkdir INJECTED";
}

void TestPlatformProcesses::scriptRunsInHostileFolder()
{
    if (!platform::isAdmin())
        QSKIP("without root the script would wait for an elevation prompt");
    QFETCH(QString, folderName);

    QTemporaryDir root;
    QVERIFY(root.isValid());
    // Anything a pasted folder name could run would land in the current folder.
    const QString previous = QDir::currentPath();
    QVERIFY(QDir::setCurrent(root.path()));
    const QString folder = root.filePath(folderName);
    QVERIFY(QDir().mkpath(folder));
    QVERIFY(tst::writeBytes(folder + "/restart" + QString::fromStdString(platform::scriptExtension()),
                            "#!/bin/sh\nprintf '%s\\n%s' \"$(pwd)\" \"$1\" > ran.tmp && mv ran.tmp ran\n"));

    const bool launched = platform::runElevatedScript(folder.toStdString(), "restart");
    QVERIFY(QDir::setCurrent(previous));
    QVERIFY(launched);

    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(folder + "/ran"), 10000);
    const QStringList lines = tst::readText(folder + "/ran").split('\n');
    const QString canonical = QFileInfo(folder).canonicalFilePath();
    // The folder name may itself hold a line break: compare the whole text.
    QCOMPARE(lines.join('\n'), canonical + "\n" + folder);

    QVERIFY(!QFile::exists(root.filePath("INJECTED")));
    QVERIFY(!QFile::exists(folder + "/INJECTED"));
    QVERIFY(!QFile::exists(previous + "/INJECTED"));
}

void TestPlatformProcesses::scriptInheritsNoDescriptor()
{
    if (!platform::isAdmin())
        QSKIP("without root the script would wait for an elevation prompt");
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    // A listening socket of the host, inheritable, on a known descriptor.
    const int socket = ::socket(AF_INET, SOCK_STREAM, 0);
    QVERIFY(socket >= 0);
    const int held = 77;
    QCOMPARE(::dup2(socket, held), held);
    ::close(socket);
    QVERIFY(tst::writeBytes(folder.filePath("restart" + QString::fromStdString(platform::scriptExtension())),
                            "#!/bin/sh\nif [ -e /proc/$$/fd/77 ]; then echo open; else echo closed; fi > fd.tmp && mv fd.tmp fd\n"));

    const bool launched = platform::runElevatedScript(folder.path().toStdString(), "restart");
    ::close(held);
    QVERIFY(launched);
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(folder.filePath("fd")), 10000);
    QCOMPARE(tst::readBytes(folder.filePath("fd")).trimmed(), QByteArray("closed"));
}

void TestPlatformProcesses::missingScriptIsNotLaunched()
{
    QTemporaryDir root;
    QVERIFY(root.isValid());
    QVERIFY(!platform::runElevatedScript(root.path().toStdString(), "restart"));
    QVERIFY(!platform::runElevatedScript(root.filePath("missing").toStdString(), "restart"));
}

QTEST_GUILESS_MAIN(TestPlatformProcesses)
#include "TestPlatformProcesses.moc"
