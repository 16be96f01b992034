// The port dialog's confirm press: what it refuses, what it writes to
// "Setup.xml", the common configuration and the SMS properties file, and the
// plug-in restart seen through the stand-in's restart log.

#include "TestEditPortDlgLayout.h"

#include "CheckCorretLineEdit.h"
#include "CheckPort.h"
#include "EditPortDlg.h"
#include "SimpleProperties.h"
#include "UserDataPath.h"
#include "XMLConfigManager.h"
#include "Proto/XmlProto.h"


#include <Base/FileUtil.h>
#include <Base/Singleton.h>
#include <CommonMethodLib/CommonConfigFileMgr.h>

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTcpServer>
#include <QtTest>

#include <cstdlib>
#include <memory>

using namespace serverframework;

using editport_test::portField;
using editport_test::typeInto;
using tst::freePort;

namespace {

XMLConfigManager& config()
{
    return Base::CSingleton<XMLConfigManager>::Instance();
}

comm_methodlib::CCommonConfigFileMgr& common()
{
    return Base::CSingleton<comm_methodlib::CCommonConfigFileMgr>::Instance();
}

// The working "Setup.xml" in the component's user-data folder.
QString setupPath()
{
    return QString::fromStdString(
        Base::CSingleton<comm_method::CUserDataPath>::Instance().getUserDataDir() + "Setup.xml");
}

// The text at "ServerPort/Http" and the like in the working "Setup.xml".
QString setupValue(const char* path)
{
    proto::CXmlProto doc;
    doc.set_str(tst::readBytes(setupPath()).toStdString());
    return QString::fromStdString(doc.get_str(std::string("/Configs/") + path, ""));
}

// Every value the dialog may write, in a fixed order.
QStringList setupValues()
{
    QStringList values;
    for (const char* key : {"Http", "WebSocket", "Web", "TamsaCMS", "TamsaAMS", "TamsaMQTT", "TamsaSS", "TamsaVideo",
                            "TamsaVideoVIC", "TamsaAudio", "TamsaPlayback"})
        values << setupValue((std::string("ServerPort/") + key).c_str());
    return values << setupValue("ExternParam/Enabled") << setupValue("ExternParam/IPAddress");
}

} // namespace

class TestPortApply : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void nothingChangedRejects();
    void httpChangeWritesTheMainPorts();
    void smsChangeSavesAndRestartsThePlugin();
    void httpOnlyProductIgnoresTheSmsPort();
    void invalidRequiredExternalFieldWritesNothing();
    void externalValuesAreWritten();
    void hiddenVideoRowsAreNotRequired();
    void missingRequiredPortRefusesThePress_data();
    void missingRequiredPortRefusesThePress();

private:
    void writeSetup(int productType, bool enabled);
    std::unique_ptr<CEditPortDlg> openFilled(const QMap<int, bool>& claimed = {});
    int press(CEditPortDlg& dlg);
    QString restartLog() const;
    QString propertiesPath() const;

    QString m_root;
    QByteArray m_originalProperties;
    QMap<QString, quint16> m_ports;
    quint16 m_spare[3] = {};
};

void TestPortApply::initTestCase()
{
    m_root = editport_test::layoutRoot();
    QVERIFY(Base::CSingleton<comm_method::CUserDataPath>::Instance().init(
        Base::FileUtil::GetCurExeDir(), "Framework.S", 0, 0));
    m_originalProperties = tst::readBytes(propertiesPath());
    QVERIFY(m_originalProperties.contains("ums.1.rtspPort"));
    QVERIFY(Base::CSingleton<SimpleProperties>::Instance().loadLogged(SimpleProperties::smsConfigPath()));
    for (const char* key : {"WebSocket", "Http", "TamsaCMS", "TamsaAMS", "TamsaMQTT", "TamsaSS", "Web",
                            "TamsaVideo", "TamsaVideoVIC", "TamsaAudio", "TamsaPlayback", "VideoWall"}) {
        m_ports[key] = freePort();
    }
    for (quint16& port : m_spare) {
        port = freePort();
    }
    CCheckPort::instance();
}

QString TestPortApply::propertiesPath() const
{
    return m_root + "/TavrinSMSPlugin/conf/config.properties";
}

QString TestPortApply::restartLog() const
{
    return m_root + "/TavrinSMSPlugin/bin/restart.log";
}

void TestPortApply::writeSetup(int productType, bool enabled)
{
    QString xml = QString("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Configs Version=\"1.0\">\n"
                          "  <ProductType><Value>%1</Value></ProductType>\n"
                          "  <VersionType><Value>0</Value></VersionType>\n  <ServerPort>\n")
                      .arg(productType);
    for (auto it = m_ports.cbegin(); it != m_ports.cend(); ++it) {
        if (it.key() != "VideoWall") {
            xml += QString("    <%1>%2</%1>\n").arg(it.key()).arg(it.value());
        }
    }
    xml += QString("  </ServerPort>\n  <ExternParam>\n    <Enabled>%1</Enabled>\n"
                   "    <IPAddress>10.1.2.3</IPAddress>\n  </ExternParam>\n"
                   "  <Skin><Value>Default</Value></Skin>\n  <Translator><Value>0</Value></Translator>\n"
                   "</Configs>\n")
               .arg(enabled ? "true" : "false");
    QVERIFY(tst::writeBytes(setupPath(), xml.toUtf8()));
    QVERIFY(common().SetFrameworkHttpPort(m_ports["Http"]));
    QVERIFY(common().SetFrameworkVideoWallPort(m_ports["VideoWall"]));
    config().InitManager(false);
    QCOMPARE(QString::fromStdString(config().workingPath()), setupPath());
    QCOMPARE(config().productType, productType);
    QCOMPARE(config().httpPort, m_ports["Http"]);
}

void TestPortApply::init()
{
    QFile::remove(restartLog());
    QDir(propertiesPath()).removeRecursively();
    QFile::remove(propertiesPath());
    QVERIFY(QFile::copy(QStringLiteral(TAVRIN_SOURCE_DIR) + "/Install/TavrinSMSPlugin/conf/config.properties",
                        propertiesPath()));
    QVERIFY(Base::CSingleton<SimpleProperties>::Instance().setProperty(serverframework::kRtspPortKey, "554"));
    writeSetup(0, false);
}

std::unique_ptr<CEditPortDlg> TestPortApply::openFilled(const QMap<int, bool>& claimed)
{
    // Filled the way the service management window fills it.
    auto dlg = std::make_unique<CEditPortDlg>(nullptr);
    XMLConfigManager& c = config();
    dlg->setClaimedPorts(claimed);
    dlg->setHttpPortText(QString::number(c.httpPort));
    dlg->setVideoWallPortText(QString::number(c.videoWallPort));
    dlg->setTamsaCMSPortText(QString::number(c.cmsPort));
    dlg->setTamsaSSPortText(QString::number(c.ssPort));
    dlg->setTamsaAMSPortText(QString::number(c.amsPort));
    dlg->setTamsaMQTTPortText(QString::number(c.mqttPort));
    dlg->setTamsaVideoPortText(QString::number(c.videoPort));
    dlg->setTamsaVideoVICPortText(QString::number(c.videoVicPort));
    dlg->setTamsaAudioPortText(QString::number(c.audioPort));
    dlg->setTamsaPlaybackPortText(QString::number(c.playbackPort));
    dlg->setExternIPAddress(QString::fromStdString(c.externIPAddress));
    dlg->setExternEnabled(c.externEnabled);
    dlg->setSmsPortValue(std::atoi(
        Base::CSingleton<SimpleProperties>::Instance().getProperty(serverframework::kRtspPortKey).c_str()));
    dlg->setVideoWallPortValue(c.videoWallPort);
    dlg->show();
    return dlg;
}

// Clicks confirm; the dialog's result, or -1 when the press was refused.
int TestPortApply::press(CEditPortDlg& dlg)
{
    QSignalSpy finished(&dlg, &QDialog::finished);
    QTest::mouseClick(dlg.findChild<QPushButton*>("m_ConfirmBtn"), Qt::LeftButton);
    return finished.isEmpty() ? -1 : finished.at(0).at(0).toInt();
}

void TestPortApply::nothingChangedRejects()
{
    const QStringList before = setupValues();
    auto dlg = openFilled();
    QCOMPARE(press(*dlg), 0);
    QCOMPARE(setupValues(), before);
    QCOMPARE(tst::readBytes(propertiesPath()), m_originalProperties);
    QTest::qWait(300);
    QVERIFY(!QFile::exists(restartLog()));
}

void TestPortApply::httpChangeWritesTheMainPorts()
{
    auto dlg = openFilled();
    typeInto(portField(*dlg, "m_HttpPortLineEdit"), QString::number(m_spare[0]));
    QVERIFY(portField(*dlg, "m_HttpPortLineEdit")->isValid());
    QCOMPARE(press(*dlg), 1);

    QCOMPARE(setupValue("ServerPort/Http"), QString::number(m_spare[0]));
    QCOMPARE(setupValue("ServerPort/TamsaCMS"), QString::number(m_ports["TamsaCMS"]));
    comm_methodlib::CCommonConfigFileMgr reread(common().filePath());
    QCOMPARE(reread.GetFrameworkHttpPort(), int(m_spare[0]));
    QCOMPARE(reread.GetFrameworkVideoWallPort(), int(m_ports["VideoWall"]));
    QCOMPARE(config().httpPort, m_spare[0]);
    QCOMPARE(tst::readBytes(propertiesPath()), m_originalProperties);
    QTest::qWait(300);
    QVERIFY(!QFile::exists(restartLog()));
}

void TestPortApply::smsChangeSavesAndRestartsThePlugin()
{
    const QStringList before = setupValues();
    auto dlg = openFilled();
    typeInto(portField(*dlg, "m_pSMSPortLineEdit"), QString::number(m_spare[1]));
    QCOMPARE(press(*dlg), 1);

    // Only the value changes: the plug-in's comments and layout stay.
    QCOMPARE(tst::readBytes(propertiesPath()),
             QByteArray(m_originalProperties).replace("ums.1.rtspPort = 554 ",
                                                      "ums.1.rtspPort = " + QByteArray::number(m_spare[1]) + " "));
    QCOMPARE(setupValues(), before);
    QCOMPARE(config().httpPort, m_ports["Http"]);
    if (!platform::isAdmin()) {
        QSKIP("the elevated restart needs a password prompt when not run as root");
    }
    QTRY_VERIFY_WITH_TIMEOUT(
        tst::readBytes(restartLog()).contains("rtspPort=" + QByteArray::number(m_spare[1]) + "\n"), 10000);
}

void TestPortApply::httpOnlyProductIgnoresTheSmsPort()
{
    writeSetup(4, false);
    const QStringList before = setupValues();
    auto dlg = openFilled();
    typeInto(portField(*dlg, "m_pSMSPortLineEdit"), QString());
    QCOMPARE(press(*dlg), 0);
    dlg->show();
    typeInto(portField(*dlg, "m_pSMSPortLineEdit"), QString::number(m_spare[1]));
    QCOMPARE(press(*dlg), 0);
    dlg->show();
    QCOMPARE(tst::readBytes(propertiesPath()), m_originalProperties);
    QCOMPARE(setupValues(), before);

    typeInto(portField(*dlg, "m_VideoWallPortLineEdit"), QString::number(m_spare[2]));
    QCOMPARE(press(*dlg), 1);
    comm_methodlib::CCommonConfigFileMgr reread(common().filePath());
    QCOMPARE(reread.GetFrameworkVideoWallPort(), int(m_spare[2]));
    QCOMPARE(tst::readBytes(propertiesPath()), m_originalProperties);
}

void TestPortApply::invalidRequiredExternalFieldWritesNothing()
{
    writeSetup(0, true);
    const QByteArray before = tst::readBytes(setupPath());
    QMap<int, bool> claimed;
    claimed.insert(m_ports["TamsaMQTT"], true);
    auto dlg = openFilled(claimed);
    QVERIFY(!portField(*dlg, "m_pLineEditAlarm50Port")->isValid());
    typeInto(portField(*dlg, "m_HttpPortLineEdit"), QString::number(m_spare[0]));
    typeInto(portField(*dlg, "m_pSMSPortLineEdit"), QString::number(m_spare[1]));
    QCOMPARE(press(*dlg), -1);
    QVERIFY(dlg->isVisible());
    QCOMPARE(tst::readBytes(setupPath()), before);
    QCOMPARE(tst::readBytes(propertiesPath()), m_originalProperties);
    comm_methodlib::CCommonConfigFileMgr reread(common().filePath());
    QCOMPARE(reread.GetFrameworkHttpPort(), int(m_ports["Http"]));
}

void TestPortApply::externalValuesAreWritten()
{
    writeSetup(0, true);
    auto dlg = openFilled();
    typeInto(portField(*dlg, "m_pLineEditTamsaIP"), "192.168.7.9");
    typeInto(portField(*dlg, "m_pLineEditAlarm40Port"), QString::number(m_spare[0]));
    typeInto(portField(*dlg, "m_pLineEditTamsaPlaybackPort"), QString::number(m_spare[1]));
    QCOMPARE(press(*dlg), 1);
    QCOMPARE(setupValue("ExternParam/IPAddress"), QString("192.168.7.9"));
    QCOMPARE(setupValue("ServerPort/TamsaAMS"), QString::number(m_spare[0]));
    QCOMPARE(setupValue("ServerPort/TamsaPlayback"), QString::number(m_spare[1]));
    QCOMPARE(setupValue("ServerPort/TamsaMQTT"), QString::number(m_ports["TamsaMQTT"]));
    QCOMPARE(setupValue("ServerPort/Http"), QString::number(m_ports["Http"]));
    QCOMPARE(config().amsPort, m_spare[0]);
}

void TestPortApply::hiddenVideoRowsAreNotRequired()
{
    writeSetup(1, false);
    QMap<int, bool> claimed;
    claimed.insert(m_ports["TamsaVideo"], true);
    auto dlg = openFilled(claimed);
    dlg->setExternEnabled(true);
    QVERIFY(!portField(*dlg, "m_pLineEditTamsaVideoPort")->isValid());
    QVERIFY(!portField(*dlg, "m_pLineEditTamsaVideoPort")->isVisible());
    QCOMPARE(press(*dlg), 1);
    QCOMPARE(setupValue("ExternParam/Enabled"), QString("true"));
    QCOMPARE(setupValue("ServerPort/TamsaVideo"), QString::number(m_ports["TamsaVideo"]));
}

void TestPortApply::missingRequiredPortRefusesThePress_data()
{
    QTest::addColumn<QString>("fieldName");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("reason");
    QTest::newRow("video wall empty") << "m_VideoWallPortLineEdit" << QString() << "PortNumberCannotBeEmpty";
    QTest::newRow("sms empty") << "m_pSMSPortLineEdit" << QString() << "PortNumberCannotBeEmpty";
    QTest::newRow("sms zero") << "m_pSMSPortLineEdit" << "0" << "PortNumberMustBeFrom1To65535";
    QTest::newRow("video wall negative") << "m_VideoWallPortLineEdit" << "-1" << "PortNumberMustBeFrom1To65535";
}

void TestPortApply::missingRequiredPortRefusesThePress()
{
    QFETCH(QString, fieldName);
    QFETCH(QString, value);
    QFETCH(QString, reason);
    const QByteArray before = tst::readBytes(setupPath());
    auto dlg = openFilled();
    typeInto(portField(*dlg, "m_HttpPortLineEdit"), QString::number(m_spare[0]));
    CCheckCorretLineEdit* f = portField(*dlg, fieldName.toLatin1().constData());
    // Values the validator refuses to take from the keyboard come from the fillers.
    f->setText(value);
    QCOMPARE(press(*dlg), -1);
    QVERIFY(!f->isValid());
    QCOMPARE(tst::readBytes(setupPath()), before);
    QCOMPARE(tst::readBytes(propertiesPath()), m_originalProperties);
    QCOMPARE(editport_test::hoverBubble(f), reason);

    // Corrected, the same press goes through.
    typeInto(f, QString::number(m_spare[2]));
    QCOMPARE(press(*dlg), 1);
    if (fieldName == "m_pSMSPortLineEdit" && platform::isAdmin()) {
        // Let this restart finish before the next case looks at the log.
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(restartLog()), 10000);
    }
}

EDITPORT_TEST_MAIN(TestPortApply)

#include "TestPortApply.moc"
