// Encryption wrappers: round trips, refusals of wrong keys and damaged text,
// the scoped parameters, ECB blocks, digests and base64.
#include "Base/Encrypt.h"
#include "Base/StringUtil.h"

#include <QtTest>

#include <thread>

using Base::Encrypt::AESParams;
using Base::Encrypt::CAESParamsSetRAII;

Q_DECLARE_METATYPE(std::string)
Q_DECLARE_METATYPE(AESParams)

namespace {

AESParams params(const std::string& key, const std::string& salt = "s", AESParams::Mode mode = AESParams::Mode::CBC)
{
    AESParams p;
    p.key = key;
    p.salt = salt;
    p.mode = mode;
    return p;
}

std::string encoded(const AESParams& with, const std::string& plain)
{
    CAESParamsSetRAII guard(with);
    std::string out;
    return Base::Encrypt::Base64AndAESEncode(out, plain) ? out : "encoding failed";
}

const unsigned char* bytes(const std::string& text)
{
    return reinterpret_cast<const unsigned char*>(text.data());
}

} // namespace

class TestBaseEncrypt : public QObject
{
    Q_OBJECT

private slots:
    void roundTrip_data()
    {
        QTest::addColumn<std::string>("plain");
        QTest::addColumn<int>("mode");
        for (int mode : {int(AESParams::Mode::CBC), int(AESParams::Mode::ECB)}) {
            QTest::addRow("%d empty", mode) << std::string() << mode;
            QTest::addRow("%d one block", mode) << std::string(16, 'a') << mode;
            QTest::addRow("%d embedded NULs, large", mode) << std::string("a\0b\0\0c", 6) + std::string(100000, '\xA5') << mode;
        }
    }
    void roundTrip()
    {
        QFETCH(std::string, plain);
        QFETCH(int, mode);
        const AESParams with = params("0123456789abcdef", "fedcba9876543210", AESParams::Mode(mode));
        const std::string text = encoded(with, plain);
        QVERIFY(text.find('\n') == std::string::npos);
        QVERIFY(plain.size() < 8 || text.find(plain) == std::string::npos);
        CAESParamsSetRAII guard(with);
        std::string decoded = "junk";
        QVERIFY(Base::Encrypt::AESBase64Decode(decoded, text + "\n\n")); // line feeds of whole-file writers
        QVERIFY(decoded == plain);
        if (mode == int(AESParams::Mode::CBC))
            QVERIFY(encoded(with, plain) != text); // a fresh IV every time
    }

    // Decoding fails, and leaves nothing, under other parameters or on damaged text.
    void decodeRefuses_data()
    {
        QTest::addColumn<std::string>("text");
        QTest::addColumn<AESParams>("with");
        const AESParams right = params("right key", "right salt");
        const std::string good = encoded(right, "some plain text that spans blocks of sixteen");
        QTest::newRow("wrong salt") << good << params("right key", "wrong salt");
        QTest::newRow("default parameters") << good << AESParams();
        QTest::newRow("empty text encrypted, wrong key") << encoded(right, "") << params("wrong key");
        std::string changed = good;
        changed[changed.size() / 2] = changed[changed.size() / 2] == 'A' ? 'B' : 'A';
        QTest::newRow("one character changed") << changed << right;
        QTest::newRow("truncated by a block") << good.substr(0, good.size() - 24) << right;
        QTest::newRow("not base64") << std::string("!!not base64 at all!!") << right;
        QTest::newRow("only white space") << std::string(" \n\t") << right;
        QTest::newRow("empty") << std::string() << right;
    }
    void decodeRefuses()
    {
        QFETCH(std::string, text);
        QFETCH(AESParams, with);
        CAESParamsSetRAII guard(with);
        std::string decoded = "left over";
        QVERIFY(!Base::Encrypt::AESBase64Decode(decoded, text));
        QVERIFY(decoded.empty());
    }

    // Only a secret's own key and mode decode it, even where the cipher's padding
    // alone would let garbage through (about one text in 256).
    void onlyOwnParametersDecode()
    {
        const AESParams ecb = params("right key", "right salt", AESParams::Mode::ECB);
        const AESParams others[] = {params("right key", "right salt"), params("wrong key", "right salt", ecb.mode)};
        for (int i = 0; i < 3000; ++i) {
            const std::string text = encoded(ecb, "sixteen bytes and " + std::to_string(i));
            for (const AESParams& other : others) {
                CAESParamsSetRAII guard(other);
                std::string out;
                QVERIFY2(!Base::Encrypt::AESBase64Decode(out, text), text.c_str());
            }
        }
    }

    void guardsNestRestoreAndStayPerThread()
    {
        const std::string byOuter = encoded(params("outer"), "payload");
        std::string out;
        {
            CAESParamsSetRAII outer(params("outer"));
            {
                CAESParamsSetRAII inner(params("inner", "2", AESParams::Mode::ECB));
                QVERIFY(!Base::Encrypt::AESBase64Decode(out, byOuter));
            }
            QVERIFY(Base::Encrypt::AESBase64Decode(out, byOuter));
            QCOMPARE(out, std::string("payload"));
            std::string seenKey = "unset";
            std::thread([&] { seenKey = Base::Encrypt::CurrentAESParams().key; }).join();
            QVERIFY(seenKey.empty());
        }
        QVERIFY(Base::Encrypt::CurrentAESParams().key.empty());
        QVERIFY(Base::Encrypt::AESBase64Decode(out, encoded(AESParams(), "plain")));
        QCOMPARE(out, std::string("plain"));
    }

    void ecbBlocks()
    {
        CAESParamsSetRAII guard(params("constants key", "x"));
        const std::string text = "parameter text of 29 bytes..";
        std::string cipher, plain;
        QVERIFY(Base::Encrypt::ecbEncrypt(cipher, bytes(text), text.size()));
        QCOMPARE(cipher.size(), size_t(32)); // zero-filled to whole blocks
        QVERIFY(Base::Encrypt::ecbDecrypt(plain, bytes(cipher), cipher.size()));
        QCOMPARE(plain, text); // the fill is taken off again
        QVERIFY(!Base::Encrypt::ecbDecrypt(plain, bytes(cipher), 31));
        QVERIFY(!Base::Encrypt::ecbDecrypt(plain, nullptr, 0));
        CAESParamsSetRAII other(params("another key", "x"));
        QVERIFY(Base::Encrypt::ecbDecrypt(plain, bytes(cipher), cipher.size()));
        QVERIFY(plain != text);
    }

    void sha256()
    {
        unsigned char out[32] = {};
        QVERIFY(Base::Encrypt::Sha256(out, sizeof out, "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq", 100));
        QCOMPARE(Base::StringUtil::Vlue2HexString(out, sizeof out, false),
                 std::string("248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"));
        QVERIFY(!Base::Encrypt::Sha256(out, 31, "abc", 100));
        QVERIFY(!Base::Encrypt::Sha256(nullptr, 32, "abc", 100));
        QVERIFY(!Base::Encrypt::Sha256(out, 32, std::string(101, 'a'), 100));
        QVERIFY(Base::Encrypt::Sha256(out, 32, std::string(100, 'a'), 100));
    }

    void base64_data()
    {
        QTest::addColumn<std::string>("plain");
        QTest::addColumn<std::string>("text");
        QTest::newRow("empty") << std::string() << std::string();
        QTest::newRow("f") << std::string("f") << std::string("Zg==");
        QTest::newRow("fo") << std::string("fo") << std::string("Zm8=");
        QTest::newRow("foobar") << std::string("foobar") << std::string("Zm9vYmFy");
        QTest::newRow("high bytes") << std::string("\xFF\xFE\x00\x01", 4) << std::string("//4AAQ==");
        QTest::newRow("long, no line breaks") << std::string(200, 'x') << QByteArray(200, 'x').toBase64().toStdString();
    }
    void base64()
    {
        QFETCH(std::string, plain);
        QFETCH(std::string, text);
        std::string out = "junk";
        QVERIFY(Base::Encrypt::Base64EncodeEx(out, bytes(plain), plain.size()));
        QCOMPARE(out, text);
        QVERIFY(Base::Encrypt::Base64DecodeEx(out, text));
        QVERIFY(out == plain);
    }
};

QTEST_GUILESS_MAIN(TestBaseEncrypt)
#include "TestBaseEncrypt.moc"
