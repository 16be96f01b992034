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
#include <QPushButton>
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

// Every value the dialog may write: "Setup.xml" and the common configuration.
QMap<QString, QString> writtenValues()
{
    proto::CXmlProto doc;
    doc.set_str(tst::readBytes(setupPath()).toStdString());
    QMap<QString, QString> values;
    for (const char* key : {"ServerPort/Http", "ServerPort/WebSocket", "ServerPort/Web", "ServerPort/TamsaCMS",
                            "ServerPort/TamsaAMS", "ServerPort/TamsaMQTT", "ServerPort/TamsaSS", "ServerPort/TamsaVideo",
                            "ServerPort/TamsaVideoVIC", "ServerPort/TamsaAudio", "ServerPort/TamsaPlayback",
                            "ExternParam/Enabled", "ExternParam/IPAddress"})
        values[QString(key).section('/', 1)] = QString::fromStdString(doc.get_str(std::string("/Configs/") + key, ""));
    comm_methodlib::CCommonConfigFileMgr reread(common().filePath());
    values["CommonHttp"] = QString::number(reread.GetFrameworkHttpPort());
    values["CommonVideoWall"] = QString::number(reread.GetFrameworkVideoWallPort());
    return values;
}

} // namespace

class TestPortApply : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void confirm_data();
    void confirm();

private:
    void writeSetup(int productType, bool enabled);
    std::unique_ptr<CEditPortDlg> openFilled(const QMap<int, bool>& claimed);
    QString restartLog() const { return m_root + "/TavrinSMSPlugin/bin/restart.log"; }
    QString propertiesPath() const { return m_root + "/TavrinSMSPlugin/conf/config.properties"; }
    // "spare<n>" stands for the n-th spare free port.
    QString spare(QString value) const
    {
        for (int i = 0; i < 3; ++i)
            value.replace(QStringLiteral("spare%1").arg(i), QString::number(m_spare[i]));
        return value;
    }

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
    QVERIFY(m_originalProperties.contains("ums.1.rtspPort = 554 "));
    QVERIFY(Base::CSingleton<SimpleProperties>::Instance().loadLogged(SimpleProperties::smsConfigPath()));
    for (const char* key : {"WebSocket", "Http", "TamsaCMS", "TamsaAMS", "TamsaMQTT", "TamsaSS", "Web",
                            "TamsaVideo", "TamsaVideoVIC", "TamsaAudio", "TamsaPlayback", "VideoWall"})
        m_ports[key] = freePort();
    for (quint16& port : m_spare)
        port = freePort();
    CCheckPort::instance();
}

void TestPortApply::writeSetup(int productType, bool enabled)
{
    QString xml = QString("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Configs Version=\"1.0\">\n"
                          "  <ProductType><Value>%1</Value></ProductType>\n"
                          "  <VersionType><Value>0</Value></VersionType>\n  <ServerPort>\n")
                      .arg(productType);
    for (auto it = m_ports.cbegin(); it != m_ports.cend(); ++it) {
        if (it.key() != "VideoWall")
            xml += QString("    <%1>%2</%1>\n").arg(it.key()).arg(it.value());
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
    QCOMPARE(config().productType, productType);
}

void TestPortApply::init()
{
    QFile::remove(restartLog());
    QVERIFY(tst::writeBytes(propertiesPath(), m_originalProperties));
    QVERIFY(Base::CSingleton<SimpleProperties>::Instance().setProperty(serverframework::kRtspPortKey, "554"));
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

void TestPortApply::confirm_data()
{
    QTest::addColumn<int>("productType");
    QTest::addColumn<bool>("external");
    QTest::addColumn<QString>("claimed"); // the port of this key was given away by the audit
    QTest::addColumn<QStringList>("edits"); // "<field>=<text>"; "external": turned on
    QTest::addColumn<int>("result");        // the dialog's result; -1: the press is refused
    QTest::addColumn<QStringList>("written"); // "<key>=<value>" changed in writtenValues()
    QTest::addColumn<QString>("rtsp");        // the RTSP port saved; empty: properties untouched

    const QStringList none;
    QTest::newRow("nothing changed") << 0 << false << "" << none << 0 << none << "";
    QTest::newRow("HTTP") << 0 << false << "" << QStringList{"m_HttpPortLineEdit=spare0"} << 1
                          << QStringList{"Http=spare0", "CommonHttp=spare0"} << "";
    QTest::newRow("RTSP") << 0 << false << "" << QStringList{"m_pSMSPortLineEdit=spare1"} << 1 << none << "spare1";
    QTest::newRow("HTTP-only product ignores the RTSP port")
        << 4 << false << "" << QStringList{"m_pSMSPortLineEdit=", "m_VideoWallPortLineEdit=spare2"} << 1
        << QStringList{"CommonVideoWall=spare2"} << "";
    QTest::newRow("external values")
        << 0 << true << ""
        << QStringList{"m_pLineEditTamsaIP=192.168.7.9", "m_pLineEditAlarm40Port=spare0",
                       "m_pLineEditTamsaPlaybackPort=spare1"}
        << 1 << QStringList{"IPAddress=192.168.7.9", "TamsaAMS=spare0", "TamsaPlayback=spare1"} << "";
    QTest::newRow("invalid external field") << 0 << true << "TamsaMQTT"
                                            << QStringList{"m_HttpPortLineEdit=spare0", "m_pSMSPortLineEdit=spare1"}
                                            << -1 << none << "";
    QTest::newRow("hidden video rows are not required") << 1 << false << "TamsaVideo" << QStringList{"external"} << 1
                                                        << QStringList{"Enabled=true"} << "";
    const QStringList http{"m_HttpPortLineEdit=spare0"};
    QTest::newRow("video wall empty") << 0 << false << "" << http + QStringList{"m_VideoWallPortLineEdit="} << -1
                                      << none << "";
    QTest::newRow("video wall negative") << 0 << false << "" << http + QStringList{"m_VideoWallPortLineEdit=-1"}
                                         << -1 << none << "";
    QTest::newRow("RTSP empty") << 0 << false << "" << http + QStringList{"m_pSMSPortLineEdit="} << -1 << none << "";
    QTest::newRow("RTSP zero") << 0 << false << "" << http + QStringList{"m_pSMSPortLineEdit=0"} << -1 << none << "";
}

void TestPortApply::confirm()
{
    QFETCH(int, productType);
    QFETCH(bool, external);
    QFETCH(QString, claimed);
    QFETCH(QStringList, edits);
    QFETCH(int, result);
    QFETCH(QStringList, written);
    QFETCH(QString, rtsp);
    writeSetup(productType, external);
    const QByteArray setupBefore = tst::readBytes(setupPath());
    QMap<QString, QString> expected = writtenValues();
    for (const QString& change : written)
        expected[change.section('=', 0, 0)] = spare(change.section('=', 1));
    QMap<int, bool> claimedPorts;
    if (!claimed.isEmpty())
        claimedPorts.insert(m_ports[claimed], true);

    auto dlg = openFilled(claimedPorts);
    for (const QString& edit : edits) {
        if (edit == "external") {
            dlg->setExternEnabled(true);
            continue;
        }
        CCheckCorretLineEdit* field = portField(*dlg, edit.section('=', 0, 0).toLatin1().constData());
        const QString value = spare(edit.section('=', 1));
        typeInto(field, value);
        if (field->text() != value) // refused by the keyboard: the fillers still set it
            field->setText(value);
    }
    QSignalSpy finished(dlg.get(), &QDialog::finished);
    QTest::mouseClick(dlg->findChild<QPushButton*>("m_ConfirmBtn"), Qt::LeftButton);
    QCOMPARE(finished.isEmpty() ? -1 : finished.at(0).at(0).toInt(), result);

    if (result < 0)
        QCOMPARE(tst::readBytes(setupPath()), setupBefore);
    QCOMPARE(writtenValues(), expected);
    // Only the value changes: the plug-in's comments and layout stay.
    QCOMPARE(tst::readBytes(propertiesPath()),
             rtsp.isEmpty() ? m_originalProperties
                            : QByteArray(m_originalProperties)
                                  .replace("ums.1.rtspPort = 554 ", "ums.1.rtspPort = " + spare(rtsp).toUtf8() + " "));
    if (rtsp.isEmpty()) {
        QTest::qWait(300);
        QVERIFY(!QFile::exists(restartLog()));
    } else if (platform::isAdmin()) { // elsewhere the elevated restart asks for a password
        QTRY_VERIFY_WITH_TIMEOUT(tst::readBytes(restartLog()).contains("rtspPort=" + spare(rtsp).toUtf8() + "\n"),
                                 10000);
    }
}

EDITPORT_TEST_MAIN(TestPortApply)

#include "TestPortApply.moc"
