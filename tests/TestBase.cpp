// The base library's secrets: encrypted text, hex text, the identity store; the logging configuration as the Windows logger (log4cplus) is given it.
#include "Base/Encrypt.h"
#include "Base/IdentifyUtil.h"
#include "Base/StringUtil.h"
#include "Log4cplusProperties.h"

#include "TestSupport.h"

#include <QtTest>

#include <sys/stat.h>
#include <thread>

using Base::Encrypt::AESParams;
using Base::Encrypt::CAESParamsSetRAII;
using namespace Base::IdentifyUtil;

Q_DECLARE_METATYPE(std::string)
Q_DECLARE_METATYPE(AESParams)

namespace {

AESParams params(const std::string& key, const std::string& salt = "s", AESParams::Mode mode = AESParams::Mode::CBC)
{
    return {key, salt, mode};
}

std::string encoded(const AESParams& with, const std::string& plain)
{
    CAESParamsSetRAII guard(with);
    std::string out;
    return Base::Encrypt::Base64AndAESEncode(out, plain) ? out : "encoding failed";
}

bool decodes(const AESParams& with, const std::string& text, std::string& out)
{
    CAESParamsSetRAII guard(with);
    return Base::Encrypt::AESBase64Decode(out, text);
}

} // namespace

class TestBase : public QObject
{
    Q_OBJECT

private slots:
    // Decoding fails, and leaves nothing, under other parameters or on damaged text.
    void decodeRefuses_data()
    {
        QTest::addColumn<std::string>("text");
        QTest::addColumn<AESParams>("with");
        const AESParams right = params("right key", "right salt");
        const std::string good = encoded(right, "some plain text that spans blocks of sixteen");
        QTest::newRow("wrong salt") << good << params("right key", "wrong salt");
        std::string changed = good;
        changed[changed.size() / 2] = changed[changed.size() / 2] == 'A' ? 'B' : 'A';
        QTest::newRow("one character changed") << changed << right;
        QTest::newRow("truncated by a block") << good.substr(0, good.size() - 24) << right;
        QTest::newRow("not base64") << std::string("!!not base64 at all!!") << right;
    }
    void decodeRefuses()
    {
        QFETCH(std::string, text);
        QFETCH(AESParams, with);
        std::string decoded = "left over";
        QVERIFY(!decodes(with, text, decoded));
        QVERIFY(decoded.empty());
    }

    // Secrets written by earlier releases still decode; a secret written now decodes too and, in ECB (no random IV), is the same text as before.
    void earlierSecrets_data()
    {
        QTest::addColumn<AESParams>("with");
        QTest::addColumn<std::string>("text");
        QTest::newRow("CBC") << params("earlier key", "earlier salt")
                             << std::string("AQF4oM/CesweXt/cXBL5EKBNwZFBQ4SyPtYzHfhKYviMwPY5tJDjYnQ80wdPWMiSuzf2"
                                            "QK+SgtCgVTgBJy22eAhEznDY+FepW715OoRHY2XtUbuJKLQ6Ark8xZyHvjaNJSa++xPi"
                                            "wdDkXid6v0zvli9f");
        QTest::newRow("ECB") << params("earlier key", "earlier salt", AESParams::Mode::ECB)
                             << std::string("AQKzwGxxRj0Qscf1rHRIris86/lIiiNwwMirxa6Uf+XaOiWpuCD32UCx9V+e/rm3tJia"
                                            "WBq66Ie/zka0zDuTtiVJLcFgtkpcGoT+E7OQYq/O/qsqYDfRXeJ8P8aJkmTZ838=");
    }
    void earlierSecrets()
    {
        QFETCH(AESParams, with);
        QFETCH(std::string, text);
        const std::string plain = "a text of an earlier release, longer than a block";
        std::string out;
        QVERIFY(decodes(with, text, out));
        QCOMPARE(out, plain);
        const std::string fresh = encoded(with, plain);
        QVERIFY(decodes(with, fresh, out));
        QCOMPARE(out, plain);
        QCOMPARE(fresh == text, with.mode == AESParams::Mode::ECB); // CBC starts from a random IV
    }

    // Only a secret's own key and mode decode it, even where the cipher's padding alone would let garbage through
    // (about one text in 256: the counter in the first and the last block makes every text differ in both).
    void onlyOwnParametersDecode()
    {
        const AESParams ecb = params("right key", "right salt", AESParams::Mode::ECB);
        const AESParams others[] = {params("right key", "right salt"), params("wrong key", "right salt", ecb.mode)};
        for (int i = 0; i < 3000; ++i) {
            const std::string text = encoded(ecb, std::to_string(i) + " sixteen bytes " + std::to_string(i));
            std::string out;
            for (const AESParams& other : others)
                QVERIFY2(!decodes(other, text, out), text.c_str());
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
    }

    void hex_data()
    {
        QTest::addColumn<std::string>("bytes"); // "bad": the text is refused
        QTest::addColumn<std::string>("hex");
        QTest::newRow("bytes") << std::string("\x00\x01\xAB\xFF", 4) << std::string("0001abff");
        QTest::newRow("odd length") << std::string("bad") << std::string("abc");
        QTest::newRow("not a digit") << std::string("bad") << std::string("0g");
    }
    void hex()
    {
        QFETCH(std::string, bytes);
        QFETCH(std::string, hex);
        std::vector<unsigned char> back{1, 2, 3};
        QCOMPARE(Base::StringUtil::HexString2Value(hex, back), bytes != "bad");
        QVERIFY(std::string(back.begin(), back.end()) == (bytes == "bad" ? std::string() : bytes));
        if (bytes != "bad")
            QCOMPARE(Base::StringUtil::Vlue2HexString(back.data(), back.size(), false), hex);
    }

    // The identity record comes back as written, from an owner-only file in an owner-only folder (made so again when
    // loosened); any damage to the file is an error that leaves the caller's record alone.
    void identityStore()
    {
        QTemporaryDir dir;
        const std::string store = (dir.path() + "/store").toStdString();
        QCOMPARE(InitIdentifyLib(store), kNoRecord);
        tagRegCfgInfo record;
        qstrcpy(record.saltKey, "AbCdEfGhIjKlMnOp");
        record.securityLevel = -2;
        QCOMPARE(WriteIdenteifyInfo(record), kOk);
        QCOMPARE(ReleaseIdentifyLib(), kOk);
        QVERIFY(::chmod(store.c_str(), 0755) == 0 && ::chmod((store + "/IdentifyInfo.dat").c_str(), 0644) == 0);
        QCOMPARE(InitIdentifyLib(store), kOk);
        tagRegCfgInfo back;
        std::memset(static_cast<void*>(&back), 0, sizeof back);
        QCOMPARE(ReadIdentifyInfo(back), kOk);
        QCOMPARE(std::memcmp(&back, &record, sizeof record), 0);
        struct stat st
        {
        };
        QCOMPARE(::stat(StoreFilePath().c_str(), &st), 0);
        QCOMPARE(int(st.st_mode & 07777), 0600);
        QCOMPARE(::stat(store.c_str(), &st), 0);
        QCOMPARE(int(st.st_mode & 07777), 0700);

        const QString file = QString::fromStdString(StoreFilePath());
        const QByteArray good = tst::readBytes(file);
        QByteArray flipped = good;
        flipped[20] = char(flipped[20] ^ 0x01);
        for (const QByteArray& bytes : {good.left(good.size() - 10), flipped, QByteArray()}) {
            QVERIFY(tst::writeBytes(file, bytes));
            qstrcpy(back.saltKey, "untouched");
            QCOMPARE(ReadIdentifyInfo(back), kStoreError);
            QCOMPARE(back.saltKey, "untouched");
        }
        ReleaseIdentifyLib();
    }

    // Each line of the generated log4j properties reaches log4cplus meaning the same: appenders, layouts, levels, files, rolling sizes, dates.
    void log4cplusProperties_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("toKey");
        QTest::addColumn<QString>("toValue");
        const QString pattern = "%d{yyyy-MM-dd HH:mm:ss.SSS} [%t] %-5p %F:%L %M - %m%n";
        QTest::newRow("root") << "log4j.rootLogger"
                              << "INFO, R, error"
                              << "log4cplus.rootLogger"
                              << "INFO, R, error";
        QTest::newRow("appender") << "log4j.appender.R"
                                  << "org.apache.log4j.RollingFileAppender"
                                  << "log4cplus.appender.R"
                                  << "log4cplus::RollingFileAppender";
        QTest::newRow("layout") << "log4j.appender.R.layout"
                                << "org.apache.log4j.PatternLayout"
                                << "log4cplus.appender.R.layout"
                                << "log4cplus::PatternLayout";
        QTest::newRow("pattern") << "log4j.appender.R.layout.ConversionPattern" << pattern << "log4cplus.appender.R.layout.ConversionPattern"
                                 << "%D{%Y-%m-%d %H:%M:%S.%q} [%t] %-5p %F:%L %M - %m%n";
        QTest::newRow("bare date, percent") << "log4j.appender.A.layout.ConversionPattern"
                                            << "%d 100%% %m%n"
                                            << "log4cplus.appender.A.layout.ConversionPattern"
                                            << "%D{%Y-%m-%d %H:%M:%S,%q} 100%% %m%n";
        QTest::newRow("rolling size") << "log4j.appender.R.MaxFileSize"
                                      << "10MB"
                                      << "log4cplus.appender.R.MaxFileSize"
                                      << "10MB";
        QTest::newRow("threshold") << "log4j.appender.error.Threshold"
                                   << "ERROR"
                                   << "log4cplus.appender.error.Threshold"
                                   << "ERROR";
        QTest::newRow("additivity") << "log4j.additivity.Net"
                                    << "false"
                                    << "log4cplus.additivity.Net"
                                    << "false";
        QTest::newRow("file, not a class") << "log4j.appender.R.File"
                                           << "C:/Log/org.apache.log4j.txt"
                                           << "log4cplus.appender.R.File"
                                           << "C:/Log/org.apache.log4j.txt";
        QTest::newRow("not log4j") << "other.R" << pattern << "other.R" << pattern;
    }

    void log4cplusProperties()
    {
        QFETCH(QString, key);
        QFETCH(QString, value);
        const Base::details::LogProperty to = Base::details::toLog4cplusProperty({key.toStdString(), value.toStdString()});
        QTEST(QString::fromStdString(to.key), "toKey");
        QTEST(QString::fromStdString(to.value), "toValue");
    }
};

QTEST_GUILESS_MAIN(TestBase)
#include "TestBase.moc"
