// The configuration files: XML, whole-file writes, properties, user-data folders, the port and common configurations, DESetup keys, version order.
#include "CommonMethodLib/CommonConfigFileMgr.h"
#include "CommonMethod/DataEncryptionConfig.h"
#include "DatabaseUpdate/DBVersion.h"
#include "CommonMethod/FileOperation.h"
#include "CommonMethod/Proto/XmlProto.h"
#include "logical/SimpleProperties.h"
#include "TestSupport.h"
#include "CommonMethod/UserDataPath.h"
#include "controller/XMLConfigManager.h"

#include "Base/Encrypt.h"
#include "Base/Log.h"
#include "Base/StringUtil.h"

#include <QDateTime>
#include <QtTest>

#include <algorithm>
#include <climits>
#include <tuple>

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

using comm_method::CDataEncryptionConfig;
using comm_method::CUserDataPath;
using comm_methodlib::CCommonConfigFileMgr;
using proto::CXmlProto;
using serverframework::SimpleProperties;
using serverframework::XMLConfigManager;

namespace {

const QString kShipped = QStringLiteral(TAVRIN_SOURCE_DIR "/Install/maintain/");

// A user's port configuration of that version.
QByteArray userFile(const QByteArray& version)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Configs Version=\"" + version
           + "\"><ServerPort><WebSocket>1111</WebSocket><TamsaCMS>12345</TamsaCMS><TamsaSS>2222</TamsaSS><Web></Web>"
             "</ServerPort><ExternParam><Enabled></Enabled></ExternParam></Configs>\n";
}

// The text at /Configs/<path> in the file; "?" when it does not parse.
std::string valueIn(const QString& file, const std::string& path)
{
    CXmlProto doc;
    return doc.set_str(tst::readBytes(file).toStdString()) ? doc.get_str("/Configs/" + path, "") : "?";
}

// Runs what with the file size limit at bytes, as a full disk would stop a write.
template <typename What>
void withFileSizeLimit(rlim_t bytes, What what)
{
    rlimit saved{};
    ::getrlimit(RLIMIT_FSIZE, &saved);
    const rlimit limited{std::min(bytes, saved.rlim_cur), saved.rlim_max};
    ::signal(SIGXFSZ, SIG_IGN);
    ::setrlimit(RLIMIT_FSIZE, &limited);
    what();
    ::setrlimit(RLIMIT_FSIZE, &saved);
}

std::string encode(const std::string& plain, bool fileParams = true)
{
    Base::Encrypt::CAESParamsSetRAII guard(fileParams ? CDataEncryptionConfig::fileParams() : Base::Encrypt::AESParams());
    std::string out;
    Base::Encrypt::Base64AndAESEncode(out, plain);
    return out;
}

} // namespace

class TestConfigFiles : public QObject
{
    Q_OBJECT

private slots:
    void init() // the manager goes before what it refers to
    {
        m_config.reset();
        m_common.reset();
        m_env = std::make_unique<ScratchHome>(ScratchHome::WithDrive);
        m_dir = m_env->path() + "/";
        QVERIFY(QFile::copy(kShipped + "Setup.xml.benchmark", benchmark()));
        m_common = std::make_unique<comm_methodlib::CCommonConfigFileMgr>((m_dir + "CommonConfig.xml").toStdString());
        m_config = std::make_unique<XMLConfigManager>(m_dir.toStdString(), m_dir.toStdString(), *m_common);
    }

    void xmlRead()
    {
        CXmlProto doc;
        QVERIFY(doc.set_str("<C><I>fish &amp; chips</I><I>b</I><Mixed> -42xyz</Mixed><Huge>99999999999</Huge></C>"));
        QCOMPARE(doc.get_str("/C/I", "d"), std::string("fish & chips")); // the first of several
        QCOMPARE(doc.get_int("/C/Mixed", -1), -42);
        QCOMPARE(doc.get_int("/C/Huge", -1), INT_MAX);
        // A document type declaration is refused outright: no entity of it expands.
        for (const char* text : {"<!DOCTYPE c [<!ENTITY a \"aaaaaaaa\"><!ENTITY b \"&a;&a;&a;&a;\">]><C><V>&b;</V></C>",
                                 "<!DOCTYPE c [<!ENTITY x SYSTEM \"file:///etc/passwd\">]><C><V>&x;</V></C>",
                                 "<!DOCTYPE c SYSTEM \"http://127.0.0.1:1/x.dtd\"><C/>", "<C><Open></C>"}) {
            CXmlProto doc;
            QVERIFY2(!doc.set_str(text), text);
            QCOMPARE(doc.count("/*"), 0);
        }
    }

    // What writeFile leaves (padded with line feeds to whole sectors, never below the old size) and what readFile
    // gives: the line feeds cut; the Setup.data beside the file when it is missing or empty.
    void fileWriteThenRead_data()
    {
        QTest::addColumn<QByteArray>("existing"); // Setup.xml before; null: no file
        QTest::addColumn<bool>("data");           // a Setup.data beside it
        QTest::addColumn<bool>("write");          // what is read, written by writeFile first
        QTest::addColumn<int>("size");            // of Setup.xml after the write, all line feeds after the text
        QTest::addColumn<QByteArray>("read");     // null: the read fails
        const QByteArray text = QByteArray("abcdefghijklmnopqrstuvwxyz").repeated(20);
        QTest::newRow("fresh file") << QByteArray() << false << true << 512 << text.left(20);
        QTest::newRow("one byte over a sector") << QByteArray() << false << true << 1024 << text.left(513);
        QTest::newRow("shrink 1000 to 300") << QByteArray(1000, 'o') << true << true << 1024 << text.left(300);
        QTest::newRow("not written") << QByteArray("primary\n\n") << true << false << 0 << QByteArray("primary");
        QTest::newRow("missing, data beside") << QByteArray() << true << false << 0 << QByteArray("data");
        QTest::newRow("empty, data beside") << QByteArray("") << true << false << 0 << QByteArray("data");
        QTest::newRow("missing, nothing beside") << QByteArray() << false << false << 0 << QByteArray();
    }
    void fileWriteThenRead()
    {
        QFETCH(QByteArray, existing);
        QFETCH(bool, data);
        QFETCH(bool, write);
        QFETCH(int, size);
        QFETCH(QByteArray, read);
        QVERIFY(existing.isNull() || tst::writeBytes(working(), existing));
        QVERIFY(!data || tst::writeBytes(m_dir + "Setup.data", "data"));
        QVERIFY(!write || writeFile(working().toStdString(), read.toStdString() + "\n\n"));
        if (write)
            QCOMPARE(tst::readBytes(working()), QByteArray(read).leftJustified(size, '\n'));
        std::string back = "untouched";
        QCOMPARE(readFile(back, working().toStdString()), !read.isNull());
        QCOMPARE(QByteArray::fromStdString(back), read.isNull() ? QByteArray("untouched") : read);
    }

    // store writes every entry sorted, without comments; set never adds and add never replaces; an empty value is
    // closed by "=". A store that cannot finish fails and leaves the old file whole, so does storeLogged.
    void propertiesStore()
    {
        SimpleProperties properties;
        QVERIFY(properties.load(TAVRIN_TEST_DATA_DIR "/properties/config.properties"));
        QVERIFY(properties.setProperty("ums.1.rtspPort", "8554") && !properties.setProperty("absent", "1"));
        properties.addProperty("ums.1.name", "ignored");
        properties.addProperty("a", "");
        const QString out = m_dir + "out.properties";
        QVERIFY(properties.store(out.toStdString()));
        const QByteArray stored = "a==\nums.0.enabled=true\nums.1.httpPort=8100\nums.1.name=sms one\nums.1.rtspPort=8554\n";
        QCOMPARE(tst::readBytes(out), stored);
        QVERIFY(QFile::copy(out, out + ".bak"));
        QVERIFY(!SimpleProperties().loadLogged((out + ".bak").toStdString())); // not a properties file

        properties.addProperty("long", std::string(1000, 'x'));
        std::string failure;
        bool storedInPlace = true;
        withFileSizeLimit(512, [&] {
            try {
                properties.store(out.toStdString());
            } catch (const std::exception& e) {
                failure = e.what();
            }
            storedInPlace = properties.storeLogged(out.toStdString());
        });
        QCOMPARE(failure, std::string("can 't construct the output file!"));
        QVERIFY(!storedInPlace);
        QCOMPARE(tst::readBytes(out), stored);
    }

    // The plug-in's file as read (comment lines skipped, the first of equal keys wins, "#" starts a comment only after
    // the "=", a line that is not "key=value" is passed over) and after one change and a save: only the changed value
    // differs; comments, malformed lines, order and line ends stay.
    void propertiesStoreLogged_data()
    {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QString>("entries");
        QTest::addColumn<QString>("key"); // set, or added when absent
        QTest::addColumn<QString>("value");
        QTest::addColumn<QByteArray>("after");
        QTest::newRow("comments, blanks and order")
            << QByteArray("# SMS x=1\nz=26\n\n  ums.1.rtspPort = 554  # RTSP\na=1\n") << "a=1;ums.1.rtspPort=554;z=26;"
            << "ums.1.rtspPort"
            << "8554" << QByteArray("# SMS x=1\nz=26\n\n  ums.1.rtspPort = 8554  # RTSP\na=1\n");
        QTest::newRow("malformed lines") << QByteArray("key=\nbroken\nb=2\n") << "b=2;"
                                         << "b"
                                         << "4" << QByteArray("key=\nbroken\nb=4\n");
        QTest::newRow("CR LF line ends") << QByteArray("a=1\r\nb=2\r\n") << "a=1;b=2;"
                                         << "a"
                                         << "5" << QByteArray("a=5\r\nb=2\r\n");
        QTest::newRow("first of two") << QByteArray("k=1\nk=2\n") << "k=1;"
                                      << "k"
                                      << "3" << QByteArray("k=3\nk=2\n");
        QTest::newRow("new key appended") << QByteArray("# c\na#b=c#d=e") << "a#b=c;"
                                          << "n"
                                          << "7" << QByteArray("# c\na#b=c#d=e\nn=7\n");
        QTest::newRow("value emptied") << QByteArray("a = 1 # c\n") << "a=1;"
                                       << "a"
                                       << "" << QByteArray("a = = # c\n");
    }
    void propertiesStoreLogged()
    {
        QFETCH(QByteArray, before);
        QFETCH(QString, key);
        QFETCH(QString, value);
        const std::string path = (m_dir + "plugin.properties").toStdString();
        QVERIFY(tst::writeBytes(m_dir + "plugin.properties", before));
        SimpleProperties properties;
        QVERIFY(properties.loadLogged(path));
        QString entries;
        for (const auto& entry : properties.entries())
            entries += QString::fromStdString(entry.first + "=" + entry.second + ";");
        QTEST(entries, "entries");
        if (!properties.setProperty(key.toStdString(), value.toStdString()))
            properties.addProperty(key.toStdString(), value.toStdString());
        QVERIFY(properties.storeLogged(path));
        QTEST(tst::readBytes(m_dir + "plugin.properties"), "after");
    }

    // Beside the program on another drive, else under the public profile.
    void userDataRoot()
    {
        const std::tuple<std::string, int, QString> rows[] = {{"D:\\Apps\\Suite\\Server\\", 0, "D:/Apps/UserData/"},
                                                              {"C:\\Suite\\Server\\", 0, "C:/Users/Public/Tavrin/UserData/"},
                                                              {"C:/Suite/Server/", 1, "C:/Users/Public/Orbelle UserData/"}};
        for (const auto& [exeDir, versionType, expected] : rows) {
            const std::string root = CUserDataPath::rootFor(exeDir, "C:/Users/Public", CUserDataPath::brandFolder(versionType));
            QCOMPARE(QString::fromStdString(CUserDataPath::normalise(root)), expected);
        }
    }

    void userDataTree_data()
    {
        QTest::addColumn<bool>("olderTree"); // a log file and an identity store made before, 0644 in 0755 folders
        QTest::newRow("new tree") << false;
        QTest::newRow("tree of an older start") << true;
    }
    // The folders are made, the log lines land in their files, and the whole tree of the brand (also files made after
    // init, and the identity store beside the user data) is the user's alone: 0700 and 0600.
    void userDataTree()
    {
        QFETCH(bool, olderTree);
        const mode_t previousMask = ::umask(022);
        const QString brand = m_env->drive() + "/Users/Public/Tavrin/";
        const QString root = brand + "UserData/";
        const QString logDir = root + "Log/Framework.S/";
        QVERIFY(!olderTree || tst::writeBytes(logDir + "Framework.S.txt", "a log line\n"));
        QVERIFY(!olderTree || tst::writeBytes(brand + "Identify/IdentifyInfo.dat", "a record"));
        CUserDataPath paths;
        QVERIFY(paths.init(programFolder().toStdString(), "Framework.S"));
        for (const char* sub : {"Dump/Framework.S", "Capture", "Video", "ABREM", "Backup/AutoBackup", "Backup/Import"})
            QVERIFY2(olderTree || QDir(root + sub).exists(), sub); // an older tree is not completed

        QVERIFY(Base::details::CLog::Configure(paths.getPropertiesPath()));
        TLOG_INFO("an info line %d", 1);
        TLOG_ERROR("an error line %d", 2);
        const QString main = tst::readText(logDir + "Framework.S.txt");
        const QString errors = tst::readText(logDir + "Framework.S.Error.txt");
        QVERIFY2(main.contains("an info line 1") && main.contains("an error line 2"), qPrintable(main));
        QVERIFY2(errors.contains("an error line 2") && !errors.contains("an info line"), qPrintable(errors));

        ::umask(previousMask);
        QDirIterator it(brand, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            struct stat info
            {
            };
            QVERIFY(::lstat(QFile::encodeName(it.next()).constData(), &info) == 0);
            QVERIFY2((info.st_mode & 07777) == (S_ISDIR(info.st_mode) ? 0700u : 0600u), qPrintable(it.filePath()));
        }
    }

    void loggingConfiguration_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("kept");
        const QByteArray edited = "# edited by the user\nlog4j.appender.A = org.apache.log4j.ConsoleAppender\n";
        QTest::newRow("user's edit") << edited << true;
        QTest::newRow("appender options only") << QByteArray("log4j.appender.R.File=x.txt\n") << false;
        QTest::newRow("one line of 300 KB") << edited + "# " + QByteArray(300 * 1024, 'x') + "\n" << false;
    }
    // A logging configuration that can serve is never regenerated, even when the template changed; one that cannot is kept aside and regenerated.
    void loggingConfiguration()
    {
        QFETCH(QByteArray, content);
        QFETCH(bool, kept);
        const QString exeDir = programFolder();
        CUserDataPath paths;
        QVERIFY(paths.init(exeDir.toStdString(), "Framework.S"));
        const QString properties = QString::fromStdString(paths.getPropertiesPath());
        QVERIFY(tst::writeBytes(properties, content));
        const QByteArray templ = "log4j.rootLogger=INFO, A\nlog4j.appender.A=org.apache.log4j.ConsoleAppender\n";
        QVERIFY(tst::writeBytes(exeDir + "maintain/log4cxx.properties.benchmark", templ));

        QVERIFY(CUserDataPath().init(exeDir.toStdString(), "Framework.S"));
        QCOMPARE(tst::readBytes(properties), kept ? content : templ);
        QCOMPARE(damagedCopies(properties), kept ? QList<QByteArray>() : QList<QByteArray>{content});
    }

    void workingFileAtStart_data()
    {
        QTest::addColumn<QByteArray>("before"); // null: no file
        QTest::addColumn<QString>("outcome");   // "kept", "upgraded", "replaced", or the key of the port repaired
        const QByteArray user = userFile("1.1");
        QTest::newRow("older") << userFile("1.0") << "upgraded";
        QTest::newRow("equal") << user << "kept";
        QTest::newRow("newer") << userFile("1.10") << "kept";
        QTest::newRow("WebSocket 70000") << QByteArray(user).replace(">1111<", ">70000<") << "WebSocket";
        QTest::newRow("TamsaCMS 0") << QByteArray(user).replace(">12345<", ">0<") << "TamsaCMS";
        QTest::newRow("Web digits then letters") << QByteArray(user).replace("<Web></Web>", "<Web>80a</Web>") << "Web";
        QTest::newRow("missing") << QByteArray() << "replaced";
        QTest::newRow("empty") << QByteArray("") << "replaced";
        QTest::newRow("not XML") << QByteArray("<Configs><ServerPort><Http>1</Http>") << "replaced";
        QTest::newRow("just over the bound") << QByteArray(int(comm_method::CXmlConfigFile::kMaxBytes) + 1 - 10, ' ').prepend("<Configs/>")
                                             << "replaced";
    }
    // An older file takes the benchmark's version and the values it lacks; an equal or newer one is left as it is. A bad port takes the benchmark's
    // value, a damaged file the benchmark's place; either is kept beside it under a name no earlier copy has (copies of this second and the next two
    // exist). The user's values stay, and the next start changes nothing.
    void workingFileAtStart()
    {
        QFETCH(QByteArray, before);
        QFETCH(QString, outcome);
        QList<QByteArray> copies = {"earlier", "earlier", "earlier"};
        for (int s = 0; s < 3; ++s)
            QVERIFY(tst::writeBytes(working() + ".damaged-" + QDateTime::currentDateTime().addSecs(s).toString("yyyyMMdd-HHmmss"), "earlier"));
        QVERIFY(before.isNull() || tst::writeBytes(working(), before));
        const bool damaged = outcome != "kept" && outcome != "upgraded"; // replaced or repaired
        if (damaged && !before.isNull())
            copies.prepend(before);
        m_config->InitManager(true);
        std::sort(copies.begin(), copies.end());
        QCOMPARE(damagedCopies(working()), copies);
        if (outcome == "replaced") {
            QCOMPARE(tst::readBytes(working()), tst::readBytes(benchmark())); // a byte copy, no padding
        } else {
            QCOMPARE(tst::readBytes(working()) == before, outcome == "kept");
            QCOMPARE(int(m_config->webSocketPort), outcome == "WebSocket" ? 16101 : 1111);
            QCOMPARE(valueIn(working(), "ServerPort/TamsaSS"), std::string("2222"));      // the user's
            QCOMPARE(int(m_config->playbackPort), outcome == "upgraded" ? 17013 : 65535); // added, or missing
            const std::string port = "ServerPort/" + outcome.toStdString();
            QVERIFY(!damaged || valueIn(working(), port) == valueIn(benchmark(), port));
        }
        if (outcome == "upgraded") {
            QCOMPARE(valueIn(working(), "@Version"), std::string("1.1"));
            QCOMPARE(valueIn(working(), "ExternParam/Enabled"), std::string("false")); // was empty
            QCOMPARE(valueIn(working(), "ServerPort/TamsaAMS") + valueIn(working(), "Skin/Value"), std::string());
        }
        const QByteArray after = tst::readBytes(working());
        m_config->InitManager(true);
        QCOMPARE(tst::readBytes(working()), after);
    }

    // Each setter writes its own port, which reInitPort reads back; the file is rewritten for a person to read. The
    // HTTP port goes to the common configuration too, the video wall port only there.
    void setters()
    {
        m_config->InitManager(true);
        struct Setter
        {
            bool (XMLConfigManager::*set)(const std::string&);
            quint16 XMLConfigManager::*field;
        };
        const Setter setters[] = {
            {&XMLConfigManager::setWebSocketPort, &XMLConfigManager::webSocketPort},
            {&XMLConfigManager::setWebPort, &XMLConfigManager::webPort},
            {&XMLConfigManager::setTamsaCMSPort, &XMLConfigManager::cmsPort},
            {&XMLConfigManager::setTamsaAMSPort, &XMLConfigManager::amsPort},
            {&XMLConfigManager::setTamsaMQTTPort, &XMLConfigManager::mqttPort},
            {&XMLConfigManager::setTamsaSSPort, &XMLConfigManager::ssPort},
            {&XMLConfigManager::setTamsaVideoPort, &XMLConfigManager::videoPort},
            {&XMLConfigManager::setTamsaVideoVICPort, &XMLConfigManager::videoVicPort},
            {&XMLConfigManager::setTamsaAudioPort, &XMLConfigManager::audioPort},
            {&XMLConfigManager::setTamsaPlaybackPort, &XMLConfigManager::playbackPort},
            {&XMLConfigManager::setHttpPort, &XMLConfigManager::httpPort},
        };
        int port = 30000;
        for (const Setter& s : setters)
            QVERIFY((m_config.get()->*s.set)("0" + std::to_string(++port)));
        m_config->setIPAddress("a&b");
        m_config->setEnabled(true);
        m_config->setVideoWallPort("19019");
        m_config->reInitPort();
        port = 30000;
        for (const Setter& s : setters)
            QCOMPARE(int(m_config.get()->*s.field), ++port);
        QCOMPARE(m_config->externIPAddress, std::string("a&b"));
        QVERIFY(m_config->externEnabled);
        for (const char* text : {"True", "1"}) { // only "true" opens the web client to the network
            QVERIFY(m_config->setExternParam2xml("Enabled", text));
            m_config->reInitPort();
            QVERIFY2(!m_config->externEnabled, text);
        }
        QCOMPARE(m_common->GetFrameworkHttpPort(), port);
        QCOMPARE(m_common->GetFrameworkVideoWallPort(), 19019);
        const QByteArray written = tst::readBytes(working());
        QVERIFY2(written.contains("\n    <Web>30002</Web>\n") && !written.contains("19019"), written.constData());
    }

    void writesNothing_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("trouble"); // 1: the file does not parse, 2: the disk is full
        for (const char* text : {"abc", "80a", "65536", "0", "-80", "", "99999999999999999999"})
            QTest::newRow(text) << text << 0;
        QTest::newRow("file does not parse") << "20000" << 1;
        QTest::newRow("disk full") << "20000" << 2;
    }
    // Not a port, a file that does not parse or a write that cannot finish: the files stay as they were, whole.
    void writesNothing()
    {
        QFETCH(QString, text);
        QFETCH(int, trouble);
        m_config->InitManager(true);
        QVERIFY(trouble != 1 || tst::writeBytes(working(), "<Configs><ServerPort><TamsaCMS>17000</TamsaCMS>"));
        const auto files = [&] { return tst::readBytes(working()) + tst::readBytes(m_dir + "CommonConfig.xml"); };
        const QByteArray before = trouble ? tst::readBytes(working()) : files();
        withFileSizeLimit(trouble == 2 ? 100 : RLIM_INFINITY, [&] {
            m_config->setTamsaCMSPort(text.toStdString());
            if (trouble) {
                m_config->setEnabled(true);
            } else {
                m_config->setHttpPort(text.toStdString());
                m_config->setVideoWallPort(text.toStdString());
            }
        });
        QCOMPARE(trouble ? tst::readBytes(working()) : files(), before);
    }

    void staleTemporariesRemoved_data()
    {
        QTest::addColumn<QString>("file");
        QTest::newRow("port configuration") << "Setup.xml";
        QTest::newRow("common configuration") << "CommonConfig.xml";
    }
    // Temporaries of writes killed long ago go at start; one of a write that may still run stays, and so does whatever is not such a temporary.
    void staleTemporariesRemoved()
    {
        QFETCH(QString, file);
        const QStringList stale = {"." + file + ".Ab12Cd", "." + file + ".zzzzzz"};
        const QStringList kept = {"." + file + ".Fresh1", "." + file + ".toolong7", file + ".Ab12Cd", ".Other.xml.Ab12Cd"};
        for (const QString& name : stale + kept)
            QVERIFY(name == kept.first() ? tst::writeBytes(m_dir + name, "<Configs") : tst::writeOldBytes(m_dir + name, "<Configs"));
        m_config->InitManager(true);
        for (const QString& name : stale + kept)
            QVERIFY2(QFile::exists(m_dir + name) == kept.contains(name), qPrintable(name));
    }

    void checkRepairs_data()
    {
        QTest::addColumn<QByteArray>("content"); // "-": no file
        QTest::addColumn<int>("http");
        QTest::addColumn<int>("wall");
        QTest::addColumn<int>("copies"); // damaged copies kept beside it, the first one as it was
        const QByteArray framework = "<CommonConfig><Framework>%1</Framework></CommonConfig>";
        QTest::newRow("no file") << QByteArray("-") << 16100 << 18018 << 0;
        QTest::newRow("valid values kept") << QByteArray(framework).replace("%1", "<HttpPort>8080</HttpPort><VideoWallPort>9090</VideoWallPort>")
                                           << 8080 << 9090 << 0;
        QTest::newRow("out of range") << QByteArray(framework).replace("%1", "<HttpPort>0</HttpPort><VideoWallPort>70000</VideoWallPort>") << 16100
                                      << 18018 << 2;
        QTest::newRow("one missing") << QByteArray(framework).replace("%1", "<HttpPort>8080</HttpPort>") << 8080 << 18018 << 0;
        QTest::newRow("not XML") << QByteArray("<CommonConfig><Framework><HttpPort>8080") << 16100 << 18018 << 1;
        QTest::newRow("over the bound")
            << QByteArray(framework).replace("%1", "<HttpPort>8080</HttpPort>").append(QByteArray(int(comm_method::CXmlConfigFile::kMaxBytes), '\n'))
            << 16100 << 18018 << 1;
    }
    void checkRepairs()
    {
        QFETCH(QByteArray, content);
        QFETCH(int, http);
        QFETCH(int, copies);
        const QString file = m_dir + "Other.xml";
        if (content != "-")
            QVERIFY(tst::writeBytes(file, content));
        CCommonConfigFileMgr config(file.toStdString());
        // A check-only pass reports bad values and stores nothing.
        QCOMPARE(config.CheckHttpPort(true), http != 16100);
        QCOMPARE(tst::readBytes(file), content == "-" ? QByteArray() : content);
        QVERIFY(config.CheckHttpPort(false) && config.CheckVideoWallPort());
        CCommonConfigFileMgr reread(file.toStdString());
        QCOMPARE(reread.GetFrameworkHttpPort(), http);
        QTEST(reread.GetFrameworkVideoWallPort(), "wall");
        const QList<QByteArray> kept = damagedCopies(file);
        QCOMPARE(kept.size(), copies);
        QVERIFY(copies == 0 || kept.contains(content));
        QVERIFY(QFileInfo(file).size() <= 512); // written at its own size
    }

    // key = hex of the first 8 bytes of sha256(s1 s2), salt = hex of bytes 24..31 of sha256(s3 s4), data key = base64 of their middle halves.
    void desetupDerivation()
    {
        proto::CXmlProto doc;
        const char* segments[] = {"A1", "B2", "C3", "D4"};
        for (int i = 0; i < 4; ++i)
            doc.set_value(CDataEncryptionConfig::segmentPath(i + 1), segments[i]);
        unsigned char d1[32], d2[32], joined[32];
        QVERIFY(Base::Encrypt::Sha256(d1, 32, "A1B2", 100) && Base::Encrypt::Sha256(d2, 32, "C3D4", 100));
        memcpy(joined, d1 + 16, 16);
        memcpy(joined + 16, d2, 16);
        std::string dataKey;
        QVERIFY(Base::Encrypt::Base64EncodeEx(dataKey, joined, 32));

        const std::string path = (m_dir + "DESetup.dat").toStdString();
        QVERIFY(writeFile(path, encode(doc.to_str(0))));
        CDataEncryptionConfig config;
        QVERIFY(config.loadConfig(path));
        QCOMPARE(config.aesParams().key, Base::StringUtil::Vlue2HexString(d1, 8, false));
        QCOMPARE(config.aesParams().salt, Base::StringUtil::Vlue2HexString(d2 + 24, 8, false));
        QCOMPARE(config.dataKey(), dataKey);

        // Regenerated segments give other keys.
        QVERIFY(config.regenerateConfig(path) && config.loadConfig(path));
        QVERIFY(config.dataKey() != dataKey);
        config = CDataEncryptionConfig();
        for (const std::string& text : {std::string("plain text"), encode("<DESetup/>", false), encode("<DESetup>")})
            QVERIFY(!config.setDESetup(text) && config.dataKey().empty());
        QVERIFY(!config.loadConfig((m_dir + "missing.dat").toStdString()));
        QVERIFY(!config.regenerateConfig((m_dir + "missing.dat").toStdString()));
    }

    void versionOrder()
    {
        // 1: left > right, 0: equal, -1: left < right; a missing component is 0, empty is below every version
        const std::tuple<const char*, const char*, int> rows[] = {{"1.10", "1.9", 1}, {"1.0", "1", 0}, {"1.2", "1.2.1", -1}, {"0", "", 1}};
        for (const auto& [left, right, order] : rows) {
            const DatabaseUpdate::CDBVersion a(left), b(right);
            QVERIFY2((a > b) == (order > 0) && (a < b) == (order < 0) && (a == b) == (order == 0), left);
        }
    }

private:
    QString working() const { return m_dir + "Setup.xml"; }
    QString benchmark() const { return m_dir + "Setup.xml.benchmark"; }
    // The damaged copies kept beside file, their contents sorted.
    static QList<QByteArray> damagedCopies(const QString& file)
    {
        QList<QByteArray> copies;
        const QFileInfo info(file);
        for (const QFileInfo& copy : info.dir().entryInfoList({info.fileName() + ".damaged-*"}, QDir::Files))
            copies << tst::readBytes(copy.filePath());
        std::sort(copies.begin(), copies.end());
        return copies;
    }
    // A program folder with the shipped maintain/ files, ending in "/".
    QString programFolder() const
    {
        const QString exeDir = m_env->path() + "/Suite/Server/";
        QDir().mkpath(exeDir + "maintain");
        QFile::copy(kShipped + "Setup.xml.benchmark", exeDir + "maintain/Setup.xml.benchmark");
        QFile::copy(kShipped + "log4cxx.properties.benchmark", exeDir + "maintain/log4cxx.properties.benchmark");
        return exeDir;
    }

    std::unique_ptr<ScratchHome> m_env;
    std::unique_ptr<comm_methodlib::CCommonConfigFileMgr> m_common;
    std::unique_ptr<XMLConfigManager> m_config;
    QString m_dir;
};

QTEST_GUILESS_MAIN(TestConfigFiles)
#include "TestConfigFiles.moc"
