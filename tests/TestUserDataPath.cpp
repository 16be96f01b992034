// The user-data folders: the path decisions fed with Windows-style inputs,
// the folder tree made by init, and the generated logging configuration,
// which log4cxx then really writes through.
#include "TestScratch.h"
#include "TestSupport.h"
#include "UserDataPath.h"

#include "Base/Log.h"

#include <QtTest>

#include <memory>

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
            QVERIFY(tst::writeBytes(QString::fromStdString(paths.getPropertiesPath()), "# edited by the user\n"));
        }
        // A second start keeps the user's logging settings.
        CUserDataPath again;
        QVERIFY(again.init(exeDir.toStdString(), "Framework.S"));
        QCOMPARE(tst::readText(QString::fromStdString(again.getPropertiesPath())), QString("# edited by the user\n"));
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
