// The identity parameters: created on first start, exported without the keys
// in clear, imported back only with known names.
#include "IdentifyAuth/AuthCfgManager.h"

#include "TestScratch.h"
#include "TestSupport.h"

#include <Base/IdentifyUtil.h>

#include <QTemporaryDir>
#include <QtTest>

using serverframework::CAuthenticationManager;

namespace {

tagRegCfgInfo stored()
{
    tagRegCfgInfo record;
    std::memset(static_cast<void*>(&record), 0, sizeof(record));
    Base::IdentifyUtil::ReadIdentifyInfo(record);
    return record;
}

bool sameRecord(const tagRegCfgInfo& a, const tagRegCfgInfo& b) { return std::memcmp(&a, &b, sizeof(a)) == 0; }

} // namespace

class TestAuthentication : public QObject
{
    Q_OBJECT

private slots:
    void init() // a store of its own for each test
    {
        storeDir.reset(new QTemporaryDir());
        Base::IdentifyUtil::ReleaseIdentifyLib();
        QCOMPARE(Base::IdentifyUtil::InitIdentifyLib(storeDir->path().toStdString()), Base::IdentifyUtil::kNoRecord);
    }

    void createExportImport()
    {
        CAuthenticationManager manager;
        const QString path = storeDir->filePath("identify.xml");
        QVERIFY(!manager.ExportIdentifyInfo(path.toStdString())); // no record yet
        QCOMPARE(manager.InitIdentifyLib(), CAuthenticationManager::kNoRecord);
        QVERIFY(!manager.isLibInitialised());

        manager.CreateIdentifyInfo();
        const tagRegCfgInfo original = stored();
        QCOMPARE(std::strlen(original.saltKey), std::size_t(16));
        QVERIFY(QString(original.saltKey) != QString(original.secretKey));
        QCOMPARE(manager.InitIdentifyLib(), std::uint32_t(0));
        QVERIFY(manager.isLibInitialised());

        QVERIFY(manager.ExportIdentifyInfo(path.toStdString()));
        const QByteArray text = tst::readBytes(path);
        QVERIFY(text.contains("<digest value=\"sha256\""));
        QVERIFY(!text.contains(original.saltKey));
        QVERIFY(!text.contains(original.secretKey));

        manager.CreateIdentifyInfo(); // new keys each time
        QVERIFY(QString(stored().saltKey) != QString(original.saltKey));
        QVERIFY(manager.ImportIdentifyInfo(path.toStdString()));
        QVERIFY(sameRecord(stored(), original));
        QVERIFY(manager.ReleaseIdentifyLib());
        QVERIFY(!manager.isLibInitialised());
    }

    void importChecksTheNames_data()
    {
        QTest::addColumn<QString>("fields"); // version, cipher, mode, digest
        QTest::addColumn<bool>("accepted");
        QTest::newRow("aes-ecb-sha256") << "1.0 AES ECB sha256" << true;
        QTest::newRow("rsa-cbc-sha512") << "1.0 RSA CBC sha512" << true;
        QTest::newRow("aes-ofb-sha384") << "1.0 AES OFB sha384" << true;
        QTest::newRow("unknown digest") << "1.0 AES ECB md5" << false;
        QTest::newRow("lower-case mode") << "1.0 AES ecb sha256" << false;
        QTest::newRow("unknown cipher") << "1.0 DES ECB sha256" << false;
        QTest::newRow("other version") << "2.0 AES ECB sha256" << false;
        QTest::newRow("missing file") << "" << false;
    }
    void importChecksTheNames()
    {
        QFETCH(QString, fields);
        QFETCH(bool, accepted);
        CAuthenticationManager manager;
        manager.CreateIdentifyInfo();
        const tagRegCfgInfo before = stored();
        const QString path = storeDir->filePath("import.xml");
        const QStringList f = fields.split(' ');
        if (f.size() == 4)
            QVERIFY(tst::writeBytes(path, QString("<Identify><version value=\"%1\"/><encryptName value=\"%2\"/>"
                                                  "<encryptMode value=\"%3\"/><digest value=\"%4\"/>"
                                                  "<securityLevel value=\"7\"/><saltKey value=\"notEncoded\"/></Identify>")
                                              .arg(f[0], f[1], f[2], f[3]).toUtf8()));
        QCOMPARE(manager.ImportIdentifyInfo(path.toStdString()), accepted);
        const tagRegCfgInfo after = stored();
        if (!accepted) {
            QVERIFY(sameRecord(after, before));
            return;
        }
        QCOMPARE(QString(after.digest), f[3]);
        QCOMPARE(after.securityLevel, 7);
        QCOMPARE(after.keyLength, 0); // missing fields start from zero
        QCOMPARE(QString(after.saltKey), QString()); // an undecodable key is left empty
    }

private:
    ScratchHome home;
    QScopedPointer<QTemporaryDir> storeDir;
};

QTEST_GUILESS_MAIN(TestAuthentication)
#include "TestAuthentication.moc"
