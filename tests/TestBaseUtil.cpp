// String, GUID, encoding, executable folder and disk space helpers.
#include "Base/DiskDriveUtil.h"
#include "Base/Encoding.h"
#include "Base/FileUtil.h"
#include "Base/GuidUtil.h"
#include "Base/StringUtil.h"

#include <QtTest>

#include <clocale>
#include <set>

Q_DECLARE_METATYPE(std::string)

class TestBaseUtil : public QObject {
    Q_OBJECT
private slots:
    void formatString_data();
    void formatString();
    void formatStringLongOutput();
    void hexRoundTrip_data();
    void hexRoundTrip();
    void hexRejectsBadText_data();
    void hexRejectsBadText();
    void guidsAreFreshHex();
    void encodingUtf8Locale();
    void exeDir();
    void exeDirUtf8();
    void driveSpace();
};

void TestBaseUtil::formatString_data()
{
    QTest::addColumn<std::string>("result");
    QTest::addColumn<std::string>("expected");
    QTest::newRow("plain") << Base::StringUtil::FormatString("no arguments") << std::string("no arguments");
    QTest::newRow("mixed") << Base::StringUtil::FormatString("[file-%s] [error-%d-%d]", "a.xml", 2, -5)
                           << std::string("[file-a.xml] [error-2--5]");
    QTest::newRow("empty") << Base::StringUtil::FormatString("%s", "") << std::string();
    QTest::newRow("percent") << Base::StringUtil::FormatString("100%%") << std::string("100%");
}

void TestBaseUtil::formatString()
{
    QFETCH(std::string, result);
    QFETCH(std::string, expected);
    QCOMPARE(result, expected);
}

void TestBaseUtil::formatStringLongOutput()
{
    const std::string chunk(5000, 'q');
    const std::string result = Base::StringUtil::FormatString("<%s|%s|%d>", chunk.c_str(), chunk.c_str(), 7);
    QCOMPARE(result.size(), size_t(2 * 5000 + 5));
    QCOMPARE(result, "<" + chunk + "|" + chunk + "|7>");
}

void TestBaseUtil::hexRoundTrip_data()
{
    QTest::addColumn<std::string>("bytes");
    QTest::addColumn<bool>("upper");
    QTest::addColumn<std::string>("hex");
    QTest::newRow("empty") << std::string() << false << std::string();
    QTest::newRow("lower") << std::string("\x00\x01\xAB\xFF", 4) << false << std::string("0001abff");
    QTest::newRow("upper") << std::string("\x00\x01\xAB\xFF", 4) << true << std::string("0001ABFF");
    QTest::newRow("eight bytes") << std::string("\x12\x34\x56\x78\x9A\xBC\xDE\xF0", 8) << false
                                 << std::string("123456789abcdef0");
}

void TestBaseUtil::hexRoundTrip()
{
    QFETCH(std::string, bytes);
    QFETCH(bool, upper);
    QFETCH(std::string, hex);
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
    QCOMPARE(Base::StringUtil::Vlue2HexString(data, bytes.size(), upper), hex);
    std::vector<unsigned char> back{1, 2, 3};
    QVERIFY(Base::StringUtil::HexString2Value(hex, back));
    QVERIFY(std::string(back.begin(), back.end()) == bytes);
}

void TestBaseUtil::hexRejectsBadText_data()
{
    QTest::addColumn<std::string>("hex");
    QTest::newRow("odd length") << std::string("abc");
    QTest::newRow("not a digit") << std::string("0g");
    QTest::newRow("dash") << std::string("12-4");
    QTest::newRow("space") << std::string("12 4");
}

void TestBaseUtil::hexRejectsBadText()
{
    QFETCH(std::string, hex);
    std::vector<unsigned char> out{9};
    QVERIFY(!Base::StringUtil::HexString2Value(hex, out));
    QVERIFY(out.empty());
}

void TestBaseUtil::guidsAreFreshHex()
{
    std::set<std::string> seen;
    for (int i = 0; i < 200; ++i) {
        const std::string guid = Base::GuidUtil::CreateGuid();
        QCOMPARE(guid.size(), size_t(32));
        std::vector<unsigned char> bytes;
        QVERIFY(Base::StringUtil::HexString2Value(guid, bytes));
        QCOMPARE(bytes.size(), size_t(16));
        QCOMPARE(bytes[6] >> 4, 4);  // version 4
        QVERIFY(seen.insert(guid).second);
    }
}

void TestBaseUtil::encodingUtf8Locale()
{
    const std::string text = "Tavrin \xE4\xB8\xAD\xE6\x96\x87 caf\xC3\xA9";  // "中文", "é"
    // The plain C locale still counts as UTF-8 for file names.
    std::setlocale(LC_ALL, "C");
    QCOMPARE(Base::LocalToUTF8(text), text);
    QCOMPARE(Base::UTF8ToLocal(text), text);
    std::wstring wide = Base::LocalToWide(text);
    QCOMPARE(wide.size(), size_t(14));
    QCOMPARE(int(wide[7]), 0x4E2D);
    QCOMPARE(int(wide[8]), 0x6587);
    QCOMPARE(int(wide[13]), 0xE9);
    // Invalid UTF-8 cannot be converted.
    QVERIFY(Base::LocalToWide("bad \xFF\xFE").empty());
    if (std::setlocale(LC_ALL, "C.UTF-8")) {
        QCOMPARE(Base::LocalToUTF8(text), text);
        QCOMPARE(Base::LocalToWide(text).size(), size_t(14));
    }
    std::setlocale(LC_ALL, "C");
}

void TestBaseUtil::exeDir()
{
    const std::string dir = Base::FileUtil::GetCurExeDir();
    QVERIFY(!dir.empty());
    QCOMPARE(dir.back(), '/');
    const QString expected = QFileInfo(QCoreApplication::applicationFilePath()).canonicalPath() + '/';
    QCOMPARE(QString::fromStdString(dir), expected);
    QVERIFY(QFileInfo::exists(QString::fromStdString(dir + "TestBaseUtil")));
}

void TestBaseUtil::exeDirUtf8()
{
    QCOMPARE(Base::FileUtil::GetCurExeDirUtf8(), Base::LocalToUTF8(Base::FileUtil::GetCurExeDir()));
    Base::FileUtil::InitCurExeDirUtf8("/opt/t\xC3\xA9st/");
    QCOMPARE(Base::FileUtil::GetCurExeDirUtf8(), std::string("/opt/t\xC3\xA9st/"));
}

void TestBaseUtil::driveSpace()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    std::uint64_t total = 0, freeBytes = 0;
    QCOMPARE(Base::DiskDriveUtil::GetLocalDriveSpace(dir.path().toStdString(), total, freeBytes), 0);
    QVERIFY(total > 0);
    QVERIFY(freeBytes <= total);
    const QStorageInfo info(dir.path());
    QCOMPARE(qint64(total), info.bytesTotal());
    // Others write to the same disk meanwhile: compare the free space loosely.
    QVERIFY(qAbs(qint64(freeBytes) - info.bytesAvailable()) < (qint64(256) << 20));

    total = freeBytes = 1;
    QVERIFY(Base::DiskDriveUtil::GetLocalDriveSpace(dir.path().toStdString() + "/missing/x", total, freeBytes) != 0);
    QCOMPARE(total, std::uint64_t(0));
    QCOMPARE(freeBytes, std::uint64_t(0));
}

QTEST_GUILESS_MAIN(TestBaseUtil)
#include "TestBaseUtil.moc"
