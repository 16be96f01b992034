// The user-data folders: the path decisions fed with Windows-style inputs,
// the folder tree made by init, and the generated logging configuration,
// which log4cxx then really writes through.
#include "TestScratch.h"
#include "TestSupport.h"
#include "UserDataPath.h"

#include "Base/Log.h"
#include "ZRT/ZRT.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QtTest>

#include <cstdio>
#include <fcntl.h>
#include <memory>
#include <unistd.h>

#include <sys/stat.h>

using comm_method::CUserDataPath;

namespace {

// A program folder with the shipped maintain/ files; returns it with a
// trailing "/".
QString makeProgramFolder(const QString& base, bool withBenchmark = true)
{
    const QString exeDir = base + "/Suite/Server/";
    QDir().mkpath(exeDir + "maintain");
    const QString shipped = QStringLiteral(TAVRIN_SOURCE_DIR) + "/Install/maintain/";
    if (withBenchmark)
        QFile::copy(shipped + "Setup.xml.benchmark", exeDir + "maintain/Setup.xml.benchmark");
    QFile::copy(shipped + "log4cxx.properties.benchmark", exeDir + "maintain/log4cxx.properties.benchmark");
    return exeDir;
}

} // namespace

class TestUserDataPath : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void root_data();
    void root();
    void normalise_data();
    void normalise();
    void brandFolder();
    void cjk_data();
    void cjk();
    void rewriteProperties();
    void initCreatesTree();
    void initSecondBrand();
    void initFailures_data();
    void initFailures();
    void initOffSystemDrive();
    void existingRootWithoutLog();
    void userDataTreeIsPrivate_data();
    void userDataTreeIsPrivate();
    void existingProperties_data();
    void existingProperties();
    void log4cxxWritesNamedFiles();

private:
    std::unique_ptr<ScratchHome> m_env;
};

void TestUserDataPath::init()
{
    m_env = std::make_unique<ScratchHome>(ScratchHome::WithDrive);
}

void TestUserDataPath::root_data()
{
    QTest::addColumn<QString>("exeDir");
    QTest::addColumn<QString>("publicProfile");
    QTest::addColumn<int>("versionType");
    QTest::addColumn<QString>("expected");
    QTest::newRow("other drive") << "D:/Apps/Suite/Server/" << "C:/Users/Public" << 0 << "D:/Apps/UserData/";
    QTest::newRow("other drive, backslashes") << "D:\\Apps\\Suite\\Server\\" << "C:/Users/Public" << 0
                                              << "D:/Apps/UserData/";
    QTest::newRow("system drive") << "C:\\Program Files\\Suite\\Server\\" << "C:/Users/Public" << 0
                                  << "C:/Users/Public/Tavrin/UserData/";
    QTest::newRow("system drive, second brand") << "C:/Suite/Server/" << "C:/Users/Public" << 1
                                                << "C:/Users/Public/Orbelle UserData/";
    QTest::newRow("drive letter case differs") << "C:\\Apps\\Suite\\Server\\" << "c:/Users/Public" << 0
                                               << "C:/Apps/UserData/";
    QTest::newRow("no public profile") << "C:/Apps/Suite/Server/" << "" << 0 << "C:/Apps/UserData/";
}

void TestUserDataPath::root()
{
    QFETCH(QString, exeDir);
    QFETCH(QString, publicProfile);
    QFETCH(int, versionType);
    QFETCH(QString, expected);
    const std::string brand = CUserDataPath::brandFolder(versionType);
    const std::string root = CUserDataPath::normalise(
        CUserDataPath::rootFor(exeDir.toStdString(), publicProfile.toStdString(), brand));
    QCOMPARE(QString::fromStdString(root), expected);
}

void TestUserDataPath::normalise_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("expected");
    QTest::newRow("nothing to do") << "C:/a/b/" << "C:/a/b/";
    QTest::newRow("backslashes") << "C:\\a\\b\\" << "C:/a/b/";
    QTest::newRow("one level") << "C:/a/b/../c/" << "C:/a/c/";
    QTest::newRow("two levels in a row") << "/x/y/z/../../w/" << "/x/w/";
    QTest::newRow("separate levels") << "/a/b/../c/d/../e" << "/a/c/e";
    QTest::newRow("mixed separators") << "D:\\A\\B\\../..\\C/" << "D:/C/";
    QTest::newRow("nothing above the root") << "/../a/" << "/../a/";
}

void TestUserDataPath::normalise()
{
    QFETCH(QString, path);
    QFETCH(QString, expected);
    QCOMPARE(QString::fromStdString(CUserDataPath::normalise(path.toStdString())), expected);
}

void TestUserDataPath::brandFolder()
{
    QCOMPARE(CUserDataPath::brandFolder(0), std::string("Tavrin/"));
    QCOMPARE(CUserDataPath::brandFolder(1), std::string("Orbelle "));
    QCOMPARE(CUserDataPath::brandFolder(2), std::string());
    QCOMPARE(CUserDataPath::brandFolder(-1), std::string());
}

void TestUserDataPath::cjk_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("expected");
    QTest::newRow("ascii") << "D:/Apps/Server/" << false;
    QTest::newRow("ideograph") << QString::fromUtf8("D:/\u8F6F\u4EF6/Server/") << true;
    QTest::newRow("first of the range") << QString(QChar(0x4E00)) << true;
    QTest::newRow("last of the range") << QString(QChar(0x9FFF)) << true;
    QTest::newRow("just below") << QString(QChar(0x4DFF)) << false;
    QTest::newRow("hiragana") << QString::fromUtf8("D:/\u3042/") << false;
}

void TestUserDataPath::cjk()
{
    QFETCH(QString, text);
    QFETCH(bool, expected);
    QCOMPARE(CUserDataPath::containsCjk(text.toStdWString()), expected);
}

void TestUserDataPath::rewriteProperties()
{
    const std::vector<std::string> lines = {
        "log4j.rootLogger=INFO, R, error",
        "log4j.appender.R.File=old/R.txt",
        "#log4j.appender.error.File=old/E.txt",
        "log4j.appender.Late.File=old/Late.txt", // before its logger: unchanged
        "log4j.logger.Net=INFO, NetFile",
        "log4j.appender.NetFile.File=old/NetFile.txt", // appender named otherwise: unchanged
        "log4j.appender.Net.File=old/Net.txt",
        "log4j.logger.Late=INFO, Late",
        "log4j.appender.R.layout=org.apache.log4j.PatternLayout",
    };
    const std::vector<std::string> expected = {
        "log4j.rootLogger=INFO, R, error",
        "log4j.appender.R.File=/L/Framework.S/Framework.S.txt",
        "log4j.appender.error.File=/L/Framework.S/Framework.S.Error.txt",
        "log4j.appender.Late.File=old/Late.txt",
        "log4j.logger.Net=INFO, NetFile",
        "log4j.appender.NetFile.File=old/NetFile.txt",
        "log4j.appender.Net.File=/L/Framework.S/Net.txt",
        "log4j.logger.Late=INFO, Late",
        "log4j.appender.R.layout=org.apache.log4j.PatternLayout",
    };
    QCOMPARE(CUserDataPath::rewriteProperties(lines, "/L/Framework.S/", "Framework.S"), expected);
}

void TestUserDataPath::initCreatesTree()
{
    const QString exeDir = makeProgramFolder(m_env->path());
    CUserDataPath paths;
    QVERIFY(paths.init(exeDir.toStdString(), "Framework.S"));
    const QString root = m_env->drive() + "/Users/Public/Tavrin/UserData/";
    QCOMPARE(QString::fromStdString(paths.root()), root);
    QCOMPARE(paths.versionType(), 0);
    QCOMPARE(paths.productType(), 0);
    for (const char* sub : {"Dump", "Log", "Capture", "Video", "ABREM", "Backup", "Backup/AutoBackup",
                            "Backup/Import", "Framework.S", "Log/Framework.S", "Dump/Framework.S"})
        QVERIFY2(QDir(root + sub).exists(), sub);
    QCOMPARE(QString::fromStdString(paths.getUserDataDir()), root + "Framework.S/");
    QCOMPARE(QString::fromStdString(paths.getLogDir()), root + "Log/Framework.S/");
    QCOMPARE(QString::fromStdString(paths.getCertDir()), root + "Cert");
    QVERIFY(QDir(root + "Cert").exists());
    QCOMPARE(QString::fromStdString(paths.getImportDir()), root + "Backup/Import/");

    const QString properties = QString::fromStdString(paths.getPropertiesPath());
    QCOMPARE(properties, root + "Framework.S/Framework.S.log4cxx.properties");
    const QString text = tst::readText(properties);
    QVERIFY(text.contains("log4j.appender.R.File=" + root + "Log/Framework.S/Framework.S.txt\n"));
    QVERIFY(text.contains("log4j.appender.error.File=" + root + "Log/Framework.S/Framework.S.Error.txt\n"));
    QVERIFY(text.contains("log4j.appender.Net.File=" + root + "Log/Framework.S/Net.txt\n"));
    QVERIFY(text.contains("log4j.appender.error.Threshold=ERROR\n"));
}

void TestUserDataPath::initSecondBrand()
{
    const QString exeDir = makeProgramFolder(m_env->path());
    CUserDataPath paths;
    QVERIFY(paths.init(exeDir.toStdString(), "Framework.S", 1, 3));
    QCOMPARE(QString::fromStdString(paths.root()), m_env->drive() + "/Users/Public/Orbelle UserData/");
    QVERIFY(QDir(m_env->drive() + "/Users/Public/Orbelle UserData/Framework.S").exists());
    QCOMPARE(paths.productType(), 3);
}

void TestUserDataPath::initFailures_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("withBenchmark");
    QTest::addColumn<int>("versionType");
    QTest::newRow("empty name") << "" << true << 0;
    QTest::newRow("benchmark missing, types from it") << "Framework.S" << false << -1;
    QTest::newRow("unknown version type") << "Framework.S" << true << 2;
}

void TestUserDataPath::initFailures()
{
    QFETCH(QString, name);
    QFETCH(bool, withBenchmark);
    QFETCH(int, versionType);
    const QString exeDir = makeProgramFolder(m_env->path(), withBenchmark);
    CUserDataPath paths;
    QVERIFY(!paths.init(exeDir.toStdString(), name.toStdString(), versionType, 0));
    QVERIFY(!QDir(m_env->drive() + "/Users").exists()); // nothing made
    QCOMPARE(paths.getUserDataDir(), std::string());
}

void TestUserDataPath::initOffSystemDrive()
{
    // A relative program folder never shares its first byte with the
    // absolute public profile: the data go two levels above it.
    makeProgramFolder(m_env->path());
    const QString previous = QDir::currentPath();
    QVERIFY(QDir::setCurrent(m_env->path()));
    CUserDataPath paths;
    const bool ok = paths.init("Suite/Server/", "Framework.S");
    QDir::setCurrent(previous);
    QVERIFY(ok);
    QVERIFY(QDir(m_env->path() + "/UserData/Framework.S").exists());
    QVERIFY(QFile::exists(m_env->path() + "/UserData/Framework.S/Framework.S.log4cxx.properties"));
    QVERIFY(!QDir(m_env->drive() + "/Users").exists());
}

void TestUserDataPath::existingRootWithoutLog()
{
    const QString exeDir = makeProgramFolder(m_env->path());
    const QString root = m_env->drive() + "/Users/Public/Tavrin/UserData/";
    QVERIFY(QDir().mkpath(root));
    CUserDataPath paths;
    QVERIFY(paths.init(exeDir.toStdString(), "Framework.S"));
    QVERIFY(QDir(root + "Log/Framework.S").exists());
    QVERIFY(QDir(root + "Dump/Framework.S").exists());
    QVERIFY(!QDir(root + "Capture").exists()); // sub-folders made only with a new root
}

void TestUserDataPath::userDataTreeIsPrivate_data()
{
    QTest::addColumn<bool>("olderTree"); // made before, with 0755 folders and 0644 files
    QTest::newRow("new tree") << false;
    QTest::newRow("tree of an older start") << true;
}

// Every folder of the tree is 0700 and every file 0600, also the files made
// after init (here a configuration copied from the program folder).
void TestUserDataPath::userDataTreeIsPrivate()
{
    QFETCH(bool, olderTree);
    const mode_t previousMask = ::umask(022);
    const QString exeDir = makeProgramFolder(m_env->path());
    const QString root = m_env->drive() + "/Users/Public/Tavrin/UserData/";
    if (olderTree) {
        QVERIFY(QDir().mkpath(root + "Framework.S"));
        QVERIFY(QDir().mkpath(root + "Log/Framework.S"));
        QVERIFY(tst::writeBytes(root + "Framework.S/Setup.xml", "<Configs/>"));
        QVERIFY(tst::writeBytes(root + "Log/Framework.S/Framework.S.txt", "a log line\n"));
    }
    CUserDataPath paths;
    const bool ok = paths.init(exeDir.toStdString(), "Framework.S");
    const std::string copied = paths.getUserDataDir() + "Setup.xml.copy";
    const bool copiedOk =
        ZRT_CopyFile((exeDir + "maintain/Setup.xml.benchmark").toLocal8Bit().constData(), copied.c_str(), 0) == 0;
    ::umask(previousMask);
    QVERIFY(ok);
    QVERIFY(copiedOk);

    int files = 0;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        struct stat info {};
        QVERIFY(::lstat(path.toLocal8Bit().constData(), &info) == 0);
        const mode_t expected = S_ISDIR(info.st_mode) ? 0700 : 0600;
        QVERIFY2((info.st_mode & 07777) == expected,
                 qPrintable(path + ": " + QString::number(info.st_mode & 07777, 8)));
        files += S_ISREG(info.st_mode) ? 1 : 0;
    }
    QVERIFY(files >= 2);
    struct stat info {};
    QVERIFY(::stat(root.toLocal8Bit().constData(), &info) == 0);
    QCOMPARE(int(info.st_mode & 07777), 0700);
}

void TestUserDataPath::existingProperties_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("kept");
    const QByteArray edited = "# edited by the user\nlog4j.rootLogger=DEBUG, A\n"
                              "log4j.appender.A = org.apache.log4j.ConsoleAppender\n";
    QTest::newRow("user's edit") << edited << true;
    QTest::newRow("empty") << QByteArray() << false;
    QTest::newRow("garbage") << QByteArray("\x01\x7f\xff no key at all \x02\n") << false;
    QTest::newRow("comments only") << QByteArray("# edited by the user\n") << false;
    QTest::newRow("appender options only") << QByteArray("log4j.appender.R.File=x.txt\nlog4j.rootLogger=INFO, R\n")
                                           << false;
    QTest::newRow("appender commented out") << QByteArray("#log4j.appender.A=org.apache.log4j.ConsoleAppender\n")
                                            << false;
    QTest::newRow("one line of 300 KB") << edited + "# " + QByteArray(300 * 1024, 'x') + "\n" << false;
}

// An existing configuration that can serve is never regenerated, even when the
// template changed; one that cannot is kept aside and regenerated, and
// standard error says so (the logger is not configured yet).
void TestUserDataPath::existingProperties()
{
    QFETCH(QByteArray, content);
    QFETCH(bool, kept);
    const QString exeDir = makeProgramFolder(m_env->path());
    QString properties;
    {
        CUserDataPath paths;
        QVERIFY(paths.init(exeDir.toStdString(), "Framework.S"));
        properties = QString::fromStdString(paths.getPropertiesPath());
        QVERIFY(tst::writeBytes(properties, content));
    }
    QFile templ(exeDir + "maintain/log4cxx.properties.benchmark");
    QVERIFY(templ.open(QIODevice::Append));
    templ.write("log4j.appender.R.MaxBackupIndex=99\n");
    templ.close();

    // Standard error goes to a file while the configuration is checked.
    const QString errPath = m_env->path() + "/stderr.txt";
    std::fflush(stderr);
    const int savedErr = ::dup(2);
    const int errFile = ::open(QFile::encodeName(errPath).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    QVERIFY(savedErr >= 0 && errFile >= 0);
    ::dup2(errFile, 2);
    CUserDataPath again;
    const bool initialised = again.init(exeDir.toStdString(), "Framework.S");
    std::fflush(stderr);
    ::dup2(savedErr, 2);
    ::close(savedErr);
    ::close(errFile);
    QVERIFY(initialised);

    const QString said = tst::readText(errPath);
    const QStringList copies = QDir(QFileInfo(properties).absolutePath())
                                   .entryList({"Framework.S.log4cxx.properties.damaged-*"}, QDir::Files);
    if (kept) {
        QCOMPARE(tst::readBytes(properties), content);
        QVERIFY(copies.isEmpty());
        QVERIFY2(said.isEmpty(), qPrintable(said));
        return;
    }
    QCOMPARE(copies.size(), 1);
    QCOMPARE(tst::readBytes(QFileInfo(properties).absolutePath() + "/" + copies.first()), content);
    QVERIFY(tst::readText(properties).contains("log4j.appender.R.MaxBackupIndex=99\n"));
    QVERIFY2(said.contains("the logging configuration " + properties + " is damaged") && said.contains(copies.first()),
             qPrintable(said));
    QVERIFY(Base::details::CLog::Configure(properties.toStdString()));
}

void TestUserDataPath::log4cxxWritesNamedFiles()
{
    const QString exeDir = makeProgramFolder(m_env->path());
    CUserDataPath paths;
    QVERIFY(paths.init(exeDir.toStdString(), "Framework.S"));
    QVERIFY(Base::details::CLog::Configure(paths.getPropertiesPath()));
    TLOG_INFO("an info line %d", 1);
    TLOG_ERROR("an error line %d", 2);
    Base::CSingleton<Base::details::CLog>::Instance().Info("Net", "a network line", TLOG_LOCATION);

    const QString logDir = QString::fromStdString(paths.getLogDir());
    const QString main = tst::readText(logDir + "Framework.S.txt");
    const QString errors = tst::readText(logDir + "Framework.S.Error.txt");
    const QString net = tst::readText(logDir + "Net.txt");
    QVERIFY2(main.contains("an info line 1") && main.contains("an error line 2"), qPrintable(main));
    QVERIFY2(errors.contains("an error line 2") && !errors.contains("an info line"), qPrintable(errors));
    QVERIFY2(net.contains("a network line"), qPrintable(net));
    QVERIFY(!main.contains("a network line")); // not additive
}

QTEST_GUILESS_MAIN(TestUserDataPath)
#include "TestUserDataPath.moc"
