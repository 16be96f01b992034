// Crash-safe whole-file writes, the log-on Run values as autostart entries,
// the profile folders, and display sizes read from fake sysfs trees.
#include "Platform.h"

#include "PlatformCases.h"
#include "TestSupport.h"

#include <QtTest>

#include <csignal>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

bool writeWhole(const QString& path, const QByteArray& bytes)
{
    return platform::writeWholeFile(path.toStdString(), bytes.toStdString());
}

} // namespace

class TestPlatformFiles : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void writesExactBytes_data();
    void writesExactBytes();
    void keepsWhatTheFileWas();
    void killedWriterLeavesWholeFile();

    void runValueRoundTrip_data();
    void runValueRoundTrip();
    void runValueEntryFormat();
    void otherKeysOpenNothing();

    void profileFolders_data();
    void profileFolders();
    void runtimeFolder_data();
    void runtimeFolder();
    void displaySizes_data();
    void displaySizes();

private:
    QTemporaryDir* m_dir = nullptr;
};

void TestPlatformFiles::init()
{
    m_dir = new QTemporaryDir;
    QVERIFY(m_dir->isValid());
    qputenv("HOME", m_dir->filePath("home").toUtf8());
    qputenv("XDG_CONFIG_HOME", m_dir->filePath("config").toUtf8());
    qputenv("XDG_CONFIG_DIRS", (m_dir->filePath("xdg1") + ":" + m_dir->filePath("xdg2")).toUtf8());
    qputenv("XDG_DATA_HOME", m_dir->filePath("data").toUtf8());
    qunsetenv("HOMEDRIVE");
}

void TestPlatformFiles::cleanup()
{
    delete m_dir;
    m_dir = nullptr;
}

void TestPlatformFiles::writesExactBytes_data()
{
    QTest::addColumn<QByteArray>("old");
    QTest::addColumn<QByteArray>("bytes");
    for (const cases::WholeFileWrite& row : cases::kWholeFileWrites)
        QTest::newRow(row.label) << QByteArray::fromStdString(row.old) << QByteArray::fromStdString(row.bytes);
}

void TestPlatformFiles::writesExactBytes()
{
    QFETCH(QByteArray, old);
    QFETCH(QByteArray, bytes);
    const QString path = m_dir->filePath("Setup.xml");
    if (!old.isEmpty())
        QVERIFY(writeWhole(path, old));
    QVERIFY(writeWhole(path, bytes));
    QCOMPARE(tst::readBytes(path), bytes);
    // Nothing but the file is left in the folder.
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             QStringList{"Setup.xml"});
}

namespace {
mode_t modeOf(const QString& path)
{
    struct stat info {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_mode & 07777 : 01;
}
} // namespace

// Permissions, links and read-only files stay; a new file follows the umask;
// only a file in an existing folder is written.
void TestPlatformFiles::keepsWhatTheFileWas()
{
    const QString path = m_dir->filePath("config.properties");
    const mode_t previous = ::umask(027);
    const bool written = writeWhole(path, "a=1");
    ::umask(previous);
    QVERIFY(written);
    QCOMPARE(modeOf(path), mode_t(0640));
    QCOMPARE(::chmod(QFile::encodeName(path).constData(), 0604), 0);
    QVERIFY(writeWhole(path, "a=2"));
    QCOMPARE(modeOf(path), mode_t(0604));

    const QString link = m_dir->filePath("link.xml");
    QVERIFY(QFile::link(path, link));
    QVERIFY(writeWhole(link, "new"));
    QVERIFY(QFileInfo(link).isSymLink());
    QCOMPARE(tst::readBytes(path), QByteArray("new"));

    QVERIFY(!writeWhole(m_dir->filePath("missing/Setup.xml"), "x"));
    QVERIFY(!writeWhole(m_dir->path(), "x")); // a folder is not a file
    QVERIFY(!writeWhole(QString(), "x"));

    // A read-only file is left alone; root may write any file, so a child
    // checks it as nobody then.
    const QString locked = m_dir->filePath("open/locked.xml");
    QVERIFY(QDir().mkpath(m_dir->filePath("open")));
    QVERIFY(::chmod(QFile::encodeName(m_dir->path()).constData(), 0711) == 0
            && ::chmod(QFile::encodeName(m_dir->filePath("open")).constData(), 0777) == 0);
    const pid_t child = ::fork();
    if (child == 0) {
        const bool dropped = ::geteuid() != 0 || (::setgid(65534) == 0 && ::setuid(65534) == 0);
        const bool refused = dropped && writeWhole(locked, "old") && ::chmod(QFile::encodeName(locked).constData(), 0444) == 0
                             && !writeWhole(locked, "new") && tst::readBytes(locked) == "old";
        ::_exit(refused ? 0 : 1);
    }
    int status = 0;
    QCOMPARE(::waitpid(child, &status, 0), child);
    QVERIFY(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

void TestPlatformFiles::killedWriterLeavesWholeFile()
{
    // Two contents of different lengths, so a mix or a cut shows.
    const std::string first(300000, 'a');
    const std::string second(170000, 'b');
    const QString path = m_dir->filePath("Setup.xml");
    QVERIFY(writeWhole(path, QByteArray::fromStdString(first)));

    for (int round = 0; round < 12; ++round) {
        const pid_t writer = ::fork();
        QVERIFY(writer >= 0);
        if (writer == 0) {
            for (int i = 0;; ++i)
                platform::writeWholeFile(path.toStdString(), i % 2 ? first : second);
        }
        ::usleep(static_cast<useconds_t>(3000 + round * 2500));
        QCOMPARE(::kill(writer, SIGKILL), 0);
        int status = 0;
        QCOMPARE(::waitpid(writer, &status, 0), writer);
        QVERIFY(WIFSIGNALED(status));
        const QByteArray content = tst::readBytes(path);
        QVERIFY2(content == QByteArray::fromStdString(first) || content == QByteArray::fromStdString(second),
                 qPrintable(QStringLiteral("round %1: torn file of %2 bytes").arg(round).arg(content.size())));
    }
}

void TestPlatformFiles::runValueRoundTrip_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("folder"); // relative to the temporary folder
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
}

void TestPlatformFiles::runValueRoundTrip()
{
    QFETCH(QString, key);
    QFETCH(QString, folder);
    QFETCH(QString, program);
    const std::string keyPath = key.toStdString();
    const auto view = platform::RegistryView::Bits32;

    QCOMPARE(platform::registryString(keyPath, view, "TavrinServer"), std::string());
    QVERIFY(platform::setRegistryString(keyPath, view, "TavrinServer", program.toStdString()));
    QVERIFY(QFile::exists(m_dir->filePath(folder + "/TavrinServer.desktop")));
    QCOMPARE(QString::fromStdString(platform::registryString(keyPath, view, "TavrinServer")), program);

    // Writing again replaces the value.
    QVERIFY(platform::setRegistryString(keyPath, view, "TavrinServer", "/usr/bin/other"));
    QCOMPARE(platform::registryString(keyPath, view, "TavrinServer"), std::string("/usr/bin/other"));

    QVERIFY(platform::deleteRegistryValue(keyPath, view, "TavrinServer"));
    QVERIFY(!QFile::exists(m_dir->filePath(folder + "/TavrinServer.desktop")));
    QCOMPARE(platform::registryString(keyPath, view, "TavrinServer"), std::string());
    QVERIFY(platform::deleteRegistryValue(keyPath, view, "TavrinServer")); // already gone
}

void TestPlatformFiles::runValueEntryFormat()
{
    const std::string program = "/opt/A \"B\" $C `D` 5%\\E/run";
    QVERIFY(platform::setRegistryString(platform::kUserRunKey, platform::RegistryView::Bits32, "TavrinServer", program));
    const QStringList lines = QString::fromUtf8(tst::readBytes(m_dir->filePath("config/autostart/TavrinServer.desktop")))
                                  .split('\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.value(0), QStringLiteral("[Desktop Entry]"));
    QVERIFY(lines.contains("Type=Application"));
    QVERIFY(lines.contains("Name=TavrinServer"));
    QVERIFY(lines.contains("X-GNOME-Autostart-enabled=true"));
    // Quoted argument with ", `, $ and \ escaped, % doubled; then the string escape doubles every backslash.
    QVERIFY2(lines.contains(R"(Exec="/opt/A \\"B\\" \\$C \\`D\\` 5%%\\\\E/run")"), qPrintable(lines.join(" | ")));
}

void TestPlatformFiles::otherKeysOpenNothing()
{
    const auto view = platform::RegistryView::Bits32;
    for (const char* key : {"HKEY_LOCAL_MACHINE\\SOFTWARE\\Tavrin", "HKEY_CURRENT_USER", "",
                                   "HKEY_USERS\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run"}) {
        QVERIFY2(!platform::setRegistryString(key, view, "TavrinServer", "/bin/true"), key);
        QCOMPARE(platform::registryString(key, view, "TavrinServer"), std::string());
        QVERIFY(!platform::deleteRegistryValue(key, view, "TavrinServer"));
    }
    // Nothing was created anywhere.
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());
}

void TestPlatformFiles::profileFolders_data()
{
    QTest::addColumn<QByteArray>("homeDrive");
    QTest::addColumn<QByteArray>("dataHome");
    QTest::addColumn<QString>("expected"); // "~" stands for the temporary folder
    QTest::newRow("HOMEDRIVE set") << QByteArray("C:") << QByteArray("~/data") << "C:/Users/Public";
    QTest::newRow("XDG data folder") << QByteArray() << QByteArray("~/data") << "~/data";
    QTest::newRow("default data folder") << QByteArray() << QByteArray() << "~/home/.local/share";
    QTest::newRow("relative XDG folder ignored") << QByteArray() << QByteArray("rel") << "~/home/.local/share";
}

void TestPlatformFiles::profileFolders()
{
    QFETCH(QByteArray, homeDrive);
    QFETCH(QByteArray, dataHome);
    QFETCH(QString, expected);
    const QByteArray temp = m_dir->path().toUtf8();
    if (homeDrive.isEmpty())
        qunsetenv("HOMEDRIVE");
    else
        qputenv("HOMEDRIVE", homeDrive);
    if (dataHome.isEmpty())
        qunsetenv("XDG_DATA_HOME");
    else
        qputenv("XDG_DATA_HOME", dataHome.replace("~", temp));
    QCOMPARE(QString::fromStdString(platform::homeDrive()), QString::fromUtf8(homeDrive));
    QCOMPARE(QString::fromStdString(platform::publicProfileFolder()), expected.replace("~", m_dir->path()));
}

void TestPlatformFiles::runtimeFolder_data()
{
    QTest::addColumn<QString>("runtimeDir"); // how $XDG_RUNTIME_DIR is set up
    QTest::addColumn<QString>("expected");   // "xdg", "fallback" or "" (none)
    QTest::newRow("private") << "0700" << "xdg";
    QTest::newRow("open to others, tightened") << "0755" << "xdg";
    QTest::newRow("a link") << "link" << "fallback";
    QTest::newRow("another user's") << "other" << "fallback";
    QTest::newRow("unset") << "unset" << "fallback";
    QTest::newRow("unset, fallback taken by a link") << "unset, link in the way" << "";
}

// The single-instance guard's folder is the user's alone, or there is none.
void TestPlatformFiles::runtimeFolder()
{
    QFETCH(QString, runtimeDir);
    QFETCH(QString, expected);
    const QString xdg = m_dir->filePath("run");
    const QString temp = m_dir->filePath("tmp");
    const QString fallback = temp + "/runtime-" + QString::fromStdString(platform::userName());
    QVERIFY(QDir().mkpath(temp));
    qputenv("TMPDIR", temp.toUtf8());
    qputenv("XDG_RUNTIME_DIR", xdg.toUtf8());
    if (runtimeDir == "0700" || runtimeDir == "0755" || runtimeDir == "other") {
        QVERIFY(::mkdir(QFile::encodeName(xdg).constData(), runtimeDir == "0755" ? 0755 : 0700) == 0);
        if (runtimeDir == "other" && (::geteuid() != 0 || ::chown(QFile::encodeName(xdg).constData(), 65534, 65534) != 0))
            QSKIP("another user's folder needs root to give it away");
    } else if (runtimeDir == "link") {
        QVERIFY(QDir().mkpath(m_dir->filePath("real")));
        QVERIFY(QFile::link(m_dir->filePath("real"), xdg));
    } else {
        qunsetenv("XDG_RUNTIME_DIR");
        if (runtimeDir.contains("link"))
            QVERIFY(QFile::link(m_dir->path(), fallback));
    }
    const QString folder = QString::fromStdString(platform::userRuntimeFolder());
    qunsetenv("TMPDIR");
    qunsetenv("XDG_RUNTIME_DIR");
    QCOMPARE(folder, expected == "xdg" ? xdg : expected == "fallback" ? fallback : QString());
    if (folder.isEmpty())
        return;
    struct stat info;
    QVERIFY(::lstat(QFile::encodeName(folder).constData(), &info) == 0);
    QVERIFY(S_ISDIR(info.st_mode));
    QCOMPARE(info.st_mode & 07777, mode_t(0700));
    QCOMPARE(info.st_uid, ::geteuid());
}

void TestPlatformFiles::displaySizes_data()
{
    QTest::addColumn<QString>("root");
    QTest::addColumn<QString>("expected"); // "WxH" per display, in order
    // A laptop panel plus a disconnected HDMI port; the card node is no display.
    QTest::newRow("one small panel") << "sysfs-small" << "1366x768";
    // Two monitors across two cards, one connector without modes, a plain file beside them.
    QTest::newRow("two large and one without modes") << "sysfs-large" << "1920x1080 2560x1440 0x0";
    QTest::newRow("nothing connected") << "sysfs-none" << "";
    QTest::newRow("no drm folder") << "does-not-exist" << "";
}

void TestPlatformFiles::displaySizes()
{
    QFETCH(QString, root);
    QStringList found;
    for (const platform::DisplaySize& size : platform::displaySizes((TAVRIN_TEST_DATA_DIR "/" + root).toStdString()))
        found << QStringLiteral("%1x%2").arg(size.width).arg(size.height);
    QTEST(found.join(' '), "expected");
}

QTEST_GUILESS_MAIN(TestPlatformFiles)
#include "TestPlatformFiles.moc"
