// The OS layer on Linux: crash-safe whole-file writes, the log-on Run values as autostart entries, the runtime folder,
// display sizes, the port snapshot, processes and the elevated script runner.
#include "Platform/Platform.h"

#include "PlatformCases.h"
#include "TestSupport.h"

#include <QtTest>

#include <csignal>
#include <sys/stat.h>
#include <sys/wait.h>

namespace {

bool writeWhole(const QString& path, const QByteArray& bytes)
{
    return platform::writeWholeFile(path.toStdString(), bytes.toStdString());
}

// Runs check in a child process as nobody when this test runs as root; its result.
template <class Check>
bool asNobody(Check check)
{
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit((::geteuid() != 0 || (::setgid(65534) == 0 && ::setuid(65534) == 0)) && check() ? 0 : 1);
    int status = 0;
    return ::waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

using cases::openLoopback;

} // namespace

class TestPlatform : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        m_dir.reset(new QTemporaryDir);
        qputenv("XDG_CONFIG_HOME", m_dir->filePath("config").toUtf8());
        qputenv("XDG_CACHE_HOME", m_dir->filePath("cache").toUtf8());
        qputenv("XDG_CONFIG_DIRS", (m_dir->filePath("xdg1") + ":" + m_dir->filePath("xdg2")).toUtf8());
    }

    void writesExactBytes_data()
    {
        QTest::addColumn<QByteArray>("old");
        QTest::addColumn<QByteArray>("bytes");
        for (const cases::WholeFileWrite& row : cases::kWholeFileWrites)
            QTest::newRow(row.label) << QByteArray::fromStdString(row.old) << QByteArray::fromStdString(row.bytes);
    }

    void writesExactBytes()
    {
        QFETCH(QByteArray, old);
        QFETCH(QByteArray, bytes);
        const QString path = m_dir->filePath("Setup.xml");
        QVERIFY(old.isEmpty() || writeWhole(path, old));
        QVERIFY(writeWhole(path, bytes));
        QCOMPARE(tst::readBytes(path), bytes);
        // Nothing but the file is left in the folder.
        QCOMPARE(QDir(m_dir->path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList{"Setup.xml"});
    }

    // Permissions and links stay; a read-only file or a folder is not written.
    void keepsWhatTheFileWas()
    {
        const QString path = m_dir->filePath("config.properties");
        const QByteArray name = QFile::encodeName(path);
        struct stat info
        {
        };
        QVERIFY(writeWhole(path, "a=1") && ::chmod(name, 0604) == 0 && writeWhole(path, "a=2"));
        QVERIFY(::stat(name, &info) == 0 && (info.st_mode & 07777) == 0604);
        const QString link = m_dir->filePath("link.xml");
        QVERIFY(QFile::link(path, link) && writeWhole(link, "new") && QFileInfo(link).isSymLink());
        QCOMPARE(tst::readBytes(path), QByteArray("new"));
        QVERIFY(!writeWhole(m_dir->filePath("missing/Setup.xml"), "x") && !writeWhole(m_dir->path(), "x"));

        // Root may write any file, so the refusal is checked as nobody then.
        const QString locked = m_dir->filePath("open/locked.xml");
        QVERIFY(QDir().mkpath(m_dir->filePath("open")) && ::chmod(QFile::encodeName(m_dir->path()), 0711) == 0
                && ::chmod(QFile::encodeName(m_dir->filePath("open")), 0777) == 0);
        QVERIFY(asNobody([&] {
            return writeWhole(locked, "old") && ::chmod(QFile::encodeName(locked), 0444) == 0 && !writeWhole(locked, "new")
                   && tst::readBytes(locked) == "old";
        }));
    }

    void killedWriterLeavesWholeFile()
    {
        // Two contents of different lengths, so a mix or a cut shows.
        const std::string first(300000, 'a');
        const std::string second(170000, 'b');
        const QString path = m_dir->filePath("Setup.xml");
        QVERIFY(writeWhole(path, QByteArray::fromStdString(first)));
        for (int round = 0; round < 12; ++round) {
            const pid_t writer = ::fork();
            for (int i = 0; writer == 0; ++i)
                platform::writeWholeFile(path.toStdString(), i % 2 ? first : second);
            ::usleep(static_cast<useconds_t>(3000 + round * 2500));
            int status = 0;
            QVERIFY(::kill(writer, SIGKILL) == 0 && ::waitpid(writer, &status, 0) == writer);
            const std::string content = tst::readBytes(path).toStdString();
            QVERIFY2(content == first || content == second, qPrintable(QString::number(content.size())));
        }
    }

    void runValueRoundTrip_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("folder"); // relative to the temporary folder; empty: refused
        QTest::addColumn<QString>("program");
        // Double quotes too: an Exec line can carry them, a Windows command line cannot.
        std::vector<std::string> programs = cases::kRunPrograms;
        programs.push_back("/opt/My \"Suite\" $HOME/Palvex.Framework.S");
        for (const cases::RunKey& key : cases::kRunKeys) {
            for (const std::string& program : programs) {
                QTest::addRow("%s: %s", key.label, program.c_str())
                    << QString::fromStdString(key.key) << (key.machineWide ? "xdg1/autostart" : "config/autostart")
                    << QString::fromStdString(program);
            }
        }
        for (const char* key : {"HKEY_LOCAL_MACHINE\\SOFTWARE\\Tavrin", "HKEY_CURRENT_USER", ""})
            QTest::addRow("no Run key: %s", key) << key << QString() << "/bin/true";
    }

    void runValueRoundTrip()
    {
        QFETCH(QString, key);
        QFETCH(QString, folder);
        QFETCH(QString, program);
        const std::string keyPath = key.toStdString();
        const auto view = platform::RegistryView::Bits32;
        const QString entry = m_dir->filePath(folder + "/TavrinServer.desktop");

        QCOMPARE(platform::setRegistryString(keyPath, view, "TavrinServer", program.toStdString()), !folder.isEmpty());
        QCOMPARE(QString::fromStdString(platform::registryString(keyPath, view, "TavrinServer")), folder.isEmpty() ? "" : program);
        if (folder.isEmpty()) {
            QVERIFY(!platform::deleteRegistryValue(keyPath, view, "TavrinServer"));
            QCOMPARE(QDir(m_dir->path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());
            return;
        }
        QVERIFY(tst::readText(entry).startsWith("[Desktop Entry]\n"));
        QVERIFY(platform::deleteRegistryValue(keyPath, view, "TavrinServer"));
        QVERIFY(!QFile::exists(entry));
        QCOMPARE(platform::registryString(keyPath, view, "TavrinServer"), std::string());
        QVERIFY(platform::deleteRegistryValue(keyPath, view, "TavrinServer")); // already gone
    }

    void runtimeFolder_data()
    {
        QTest::addColumn<QString>("runtimeDir"); // how $XDG_RUNTIME_DIR is set up
        QTest::addColumn<QString>("expected");   // "xdg", "fallback" or "" (none)
        QTest::newRow("open to others, tightened") << "0755"
                                                   << "xdg";
        QTest::newRow("a link") << "link"
                                << "fallback";
        QTest::newRow("unset") << "unset"
                               << "fallback";
        // What another user can make: the name in the shared temporary folder.
        QTest::newRow("unset, temporary name taken") << "unset, squat in temp"
                                                     << "fallback";
        QTest::newRow("unset, fallback taken by a link") << "unset, link in the way"
                                                         << "";
    }

    // The single-instance guard's folder is the user's alone, or there is none; nothing in a shared folder decides which.
    void runtimeFolder()
    {
        QFETCH(QString, runtimeDir);
        QFETCH(QString, expected);
        const QString xdg = m_dir->filePath("run"), temp = m_dir->filePath("tmp"), cache = m_dir->filePath("cache");
        const QString fallback = cache + "/tavrin-runtime";
        QVERIFY(QDir().mkpath(temp) && QDir().mkpath(m_dir->filePath("real")));
        qputenv("TMPDIR", temp.toUtf8());
        qputenv("XDG_RUNTIME_DIR", xdg.toUtf8());
        if (runtimeDir == "0755")
            QVERIFY(::mkdir(QFile::encodeName(xdg), 0755) == 0);
        else if (runtimeDir == "link")
            QVERIFY(QFile::link(m_dir->filePath("real"), xdg));
        else
            qunsetenv("XDG_RUNTIME_DIR");
        const QString squat = temp + "/runtime-" + QString::fromStdString(platform::userName());
        QVERIFY(!runtimeDir.contains("squat") || QFile::link(m_dir->filePath("real"), squat));
        QVERIFY(!runtimeDir.contains("link in the way") || (QDir().mkpath(cache) && QFile::link(m_dir->path(), fallback)));
        const QString folder = QString::fromStdString(platform::userRuntimeFolder());
        qunsetenv("TMPDIR");
        qunsetenv("XDG_RUNTIME_DIR");
        QCOMPARE(folder, expected == "xdg" ? xdg : expected == "fallback" ? fallback : QString());
        struct stat info
        {
        };
        QVERIFY(folder.isEmpty()
                || (::lstat(QFile::encodeName(folder), &info) == 0 && S_ISDIR(info.st_mode) && (info.st_mode & 07777) == 0700
                    && info.st_uid == ::geteuid()));
    }

    void displaySizes_data()
    {
        QTest::addColumn<QString>("root");     // a fake sysfs tree
        QTest::addColumn<QString>("expected"); // "WxH" per display, in order
        // A laptop panel plus a disconnected HDMI port; the card node is no display.
        QTest::newRow("one small panel") << "sysfs-small"
                                         << "1366x768";
        // Two monitors across two cards, one connector without modes, a plain file beside them.
        QTest::newRow("two large and one without modes") << "sysfs-large"
                                                         << "1920x1080 2560x1440 0x0";
        QTest::newRow("nothing connected") << "sysfs-none"
                                           << "";
    }

    void displaySizes()
    {
        QFETCH(QString, root);
        QStringList found;
        for (const platform::DisplaySize& size : platform::displaySizes((TAVRIN_TEST_DATA_DIR "/" + root).toStdString()))
            found << QStringLiteral("%1x%2").arg(size.width).arg(size.height);
        QTEST(found.join(' '), "expected");
    }

    // A client whose file was removed while it runs keeps its plain name, is
    // listed and found by it, and ends when terminated; ids of no process are refused.
    void listFindAndTerminate()
    {
        QCOMPARE(platform::isAdmin(), ::geteuid() == 0);
        QTemporaryDir dir;
        const QString copy = dir.filePath("TavrinClient");
        QVERIFY(QFile::copy("/bin/sleep", copy) && QFile::setPermissions(copy, QFile::ReadOwner | QFile::ExeOwner));
        QProcess process;
        process.start(copy, {"30"});
        QVERIFY(process.waitForStarted() && QFile::remove(copy));

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
        // A wrong guard would signal this test's own process group or every process.
        for (const cases::NotAProcess& row : cases::kNotAProcess)
            QVERIFY2(!platform::terminateProcess(row.pid), row.label);
    }

    void scriptRunsInHostileFolder_data()
    {
        QTest::addColumn<QString>("folderName");
        for (const cases::HostileFolder& row : cases::kHostileFolders)
            QTest::newRow(row.label) << QString::fromUtf8(row.name);
        // Characters Windows allows in no folder name.
        QTest::newRow("double quotes") << "bin\" && mkdir INJECTED && echo \"";
        QTest::newRow("line break") << "bin\nmkdir INJECTED";
    }

    void scriptRunsInHostileFolder()
    {
        QFETCH(QString, folderName);
        QVERIFY(!platform::runElevatedScript(m_dir->filePath("missing").toStdString(), "restart"));
        if (!platform::isAdmin())
            QSKIP("without root the script would wait for an elevation prompt");
        // Anything a pasted folder name could run would land in the current folder.
        const QString previous = QDir::currentPath();
        QVERIFY(QDir::setCurrent(m_dir->path()));
        const QString folder = m_dir->filePath(folderName);
        QVERIFY(QDir().mkpath(folder));
        QVERIFY(tst::writeBytes(folder + "/restart" + QString::fromStdString(platform::scriptExtension()),
                                "#!/bin/sh\nprintf '%s\\n%s' \"$(pwd)\" \"$1\" > ran.tmp && mv ran.tmp ran\n"));
        const bool launched = platform::runElevatedScript(folder.toStdString(), "restart");
        QVERIFY(QDir::setCurrent(previous));
        QVERIFY(launched);
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(folder + "/ran"), 10000);
        // The folder name may itself hold a line break: compare the whole text.
        QCOMPARE(tst::readText(folder + "/ran"), QFileInfo(folder).canonicalFilePath() + "\n" + folder);
        QVERIFY(!QFile::exists(m_dir->filePath("INJECTED")) && !QFile::exists(folder + "/INJECTED") && !QFile::exists(previous + "/INJECTED"));
    }

    // The desktop's opener answers whether it opened the address; one still busy after the wait (a browser in the foreground) has opened it.
    void openWebAddress()
    {
        const QString url = "http://127.0.0.1:16100/";
        const QByteArray path = qgetenv("PATH");
        qputenv("PATH", m_dir->path().toUtf8());
        for (const auto& [opener, opened] : {std::pair{"", false}, {"exit 0", true}, {"exit 3", false}, {"exec /bin/sleep 5", true}}) {
            QVERIFY(!*opener
                    || tst::writeExecutable(m_dir->filePath("xdg-open"), "#!/bin/sh\n[ \"$1\" = " + url.toUtf8() + " ] || exit 9\n" + opener));
            QVERIFY2(platform::openWebAddress(url.toStdString(), 1000) == opened, opener);
        }
        qputenv("PATH", path);
    }

    void ownSocketsInSnapshot();

private:
    QScopedPointer<QTemporaryDir> m_dir;
};

// A listener, both ends of a connection and a UDP socket, each once, owned by this process; a closed socket leaves the next snapshot.
void TestPlatform::ownSocketsInSnapshot()
{
    quint16 serverPort = 0, clientPort = 0, udpPort = 0;
    const int listener = openLoopback(SOCK_STREAM, serverPort);
    const int client = openLoopback(SOCK_STREAM, clientPort, serverPort);
    const int accepted = ::accept(listener, nullptr, nullptr);
    const int udp = openLoopback(SOCK_DGRAM, udpPort);
    QVERIFY(listener >= 0 && client >= 0 && accepted >= 0 && udp >= 0);

    platform::PortSnapshot snapshot = platform::takePortSnapshot();
    QVERIFY(snapshot.tcpRead && snapshot.udpRead);
    platform::findPortOwners(snapshot.entries);
    ::close(udp);
    QVERIFY(cases::entriesOn(platform::takePortSnapshot(), platform::Protocol::Udp, udpPort).empty());
    QVERIFY(cases::entriesOn(snapshot, platform::Protocol::Tcp, udpPort).empty());
    QStringList rows;
    for (const auto& [protocol, port] : {std::pair{platform::Protocol::Tcp, serverPort}, std::pair{platform::Protocol::Tcp, clientPort},
                                         std::pair{platform::Protocol::Udp, udpPort}}) {
        for (const platform::PortEntry& entry : cases::entriesOn(snapshot, protocol, port)) {
            QCOMPARE(entry.processId, platform::currentProcessId());
            rows << QStringLiteral("%1 %2 %3:%4")
                        .arg(port)
                        .arg(entry.state)
                        .arg(QString::fromStdString(platform::addressToString(entry.remoteAddress)))
                        .arg(entry.remotePort);
        }
    }
    for (const int fd : {listener, client, accepted})
        ::close(fd);
    const QString row = "%1 %2 %3:%4";
    QStringList expected{row.arg(clientPort).arg(platform::TcpEstablished).arg("127.0.0.1").arg(serverPort),
                         row.arg(serverPort).arg(platform::TcpListen).arg("0.0.0.0").arg(0),
                         row.arg(serverPort).arg(platform::TcpEstablished).arg("127.0.0.1").arg(clientPort),
                         row.arg(udpPort).arg(platform::TcpStateNone).arg("0.0.0.0").arg(0)};
    rows.sort();
    expected.sort();
    QCOMPARE(rows, expected);
    for (const cases::AddressText& row : cases::kAddressTexts)
        QCOMPARE(platform::addressToString(cases::toAddress(row)), std::string(row.text));
}

QTEST_GUILESS_MAIN(TestPlatform)
#include "TestPlatform.moc"
