// String, GUID, encoding, executable folder and disk space helpers, and the
// logger configured from a properties file.
#include "Base/DiskDriveUtil.h"
#include "Base/Encoding.h"
#include "Base/FileUtil.h"
#include "Base/GuidUtil.h"
#include "Base/Log.h"
#include "Base/StringUtil.h"

#include "TestSupport.h"

#include <QtTest>

#include <clocale>
#include <set>

Q_DECLARE_METATYPE(std::string)

class TestBaseUtil : public QObject
{
    Q_OBJECT

private slots:
    void formatString()
    {
        const std::string chunk(5000, 'q');
        QCOMPARE(Base::StringUtil::FormatString("[file-%s] [error-%d-%d] 100%%", "a.xml", 2, -5),
                 std::string("[file-a.xml] [error-2--5] 100%"));
        QCOMPARE(Base::StringUtil::FormatString("<%s|%s|%d>", chunk.c_str(), chunk.c_str(), 7),
                 "<" + chunk + "|" + chunk + "|7>");
    }

    void hex_data()
    {
        QTest::addColumn<std::string>("bytes"); // "bad": the text is refused
        QTest::addColumn<bool>("upper");
        QTest::addColumn<std::string>("hex");
        QTest::newRow("empty") << std::string() << false << std::string();
        QTest::newRow("lower") << std::string("\x00\x01\xAB\xFF", 4) << false << std::string("0001abff");
        QTest::newRow("upper") << std::string("\x12\x34\x56\x78\x9A\xBC\xDE\xF0", 8) << true << std::string("123456789ABCDEF0");
        QTest::newRow("odd length") << std::string("bad") << false << std::string("abc");
        QTest::newRow("not a digit") << std::string("bad") << false << std::string("0g");
        QTest::newRow("dash") << std::string("bad") << false << std::string("12-4");
    }
    void hex()
    {
        QFETCH(std::string, bytes);
        QFETCH(bool, upper);
        QFETCH(std::string, hex);
        std::vector<unsigned char> back{1, 2, 3};
        if (bytes == "bad") {
            QVERIFY(!Base::StringUtil::HexString2Value(hex, back));
            QVERIFY(back.empty());
            return;
        }
        QCOMPARE(Base::StringUtil::Vlue2HexString(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), upper), hex);
        QVERIFY(Base::StringUtil::HexString2Value(hex, back));
        QVERIFY(std::string(back.begin(), back.end()) == bytes);
    }

    void guidsAreFreshVersion4()
    {
        std::set<std::string> seen;
        for (int i = 0; i < 200; ++i) {
            const std::string guid = Base::GuidUtil::CreateGuid();
            std::vector<unsigned char> bytes;
            QVERIFY(Base::StringUtil::HexString2Value(guid, bytes));
            QCOMPARE(bytes.size(), size_t(16));
            QCOMPARE(bytes[6] >> 4, 4);
            QVERIFY(seen.insert(guid).second);
        }
    }

    void encoding()
    {
        const std::string text = "Tavrin \xE4\xB8\xAD\xE6\x96\x87 caf\xC3\xA9";
        std::setlocale(LC_ALL, "C"); // still UTF-8 for file names
        QCOMPARE(Base::LocalToUTF8(text), text);
        QCOMPARE(Base::UTF8ToLocal(text), text);
        const std::wstring wide = Base::LocalToWide(text);
        QCOMPARE(wide.size(), size_t(14));
        QCOMPARE(int(wide[7]), 0x4E2D);
        QCOMPARE(int(wide[13]), 0xE9);
        QVERIFY(Base::LocalToWide("bad \xFF\xFE").empty());
    }

    void exeDirAndDriveSpace()
    {
        QCOMPARE(QString::fromStdString(Base::FileUtil::GetCurExeDir()),
                 QFileInfo(QCoreApplication::applicationFilePath()).canonicalPath() + '/');
        Base::FileUtil::InitCurExeDirUtf8("/opt/t\xC3\xA9st/");
        QCOMPARE(Base::FileUtil::GetCurExeDirUtf8(), std::string("/opt/t\xC3\xA9st/"));

        QTemporaryDir dir;
        std::uint64_t total = 0, freeBytes = 0;
        QCOMPARE(Base::DiskDriveUtil::GetLocalDriveSpace(dir.path().toStdString(), total, freeBytes), 0);
        QCOMPARE(qint64(total), QStorageInfo(dir.path()).bytesTotal());
        QVERIFY(freeBytes > 0 && freeBytes <= total);
        QVERIFY(Base::DiskDriveUtil::GetLocalDriveSpace(dir.path().toStdString() + "/missing/x", total, freeBytes) != 0);
        QCOMPARE(total + freeBytes, std::uint64_t(0));
    }

    void logConfiguredFromPropertiesFile()
    {
        TLOG_FATAL("before configuration: a fatal line is only a level");
        QVERIFY(!Base::details::CLog::Configure("/nonexistent/dir/x.properties"));
        QTemporaryDir dir;
        const QString logFile = dir.path() + "/Log/host.log";
        const QString properties = dir.path() + "/host.log4cxx.properties";
        QVERIFY(tst::writeBytes(properties, "log4j.rootLogger=INFO, file\n"
                                            "log4j.appender.file=org.apache.log4j.FileAppender\n"
                                            "log4j.appender.file.File=" + logFile.toUtf8() + "\n"
                                            "log4j.appender.file.ImmediateFlush=true\n"
                                            "log4j.appender.file.layout=org.apache.log4j.PatternLayout\n"
                                            "log4j.appender.file.layout.ConversionPattern=%p|%F|%C::%M|%L|%m%n\n"));
        QVERIFY(Base::details::CLog::Configure(properties.toStdString()));
        const int line = __LINE__ + 1;
        TLOG_WARN("Failed to read [file-%s]. [error-%d-%d]", "Setup.xml", 2, 13);
        TLOG_FATAL("fatal %s", "goes on");
        Base::CSingleton<Base::details::CLog>::Instance().Info("named.logger", "through a named logger", TLOG_LOCATION);
        const QStringList lines = tst::readText(logFile).split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 3);
        const QStringList first = lines[0].split('|');
        QCOMPARE(first.size(), 5);
        QCOMPARE(first[0], QString("WARN"));
        QCOMPARE(first[1], QString("TestBaseUtil.cpp")); // the name, not the build machine's path
        QVERIFY2(first[2].contains("TestBaseUtil::logConfiguredFromPropertiesFile"), qPrintable(first[2]));
        QCOMPARE(first[3], QString::number(line));
        QCOMPARE(first[4], QString("Failed to read [file-Setup.xml]. [error-2-13]"));
        QVERIFY(lines[1].startsWith("FATAL|") && lines[1].endsWith("|fatal goes on"));
        QVERIFY(lines[2].endsWith("|through a named logger"));
    }
};

QTEST_GUILESS_MAIN(TestBaseUtil)
#include "TestBaseUtil.moc"
