#include "IdentifyAuth/AuthCfgManager.h"

#include "TestSupport.h"

#include <Base/IdentifyUtil.h>

#include "TestScratch.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <tinyxml.h>

using serverframework::CAuthenticationManager;

namespace {

tagRegCfgInfo stored()
{
    tagRegCfgInfo record;
    std::memset(static_cast<void*>(&record), 0, sizeof(record));
    Base::IdentifyUtil::ReadIdentifyInfo(record);
    return record;
}

bool sameRecord(const tagRegCfgInfo& a, const tagRegCfgInfo& b)
{
    return std::memcmp(&a, &b, sizeof(a)) == 0;
}

} // namespace

class TestAuthentication : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QVERIFY(home.isValid());
    }

    // Each test opens a store of its own.
    void init()
    {
        storeDir.reset(new QTemporaryDir());
        Base::IdentifyUtil::ReleaseIdentifyLib();
        QCOMPARE(Base::IdentifyUtil::InitIdentifyLib(storeDir->path().toStdString()),
                 Base::IdentifyUtil::kNoRecord);
    }

    void firstStartCreatesTheRecord()
    {
        CAuthenticationManager manager;
        manager.CreateIdentifyInfo();
        const tagRegCfgInfo record = stored();
        QCOMPARE(QString(record.encryptName), QString("AES"));
        QCOMPARE(QString(record.encryptMode), QString("ECB"));
        QCOMPARE(QString(record.digest), QString("sha256"));
        QCOMPARE(record.keyLength, 128);
        QCOMPARE(record.authenType, 0);
        QCOMPARE(record.securityLevel, 0);
        QCOMPARE(record.padding, 0);
        QCOMPARE(std::strlen(record.saltKey), std::size_t(16));
        QCOMPARE(std::strlen(record.secretKey), std::size_t(16));
        QVERIFY(QString(record.saltKey) != QString(record.secretKey));

        // A second creation draws new keys.
        manager.CreateIdentifyInfo();
        QVERIFY(QString(stored().saltKey) != QString(record.saltKey));
    }

    void initialisationFollowsTheStore()
    {
        CAuthenticationManager manager;
        QVERIFY(!manager.isLibInitialised());
        QCOMPARE(manager.InitIdentifyLib(), CAuthenticationManager::kNoRecord);
        QVERIFY(!manager.isLibInitialised());
        manager.CreateIdentifyInfo();
        QCOMPARE(manager.InitIdentifyLib(), std::uint32_t(0));
        QVERIFY(manager.isLibInitialised());
        QVERIFY(manager.ReleaseIdentifyLib());
        QVERIFY(!manager.isLibInitialised());
    }

    void exportHidesTheKeysAndImportsBack()
    {
        CAuthenticationManager manager;
        manager.CreateIdentifyInfo();
        const tagRegCfgInfo original = stored();
        const QString path = storeDir->filePath("identify.xml");
        QVERIFY(manager.ExportIdentifyInfo(path.toStdString()));

        const QByteArray text = tst::readBytes(path);
        QVERIFY(text.startsWith("<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\" ?>"));
        QVERIFY(text.contains("<Identify>"));
        QVERIFY(text.contains("<digest value=\"sha256\""));
        QVERIFY(text.contains("<keyLength value=\"128\""));
        QVERIFY(!text.contains(original.saltKey));
        QVERIFY(!text.contains(original.secretKey));

        // Another record in the store, then the file brings the first back.
        manager.CreateIdentifyInfo();
        QVERIFY(!sameRecord(stored(), original));
        QVERIFY(manager.ImportIdentifyInfo(path.toStdString()));
        QVERIFY(sameRecord(stored(), original));
    }

    void exportWithoutRecordWritesNothing()
    {
        CAuthenticationManager manager;
        const QString path = storeDir->filePath("none.xml");
        QVERIFY(!manager.ExportIdentifyInfo(path.toStdString()));
        QVERIFY(!QFile::exists(path));
    }

    void importChecksTheNames_data()
    {
        QTest::addColumn<QString>("version");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QString>("digest");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("aes-ecb-sha256") << "1.0" << "AES" << "ECB" << "sha256" << true;
        QTest::newRow("rsa-cbc-sha512") << "1.0" << "RSA" << "CBC" << "sha512" << true;
        QTest::newRow("aes-ofb-sha384") << "1.0" << "AES" << "OFB" << "sha384" << true;
        QTest::newRow("aes-cfb") << "1.0" << "AES" << "CFB" << "sha256" << true;
        QTest::newRow("unknown digest") << "1.0" << "AES" << "ECB" << "md5" << false;
        QTest::newRow("digest case") << "1.0" << "AES" << "ECB" << "SHA256" << false;
        QTest::newRow("lower-case mode") << "1.0" << "AES" << "ecb" << "sha256" << false;
        QTest::newRow("unknown cipher") << "1.0" << "DES" << "ECB" << "sha256" << false;
        QTest::newRow("other version") << "2.0" << "AES" << "ECB" << "sha256" << false;
    }

    void importChecksTheNames()
    {
        QFETCH(QString, version);
        QFETCH(QString, name);
        QFETCH(QString, mode);
        QFETCH(QString, digest);
        QFETCH(bool, accepted);

        CAuthenticationManager manager;
        manager.CreateIdentifyInfo();
        const tagRegCfgInfo before = stored();
        const QString path = storeDir->filePath("import.xml");
        QVERIFY(tst::writeBytes(path, QString("<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\" ?>\n"
                                              "<Identify><version value=\"%1\"/><encryptName value=\"%2\"/>"
                                              "<encryptMode value=\"%3\"/><digest value=\"%4\"/>"
                                              "<securityLevel value=\"7\"/></Identify>")
                                          .arg(version, name, mode, digest)
                                          .toUtf8()));
        QCOMPARE(manager.ImportIdentifyInfo(path.toStdString()), accepted);
        const tagRegCfgInfo after = stored();
        if (!accepted) {
            QVERIFY(sameRecord(after, before));
            return;
        }
        QCOMPARE(QString(after.digest), digest);
        QCOMPARE(after.securityLevel, 7);
        // Missing fields start from zero, not from the defaults.
        QCOMPARE(after.keyLength, 0);
        QCOMPARE(QString(after.saltKey), QString());
    }

    void undecodableKeyIsLeftEmpty()
    {
        CAuthenticationManager manager;
        const QString path = storeDir->filePath("badkey.xml");
        QVERIFY(tst::writeBytes(path, "<Identify><version value=\"1.0\"/><encryptName value=\"AES\"/>"
                                      "<encryptMode value=\"ECB\"/><digest value=\"sha256\"/>"
                                      "<saltKey value=\"plainTextKey1234\"/><keyLength value=\"256\"/></Identify>"));
        QVERIFY(manager.ImportIdentifyInfo(path.toStdString()));
        QCOMPARE(QString(stored().saltKey), QString());
        QCOMPARE(stored().keyLength, 256);
    }

    void unreadableFileFails()
    {
        CAuthenticationManager manager;
        QVERIFY(!manager.ImportIdentifyInfo(storeDir->filePath("missing.xml").toStdString()));
        const QString path = storeDir->filePath("broken.xml");
        QVERIFY(tst::writeBytes(path, "<Identify><version value="));
        QVERIFY(!manager.ImportIdentifyInfo(path.toStdString()));
    }

private:
    ScratchHome home;
    QScopedPointer<QTemporaryDir> storeDir;
};

QTEST_GUILESS_MAIN(TestAuthentication)
#include "TestAuthentication.moc"
