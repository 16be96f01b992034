// The DESetup holder: loading and the key derivation, regeneration, and the
// failure paths.
#include "DataEncryptionConfig.h"
#include "FileOperation.h"
#include "Proto/XmlProto.h"
#include "TestScratch.h"

#include "Base/Encrypt.h"
#include "Base/StringUtil.h"

#include "TestSupport.h"

#include <QtTest>

#include <memory>

using comm_method::CDataEncryptionConfig;

namespace {

std::string encode(const std::string& plain)
{
    Base::Encrypt::CAESParamsSetRAII guard(CDataEncryptionConfig::fileParams());
    std::string out;
    Base::Encrypt::Base64AndAESEncode(out, plain);
    return out;
}

std::string documentWith(const std::vector<std::string>& segments)
{
    proto::CXmlProto doc;
    doc.set_value("/DESetup/Segments", "");
    for (std::size_t i = 0; i < segments.size(); ++i)
        doc.set_value(CDataEncryptionConfig::segmentPath(int(i) + 1), segments[i]);
    return doc.to_str(0);
}

// The derivation written out independently of the class.
void expectedDerivation(const std::vector<std::string>& s, std::string& key, std::string& salt, std::string& dataKey)
{
    unsigned char d1[32], d2[32];
    QVERIFY(Base::Encrypt::Sha256(d1, 32, s[0] + s[1], 100));
    QVERIFY(Base::Encrypt::Sha256(d2, 32, s[2] + s[3], 100));
    key = Base::StringUtil::Vlue2HexString(d1, 8, false);
    salt = Base::StringUtil::Vlue2HexString(d2 + 24, 8, false);
    unsigned char joined[32];
    memcpy(joined, d1 + 16, 16);
    memcpy(joined + 16, d2, 16);
    QVERIFY(Base::Encrypt::Base64EncodeEx(dataKey, joined, 32));
}

} // namespace

class TestDataEncryption : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void fileParamsAreUsable();
    void derivation_data();
    void derivation();
    void setDESetupFailures_data();
    void setDESetupFailures();
    void missingOrEmptyFile();
    void regenerateChangesKeys();

private:
    std::unique_ptr<ScratchHome> m_env;
};

void TestDataEncryption::init()
{
    m_env = std::make_unique<ScratchHome>(ScratchHome::WithDrive);
}

void TestDataEncryption::fileParamsAreUsable()
{
    const Base::Encrypt::AESParams params = CDataEncryptionConfig::fileParams();
    QVERIFY(!params.key.empty());
    QVERIFY(!params.salt.empty());
    QVERIFY(params.key != params.salt);
    QVERIFY(params.key.find('\0') == std::string::npos);
}

void TestDataEncryption::derivation_data()
{
    QTest::addColumn<QStringList>("segments");
    QTest::newRow("four segments") << QStringList{"A1", "B2", "C3", "D4"};
    QTest::newRow("three segments") << QStringList{"A1", "B2", "C3"};
    QTest::newRow("guid-sized") << QStringList{QString(32, 'A'), QString(32, 'B'), QString(32, 'C'), QString(32, 'D')};
}

void TestDataEncryption::derivation()
{
    QFETCH(QStringList, segments);
    std::vector<std::string> texts;
    for (const QString& s : segments)
        texts.push_back(s.toStdString());
    const std::string encoded = encode(documentWith(texts));
    while (texts.size() < 4)
        texts.push_back(std::string()); // an absent segment counts as empty

    std::string key, salt, dataKey;
    expectedDerivation(texts, key, salt, dataKey);

    const QString path = m_env->path() + "/DESetup.dat";
    QVERIFY(writeFile(path.toStdString(), encoded));
    CDataEncryptionConfig fromFile;
    QVERIFY(fromFile.loadConfig(path.toStdString()));
    QCOMPARE(fromFile.aesParams().key, key);
    QCOMPARE(fromFile.aesParams().salt, salt);
    QCOMPARE(fromFile.dataKey(), dataKey);
    QCOMPARE(fromFile.dataKey().size(), std::size_t(44));
    QCOMPARE(fromFile.aesParams().key.size(), std::size_t(16));

    CDataEncryptionConfig fromText;
    QVERIFY(fromText.setDESetup(encoded));
    QCOMPARE(fromText.dataKey(), dataKey);
    QCOMPARE(fromText.aesParams().salt, salt);
}

void TestDataEncryption::setDESetupFailures_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("empty") << "";
    QTest::newRow("not encoded") << "plain text";
    QTest::newRow("encoded under other parameters") << QString::fromStdString([] {
        std::string out;
        Base::Encrypt::Base64AndAESEncode(out, "<DESetup/>");
        return out;
    }());
    QTest::newRow("encoded, not XML") << QString::fromStdString(encode("<DESetup>"));
}

void TestDataEncryption::setDESetupFailures()
{
    QFETCH(QString, text);
    CDataEncryptionConfig config;
    QVERIFY(!config.setDESetup(text.toStdString()));
    QCOMPARE(config.dataKey(), std::string());
}

void TestDataEncryption::missingOrEmptyFile()
{
    CDataEncryptionConfig config;
    const std::string missing = (m_env->path() + "/none.dat").toStdString();
    QCOMPARE(config.decryptionXML(missing), std::string());
    QVERIFY(!config.loadConfig(missing));
    QVERIFY(!config.regenerateConfig(missing));
    const QString empty = m_env->path() + "/empty.dat";
    QVERIFY(tst::writeBytes(empty, QByteArray()));
    QVERIFY(!config.loadConfig(empty.toStdString()));
}

void TestDataEncryption::regenerateChangesKeys()
{
    const QString path = m_env->path() + "/DESetup.dat";
    QVERIFY(writeFile(path.toStdString(), encode(documentWith({"1", "2"}))));
    CDataEncryptionConfig config;
    QVERIFY(config.regenerateConfig(path.toStdString()));
    const std::string firstPlain = config.decryptionXML(path.toStdString());
    QVERIFY(config.loadConfig(path.toStdString()));
    const std::string firstKey = config.dataKey();

    QVERIFY(config.regenerateConfig(path.toStdString()));
    QCOMPARE(config.dataKey(), firstKey); // not recomputed by regeneration
    const std::string secondPlain = config.decryptionXML(path.toStdString());
    QVERIFY(config.loadConfig(path.toStdString()));
    QVERIFY(config.dataKey() != firstKey);

    proto::CXmlProto a, b;
    QVERIFY(a.set_str(firstPlain));
    QVERIFY(b.set_str(secondPlain));
    for (int n = 1; n <= 4; ++n) {
        const std::string segment = CDataEncryptionConfig::segmentPath(n);
        QCOMPARE(a.get_str(segment, "").size(), std::size_t(32)); // created when absent
        QVERIFY(a.get_str(segment, "") != b.get_str(segment, ""));
    }
}

QTEST_GUILESS_MAIN(TestDataEncryption)
#include "TestDataEncryption.moc"
