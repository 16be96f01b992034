// Crash-safe whole-file writes, the log-on Run values as autostart entries,
// and the profile folders.
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
    void keepsPermissions();
    void newFileFollowsUmask();
    void writesThroughSymbolicLink();
    void leavesReadOnlyFileAlone();
    void failsWithoutFolder();
    void killedWriterLeavesWholeFile();

    void runValueRoundTrip_data();
    void runValueRoundTrip();
    void runValueEntryFormat();
    void otherKeysOpenNothing_data();
    void otherKeysOpenNothing();

    void profileFolders_data();
    void profileFolders();

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

void TestPlatformFiles::keepsPermissions()
{
    const QString path = m_dir->filePath("config.properties");
    QVERIFY(writeWhole(path, "a=1"));
    QCOMPARE(::chmod(path.toLocal8Bit().constData(), 0640), 0);
    QVERIFY(writeWhole(path, "a=2"));
    struct stat info;
    QCOMPARE(::stat(path.toLocal8Bit().constData(), &info), 0);
    QCOMPARE(info.st_mode & 07777, mode_t(0640));
    QCOMPARE(tst::readBytes(path), QByteArray("a=2"));
}

void TestPlatformFiles::newFileFollowsUmask()
{
    const mode_t previous = ::umask(027);
    const QString path = m_dir->filePath("new.xml");
    const bool written = writeWhole(path, "x");
    ::umask(previous);
    QVERIFY(written);
    struct stat info;
    QCOMPARE(::stat(path.toLocal8Bit().constData(), &info), 0);
    QCOMPARE(info.st_mode & 07777, mode_t(0640));
}

void TestPlatformFiles::writesThroughSymbolicLink()
{
    const QString target = m_dir->filePath("real.xml");
    const QString link = m_dir->filePath("link.xml");
    QVERIFY(writeWhole(target, "old"));
    QVERIFY(QFile::link(target, link));
    QVERIFY(writeWhole(link, "new"));
    QVERIFY(QFileInfo(link).isSymLink());
    QCOMPARE(tst::readBytes(target), QByteArray("new"));
}

void TestPlatformFiles::leavesReadOnlyFileAlone()
{
    if (::geteuid() == 0)
        QSKIP("root may write any file");
    const QString path = m_dir->filePath("locked.xml");
    QVERIFY(writeWhole(path, "old"));
    QCOMPARE(::chmod(path.toLocal8Bit().constData(), 0444), 0);
    QVERIFY(!writeWhole(path, "new"));
    QCOMPARE(tst::readBytes(path), QByteArray("old"));
}

void TestPlatformFiles::failsWithoutFolder()
{
    QVERIFY(!writeWhole(m_dir->filePath("missing/Setup.xml"), "x"));
    QVERIFY(!writeWhole(m_dir->path(), "x")); // a folder is not a file
    QVERIFY(!writeWhole(QString(), "x"));
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

void TestPlatformFiles::otherKeysOpenNothing_data()
{
    QTest::addColumn<QString>("key");
    QTest::newRow("other sub-key") << "HKEY_LOCAL_MACHINE\\SOFTWARE\\Tavrin";
    QTest::newRow("other predefined hive") << "HKEY_USERS\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
    QTest::newRow("no sub-key") << "HKEY_CURRENT_USER";
    QTest::newRow("empty") << "";
}

void TestPlatformFiles::otherKeysOpenNothing()
{
    QFETCH(QString, key);
    const std::string keyPath = key.toStdString();
    QVERIFY(!platform::setRegistryString(keyPath, platform::RegistryView::Bits32, "TavrinServer", "/bin/true"));
    QCOMPARE(platform::registryString(keyPath, platform::RegistryView::Bits32, "TavrinServer"), std::string());
    QVERIFY(!platform::deleteRegistryValue(keyPath, platform::RegistryView::Bits32, "TavrinServer"));
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

QTEST_GUILESS_MAIN(TestPlatformFiles)
#include "TestPlatformFiles.moc"
