// The start-up port audit against ports this test really holds, over the
// process-wide port configuration in a scratch user-data folder.
#include "CheckPort.h"
#include "CheckCorretLineEdit.h"
#include "EditPortDlg.h"
#include "PortMgr.h"
#include "SimpleProperties.h"
#include "UserDataPath.h"
#include "XMLConfigManager.h"
#include "TestScratch.h"
#include "TestSupport.h"

#include <Base/FileUtil.h>
#include <Base/Singleton.h>
#include <CommonMethodLib/CommonConfigFileMgr.h>

#include <QApplication>
#include <QHostAddress>
#include <QLabel>
#include <QPushButton>
#include <QTcpServer>
#include <QUdpSocket>
#include <QtTest>

#include <functional>
#include <memory>
#include <set>

using serverframework::CCheckCorretLineEdit;
using serverframework::CCheckPort;
using serverframework::CEditPortDlg;
using serverframework::CPortMgr;
using serverframework::SimpleProperties;
using serverframework::XMLConfigManager;

namespace {

// The configured ports of one case.
struct Ports {
    int productType = 0;
    int http = 0, webSocket = 0, web = 0, cms = 0, ams = 0, mqtt = 0, ss = 0;
    int video = 0, videoVic = 0, audio = 0, playback = 0, videoWall = 0, rtsp = 0;
    bool externEnabled = false;
    QString externIp = QStringLiteral("192.168.1.10");
};

XMLConfigManager& config()
{
    return Base::CSingleton<XMLConfigManager>::Instance();
}

comm_methodlib::CCommonConfigFileMgr& commonConfig()
{
    return Base::CSingleton<comm_methodlib::CCommonConfigFileMgr>::Instance();
}

SimpleProperties& properties()
{
    return Base::CSingleton<SimpleProperties>::Instance();
}

// Ports held by this test for the length of one case.
class Holder {
public:
    // A port no socket holds right now, different from every one handed out.
    int freePort()
    {
        for (;;) {
            const int port = tst::freePort();
            if (port == 0 || m_given.insert(port).second)
                return port;
        }
    }
    // A held port, different from every one handed out (a socket that got
    // such a port stays open so that the next try gets another).
    int holdTcp()
    {
        for (;;) {
            m_tcp.emplace_back(new QTcpServer);
            if (!m_tcp.back()->listen(QHostAddress::LocalHost, 0))
                return 0;
            if (m_given.insert(m_tcp.back()->serverPort()).second)
                return m_tcp.back()->serverPort();
        }
    }
    int holdUdp()
    {
        for (;;) {
            m_udp.emplace_back(new QUdpSocket);
            if (!m_udp.back()->bind(QHostAddress(QHostAddress::LocalHost), 0))
                return 0;
            if (m_given.insert(m_udp.back()->localPort()).second)
                return m_udp.back()->localPort();
        }
    }
    // Every port of a case free; the case then holds the ones it tests.
    Ports freePorts(int productType)
    {
        Ports p;
        p.productType = productType;
        for (int* port : {&p.http, &p.webSocket, &p.web, &p.cms, &p.ams, &p.mqtt, &p.ss, &p.video, &p.videoVic,
                          &p.audio, &p.playback, &p.videoWall, &p.rtsp})
            *port = freePort();
        return p;
    }

private:
    // Shared by all cases: the dialog answers from a snapshot taken once per
    // process, so a port held in an earlier case is never handed out again.
    static std::set<int> m_given;
    std::vector<std::unique_ptr<QTcpServer>> m_tcp;
    std::vector<std::unique_ptr<QUdpSocket>> m_udp;
};

std::set<int> Holder::m_given;

// The first port from start that neither the machine nor claimed holds.
int firstFree(CPortMgr& machine, int start, const std::set<int>& claimed)
{
    for (int port = start; port <= 65535; ++port) {
        if (!machine.CheckPortConflict(port) && claimed.count(port) == 0)
            return port;
    }
    return -1;
}

std::set<int> keys(const QMap<int, bool>& map)
{
    return std::set<int>(map.keyBegin(), map.keyEnd());
}

QByteArray workingFile()
{
    return tst::readBytes(QString::fromStdString(config().workingPath()));
}

void expectAccepted(const CCheckPort& checker, int expectedHttp, int expectedCms)
{
    int http = 0;
    int cms = 0;
    checker.GetAcceptedPorts(http, cms);
    QCOMPARE(http, expectedHttp);
    QCOMPARE(cms, expectedCms);
}

} // namespace

class TestPortAudit : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void allFreeWritesNothing_data();
    void allFreeWritesNothing();
    void webSocketEqualToWebMovesWeb();
    void heldDevicePortsMove();
    void productType3SkipsDevicePorts();
    void rtspAndVideoWallMove();
    void unwritablePropertiesDoNotStopTheAudit();
    void heldHttpCancelled();
    void heldHttpAccepted_data();
    void heldHttpAccepted();
    void productType3DialogShowsReplacements();
    void heldHttpOnlyProductClaimsHttpOnly();
    void equalHttpAndCmsAskFirst();

private:
    void writeConfiguration(const Ports& ports);
    // Runs the audit with the case's properties file.
    bool audit(CCheckPort& checker) { return checker.checkAllPortIsUsed(m_propertiesPath.toStdString()); }
    // Answers the next port dialog with answer; fails the case if none opens.
    void answerDialog(std::function<void(CEditPortDlg*)> answer);
    void refuseAnyDialog();
    static void clickConfirm(CEditPortDlg* dialog);
    static void clickCancel(CEditPortDlg* dialog);

    QTemporaryDir m_home;
    QString m_propertiesPath;
    bool m_dialogSeen = false;
    std::unique_ptr<QTimer> m_dialogTimer;
};

void TestPortAudit::initTestCase()
{
    QVERIFY(m_home.isValid());
    const std::string exeDir = Base::FileUtil::GetCurExeDir();
    QVERIFY(Base::CSingleton<comm_method::CUserDataPath>::Instance().init(exeDir, "Framework.S", 0, 0));
    // The port-owner script is not needed here: only the decisions count.
    Base::FileUtil::InitCurExeDirUtf8(m_home.path().toStdString() + "/");
}

void TestPortAudit::init()
{
    m_dialogSeen = false;
    m_propertiesPath = m_home.filePath(QStringLiteral("conf/config.properties"));
    QDir().mkpath(m_home.filePath(QStringLiteral("conf")));
    QFile::remove(m_propertiesPath);
}

void TestPortAudit::cleanup()
{
    m_dialogTimer.reset();
}

void TestPortAudit::writeConfiguration(const Ports& p)
{
    // Make sure the folders are resolved, then put the case's file in place.
    config().InitManager(false);
    const QString path = QString::fromStdString(config().workingPath());
    QVERIFY2(!config().configDir.empty(), "no user-data folder");
    QString xml = QStringLiteral(
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<Configs Version=\"1.0\">\n"
        "  <ProductType><Value>%1</Value></ProductType>\n"
        "  <VersionType><Value>0</Value></VersionType>\n"
        "  <ServerPort>\n"
        "    <Http>%2</Http><WebSocket>%3</WebSocket><Web>%4</Web><TamsaCMS>%5</TamsaCMS>\n"
        "    <TamsaAMS>%6</TamsaAMS><TamsaMQTT>%7</TamsaMQTT><TamsaSS>%8</TamsaSS>\n"
        "    <TamsaVideo>%9</TamsaVideo><TamsaVideoVIC>%10</TamsaVideoVIC>\n"
        "    <TamsaAudio>%11</TamsaAudio><TamsaPlayback>%12</TamsaPlayback>\n"
        "  </ServerPort>\n"
        "  <ExternParam><Enabled>%13</Enabled><IPAddress>%14</IPAddress></ExternParam>\n"
        "</Configs>\n");
    // Each arg() fills the lowest-numbered marker left.
    for (int value : {p.productType, p.http, p.webSocket, p.web, p.cms, p.ams, p.mqtt, p.ss, p.video, p.videoVic,
                      p.audio, p.playback})
        xml = xml.arg(value);
    xml = xml.arg(p.externEnabled ? QStringLiteral("true") : QStringLiteral("false"), p.externIp);
    QVERIFY(tst::writeBytes(path, xml.toUtf8()));
    QVERIFY(commonConfig().SetFrameworkHttpPort(p.http));
    QVERIFY(commonConfig().SetFrameworkVideoWallPort(p.videoWall));
    config().InitManager(true);
    QCOMPARE(int(config().httpPort), p.http);
    QCOMPARE(config().videoWallPort, p.videoWall);
    QCOMPARE(config().productType, p.productType);

    const std::string rtsp = std::to_string(p.rtsp);
    if (!properties().setProperty(serverframework::kRtspPortKey, rtsp))
        properties().addProperty(serverframework::kRtspPortKey, rtsp);
}

void TestPortAudit::answerDialog(std::function<void(CEditPortDlg*)> answer)
{
    m_dialogTimer.reset(new QTimer);
    m_dialogTimer->setInterval(20);
    connect(m_dialogTimer.get(), &QTimer::timeout, this, [this, answer]() {
        auto* dialog = qobject_cast<CEditPortDlg*>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        m_dialogTimer->stop();
        m_dialogSeen = true;
        answer(dialog);
    });
    m_dialogTimer->start();
}

// Any dialog that opens is cancelled and remembered, so a wrong one cannot hang the case.
void TestPortAudit::refuseAnyDialog()
{
    answerDialog(&TestPortAudit::clickCancel);
}

void TestPortAudit::clickConfirm(CEditPortDlg* dialog)
{
    dialog->findChild<QPushButton*>(QStringLiteral("m_ConfirmBtn"))->click();
    // A refused press leaves the dialog open: close it so the case ends.
    if (dialog->isVisible()) {
        QWARN("the confirm press was refused");
        dialog->reject();
    }
}

void TestPortAudit::clickCancel(CEditPortDlg* dialog)
{
    dialog->findChild<QPushButton*>(QStringLiteral("m_CloseBtn"))->click();
}

void TestPortAudit::allFreeWritesNothing_data()
{
    QTest::addColumn<int>("productType");
    QTest::newRow("type 0") << 0;
    QTest::newRow("type 1") << 1;
    QTest::newRow("type 2") << 2;
    QTest::newRow("type 4") << 4;
}

void TestPortAudit::allFreeWritesNothing()
{
    QFETCH(int, productType);
    Holder holder;
    Ports p = holder.freePorts(productType);
    writeConfiguration(p);
    const QByteArray before = workingFile();
    refuseAnyDialog();

    CCheckPort checker;
    QVERIFY(audit(checker));
    QVERIFY(!m_dialogSeen);

    QCOMPARE(workingFile(), before);
    QVERIFY(!QFile::exists(m_propertiesPath));
    QCOMPARE(commonConfig().GetFrameworkVideoWallPort(), p.videoWall);

    std::set<int> expected = {p.http, p.webSocket, p.web, p.ams, p.mqtt, p.ss, p.videoVic, p.audio};
    if (productType != 2 && productType != 4)
        expected.insert(p.cms);
    if (productType == 0) {
        expected.insert(p.video);
        expected.insert(p.playback);
    }
    QCOMPARE(keys(checker.claimedPorts), expected);
    expectAccepted(checker, p.http, p.cms);
}

void TestPortAudit::webSocketEqualToWebMovesWeb()
{
    Holder holder;
    Ports p = holder.freePorts(1);
    p.web = p.webSocket;
    writeConfiguration(p);
    refuseAnyDialog();

    CPortMgr machine;
    std::set<int> claimedBefore = {p.http, p.cms, p.webSocket, p.ams, p.mqtt, p.ss};
    const int expectedWeb = firstFree(machine, 8090, claimedBefore);

    CCheckPort checker;
    QVERIFY(audit(checker));
    QVERIFY(!m_dialogSeen);
    config().reInitPort();
    QCOMPARE(int(config().webSocketPort), p.webSocket);
    QCOMPARE(int(config().webPort), expectedWeb);
    QVERIFY(checker.claimedPorts.contains(expectedWeb));
    QVERIFY(checker.claimedPorts.contains(p.webSocket));
}

void TestPortAudit::heldDevicePortsMove()
{
    Holder holder;
    Ports p = holder.freePorts(0);
    p.webSocket = holder.holdTcp();
    p.ams = holder.holdUdp();
    p.ss = holder.holdTcp();
    writeConfiguration(p);
    refuseAnyDialog();

    CPortMgr machine;
    std::set<int> claimed = {p.http, p.cms};
    const int webSocket = firstFree(machine, 8081, claimed);
    claimed.insert(webSocket);
    const int ams = firstFree(machine, 7330, claimed);
    claimed.insert(ams);
    claimed.insert(p.mqtt);
    const int ss = firstFree(machine, p.ss, claimed);

    CCheckPort checker;
    QVERIFY(audit(checker));
    config().reInitPort();
    QCOMPARE(int(config().webSocketPort), webSocket);
    QCOMPARE(int(config().amsPort), ams);
    QCOMPARE(int(config().ssPort), ss);
    QVERIFY(ss > p.ss);
    QCOMPARE(int(config().mqttPort), p.mqtt);
    for (int port : {webSocket, ams, ss})
        QVERIFY(checker.claimedPorts.contains(port));
    QVERIFY(!checker.claimedPorts.contains(p.ams));
}

void TestPortAudit::productType3SkipsDevicePorts()
{
    Holder holder;
    Ports p = holder.freePorts(3);
    p.ams = holder.holdUdp();
    p.mqtt = holder.holdTcp();
    p.ss = holder.holdTcp();
    writeConfiguration(p);
    const QByteArray before = workingFile();
    refuseAnyDialog();

    CCheckPort checker;
    QVERIFY(audit(checker));
    QVERIFY(!m_dialogSeen);
    QCOMPARE(workingFile(), before);
    // The TamsaCMS port is replaced by 1 and claimed with the HTTP port;
    // no device-access port is tested.
    QCOMPARE(keys(checker.claimedPorts), (std::set<int>{p.http, 1, p.webSocket, p.web}));
    int http = 0;
    int cms = 0;
    checker.GetAcceptedPorts(http, cms);
    QCOMPARE(cms, 1);
}

void TestPortAudit::rtspAndVideoWallMove()
{
    Holder holder;
    Ports p = holder.freePorts(0);
    p.rtsp = holder.holdUdp();
    p.videoWall = holder.holdTcp();
    writeConfiguration(p);
    properties().addProperty("ums.1.name", "sms one");
    refuseAnyDialog();

    CPortMgr machine;
    std::set<int> claimed = {p.http, p.webSocket, p.web, p.cms, p.ams, p.mqtt, p.ss, p.video, p.videoVic, p.audio,
                             p.playback};
    const int rtsp = firstFree(machine, 554, claimed);
    claimed.insert(rtsp);
    const int videoWall = firstFree(machine, 18018, claimed);

    CCheckPort checker;
    QVERIFY(audit(checker));
    QVERIFY(checker.claimedPorts.contains(rtsp));
    QVERIFY(checker.claimedPorts.contains(videoWall));
    QCOMPARE(commonConfig().GetFrameworkVideoWallPort(), videoWall);

    // The whole store is written, sorted, in key=value lines.
    SimpleProperties reread;
    QVERIFY(reread.load(m_propertiesPath.toStdString()));
    QCOMPARE(reread.getProperty(serverframework::kRtspPortKey), std::to_string(rtsp));
    QVERIFY(tst::readBytes(m_propertiesPath).contains("ums.1.name=sms one\nums.1.rtspPort=" + QByteArray::number(rtsp) + "\n"));
}

void TestPortAudit::unwritablePropertiesDoNotStopTheAudit()
{
    Holder holder;
    Ports p = holder.freePorts(0);
    p.rtsp = holder.holdTcp();
    writeConfiguration(p);
    refuseAnyDialog();

    CCheckPort checker;
    const QString unwritable = m_home.filePath(QStringLiteral("missing/folder/config.properties"));
    QVERIFY(checker.checkAllPortIsUsed(unwritable.toStdString()));
    QVERIFY(!QFile::exists(unwritable));
    const int moved = std::atoi(properties().getProperty(serverframework::kRtspPortKey).c_str());
    QVERIFY(moved != p.rtsp);
    QVERIFY(checker.claimedPorts.contains(moved));
}

void TestPortAudit::heldHttpCancelled()
{
    Holder holder;
    Ports p = holder.freePorts(0);
    p.http = holder.holdTcp();
    writeConfiguration(p);
    const QByteArray before = workingFile();
    answerDialog(&TestPortAudit::clickCancel);

    CCheckPort checker;
    QVERIFY(!audit(checker));
    QVERIFY(m_dialogSeen);
    QVERIFY(checker.claimedPorts.isEmpty());
    QCOMPARE(workingFile(), before);
}

void TestPortAudit::heldHttpAccepted_data()
{
    QTest::addColumn<bool>("externAccess");
    QTest::newRow("without external access") << false;
    QTest::newRow("with external access") << true;
}

void TestPortAudit::heldHttpAccepted()
{
    QFETCH(bool, externAccess);
    Holder holder;
    Ports p = holder.freePorts(0);
    p.http = holder.holdTcp();
    p.ams = holder.holdUdp();
    writeConfiguration(p);

    const int newHttp = holder.freePort();
    QString shownHttp;
    std::vector<int> externPorts;
    for (int i = 0; i < 7; ++i)
        externPorts.push_back(holder.freePort());
    answerDialog([&](CEditPortDlg* dialog) {
        shownHttp = dialog->findChild<CCheckCorretLineEdit*>(QStringLiteral("m_HttpPortLineEdit"))->text();
        dialog->setHttpPortText(QString::number(newHttp));
        if (externAccess) {
            dialog->setExternEnabled(true);
            dialog->setExternIPAddress(QStringLiteral("10.1.2.3"));
            const auto setters = {&CEditPortDlg::setTamsaAMSPortText,   &CEditPortDlg::setTamsaMQTTPortText,
                                  &CEditPortDlg::setTamsaSSPortText,    &CEditPortDlg::setTamsaVideoPortText,
                                  &CEditPortDlg::setTamsaVideoVICPortText, &CEditPortDlg::setTamsaAudioPortText,
                                  &CEditPortDlg::setTamsaPlaybackPortText};
            int i = 0;
            for (const auto set : setters)
                (dialog->*set)(QString::number(externPorts[i++]));
        }
        clickConfirm(dialog);
    });

    CPortMgr machine;
    CCheckPort checker;
    QVERIFY(audit(checker));
    QVERIFY(m_dialogSeen);
    QCOMPARE(shownHttp, QString::number(p.http));
    expectAccepted(checker, newHttp, p.cms);
    QVERIFY(checker.claimedPorts.contains(newHttp));
    QVERIFY(checker.claimedPorts.contains(p.cms));
    QCOMPARE(commonConfig().GetFrameworkHttpPort(), newHttp);

    config().reInitPort();
    if (externAccess) {
        // The seven ports of the dialog are claimed; none is tested or moved.
        for (int port : externPorts)
            QVERIFY(checker.claimedPorts.contains(port));
        QVERIFY(!checker.claimedPorts.contains(p.ams));
        QVERIFY(!checker.claimedPorts.contains(p.mqtt));
    } else {
        const int ams = firstFree(machine, 7330, {newHttp, p.cms, p.webSocket});
        QCOMPARE(int(config().amsPort), ams);
        QVERIFY(checker.claimedPorts.contains(ams));
        QVERIFY(checker.claimedPorts.contains(p.mqtt));
    }
}

void TestPortAudit::productType3DialogShowsReplacements()
{
    Holder holder;
    Ports p = holder.freePorts(3);
    p.http = holder.holdTcp();
    writeConfiguration(p);

    QStringList shown;
    answerDialog([&](CEditPortDlg* dialog) {
        for (const char* name : {"m_TamsaLineEdit", "m_pLineEditAlarm40Port", "m_pLineEditAlarm50Port",
                                 "m_pLineEditImageServerPort", "m_pLineEditTamsaIP"})
            shown << dialog->findChild<CCheckCorretLineEdit*>(QLatin1String(name))->text();
        clickCancel(dialog);
    });
    CCheckPort checker;
    QVERIFY(!audit(checker));
    QCOMPARE(shown, (QStringList{"1", "2", "3", "4", ""}));
}

void TestPortAudit::heldHttpOnlyProductClaimsHttpOnly()
{
    Holder holder;
    Ports p = holder.freePorts(2);
    p.http = holder.holdTcp();
    writeConfiguration(p);
    const int newHttp = holder.freePort();
    answerDialog([&](CEditPortDlg* dialog) {
        dialog->setHttpPortText(QString::number(newHttp));
        clickConfirm(dialog);
    });
    CCheckPort checker;
    QVERIFY(audit(checker));
    QVERIFY(m_dialogSeen);
    QVERIFY(checker.claimedPorts.contains(newHttp));
    QVERIFY(!checker.claimedPorts.contains(p.cms));
    expectAccepted(checker, newHttp, p.cms);
}

void TestPortAudit::equalHttpAndCmsAskFirst()
{
    Holder holder;
    Ports p = holder.freePorts(1);
    p.cms = p.http;
    writeConfiguration(p);
    const int newHttp = holder.freePort();
    QStringList shown;
    QString reason;
    bool unchangedRefused = false;
    answerDialog([&](CEditPortDlg* dialog) {
        for (const char* name : {"m_HttpPortLineEdit", "m_TamsaLineEdit", "m_VideoWallPortLineEdit", "m_pSMSPortLineEdit"})
            shown << dialog->findChild<CCheckCorretLineEdit*>(QLatin1String(name))->text();
        reason = dialog->findChild<QLabel*>(QStringLiteral("m_pLabelReason"))->text();
        // The current values confirmed as they are: refused, the dialog stays.
        dialog->findChild<QPushButton*>(QStringLiteral("m_ConfirmBtn"))->click();
        unchangedRefused = dialog->isVisible();
        // Every other field is filled in: only the HTTP port is typed.
        dialog->setHttpPortText(QString::number(newHttp));
        clickConfirm(dialog);
    });
    CCheckPort checker;
    QVERIFY(audit(checker));
    QVERIFY(m_dialogSeen);
    QCOMPARE(shown, (QStringList{QString::number(p.http), QString::number(p.http), QString::number(p.videoWall),
                                 QString::number(p.rtsp)}));
    QVERIFY(!reason.isEmpty());
    QVERIFY(unchangedRefused);
    expectAccepted(checker, newHttp, p.cms);
    QVERIFY(checker.claimedPorts.contains(newHttp));
    QVERIFY(checker.claimedPorts.contains(p.cms));
}

SCRATCH_TEST_MAIN(QApplication, TestPortAudit)

#include "TestPortAudit.moc"
