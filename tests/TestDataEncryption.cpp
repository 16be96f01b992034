// The DESetup holder: the key derivation checked against an independent
// computation, regeneration, and the failure paths.
#include "DataEncryptionConfig.h"
#include "FileOperation.h"
#include "Proto/XmlProto.h"

#include "Base/Encrypt.h"
#include "Base/StringUtil.h"

#include "TestSupport.h"

#include <QTemporaryDir>
#include <QtTest>

using comm_method::CDataEncryptionConfig;

namespace {

std::string encode(const std::string& plain, bool fileParams = true)
{
    Base::Encrypt::CAESParamsSetRAII guard(fileParams ? CDataEncryptionConfig::fileParams() : Base::Encrypt::AESParams());
    std::string out;
    Base::Encrypt::Base64AndAESEncode(out, plain);
    return out;
}

std::string documentWith(const QStringList& segments)
{
    proto::CXmlProto doc;
    doc.set_value("/DESetup/Segments", "");
    for (int i = 0; i < segments.size(); ++i)
        doc.set_value(CDataEncryptionConfig::segmentPath(i + 1), segments[i].toStdString());
    return doc.to_str(0);
}

} // namespace

class TestDataEncryption : public QObject
{
    Q_OBJECT

private slots:
    void derivation_data()
    {
        QTest::addColumn<QStringList>("segments");
        QTest::newRow("four segments") << QStringList{"A1", "B2", "C3", "D4"};
        QTest::newRow("absent segment counts as empty") << QStringList{"A1", "B2", "C3"};
    }
    void derivation()
    {
        QFETCH(QStringList, segments);
        const std::string encoded = encode(documentWith(segments));
        while (segments.size() < 4)
            segments << QString();
        // key = hex of the first 8 bytes of sha256(s1 s2), salt = hex of bytes
        // 24..31 of sha256(s3 s4), data key = base64 of their middle halves.
        unsigned char d1[32], d2[32], joined[32];
        QVERIFY(Base::Encrypt::Sha256(d1, 32, (segments[0] + segments[1]).toStdString(), 100));
        QVERIFY(Base::Encrypt::Sha256(d2, 32, (segments[2] + segments[3]).toStdString(), 100));
        memcpy(joined, d1 + 16, 16);
        memcpy(joined + 16, d2, 16);
        std::string dataKey;
        QVERIFY(Base::Encrypt::Base64EncodeEx(dataKey, joined, 32));

        const std::string path = (m_dir.path() + "/DESetup.dat").toStdString();
        QVERIFY(writeFile(path, encoded));
        CDataEncryptionConfig fromFile, fromText;
        QVERIFY(fromFile.loadConfig(path));
        QVERIFY(fromText.setDESetup(encoded));
        for (CDataEncryptionConfig* config : {&fromFile, &fromText}) {
            QCOMPARE(config->aesParams().key, Base::StringUtil::Vlue2HexString(d1, 8, false));
            QCOMPARE(config->aesParams().salt, Base::StringUtil::Vlue2HexString(d2 + 24, 8, false));
            QCOMPARE(config->dataKey(), dataKey);
        }
    }

    void failures_data()
    {
        QTest::addColumn<QString>("text"); // "<missing>": no file at all
        QTest::newRow("no file") << "<missing>";
        QTest::newRow("empty") << "";
        QTest::newRow("not encoded") << "plain text";
        QTest::newRow("encoded under other parameters") << QString::fromStdString(encode("<DESetup/>", false));
        QTest::newRow("encoded, not XML") << QString::fromStdString(encode("<DESetup>"));
    }
    void failures()
    {
        QFETCH(QString, text);
        const QString path = m_dir.path() + "/bad.dat";
        QFile::remove(path);
        if (text != "<missing>") {
            QVERIFY(tst::writeBytes(path, text.toUtf8()));
            CDataEncryptionConfig fromText;
            QVERIFY(!fromText.setDESetup(text.toStdString()));
        }
        CDataEncryptionConfig config;
        QVERIFY(!config.loadConfig(path.toStdString()));
        QCOMPARE(config.dataKey(), std::string());
        if (text == "<missing>") {
            QCOMPARE(config.decryptionXML(path.toStdString()), std::string());
            QVERIFY(!config.regenerateConfig(path.toStdString()));
        }
    }

    void regenerateChangesKeys()
    {
        const std::string path = (m_dir.path() + "/regenerated.dat").toStdString();
        QVERIFY(writeFile(path, encode(documentWith({"1", "2"}))));
        CDataEncryptionConfig config;
        std::string plain[2], keys[2];
        for (int round = 0; round < 2; ++round) {
            QVERIFY(config.regenerateConfig(path));
            if (round == 1)
                QCOMPARE(config.dataKey(), keys[0]); // regeneration alone does not recompute
            plain[round] = config.decryptionXML(path);
            QVERIFY(config.loadConfig(path));
            keys[round] = config.dataKey();
        }
        QVERIFY(keys[1] != keys[0]);
        proto::CXmlProto a, b;
        QVERIFY(a.set_str(plain[0]) && b.set_str(plain[1]));
        for (int n = 1; n <= 4; ++n) {
            const std::string segment = CDataEncryptionConfig::segmentPath(n);
            QCOMPARE(a.get_str(segment, "").size(), std::size_t(32)); // created when absent
            QVERIFY(a.get_str(segment, "") != b.get_str(segment, ""));
        }
    }

private:
    QTemporaryDir m_dir;
};

QTEST_GUILESS_MAIN(TestDataEncryption)
#include "TestDataEncryption.moc"
