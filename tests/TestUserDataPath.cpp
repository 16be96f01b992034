// The user-data folders: the path decisions fed with Windows-style inputs,
// the folder tree made by init, and the generated logging configuration,
// which log4cxx then really writes through.
#include "TestScratch.h"
#include "TestSupport.h"
#include "UserDataPath.h"

#include "Base/Log.h"
#include "ZRT/ZRT.h"

#include <QDirIterator>
#include <QtTest>

#include <cstdio>
#include <fcntl.h>
#include <memory>
#include <unistd.h>

#include <sys/stat.h>

using comm_method::CUserDataPath;

class TestUserDataPath : public QObject
{
    Q_OBJECT

private slots:
    void init() { m_env = std::make_unique<ScratchHome>(ScratchHome::WithDrive); }

    void root_data()
    {
        QTest::addColumn<QString>("exeDir");
        QTest::addColumn<QString>("publicProfile");
        QTest::addColumn<int>("versionType");
        QTest::addColumn<QString>("expected");
        QTest::newRow("other drive, backslashes") << "D:\\Apps\\Suite\\Server\\" << "C:/Users/Public" << 0 << "D:/Apps/UserData/";
        QTest::newRow("system drive") << "C:\\Program Files\\Suite\\Server\\" << "C:/Users/Public" << 0
                                      << "C:/Users/Public/Tavrin/UserData/";
        QTest::newRow("system drive, second brand") << "C:/Suite/Server/" << "C:/Users/Public" << 1
                                                    << "C:/Users/Public/Orbelle UserData/";
        QTest::newRow("drive letter case differs") << "C:\\Apps\\Suite\\Server\\" << "c:/Users/Public" << 0
                                                   << "C:/Apps/UserData/";
        QTest::newRow("no public profile") << "C:/Apps/Suite/Server/" << "" << 0 << "C:/Apps/UserData/";
    }
    void root()
    {
        QFETCH(QString, exeDir);
        QFETCH(QString, publicProfile);
        QFETCH(int, versionType);
        const std::string root = CUserDataPath::rootFor(exeDir.toStdString(), publicProfile.toStdString(),
                                                        CUserDataPath::brandFolder(versionType));
        QTEST(QString::fromStdString(CUserDataPath::normalise(root)), "expected");
    }

    void normaliseAndCjk()
    {
        const QList<QPair<QString, QString>> paths = {{"C:\\a\\b\\", "C:/a/b/"},
                                                      {"/x/y/z/../../w/", "/x/w/"},
                                                      {"/a/b/../c/d/../e", "/a/c/e"},
                                                      {"D:\\A\\B\\../..\\C/", "D:/C/"},
                                                      {"/../a/", "/../a/"}};
        for (const auto& path : paths)
            QCOMPARE(QString::fromStdString(CUserDataPath::normalise(path.first.toStdString())), path.second);
        for (QChar c : {QChar(0x4E00), QChar(0x9FFF)})
            QVERIFY(CUserDataPath::containsCjk(("D:/" + QString(c) + "/").toStdWString()));
        for (QChar c : {QChar('a'), QChar(0x4DFF), QChar(0x3042)})
            QVERIFY(!CUserDataPath::containsCjk(("D:/" + QString(c) + "/").toStdWString()));
    }

    void rewriteProperties()
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
        };
        std::vector<std::string> expected = lines;
        expected[1] = "log4j.appender.R.File=/L/Framework.S/Framework.S.txt";
        expected[2] = "log4j.appender.error.File=/L/Framework.S/Framework.S.Error.txt";
        expected[6] = "log4j.appender.Net.File=/L/Framework.S/Net.txt";
        QCOMPARE(CUserDataPath::rewriteProperties(lines, "/L/Framework.S/", "Framework.S"), expected);
    }

    void initCreatesTreeAndLogsThroughIt()
    {
        const QString exeDir = programFolder();
        const QString root = m_env->drive() + "/Users/Public/Tavrin/UserData/";
        {
            CUserDataPath paths;
            QVERIFY(paths.init(exeDir.toStdString(), "Framework.S"));
            QCOMPARE(QString::fromStdString(paths.root()), root);
            for (const char* sub : {"Dump/Framework.S", "Log/Framework.S", "Capture", "Video", "ABREM",
                                    "Backup/AutoBackup", "Backup/Import", "Framework.S"})
                QVERIFY2(QDir(root + sub).exists(), sub);
            QCOMPARE(QString::fromStdString(paths.getCertDir()), root + "Cert");
            QVERIFY(QDir(root + "Cert").exists());
            QCOMPARE(QString::fromStdString(paths.getPropertiesPath()), root + "Framework.S/Framework.S.log4cxx.properties");

            QVERIFY(Base::details::CLog::Configure(paths.getPropertiesPath()));
            TLOG_INFO("an info line %d", 1);
            TLOG_ERROR("an error line %d", 2);
            Base::CSingleton<Base::details::CLog>::Instance().Info("Net", "a network line", TLOG_LOCATION);
            const QString logDir = root + "Log/Framework.S/";
            const QString main = tst::readText(logDir + "Framework.S.txt");
            const QString errors = tst::readText(logDir + "Framework.S.Error.txt");
            QVERIFY2(main.contains("an info line 1") && main.contains("an error line 2"), qPrintable(main));
            QVERIFY2(errors.contains("an error line 2") && !errors.contains("an info line"), qPrintable(errors));
            QVERIFY(tst::readText(logDir + "Net.txt").contains("a network line"));
            QVERIFY(!main.contains("a network line")); // not additive
        }
        CUserDataPath second;
        QVERIFY(second.init(exeDir.toStdString(), "Framework.S", 1, 3));
        QVERIFY(QDir(m_env->drive() + "/Users/Public/Orbelle UserData/Framework.S").exists());
        QCOMPARE(second.productType(), 3);
    }

    void initFailures_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("withBenchmark");
        QTest::addColumn<int>("versionType");
        QTest::newRow("empty name") << "" << true << 0;
        QTest::newRow("benchmark missing, types from it") << "Framework.S" << false << -1;
        QTest::newRow("unknown version type") << "Framework.S" << true << 2;
    }
    void initFailures()
    {
        QFETCH(QString, name);
        QFETCH(bool, withBenchmark);
        QFETCH(int, versionType);
        CUserDataPath paths;
        QVERIFY(!paths.init(programFolder(withBenchmark).toStdString(), name.toStdString(), versionType, 0));
        QVERIFY(!QDir(m_env->drive() + "/Users").exists()); // nothing made
        QCOMPARE(paths.getUserDataDir(), std::string());
    }

    void initOffSystemDrive()
    {
        // A relative program folder never shares its first byte with the
        // absolute public profile: the data go two levels above it.
        programFolder();
        const QString previous = QDir::currentPath();
        QVERIFY(QDir::setCurrent(m_env->path()));
        CUserDataPath paths;
        const bool ok = paths.init("Suite/Server/", "Framework.S");
        QDir::setCurrent(previous);
        QVERIFY(ok);
        QVERIFY(QFile::exists(m_env->path() + "/UserData/Framework.S/Framework.S.log4cxx.properties"));
        QVERIFY(!QDir(m_env->drive() + "/Users").exists());
    }

    void userDataTreeIsPrivate_data()
    {
        QTest::addColumn<bool>("olderTree"); // made before, with 0755 folders and 0644 files
        QTest::newRow("new tree") << false;
        QTest::newRow("tree of an older start") << true;
    }

    // Every folder of the tree is 0700 and every file 0600, also the files made
    // after init (here a configuration copied from the program folder).
    void userDataTreeIsPrivate()
    {
        QFETCH(bool, olderTree);
        const mode_t previousMask = ::umask(022);
        const QString exeDir = programFolder();
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

    void existingProperties_data()
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
    void existingProperties()
    {
        QFETCH(QByteArray, content);
        QFETCH(bool, kept);
        const QString exeDir = programFolder();
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

private:
    // A program folder with the shipped maintain/ files, ending in "/".
    QString programFolder(bool withBenchmark = true)
    {
        const QString exeDir = m_env->path() + "/Suite/Server/";
        QDir().mkpath(exeDir + "maintain");
        const QString shipped = QStringLiteral(TAVRIN_SOURCE_DIR) + "/Install/maintain/";
        if (withBenchmark)
            QFile::copy(shipped + "Setup.xml.benchmark", exeDir + "maintain/Setup.xml.benchmark");
        QFile::copy(shipped + "log4cxx.properties.benchmark", exeDir + "maintain/log4cxx.properties.benchmark");
        return exeDir;
    }
    std::unique_ptr<ScratchHome> m_env;
};

QTEST_GUILESS_MAIN(TestUserDataPath)
#include "TestUserDataPath.moc"
