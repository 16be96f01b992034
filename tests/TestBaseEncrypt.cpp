// Encryption wrappers: round trips, failures, parameter guards, digests.
#include "Base/Encrypt.h"
#include "Base/StringUtil.h"

#include <QtTest>

#include <thread>

using Base::Encrypt::AESParams;
using Base::Encrypt::CAESParamsSetRAII;

Q_DECLARE_METATYPE(std::string)

namespace {

AESParams params(const std::string& key, const std::string& salt, AESParams::Mode mode = AESParams::Mode::CBC)
{
    AESParams p;
    p.key = key;
    p.salt = salt;
    p.mode = mode;
    return p;
}

std::string allBytes()
{
    std::string s;
    for (int i = 0; i < 256; ++i)
        s.push_back(static_cast<char>(i));
    return s;
}

} // namespace

class TestBaseEncrypt : public QObject {
    Q_OBJECT
private slots:
    void roundTrip_data();
    void roundTrip();
    void wrongParametersFail_data();
    void wrongParametersFail();
    void damagedTextFails_data();
    void damagedTextFails();
    void guardsNestAndRestore();
    void guardIsPerThread();
    void cbcOutputDiffersEachTime();
    void ecbRoundTrip();
    void sha256KnownVectors_data();
    void sha256KnownVectors();
    void sha256RefusesBadArguments();
    void base64_data();
    void base64();
};

void TestBaseEncrypt::roundTrip_data()
{
    QTest::addColumn<std::string>("plain");
    QTest::addColumn<int>("mode");
    for (int mode : {int(AESParams::Mode::CBC), int(AESParams::Mode::ECB)}) {
        const char* m = mode == int(AESParams::Mode::CBC) ? "cbc" : "ecb";
        QTest::addRow("%s empty", m) << std::string() << mode;
        QTest::addRow("%s one byte", m) << std::string("x") << mode;
        QTest::addRow("%s one block", m) << std::string(16, 'a') << mode;
        QTest::addRow("%s all byte values", m) << allBytes() << mode;
        QTest::addRow("%s embedded NULs", m) << std::string("a\0b\0\0c", 6) << mode;
        QTest::addRow("%s large", m) << std::string(100000, '\xA5') << mode;
        QTest::addRow("%s xml", m) << std::string("<?xml version=\"1.0\"?><DESetup/>\n") << mode;
    }
}

void TestBaseEncrypt::roundTrip()
{
    QFETCH(std::string, plain);
    QFETCH(int, mode);
    CAESParamsSetRAII guard(params("0123456789abcdef", "fedcba9876543210", AESParams::Mode(mode)));
    std::string encoded;
    QVERIFY(Base::Encrypt::Base64AndAESEncode(encoded, plain));
    QVERIFY(!encoded.empty());
    QVERIFY(encoded.find('\n') == std::string::npos);
    if (plain.size() >= 8)
        QVERIFY(encoded.find(plain) == std::string::npos);
    std::string decoded = "junk";
    QVERIFY(Base::Encrypt::AESBase64Decode(decoded, encoded));
    QVERIFY(decoded == plain);
    // A trailing line feed (as left by whole-file writers) is tolerated.
    QVERIFY(Base::Encrypt::AESBase64Decode(decoded, encoded + "\n\n"));
    QVERIFY(decoded == plain);
}

void TestBaseEncrypt::wrongParametersFail_data()
{
    QTest::addColumn<std::string>("plain");
    QTest::addColumn<int>("which");  // 0 key, 1 salt, 2 mode, 3 default record
    for (int which = 0; which < 4; ++which) {
        QTest::addRow("text, change %d", which) << std::string("secret text of some length") << which;
        QTest::addRow("empty, change %d", which) << std::string() << which;
    }
}

void TestBaseEncrypt::wrongParametersFail()
{
    QFETCH(std::string, plain);
    QFETCH(int, which);
    const AESParams right = params("right key", "right salt");
    AESParams wrong = right;
    if (which == 0)
        wrong.key = "wrong key";
    else if (which == 1)
        wrong.salt = "wrong salt";
    else if (which == 2)
        wrong.mode = AESParams::Mode::ECB;
    else
        wrong = AESParams();

    std::string encoded;
    {
        CAESParamsSetRAII guard(right);
        QVERIFY(Base::Encrypt::Base64AndAESEncode(encoded, plain));
    }
    CAESParamsSetRAII guard(wrong);
    std::string decoded = "left over";
    QVERIFY(!Base::Encrypt::AESBase64Decode(decoded, encoded));
    QVERIFY(decoded.empty());
}

void TestBaseEncrypt::damagedTextFails_data()
{
    QTest::addColumn<int>("damage");
    QTest::newRow("empty") << 0;
    QTest::newRow("not base64") << 1;
    QTest::newRow("one character changed") << 2;
    QTest::newRow("truncated by a block") << 3;
    QTest::newRow("truncated to a few bytes") << 4;
    QTest::newRow("only white space") << 5;
    QTest::newRow("other valid base64") << 6;
}

void TestBaseEncrypt::damagedTextFails()
{
    QFETCH(int, damage);
    CAESParamsSetRAII guard(params("k", "s"));
    std::string encoded;
    QVERIFY(Base::Encrypt::Base64AndAESEncode(encoded, "some plain text that spans blocks of sixteen"));
    switch (damage) {
    case 0: encoded.clear(); break;
    case 1: encoded = "!!not base64 at all!!"; break;
    case 2: encoded[encoded.size() / 2] = encoded[encoded.size() / 2] == 'A' ? 'B' : 'A'; break;
    case 3: encoded.resize(encoded.size() - 24); break;
    case 4: encoded = encoded.substr(0, 8); break;
    case 5: encoded = " \n\t"; break;
    case 6: QVERIFY(Base::Encrypt::Base64EncodeEx(encoded, reinterpret_cast<const unsigned char*>(allBytes().data()), 256)); break;
    }
    std::string decoded = "left over";
    QVERIFY(!Base::Encrypt::AESBase64Decode(decoded, encoded));
    QVERIFY(decoded.empty());
}

void TestBaseEncrypt::guardsNestAndRestore()
{
    const AESParams outer = params("outer", "1");
    const AESParams inner = params("inner", "2", AESParams::Mode::ECB);
    QVERIFY(Base::Encrypt::CurrentAESParams().key.empty());
    std::string byOuter;
    {
        CAESParamsSetRAII g1(outer);
        QVERIFY(Base::Encrypt::Base64AndAESEncode(byOuter, "payload"));
        {
            CAESParamsSetRAII g2(inner);
            QCOMPARE(Base::Encrypt::CurrentAESParams().key, std::string("inner"));
            QVERIFY(Base::Encrypt::CurrentAESParams().mode == AESParams::Mode::ECB);
            std::string out;
            QVERIFY(!Base::Encrypt::AESBase64Decode(out, byOuter));
        }
        // The outer parameters are back in force.
        QCOMPARE(Base::Encrypt::CurrentAESParams().key, std::string("outer"));
        std::string out;
        QVERIFY(Base::Encrypt::AESBase64Decode(out, byOuter));
        QCOMPARE(out, std::string("payload"));
    }
    QVERIFY(Base::Encrypt::CurrentAESParams().key.empty());
    QVERIFY(Base::Encrypt::CurrentAESParams().mode == AESParams::Mode::CBC);
    // The default record is a usable key of its own.
    std::string byDefault, out;
    QVERIFY(Base::Encrypt::Base64AndAESEncode(byDefault, "plain"));
    QVERIFY(Base::Encrypt::AESBase64Decode(out, byDefault));
    QCOMPARE(out, std::string("plain"));
}

void TestBaseEncrypt::guardIsPerThread()
{
    CAESParamsSetRAII guard(params("main thread", ""));
    std::string seenKey = "unset";
    std::thread other([&] { seenKey = Base::Encrypt::CurrentAESParams().key; });
    other.join();
    QVERIFY(seenKey.empty());
}

void TestBaseEncrypt::cbcOutputDiffersEachTime()
{
    CAESParamsSetRAII guard(params("k", "s"));
    std::string a, b;
    QVERIFY(Base::Encrypt::Base64AndAESEncode(a, "same"));
    QVERIFY(Base::Encrypt::Base64AndAESEncode(b, "same"));
    QVERIFY(a != b);
}

void TestBaseEncrypt::ecbRoundTrip()
{
    CAESParamsSetRAII guard(params("constants key", "x"));
    const std::string text = "parameter text of 29 bytes..";
    std::string cipher;
    QVERIFY(Base::Encrypt::ecbEncrypt(cipher, reinterpret_cast<const unsigned char*>(text.data()), text.size()));
    QCOMPARE(cipher.size(), size_t(32));
    QVERIFY(cipher.find("parameter") == std::string::npos);
    std::string plain;
    QVERIFY(Base::Encrypt::ecbDecrypt(plain, reinterpret_cast<const unsigned char*>(cipher.data()), cipher.size()));
    QCOMPARE(plain, text);
    // Not a whole number of blocks, or nothing at all.
    QVERIFY(!Base::Encrypt::ecbDecrypt(plain, reinterpret_cast<const unsigned char*>(cipher.data()), 31));
    QVERIFY(!Base::Encrypt::ecbDecrypt(plain, nullptr, 0));
    {
        CAESParamsSetRAII other(params("another key", "x"));
        QVERIFY(Base::Encrypt::ecbDecrypt(plain, reinterpret_cast<const unsigned char*>(cipher.data()), cipher.size()));
        QVERIFY(plain != text);
    }
}

void TestBaseEncrypt::sha256KnownVectors_data()
{
    QTest::addColumn<std::string>("text");
    QTest::addColumn<std::string>("digest");
    QTest::newRow("empty") << std::string() << std::string("e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    QTest::newRow("abc") << std::string("abc") << std::string("ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    QTest::newRow("two blocks") << std::string("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq")
                                << std::string("248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
}

void TestBaseEncrypt::sha256KnownVectors()
{
    QFETCH(std::string, text);
    QFETCH(std::string, digest);
    unsigned char out[32] = {};
    QVERIFY(Base::Encrypt::Sha256(out, sizeof out, text, 100));
    QCOMPARE(Base::StringUtil::Vlue2HexString(out, sizeof out, false), digest);
}

void TestBaseEncrypt::sha256RefusesBadArguments()
{
    unsigned char out[32];
    QVERIFY(!Base::Encrypt::Sha256(out, 31, "abc", 100));
    QVERIFY(!Base::Encrypt::Sha256(nullptr, 32, "abc", 100));
    QVERIFY(!Base::Encrypt::Sha256(out, 32, std::string(101, 'a'), 100));
    QVERIFY(Base::Encrypt::Sha256(out, 32, std::string(100, 'a'), 100));
}

void TestBaseEncrypt::base64_data()
{
    QTest::addColumn<std::string>("bytes");
    QTest::addColumn<std::string>("text");
    QTest::newRow("empty") << std::string() << std::string();
    QTest::newRow("f") << std::string("f") << std::string("Zg==");
    QTest::newRow("fo") << std::string("fo") << std::string("Zm8=");
    QTest::newRow("foo") << std::string("foo") << std::string("Zm9v");
    QTest::newRow("foobar") << std::string("foobar") << std::string("Zm9vYmFy");
    QTest::newRow("high bytes") << std::string("\xFF\xFE\x00\x01", 4) << std::string("//4AAQ==");
    QTest::newRow("long, no line breaks") << std::string(200, 'x') << QByteArray(200, 'x').toBase64().toStdString();
}

void TestBaseEncrypt::base64()
{
    QFETCH(std::string, bytes);
    QFETCH(std::string, text);
    std::string encoded = "junk";
    QVERIFY(Base::Encrypt::Base64EncodeEx(encoded, reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size()));
    QCOMPARE(encoded, text);
    std::string decoded = "junk";
    QVERIFY(Base::Encrypt::Base64DecodeEx(decoded, encoded));
    QVERIFY(decoded == bytes);
}

QTEST_GUILESS_MAIN(TestBaseEncrypt)
#include "TestBaseEncrypt.moc"
