// The framework's common configuration: defaults, checks and persistence.
#include "CommonMethodLib/CommonConfigFileMgr.h"

#include "TestScratch.h"
#include "TestSupport.h"

#include <QtTest>

using comm_methodlib::CCommonConfigFileMgr;

class TestCommonConfig : public QObject
{
    Q_OBJECT

private slots:
    void checkRepairs_data()
    {
        QTest::addColumn<QByteArray>("content"); // "-": no file
        QTest::addColumn<int>("http");
        QTest::addColumn<int>("wall");
        const QByteArray framework = "<CommonConfig><Framework>%1</Framework></CommonConfig>";
        QTest::newRow("no file") << QByteArray("-") << 16100 << 18018;
        QTest::newRow("valid values kept")
            << QByteArray(framework).replace("%1", "<HttpPort>8080</HttpPort><VideoWallPort>9090</VideoWallPort>") << 8080 << 9090;
        QTest::newRow("out of range")
            << QByteArray(framework).replace("%1", "<HttpPort>0</HttpPort><VideoWallPort>70000</VideoWallPort>") << 16100 << 18018;
        QTest::newRow("one missing") << QByteArray(framework).replace("%1", "<HttpPort>8080</HttpPort>") << 8080 << 18018;
        QTest::newRow("damaged file") << QByteArray("<CommonConfig><Fra") << 16100 << 18018;
    }
    void checkRepairs()
    {
        QFETCH(QByteArray, content);
        QFETCH(int, http);
        QFETCH(int, wall);
        QTemporaryDir dir;
        const QString file = dir.path() + "/CommonConfig.xml";
        if (content != "-")
            QVERIFY(tst::writeBytes(file, content));
        CCommonConfigFileMgr config(file.toStdString());
        // Before the repair the defaults stand in for bad values; a check-only
        // pass reports them and stores nothing.
        QCOMPARE(config.GetFrameworkHttpPort(), http);
        QCOMPARE(config.CheckHttpPort(true), http != 16100);
        QCOMPARE(tst::readBytes(file), content == "-" ? QByteArray() : content);
        QVERIFY(config.CheckHttpPort(false));
        QVERIFY(config.CheckVideoWallPort());
        CCommonConfigFileMgr reread(file.toStdString());
        QCOMPARE(reread.GetFrameworkHttpPort(), http);
        QCOMPARE(reread.GetFrameworkVideoWallPort(), wall);
        QVERIFY(reread.CheckHttpPort(true));
    }

    void setPersistsAndRefusesNonPorts()
    {
        QTemporaryDir dir;
        const std::string file = (dir.path() + "/CommonConfig.xml").toStdString();
        CCommonConfigFileMgr config(file);
        QVERIFY(config.SetFrameworkHttpPort(1));
        QVERIFY(config.SetFrameworkVideoWallPort(65535));
        for (int bad : {0, -1, 65536})
            QVERIFY(!config.SetFrameworkHttpPort(bad));
        QVERIFY(!config.SetFrameworkVideoWallPort(0));
        CCommonConfigFileMgr reread(file);
        QCOMPARE(reread.GetFrameworkHttpPort(), 1);
        QCOMPARE(reread.GetFrameworkVideoWallPort(), 65535);
        QVERIFY(!CCommonConfigFileMgr((dir.path() + "/missing/CommonConfig.xml").toStdString()).SetFrameworkHttpPort(8000));
        // The process-wide user-data folder was never initialised: no file at all.
        CCommonConfigFileMgr unplaced;
        QCOMPARE(unplaced.filePath(), std::string());
        QVERIFY(!unplaced.SetFrameworkVideoWallPort(8000));
        QCOMPARE(unplaced.GetFrameworkVideoWallPort(), 18018);
    }

private:
    ScratchHome m_home{ScratchHome::WithDrive};
};

QTEST_GUILESS_MAIN(TestCommonConfig)
#include "TestCommonConfig.moc"
