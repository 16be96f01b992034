// The identity parameters: created with fresh keys, exported without the keys in clear, imported back only with known names.
#include "logical/IdentifyAuth/AuthCfgManager.h"

#include "TestSupport.h"

#include <Base/IdentifyUtil.h>

#include <QtTest>

using serverframework::CAuthenticationManager;

static tagRegCfgInfo stored()
{
    tagRegCfgInfo record;
    std::memset(static_cast<void*>(&record), 0, sizeof(record));
    Base::IdentifyUtil::ReadIdentifyInfo(record);
    return record;
}

class TestAuthentication : public QObject
{
    Q_OBJECT

private slots:
    void importChecksTheNames_data()
    {
        QTest::addColumn<QString>("fields"); // version, cipher, mode, digest; empty: the exported file
        QTest::addColumn<bool>("accepted");
        QTest::newRow("exported") << "" << true;
        QTest::newRow("unknown digest") << "1.0 AES ECB md5" << false;
        QTest::newRow("lower-case mode") << "1.0 AES ecb sha256" << false;
        QTest::newRow("unknown cipher") << "1.0 DES ECB sha256" << false;
        QTest::newRow("other version") << "2.0 AES ECB sha256" << false;
    }
    void importChecksTheNames()
    {
        QFETCH(QString, fields);
        QFETCH(bool, accepted);
        QTemporaryDir store;
        Base::IdentifyUtil::ReleaseIdentifyLib();
        QCOMPARE(Base::IdentifyUtil::InitIdentifyLib(store.path().toStdString()), Base::IdentifyUtil::kNoRecord);
        CAuthenticationManager manager;
        manager.CreateIdentifyInfo();
        const tagRegCfgInfo original = stored();
        QCOMPARE(std::strlen(original.saltKey), std::size_t(16));
        const std::string path = store.filePath("identify.xml").toStdString();
        if (fields.isEmpty()) {
            QVERIFY(manager.ExportIdentifyInfo(path));
            const QByteArray text = tst::readBytes(QString::fromStdString(path));
            QVERIFY(text.contains("<digest value=\"sha256\"") && !text.contains(original.saltKey) && !text.contains(original.secretKey));
            manager.CreateIdentifyInfo(); // new keys each time
            QVERIFY(QByteArray(stored().saltKey) != original.saltKey);
        } else {
            const QStringList f = fields.split(' ');
            QVERIFY(tst::writeBytes(QString::fromStdString(path), QString("<Identify><version value=\"%1\"/><encryptName value=\"%2\"/>"
                                                                          "<encryptMode value=\"%3\"/><digest value=\"%4\"/></Identify>")
                                                                      .arg(f[0], f[1], f[2], f[3])
                                                                      .toUtf8()));
        }
        const tagRegCfgInfo before = stored();
        QCOMPARE(manager.ImportIdentifyInfo(path), accepted);
        const tagRegCfgInfo after = stored();
        QVERIFY(std::memcmp(&after, accepted ? &original : &before, sizeof(after)) == 0);
    }

private:
    ScratchHome home;
};

QTEST_GUILESS_MAIN(TestAuthentication)
#include "TestAuthentication.moc"
