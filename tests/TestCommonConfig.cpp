// Configuration shared with the suite: the framework's common configuration,
// the DESetup keys and the ordering of configuration versions.
#include "CommonMethodLib/CommonConfigFileMgr.h"
#include "DataEncryptionConfig.h"
#include "DatabaseUpdate/DBVersion.h"
#include "FileOperation.h"
#include "Proto/XmlProto.h"

#include "Base/Encrypt.h"
#include "Base/StringUtil.h"

#include "TestScratch.h"
#include "TestSupport.h"

#include <QtTest>

using comm_method::CDataEncryptionConfig;
using comm_methodlib::CCommonConfigFileMgr;

namespace {

std::string encode(const std::string& plain, bool fileParams = true)
{
    Base::Encrypt::CAESParamsSetRAII guard(fileParams ? CDataEncryptionConfig::fileParams() : Base::Encrypt::AESParams());
    std::string out;
    Base::Encrypt::Base64AndAESEncode(out, plain);
    return out;
}

} // namespace

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
        // A check-only pass reports bad values and stores nothing.
        QCOMPARE(config.CheckHttpPort(true), http != 16100);
        QCOMPARE(tst::readBytes(file), content == "-" ? QByteArray() : content);
        QVERIFY(config.CheckHttpPort(false) && config.CheckVideoWallPort());
        CCommonConfigFileMgr reread(file.toStdString());
        QCOMPARE(reread.GetFrameworkHttpPort(), http);
        QCOMPARE(reread.GetFrameworkVideoWallPort(), wall);
        QVERIFY(reread.CheckHttpPort(true));
        QVERIFY(!reread.SetFrameworkHttpPort(0) && !reread.SetFrameworkHttpPort(65536));
    }

    // key = hex of the first 8 bytes of sha256(s1 s2), salt = hex of bytes
    // 24..31 of sha256(s3 s4), data key = base64 of their middle halves.
    void desetupDerivation()
    {
        proto::CXmlProto doc;
        const char* segments[] = {"A1", "B2", "C3", "D4"};
        for (int i = 0; i < 4; ++i)
            doc.set_value(CDataEncryptionConfig::segmentPath(i + 1), segments[i]);
        unsigned char d1[32], d2[32], joined[32];
        QVERIFY(Base::Encrypt::Sha256(d1, 32, "A1B2", 100) && Base::Encrypt::Sha256(d2, 32, "C3D4", 100));
        memcpy(joined, d1 + 16, 16);
        memcpy(joined + 16, d2, 16);
        std::string dataKey;
        QVERIFY(Base::Encrypt::Base64EncodeEx(dataKey, joined, 32));

        const std::string path = (m_dir.path() + "/DESetup.dat").toStdString();
        QVERIFY(writeFile(path, encode(doc.to_str(0))));
        CDataEncryptionConfig config;
        QVERIFY(config.loadConfig(path));
        QCOMPARE(config.aesParams().key, Base::StringUtil::Vlue2HexString(d1, 8, false));
        QCOMPARE(config.aesParams().salt, Base::StringUtil::Vlue2HexString(d2 + 24, 8, false));
        QCOMPARE(config.dataKey(), dataKey);

        // Regenerated segments give other keys.
        QVERIFY(config.regenerateConfig(path) && config.loadConfig(path));
        QVERIFY(config.dataKey() != dataKey);
    }

    void desetupFailures()
    {
        CDataEncryptionConfig config;
        for (const std::string& text : {std::string("plain text"), encode("<DESetup/>", false), encode("<DESetup>")})
            QVERIFY(!config.setDESetup(text) && config.dataKey().empty());
        QVERIFY(!config.loadConfig((m_dir.path() + "/missing.dat").toStdString()));
        QVERIFY(!config.regenerateConfig((m_dir.path() + "/missing.dat").toStdString()));
    }

    void versionOrder_data()
    {
        QTest::addColumn<QString>("left");
        QTest::addColumn<QString>("right");
        QTest::addColumn<int>("order"); // 1: left > right, 0: equal, -1: left < right
        QTest::newRow("1.10 > 1.9") << "1.10" << "1.9" << 1;
        QTest::newRow("missing component is 0") << "1.0" << "1" << 0;
        QTest::newRow("1.2 < 1.2.1") << "1.2" << "1.2.1" << -1;
        QTest::newRow("empty is below every version") << "0" << "" << 1;
    }
    void versionOrder()
    {
        QFETCH(QString, left);
        QFETCH(QString, right);
        QFETCH(int, order);
        const DatabaseUpdate::CDBVersion a(left.toStdString()), b(right.toStdString());
        QCOMPARE(a > b, order > 0);
        QCOMPARE(a < b, order < 0);
        QCOMPARE(a == b, order == 0);
    }

private:
    ScratchHome m_home{ScratchHome::WithDrive};
    QTemporaryDir m_dir;
};

QTEST_GUILESS_MAIN(TestCommonConfig)
#include "TestCommonConfig.moc"
