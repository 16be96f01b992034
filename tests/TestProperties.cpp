// The properties store: the file format read and written, the failures and
// the round trip through a file.
#include "SimpleProperties.h"

#include "TestSupport.h"

#include <QtTest>

#include <stdexcept>

#include <signal.h>
#include <sys/resource.h>

using serverframework::PropertiesError;
using serverframework::SimpleProperties;

typedef QMap<QString, QString> Entries;
Q_DECLARE_METATYPE(Entries)

namespace {

const QString kDataDir = QStringLiteral(TAVRIN_TEST_DATA_DIR "/properties/");

// The entries as the store hands them out, for the keys expected.
Entries entriesOf(SimpleProperties& properties, const Entries& expected)
{
    Entries seen;
    for (auto it = expected.cbegin(); it != expected.cend(); ++it) {
        seen.insert(it.key(), QString::fromStdString(properties.getProperty(it.key().toStdString())));
    }
    return seen;
}

} // namespace

class TestProperties : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void readsFormat_data();
    void readsFormat();
    void rejectsMalformedLine_data();
    void rejectsMalformedLine();
    void checksFileName_data();
    void checksFileName();
    void missingFileFails();
    void keepsEntriesReadBeforeError();
    void firstWinsAcrossLoads();
    void addAndSetThenStore();
    void storesSortedWithoutComments();
    void roundTrip();
    void storeToUnwritablePathFails();
    void failedStoreKeepsOldFile();
    void loggedVariantsGoOn();
    void loggedSaveKeepsEveryOtherLine_data();
    void loggedSaveKeepsEveryOtherLine();

private:
    QTemporaryDir m_dir;
};

void TestProperties::initTestCase()
{
    QVERIFY(m_dir.isValid());
}

void TestProperties::readsFormat_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<Entries>("expected");

    QTest::newRow("inline comment and blanks")
        << QByteArray("ums.1.rtspPort = 554  # the RTSP port\n") << Entries{{"ums.1.rtspPort", "554"}};
    QTest::newRow("empty key") << QByteArray("=some text\n") << Entries{{"", "some text"}};
    QTest::newRow("tab stays in key") << QByteArray("\tkey=v\n") << Entries{{"\tkey", "v"}};
    QTest::newRow("tab stays in value") << QByteArray("key=v\t\n") << Entries{{"key", "v\t"}};
    QTest::newRow("third field ignored") << QByteArray("a=b=c\n") << Entries{{"a", "b"}};
    QTest::newRow("empty middle field") << QByteArray("a==c\n") << Entries{{"a", ""}};
    QTest::newRow("first wins") << QByteArray("k=1\nk=2\n") << Entries{{"k", "1"}};
    QTest::newRow("comment lines skipped")
        << QByteArray("# x=1\n   # y=2\nz=3\n") << Entries{{"z", "3"}};
    QTest::newRow("blank and CR-only lines skipped") << QByteArray("\n   \n\r\nk=v\n") << Entries{{"k", "v"}};
    QTest::newRow("CR LF line ends") << QByteArray("a=1\r\nb=2\r\n") << Entries{{"a", "1"}, {"b", "2"}};
    QTest::newRow("colon and bang are plain text")
        << QByteArray("!a:b = c:d!\n") << Entries{{"!a:b", "c:d!"}};
    QTest::newRow("hash in key is kept") << QByteArray("a#b=c#d\n") << Entries{{"a#b", "c"}};
    QTest::newRow("no final line feed") << QByteArray("a=1") << Entries{{"a", "1"}};
    QTest::newRow("backslash is no escape") << QByteArray("path=C:\\dir\\\n") << Entries{{"path", "C:\\dir\\"}};
    QTest::newRow("empty file") << QByteArray() << Entries{};
}

void TestProperties::readsFormat()
{
    QFETCH(QByteArray, content);
    QFETCH(Entries, expected);

    const QString path = m_dir.filePath(QStringLiteral("format.properties"));
    QVERIFY(tst::writeBytes(path, content));
    SimpleProperties properties;
    QVERIFY(properties.load(path.toStdString()));
    QCOMPARE(entriesOf(properties, expected), expected);

    // Nothing else was read, and the stored file reads back the same.
    QCOMPARE(properties.entries().size(), size_t(expected.size()));
    const QString out = m_dir.filePath(QStringLiteral("format.out.properties"));
    QVERIFY(properties.store(out.toStdString()));
    SimpleProperties reread;
    QVERIFY(reread.load(out.toStdString()));
    QCOMPARE(reread.entries(), properties.entries());
}

void TestProperties::rejectsMalformedLine_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::newRow("ends with equals") << QByteArray("key=\n");
    QTest::newRow("no equals") << QByteArray("just a line\n");
    QTest::newRow("only equals") << QByteArray("=\n");
    QTest::newRow("binary") << tst::readBytes(kDataDir + "binary.properties");
}

void TestProperties::rejectsMalformedLine()
{
    QFETCH(QByteArray, content);
    const QString path = m_dir.filePath(QStringLiteral("bad.properties"));
    QVERIFY(tst::writeBytes(path, content));
    SimpleProperties properties;
    try {
        properties.load(path.toStdString());
        QFAIL("a malformed line was accepted");
    } catch (std::runtime_error* e) {
        delete e;
        QFAIL("a format error must not be a runtime_error");
    } catch (std::exception* e) {
        QVERIFY(dynamic_cast<PropertiesError*>(e) != nullptr);
        QCOMPARE(QString::fromUtf8(e->what()), QStringLiteral("Properties format error!"));
        delete e;
    }
}

void TestProperties::checksFileName_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("plain") << "config.properties" << true;
    QTest::newRow("more dots") << "a.b.c.properties" << true;
    QTest::newRow("backup suffix") << "config.properties.bak" << false;
    QTest::newRow("other extension") << "config.txt" << false;
    QTest::newRow("case differs") << "config.Properties" << false;
    QTest::newRow("suffix glued") << "config.propertiesx" << false;
}

void TestProperties::checksFileName()
{
    QFETCH(QString, name);
    QFETCH(bool, accepted);
    const QString path = m_dir.filePath(name);
    QVERIFY(tst::writeBytes(path, "k=v\n"));
    SimpleProperties properties;
    try {
        QVERIFY(properties.load(path.toStdString()));
        QVERIFY(accepted);
        QCOMPARE(properties.getProperty("k"), std::string("v"));
    } catch (std::runtime_error* e) {
        QVERIFY(!accepted);
        QCOMPARE(std::string(e->what()), path.toStdString() + " is not a properties file!");
        delete e;
    }
}

void TestProperties::missingFileFails()
{
    const std::string path = m_dir.filePath(QStringLiteral("absent.properties")).toStdString();
    SimpleProperties properties;
    try {
        properties.load(path);
        QFAIL("a missing file was loaded");
    } catch (std::runtime_error* e) {
        QCOMPARE(std::string(e->what()), "can't load " + path);
        delete e;
    }
}

void TestProperties::keepsEntriesReadBeforeError()
{
    SimpleProperties properties;
    try {
        properties.load((kDataDir + "malformed.properties").toStdString());
        QFAIL("a malformed file was loaded");
    } catch (std::exception* e) {
        delete e;
    }
    QCOMPARE(properties.getProperty("first"), std::string("1"));
    QCOMPARE(properties.getProperty("second"), std::string("2"));
    QCOMPARE(properties.getProperty("third"), std::string());
}

void TestProperties::firstWinsAcrossLoads()
{
    const QString first = m_dir.filePath(QStringLiteral("one.properties"));
    const QString second = m_dir.filePath(QStringLiteral("two.properties"));
    QVERIFY(tst::writeBytes(first, "shared=from one\n"));
    QVERIFY(tst::writeBytes(second, "shared=from two\nonly=two\n"));
    SimpleProperties properties;
    QVERIFY(properties.load(first.toStdString()));
    QVERIFY(properties.load(second.toStdString()));
    QCOMPARE(properties.getProperty("shared"), std::string("from one"));
    QCOMPARE(properties.getProperty("only"), std::string("two"));
}

void TestProperties::addAndSetThenStore()
{
    SimpleProperties properties;
    QVERIFY(properties.load((kDataDir + "config.properties").toStdString()));
    properties.addProperty("ums.1.rtspPort", "600");
    const std::string out = m_dir.filePath(QStringLiteral("add.properties")).toStdString();
    QVERIFY(properties.store(out));
    QVERIFY(tst::readBytes(QString::fromStdString(out)).contains("ums.1.rtspPort=554\n"));

    QVERIFY(properties.setProperty("ums.1.rtspPort", "600"));
    QVERIFY(properties.store(out));
    QVERIFY(tst::readBytes(QString::fromStdString(out)).contains("ums.1.rtspPort=600\n"));

    // setProperty never adds; addProperty adds an absent key.
    QVERIFY(!properties.setProperty("absent.key", "1"));
    QCOMPARE(properties.getProperty("absent.key"), std::string());
    properties.addProperty("absent.key", "1");
    QCOMPARE(properties.getProperty("absent.key"), std::string("1"));
}

void TestProperties::storesSortedWithoutComments()
{
    SimpleProperties properties;
    QVERIFY(properties.load((kDataDir + "config.properties").toStdString()));
    QVERIFY(properties.load((kDataDir + "crlf.properties").toStdString()));
    const QString out = m_dir.filePath(QStringLiteral("sorted.properties"));
    QVERIFY(properties.store(out.toStdString()));
    QCOMPARE(tst::readBytes(out), QByteArray("a.key=1\n"
                                             "b.key=2\n"
                                             "ums.0.enabled=true\n"
                                             "ums.1.httpPort=8100\n"
                                             "ums.1.name=sms one\n"
                                             "ums.1.rtspPort=554\n"));
}

void TestProperties::roundTrip()
{
    const QString path = m_dir.filePath(QStringLiteral("round.trip.properties"));
    QVERIFY(QFile::copy(kDataDir + "config.properties", path));
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
    {
        SimpleProperties properties;
        QVERIFY(properties.load(path.toStdString()));
        QVERIFY(properties.setProperty("ums.1.rtspPort", "8554"));
        properties.addProperty("ums.2.rtspPort", "9554");
        QVERIFY(properties.store(path.toStdString()));
    }
    SimpleProperties reloaded;
    QVERIFY(reloaded.load(path.toStdString()));
    QCOMPARE(reloaded.getProperty("ums.1.rtspPort"), std::string("8554"));
    QCOMPARE(reloaded.getProperty("ums.2.rtspPort"), std::string("9554"));
    QCOMPARE(reloaded.getProperty("ums.1.name"), std::string("sms one"));
    QCOMPARE(reloaded.getProperty("ums.0.enabled"), std::string("true"));
}

void TestProperties::storeToUnwritablePathFails()
{
    SimpleProperties properties;
    properties.addProperty("k", "v");
    try {
        properties.store(m_dir.filePath(QStringLiteral("no/such/folder/x.properties")).toStdString());
        QFAIL("stored into a missing folder");
    } catch (std::exception* e) {
        QVERIFY(dynamic_cast<PropertiesError*>(e) != nullptr);
        QCOMPARE(std::string(e->what()), std::string("can 't construct the output file!"));
        delete e;
    }
}

// A save that cannot be completed (here: the file size limit, as with a full
// disk) fails and leaves the previous file whole.
void TestProperties::failedStoreKeepsOldFile()
{
    const QString path = m_dir.filePath(QStringLiteral("kept.properties"));
    const QByteArray old("ums.1.rtspPort=554\n");
    QVERIFY(tst::writeBytes(path, old));

    SimpleProperties properties;
    QVERIFY(properties.load(path.toStdString()));
    for (int i = 0; i < 200; ++i) {
        properties.addProperty("ums." + std::to_string(i) + ".name", std::string(40, 'x'));
    }

    struct rlimit saved;
    QVERIFY(::getrlimit(RLIMIT_FSIZE, &saved) == 0);
    struct rlimit limited = saved;
    limited.rlim_cur = 512;
    const sighandler_t previous = ::signal(SIGXFSZ, SIG_IGN);
    QVERIFY(::setrlimit(RLIMIT_FSIZE, &limited) == 0);
    std::string failure;
    try {
        properties.store(path.toStdString());
    } catch (std::exception* e) {
        failure = e->what();
        delete e;
    }
    ::setrlimit(RLIMIT_FSIZE, &saved);
    ::signal(SIGXFSZ, previous);

    QCOMPARE(failure, std::string("can 't construct the output file!"));
    QCOMPARE(tst::readBytes(path), old);
}

void TestProperties::loggedVariantsGoOn()
{
    SimpleProperties properties;
    QVERIFY(!properties.loadLogged(m_dir.filePath(QStringLiteral("absent.properties")).toStdString()));
    QVERIFY(!properties.loadLogged(m_dir.filePath(QStringLiteral("config.txt")).toStdString()));
    QVERIFY(properties.loadLogged((kDataDir + "binary.properties").toStdString()));
    QVERIFY(!properties.storeLogged(m_dir.filePath(QStringLiteral("no/folder/x.properties")).toStdString()));

    // A missing file is written whole.
    properties.addProperty("k", "v");
    const std::string out = m_dir.filePath(QStringLiteral("logged.properties")).toStdString();
    QVERIFY(properties.storeLogged(out));
    QVERIFY(tst::readBytes(QString::fromStdString(out)).contains("k=v\n"));
}

// The plug-in's file after the host's load, one change and save: a malformed
// line neither stops the reading nor gets lost, and only the changed value
// differs.
void TestProperties::loggedSaveKeepsEveryOtherLine_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QString>("key"); // set, or added when absent
    QTest::addColumn<QString>("value");
    QTest::addColumn<QByteArray>("after");
    QTest::newRow("malformed line in the middle")
        << tst::readBytes(kDataDir + "malformed.properties") << "third" << "33"
        << QByteArray("first=1\nsecond=2\nbroken line\nthird=33\n");
    QTest::newRow("line ending in equals") << QByteArray("key=\nb=2\n") << "b" << "4" << QByteArray("key=\nb=4\n");
    QTest::newRow("comments, blanks and order")
        << QByteArray("# SMS plug-in\nz=26\n\n  ums.1.rtspPort = 554  # RTSP\na=1\n") << "ums.1.rtspPort" << "8554"
        << QByteArray("# SMS plug-in\nz=26\n\n  ums.1.rtspPort = 8554  # RTSP\na=1\n");
    QTest::newRow("CR LF line ends") << QByteArray("a=1\r\nb=2\r\n") << "a" << "5" << QByteArray("a=5\r\nb=2\r\n");
    QTest::newRow("same value") << QByteArray("#c\na = 1 \n") << "a" << "1" << QByteArray("#c\na = 1 \n");
    QTest::newRow("first of two occurrences") << QByteArray("k=1\nk=2\n") << "k" << "3" << QByteArray("k=3\nk=2\n");
    QTest::newRow("new key appended") << QByteArray("# c\nbad\na=1") << "n" << "7"
                                      << QByteArray("# c\nbad\na=1\nn=7\n");
    QTest::newRow("binary") << tst::readBytes(kDataDir + "binary.properties") << "n" << "7"
                            << tst::readBytes(kDataDir + "binary.properties") + "n=7\n";
    // "key=" alone would be malformed and a last CR is taken for the line
    // end's: such values are closed by "=".
    QTest::newRow("value emptied") << QByteArray("a = 1 # c\n") << "a" << "" << QByteArray("a = = # c\n");
    QTest::newRow("empty value appended") << QByteArray("a=1\n") << "n" << "" << QByteArray("a=1\nn==\n");
    QTest::newRow("last line ends in CR") << QByteArray("a=1\r\nb=\r") << "n" << "7"
                                          << QByteArray("a=1\r\nb=\r\nn=7\r\n");
    QTest::newRow("value ending in CR") << QByteArray("a=1\n") << "a" << "x\r" << QByteArray("a=x\r=\n");
}

void TestProperties::loggedSaveKeepsEveryOtherLine()
{
    QFETCH(QByteArray, before);
    QFETCH(QString, key);
    QFETCH(QString, value);
    QFETCH(QByteArray, after);
    const QString path = m_dir.filePath(QStringLiteral("plugin.properties"));
    QVERIFY(tst::writeBytes(path, before));
    SimpleProperties properties;
    QVERIFY(properties.loadLogged(path.toStdString()));
    if (!properties.setProperty(key.toStdString(), value.toStdString()))
        properties.addProperty(key.toStdString(), value.toStdString());
    QVERIFY(properties.storeLogged(path.toStdString()));
    QCOMPARE(tst::readBytes(path), after);

    SimpleProperties reloaded;
    QVERIFY(reloaded.loadLogged(path.toStdString()));
    QCOMPARE(reloaded.getProperty(key.toStdString()), value.toStdString());
}

QTEST_GUILESS_MAIN(TestProperties)
#include "TestProperties.moc"
