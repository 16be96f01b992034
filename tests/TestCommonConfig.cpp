// The framework's common configuration: defaults, checks and persistence.
#include "CommonMethodLib/CommonConfigFileMgr.h"
#include "TestScratch.h"

#include "TestSupport.h"

#include <QFile>
#include <QtTest>

#include <memory>

using comm_methodlib::CCommonConfigFileMgr;

class TestCommonConfig : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void defaultsWhenMissing();
    void checkRepairs_data();
    void checkRepairs();
    void setPersists();
    void setRefusesNonPorts();
    void noFolderFails();

private:
    QString file() const { return m_env->path() + "/CommonConfig.xml"; }
    std::unique_ptr<ScratchHome> m_env;
};

void TestCommonConfig::init()
{
    m_env = std::make_unique<ScratchHome>(ScratchHome::WithDrive);
}

void TestCommonConfig::defaultsWhenMissing()
{
    CCommonConfigFileMgr config(file().toStdString());
    QCOMPARE(config.GetFrameworkHttpPort(), 16100);
    QCOMPARE(config.GetFrameworkVideoWallPort(), 18018);
    QVERIFY(!QFile::exists(file()));
    QVERIFY(!config.CheckHttpPort(true)); // check only: nothing stored
    QVERIFY(!QFile::exists(file()));
    QVERIFY(config.CheckHttpPort(false));
    QVERIFY(config.CheckVideoWallPort());
    QVERIFY(QFile::exists(file()));
}

void TestCommonConfig::checkRepairs_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("http");
    QTest::addColumn<int>("wall");
    QTest::newRow("valid values kept") << QByteArray("<CommonConfig><Framework><HttpPort>8080</HttpPort>"
                                                     "<VideoWallPort>9090</VideoWallPort></Framework></CommonConfig>")
                                       << 8080 << 9090;
    QTest::newRow("out of range") << QByteArray("<CommonConfig><Framework><HttpPort>0</HttpPort>"
                                                "<VideoWallPort>70000</VideoWallPort></Framework></CommonConfig>")
                                  << 16100 << 18018;
    QTest::newRow("one missing") << QByteArray("<CommonConfig><Framework><HttpPort>8080</HttpPort></Framework>"
                                               "</CommonConfig>")
                                 << 8080 << 18018;
    QTest::newRow("damaged file") << QByteArray("<CommonConfig><Fra") << 16100 << 18018;
}

void TestCommonConfig::checkRepairs()
{
    QFETCH(QByteArray, content);
    QFETCH(int, http);
    QFETCH(int, wall);
    QVERIFY(tst::writeBytes(file(), content));
    CCommonConfigFileMgr config(file().toStdString());
    QVERIFY(config.CheckHttpPort(false));
    QVERIFY(config.CheckVideoWallPort());
    CCommonConfigFileMgr reread(file().toStdString());
    QCOMPARE(reread.GetFrameworkHttpPort(), http);
    QCOMPARE(reread.GetFrameworkVideoWallPort(), wall);
    QVERIFY(reread.CheckHttpPort(true));
}

void TestCommonConfig::setPersists()
{
    {
        CCommonConfigFileMgr config(file().toStdString());
        QVERIFY(config.SetFrameworkHttpPort(1));
        QVERIFY(config.SetFrameworkVideoWallPort(65535));
    }
    CCommonConfigFileMgr reread(file().toStdString());
    QCOMPARE(reread.GetFrameworkHttpPort(), 1);
    QCOMPARE(reread.GetFrameworkVideoWallPort(), 65535);
}

void TestCommonConfig::setRefusesNonPorts()
{
    CCommonConfigFileMgr config(file().toStdString());
    QVERIFY(config.SetFrameworkHttpPort(8000));
    for (int bad : {0, -1, 65536})
        QVERIFY(!config.SetFrameworkHttpPort(bad));
    QVERIFY(!config.SetFrameworkVideoWallPort(0));
    QCOMPARE(config.GetFrameworkHttpPort(), 8000);
}

void TestCommonConfig::noFolderFails()
{
    CCommonConfigFileMgr config((m_env->path() + "/missing/CommonConfig.xml").toStdString());
    QVERIFY(!config.SetFrameworkHttpPort(8000));
    // The process-wide user-data folder was never initialised: no file at all.
    CCommonConfigFileMgr unplaced;
    QCOMPARE(unplaced.filePath(), std::string());
    QVERIFY(!unplaced.SetFrameworkVideoWallPort(8000));
    QCOMPARE(unplaced.GetFrameworkVideoWallPort(), 18018);
}

QTEST_GUILESS_MAIN(TestCommonConfig)
#include "TestCommonConfig.moc"
