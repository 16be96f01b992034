// The port configuration: restore from the benchmark, upgrade, loading,
// setters, and a writer killed at random moments.
#include "XMLConfigManager.h"

#include "CommonMethodLib/CommonConfigFileMgr.h"
#include "Proto/XmlProto.h"
#include "TestScratch.h"

#include "TestSupport.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QThread>
#include <QtTest>

#include <memory>

using serverframework::XMLConfigManager;

namespace {

const char* const kOldWorking =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<Configs Version=\"%1\"><ProductType><Value>2</Value></ProductType>"
    "<VersionType><Value>0</Value></VersionType>"
    "<ServerPort><WebSocket>1111</WebSocket><TamsaCMS>12345</TamsaCMS><TamsaSS>2222</TamsaSS>"
    "<Web></Web></ServerPort>"
    "<ExternParam><Enabled>%2</Enabled></ExternParam></Configs>\n";

} // namespace

class TestXMLConfigManager : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void restoreFromBenchmark();
    void damagedWorkingFileKept_data();
    void damagedWorkingFileKept();
    void invalidPortRepaired_data();
    void invalidPortRepaired();
    void staleTemporariesRemoved();
    void emptyWorkingFileWithDataFile();
    void upgradeKeepsUserValues();
    void equalOrNewerUntouched_data();
    void equalOrNewerUntouched();
    void externEnabled_data();
    void externEnabled();
    void settersAndReInit();
    void httpAndVideoWallPorts();
    void notAPortWritesNothing_data();
    void notAPortWritesNothing();
    void unparsableFileLeftAlone();
    void killedWriterLeavesWholeFile();

private:
    QString working() const { return m_dataDir + "Setup.xml"; }
    QString benchmark() const { return m_maintainDir + "Setup.xml.benchmark"; }
    std::unique_ptr<XMLConfigManager> makeManager();

    std::unique_ptr<ScratchHome> m_env;
    std::unique_ptr<comm_methodlib::CCommonConfigFileMgr> m_common;
    QString m_dataDir;
    QString m_maintainDir;
};

void TestXMLConfigManager::init()
{
    m_env = std::make_unique<ScratchHome>(ScratchHome::WithDrive);
    m_dataDir = m_env->path() + "/data/";
    m_maintainDir = m_env->path() + "/maintain/";
    QDir().mkpath(m_dataDir);
    QDir().mkpath(m_maintainDir);
    QVERIFY(QFile::copy(QStringLiteral(TAVRIN_SOURCE_DIR) + "/Install/maintain/Setup.xml.benchmark", benchmark()));
    m_common = std::make_unique<comm_methodlib::CCommonConfigFileMgr>((m_dataDir + "CommonConfig.xml").toStdString());
}

void TestXMLConfigManager::cleanup()
{
    m_common.reset();
    m_env.reset();
}

std::unique_ptr<XMLConfigManager> TestXMLConfigManager::makeManager()
{
    return std::make_unique<XMLConfigManager>(m_dataDir.toStdString(), m_maintainDir.toStdString(), *m_common);
}

void TestXMLConfigManager::restoreFromBenchmark()
{
    auto config = makeManager();
    config->InitManager(true);
    QCOMPARE(tst::readBytes(working()), tst::readBytes(benchmark())); // a byte copy, no padding
    QCOMPARE(int(config->webSocketPort), 16101);
    QCOMPARE(int(config->cmsPort), 17000);
    QCOMPARE(int(config->playbackPort), 17013);
    QCOMPARE(int(config->httpPort), 16100);
    QCOMPARE(config->videoWallPort, 18018);
    QCOMPARE(config->productType, 0);
    QCOMPARE(config->versionType, 0);
    QCOMPARE(config->externEnabled, false);
    QCOMPARE(config->externIPAddress, std::string());
    QVERIFY(config->dataEncryptionConfig);
    QVERIFY(QFile::exists(m_dataDir + "CommonConfig.xml")); // the checks stored the defaults
}

void TestXMLConfigManager::damagedWorkingFileKept_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::newRow("not XML") << QByteArray("<Configs><ServerPort><Http>1</Http>");
    QTest::newRow("empty file") << QByteArray();
    QTest::newRow("a DTD") << QByteArray("<!DOCTYPE Configs [<!ENTITY a \"b\">]><Configs/>");
    // Valid elements, but far more than a port configuration holds.
    QByteArray huge = "<?xml version=\"1.0\"?>\n<Configs Version=\"1.1\"><ServerPort><WebSocket>1111</WebSocket>";
    const QByteArray element = "<TamsaCMS>12345</TamsaCMS>";
    huge.reserve(50 * 1024 * 1024 + 64);
    while (huge.size() < 50 * 1024 * 1024)
        huge += element;
    QTest::newRow("50 MB") << huge + "</ServerPort></Configs>\n";
    QTest::newRow("just over the bound")
        << QByteArray(int(XMLConfigManager::kMaxFileBytes) + 1 - 10, ' ').prepend("<Configs/>");
}

void TestXMLConfigManager::damagedWorkingFileKept()
{
    QFETCH(QByteArray, content);
    QVERIFY(tst::writeBytes(working(), content));
    auto config = makeManager();
    config->InitManager(true);
    QCOMPARE(tst::readBytes(working()), tst::readBytes(benchmark()));
    const QStringList kept = QDir(m_dataDir).entryList({"Setup.xml.damaged-*"}, QDir::Files);
    QCOMPARE(kept.size(), 1);
    QCOMPARE(tst::readBytes(m_dataDir + kept.first()), content);
    QCOMPARE(int(config->cmsPort), 17000);
}

void TestXMLConfigManager::invalidPortRepaired_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("text");
    QTest::newRow("WebSocket 70000") << "WebSocket" << "70000";
    QTest::newRow("WebSocket abc") << "WebSocket" << "abc";
    QTest::newRow("TamsaCMS 0") << "TamsaCMS" << "0";
    QTest::newRow("TamsaPlayback negative") << "TamsaPlayback" << "-17013";
    QTest::newRow("Web digits then letters") << "Web" << "80a";
    QTest::newRow("Http 65536") << "Http" << "65536";
}

// The user's file keeps every value but the bad port, which takes the
// benchmark's; the file as it was is kept beside it.
void TestXMLConfigManager::invalidPortRepaired()
{
    QFETCH(QString, key);
    QFETCH(QString, text);
    const std::string path = "/Configs/ServerPort/" + key.toStdString();
    proto::CXmlProto doc;
    QVERIFY(doc.set_str(QByteArray(kOldWorking).replace("%1", "1.1").replace("%2", "true").toStdString()));
    QVERIFY(doc.set_value(path, text.toStdString()));
    const QByteArray before = QByteArray::fromStdString(doc.to_str(0));
    QVERIFY(tst::writeBytes(working(), before));

    auto config = makeManager();
    config->InitManager(true);
    proto::CXmlProto shipped;
    QVERIFY(shipped.set_str(tst::readBytes(benchmark()).toStdString()));
    proto::CXmlProto repaired;
    QVERIFY(repaired.set_str(tst::readBytes(working()).toStdString()));
    QCOMPARE(repaired.get_str(path, ""), shipped.get_str(path, "x"));
    QCOMPARE(repaired.get_int("/Configs/ServerPort/TamsaSS", 0), 2222);
    QCOMPARE(repaired.get_str("/Configs/ExternParam/Enabled", ""), std::string("true"));
    QCOMPARE(int(config->webSocketPort), key == "WebSocket" ? 16101 : 1111);
    const QStringList kept = QDir(m_dataDir).entryList({"Setup.xml.damaged-*"}, QDir::Files);
    QCOMPARE(kept.size(), 1);
    QCOMPARE(tst::readBytes(m_dataDir + kept.first()), before);

    // Repaired once: the next start leaves the file alone.
    const QByteArray after = tst::readBytes(working());
    makeManager()->InitManager(true);
    QCOMPARE(tst::readBytes(working()), after);
}

// Temporaries of writes killed long ago go; one of a write that may still run
// stays, and so does whatever is not such a temporary.
void TestXMLConfigManager::staleTemporariesRemoved()
{
    auto config = makeManager();
    config->InitManager(true);
    const QDateTime old = QDateTime::currentDateTime().addSecs(-3600);
    const QStringList stale = {".Setup.xml.Ab12Cd", ".Setup.xml.zzzzzz"};
    const QStringList kept = {".Setup.xml.Fresh1", ".Setup.xml.toolong7", "Setup.xml.Ab12Cd", ".Other.xml.Ab12Cd"};
    for (const QString& name : stale + kept) {
        QFile file(m_dataDir + name);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QVERIFY(file.write("<Configs") > 0 && file.flush());
        if (name != ".Setup.xml.Fresh1")
            QVERIFY(file.setFileTime(old, QFileDevice::FileModificationTime));
    }
    config->InitManager(true);
    for (const QString& name : stale)
        QVERIFY2(!QFile::exists(m_dataDir + name), qPrintable(name));
    for (const QString& name : kept)
        QVERIFY2(QFile::exists(m_dataDir + name), qPrintable(name));
}

void TestXMLConfigManager::emptyWorkingFileWithDataFile()
{
    QVERIFY(tst::writeBytes(working(), QByteArray()));
    QVERIFY(tst::writeBytes(m_dataDir + "Setup.data", QByteArray(kOldWorking).replace("%1", "1.1").replace("%2", "true")));
    auto config = makeManager();
    config->InitManager(false);
    QCOMPARE(int(config->cmsPort), 12345);
    QVERIFY(config->externEnabled);
    QVERIFY(QDir(m_dataDir).entryList({"Setup.xml.damaged-*"}, QDir::Files).isEmpty());
}

void TestXMLConfigManager::upgradeKeepsUserValues()
{
    QVERIFY(tst::writeBytes(working(), QByteArray(kOldWorking).replace("%1", "1.0").replace("%2", "")));
    auto config = makeManager();
    config->InitManager(true);
    proto::CXmlProto doc;
    QVERIFY(doc.set_str(tst::readBytes(working()).toStdString()));
    QCOMPARE(doc.get_attr("/Configs", "Version", ""), std::string("1.1"));
    QCOMPARE(doc.get_int("/Configs/ServerPort/TamsaCMS", 0), 12345);     // user's, not merged
    QCOMPARE(doc.get_int("/Configs/ServerPort/TamsaSS", 0), 2222);       // user's value kept
    QCOMPARE(doc.get_int("/Configs/ServerPort/TamsaPlayback", 0), 17013); // added
    QCOMPARE(doc.get_int("/Configs/ServerPort/TamsaAudio", 0), 17012);    // added
    QCOMPARE(doc.get_str("/Configs/ExternParam/Enabled", ""), std::string("false")); // was empty
    QCOMPARE(doc.count("/Configs/ServerPort/TamsaAMS"), 0);               // not one of the merged
    QCOMPARE(doc.count("/Configs/Skin"), 0);
    QCOMPARE(config->cmsPort, quint16(12345));
    QCOMPARE(config->playbackPort, quint16(17013));
    QCOMPARE(config->amsPort, quint16(65535)); // missing
    QCOMPARE(config->webPort, quint16(65535)); // empty
    QCOMPARE(config->productType, 2);
}

void TestXMLConfigManager::equalOrNewerUntouched_data()
{
    QTest::addColumn<QString>("version");
    QTest::newRow("equal") << "1.1";
    QTest::newRow("equal with a zero component") << "1.1.0";
    QTest::newRow("newer") << "1.10";
}

void TestXMLConfigManager::equalOrNewerUntouched()
{
    QFETCH(QString, version);
    const QByteArray content = QByteArray(kOldWorking).replace("%1", version.toUtf8()).replace("%2", "");
    QVERIFY(tst::writeBytes(working(), content));
    auto config = makeManager();
    config->InitManager(true);
    QCOMPARE(tst::readBytes(working()), content);
    QCOMPARE(config->playbackPort, quint16(65535));
}

void TestXMLConfigManager::externEnabled_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("expected");
    QTest::newRow("true") << "true" << true;
    QTest::newRow("True") << "True" << false;
    QTest::newRow("1") << "1" << false;
    QTest::newRow("empty") << "" << false;
}

void TestXMLConfigManager::externEnabled()
{
    QFETCH(QString, text);
    QFETCH(bool, expected);
    QVERIFY(tst::writeBytes(working(), QByteArray(kOldWorking).replace("%1", "9").replace("%2", text.toUtf8())));
    auto config = makeManager();
    config->InitManager(false);
    QCOMPARE(config->externEnabled, expected);
}

void TestXMLConfigManager::settersAndReInit()
{
    auto config = makeManager();
    config->InitManager(true);
    config->setTamsaSSPort("2345");
    config->setWebPort("0080");
    config->setIPAddress("a&b");
    config->setEnabled(true);
    QCOMPARE(int(config->ssPort), 17002); // fields change only on reload
    QCOMPARE(config->externEnabled, false);
    config->productType = 77;
    config->reInitPort();
    QCOMPARE(int(config->ssPort), 2345);
    QCOMPARE(int(config->webPort), 80);
    QCOMPARE(config->externIPAddress, std::string("a&b"));
    QCOMPARE(config->externEnabled, true);
    QCOMPARE(config->productType, 77); // not re-read
    // Rewritten for a person to read: one element per line, indented, then
    // the line feeds that pad the file to whole sectors.
    const QByteArray written = tst::readBytes(working());
    QVERIFY2(written.contains("\n    <Web>80</Web>\n"), written.constData());
    QCOMPARE(written.size() % 512, 0);

    struct Setter { bool (XMLConfigManager::*set)(const std::string&); quint16 XMLConfigManager::*field; };
    const Setter setters[] = {
        {&XMLConfigManager::setWebSocketPort, &XMLConfigManager::webSocketPort},
        {&XMLConfigManager::setTamsaCMSPort, &XMLConfigManager::cmsPort},
        {&XMLConfigManager::setTamsaAMSPort, &XMLConfigManager::amsPort},
        {&XMLConfigManager::setTamsaMQTTPort, &XMLConfigManager::mqttPort},
        {&XMLConfigManager::setTamsaVideoPort, &XMLConfigManager::videoPort},
        {&XMLConfigManager::setTamsaVideoVICPort, &XMLConfigManager::videoVicPort},
        {&XMLConfigManager::setTamsaAudioPort, &XMLConfigManager::audioPort},
        {&XMLConfigManager::setTamsaPlaybackPort, &XMLConfigManager::playbackPort},
    };
    int port = 30000;
    for (const Setter& s : setters)
        QVERIFY((config.get()->*s.set)(std::to_string(++port)));
    config->reInitPort();
    port = 30000;
    for (const Setter& s : setters)
        QCOMPARE(int(config.get()->*s.field), ++port);
}

void TestXMLConfigManager::httpAndVideoWallPorts()
{
    auto config = makeManager();
    config->InitManager(true);
    const QByteArray before = tst::readBytes(working());
    config->setVideoWallPort("19019");
    QCOMPARE(tst::readBytes(working()), before); // not in Setup.xml
    QCOMPARE(m_common->GetFrameworkVideoWallPort(), 19019);

    config->setHttpPort("16200");
    QVERIFY(tst::readBytes(working()).contains("<Http>16200</Http>"));
    QCOMPARE(m_common->GetFrameworkHttpPort(), 16200);
    config->reInitPort();
    QCOMPARE(int(config->httpPort), 16200);
    QCOMPARE(config->videoWallPort, 18018); // only InitManager reads it
    config->InitManager(false);
    QCOMPARE(config->videoWallPort, 19019);
}

void TestXMLConfigManager::notAPortWritesNothing_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("letters") << "abc";
    QTest::newRow("digits then letters") << "80a";
    QTest::newRow("out of range") << "65536";
    QTest::newRow("zero") << "0";
    QTest::newRow("negative") << "-80";
    QTest::newRow("empty") << "";
    QTest::newRow("huge") << "99999999999999999999";
}

void TestXMLConfigManager::notAPortWritesNothing()
{
    QFETCH(QString, text);
    auto config = makeManager();
    config->InitManager(true);
    const QByteArray before = tst::readBytes(working());
    const QByteArray commonBefore = tst::readBytes(m_dataDir + "CommonConfig.xml");
    config->setTamsaCMSPort(text.toStdString());
    config->setHttpPort(text.toStdString());
    config->setVideoWallPort(text.toStdString());
    QCOMPARE(tst::readBytes(working()), before);
    QCOMPARE(tst::readBytes(m_dataDir + "CommonConfig.xml"), commonBefore);
}

void TestXMLConfigManager::unparsableFileLeftAlone()
{
    auto config = makeManager();
    config->InitManager(true);
    const QByteArray broken = "<Configs><ServerPort><TamsaCMS>17000</TamsaCMS>";
    QVERIFY(tst::writeBytes(working(), broken));
    config->setTamsaCMSPort("20000");
    config->setEnabled(true);
    QCOMPARE(tst::readBytes(working()), broken);
}

void TestXMLConfigManager::killedWriterLeavesWholeFile()
{
    auto config = makeManager();
    config->InitManager(true);
    const QString child = QCoreApplication::applicationDirPath() + "/TestXMLConfigManagerChild";
    QVERIFY(QFile::exists(child));
    const QStringList arguments = {m_dataDir, m_maintainDir, m_dataDir + "CommonConfig.xml"};
    for (int round = 0; round < 12; ++round) {
        QProcess process;
        process.start(child, arguments);
        QVERIFY(process.waitForStarted(5000));
        QVERIFY(process.waitForReadyRead(10000)); // "ready": writing has begun
        QThread::msleep(QRandomGenerator::global()->bounded(1, 40));
        process.kill(); // SIGKILL
        QVERIFY(process.waitForFinished(5000));
        QCOMPARE(process.exitStatus(), QProcess::CrashExit);

        proto::CXmlProto doc;
        const QByteArray bytes = tst::readBytes(working());
        QVERIFY2(doc.set_str(QByteArray(bytes).replace(QByteArray(1, '\0'), "").toStdString()), bytes.constData());
        const int cms = doc.get_int("/Configs/ServerPort/TamsaCMS", -1);
        QVERIFY2(cms == 17000 || cms == 20001 || cms == 20002, qPrintable(QString::number(cms)));
        const std::string address = doc.get_str("/Configs/ExternParam/IPAddress", "");
        QVERIFY(address.empty() || address == "10.0.0.1" || address == "192.168.100.200");
        QCOMPARE(doc.get_int("/Configs/ServerPort/TamsaPlayback", -1), 17013); // the rest intact
    }
    config->reInitPort();
    QVERIFY(config->cmsPort == 20001 || config->cmsPort == 20002);
}

QTEST_GUILESS_MAIN(TestXMLConfigManager)
#include "TestXMLConfigManager.moc"
