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

using namespace serverframework;

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
    int holdTcp() { return hold<QTcpServer>([](QTcpServer& s) { return s.listen(QHostAddress::LocalHost, 0) ? s.serverPort() : 0; }); }
    int holdUdp() { return hold<QUdpSocket>([](QUdpSocket& s) { return s.bind(QHostAddress(QHostAddress::LocalHost), 0) ? s.localPort() : 0; }); }
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
    template <typename Socket>
    int hold(const std::function<int(Socket&)>& open)
    {
        for (;;) {
            auto* socket = new Socket;
            m_held.emplace_back(socket);
            const int port = open(*socket);
            if (port == 0 || m_given.insert(port).second)
                return port;
        }
    }
    // Shared by all cases: the dialog answers from a snapshot taken once per
    // process, so a port held in an earlier case is never handed out again.
    static std::set<int> m_given;
    std::vector<std::unique_ptr<QObject>> m_held;
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

QPair<int, int> accepted(const CCheckPort& checker)
{
    int http = 0;
    int cms = 0;
    checker.GetAcceptedPorts(http, cms);
    return {http, cms};
}

} // namespace

class TestPortAudit : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(Base::CSingleton<comm_method::CUserDataPath>::Instance().init(Base::FileUtil::GetCurExeDir(), "Framework.S", 0, 0));
        // The port-owner script is not needed here: only the decisions count.
        Base::FileUtil::InitCurExeDirUtf8(m_home.path().toStdString() + "/");
    }
    void init()
    {
        m_dialogSeen = false;
        m_propertiesPath = m_home.filePath(QStringLiteral("conf/config.properties"));
        QDir().mkpath(m_home.filePath(QStringLiteral("conf")));
        QFile::remove(m_propertiesPath);
    }
    void cleanup() { m_dialogTimer.reset(); }

    void allFreeWritesNothing_data()
    {
        QTest::addColumn<int>("productType");
        for (int type : {0, 1, 2, 4})
            QTest::addRow("type %d", type) << type;
    }
    void allFreeWritesNothing()
    {
        QFETCH(int, productType);
        Holder holder;
        Ports p = holder.freePorts(productType);
        writeConfiguration(p);
        const QByteArray before = workingFile();
        answerDialog(&TestPortAudit::clickCancel);
        CCheckPort checker;
        QVERIFY(audit(checker));
        QVERIFY(!m_dialogSeen);
        QCOMPARE(workingFile(), before);
        QVERIFY(!QFile::exists(m_propertiesPath));
        QCOMPARE(commonConfig().GetFrameworkVideoWallPort(), p.videoWall);
        std::set<int> expected = {p.http, p.webSocket, p.web, p.ams, p.mqtt, p.ss, p.videoVic, p.audio};
        if (productType != 2 && productType != 4)
            expected.insert(p.cms);
        if (productType == 0)
            expected.insert({p.video, p.playback});
        QCOMPARE(keys(checker.claimedPorts), expected);
        QCOMPARE(accepted(checker), qMakePair(p.http, p.cms));
    }

    // Held ports move to the first port from their default that neither the
    // machine nor an earlier move holds; product type 1 keeps the video ports.
    void heldPortsMove()
    {
        Holder holder;
        Ports p = holder.freePorts(1);
        p.web = p.webSocket;
        p.ams = holder.holdUdp();
        p.ss = holder.holdTcp();
        p.video = holder.holdTcp();
        writeConfiguration(p);
        answerDialog(&TestPortAudit::clickCancel);
        CPortMgr machine;
        std::set<int> claimed = {p.http, p.cms, p.webSocket};
        const int ams = firstFree(machine, 7330, claimed);
        claimed.insert({ams, p.mqtt});
        const int ss = firstFree(machine, p.ss, claimed);
        claimed.insert(ss);
        const int web = firstFree(machine, 8090, claimed);

        CCheckPort checker;
        QVERIFY(audit(checker));
        QVERIFY(!m_dialogSeen);
        config().reInitPort();
        QCOMPARE(int(config().webSocketPort), p.webSocket);
        QCOMPARE(int(config().webPort), web);
        QCOMPARE(int(config().amsPort), ams);
        QCOMPARE(int(config().ssPort), ss);
        QVERIFY(ss > p.ss);
        QCOMPARE(int(config().mqttPort), p.mqtt);
        QCOMPARE(int(config().videoPort), p.video);
        for (int port : {web, ams, ss, p.webSocket})
            QVERIFY(checker.claimedPorts.contains(port));
        QVERIFY(!checker.claimedPorts.contains(p.ams));
    }

    void productType3SkipsDevicePorts()
    {
        Holder holder;
        Ports p = holder.freePorts(3);
        p.ams = holder.holdUdp();
        p.mqtt = holder.holdTcp();
        writeConfiguration(p);
        const QByteArray before = workingFile();
        answerDialog(&TestPortAudit::clickCancel);
        CCheckPort checker;
        QVERIFY(audit(checker));
        QVERIFY(!m_dialogSeen);
        QCOMPARE(workingFile(), before);
        // The TamsaCMS port is replaced by 1 and claimed with the HTTP port.
        QCOMPARE(keys(checker.claimedPorts), (std::set<int>{p.http, 1, p.webSocket, p.web}));
        QCOMPARE(accepted(checker).second, 1);
    }

    void rtspAndVideoWallMove_data()
    {
        QTest::addColumn<bool>("writable");
        QTest::newRow("properties saved") << true;
        QTest::newRow("unwritable properties do not stop the audit") << false;
    }
    void rtspAndVideoWallMove()
    {
        QFETCH(bool, writable);
        Holder holder;
        Ports p = holder.freePorts(0);
        p.rtsp = holder.holdUdp();
        p.videoWall = holder.holdTcp();
        writeConfiguration(p);
        properties().addProperty("ums.1.name", "sms one");
        answerDialog(&TestPortAudit::clickCancel);
        CPortMgr machine;
        std::set<int> claimed = {p.http, p.webSocket, p.web, p.cms, p.ams, p.mqtt, p.ss, p.video, p.videoVic, p.audio, p.playback};
        const int rtsp = firstFree(machine, 554, claimed);
        claimed.insert(rtsp);
        const int videoWall = firstFree(machine, 18018, claimed);

        CCheckPort checker;
        const QString path = writable ? m_propertiesPath : m_home.filePath("missing/folder/config.properties");
        QVERIFY(checker.checkAllPortIsUsed(path.toStdString()));
        QVERIFY(checker.claimedPorts.contains(rtsp));
        QVERIFY(checker.claimedPorts.contains(videoWall));
        QCOMPARE(commonConfig().GetFrameworkVideoWallPort(), videoWall);
        QCOMPARE(properties().getProperty(kRtspPortKey), std::to_string(rtsp));
        QCOMPARE(QFile::exists(path), writable);
        if (writable) // the whole store, sorted, in key=value lines
            QVERIFY(tst::readBytes(path).contains("ums.1.name=sms one\nums.1.rtspPort=" + QByteArray::number(rtsp) + "\n"));
    }

    void cancelledDialogStartsNothing_data()
    {
        QTest::addColumn<int>("productType");
        QTest::addColumn<QStringList>("shown"); // CMS, the three device ports, external address
        QTest::newRow("type 0") << 0 << QStringList();
        QTest::newRow("type 3 shows the replacements") << 3 << QStringList{"1", "2", "3", "4", ""};
    }
    void cancelledDialogStartsNothing()
    {
        QFETCH(int, productType);
        QFETCH(QStringList, shown);
        Holder holder;
        Ports p = holder.freePorts(productType);
        p.http = holder.holdTcp();
        writeConfiguration(p);
        const QByteArray before = workingFile();
        QStringList seen;
        answerDialog([&](CEditPortDlg* dialog) {
            if (!shown.isEmpty())
                seen = fieldTexts(dialog, {"m_TamsaLineEdit", "m_pLineEditAlarm40Port", "m_pLineEditAlarm50Port",
                                           "m_pLineEditImageServerPort", "m_pLineEditTamsaIP"});
            clickCancel(dialog);
        });
        CCheckPort checker;
        QVERIFY(!audit(checker));
        QVERIFY(m_dialogSeen);
        QCOMPARE(seen, shown);
        QVERIFY(checker.claimedPorts.isEmpty());
        QCOMPARE(workingFile(), before);
    }

    void heldHttpAccepted_data()
    {
        QTest::addColumn<int>("productType");
        QTest::addColumn<bool>("externAccess");
        QTest::newRow("without external access") << 0 << false;
        QTest::newRow("with external access") << 0 << true;
        QTest::newRow("HTTP-only product") << 2 << false;
    }
    void heldHttpAccepted()
    {
        QFETCH(int, productType);
        QFETCH(bool, externAccess);
        Holder holder;
        Ports p = holder.freePorts(productType);
        p.http = holder.holdTcp();
        p.ams = holder.holdUdp();
        writeConfiguration(p);
        const int newHttp = holder.freePort();
        QString shownHttp;
        std::vector<int> externPorts;
        for (int i = 0; i < 7; ++i)
            externPorts.push_back(holder.freePort());
        answerDialog([&](CEditPortDlg* dialog) {
            shownHttp = fieldTexts(dialog, {"m_HttpPortLineEdit"}).value(0);
            dialog->setHttpPortText(QString::number(newHttp));
            if (externAccess) {
                dialog->setExternEnabled(true);
                dialog->setExternIPAddress(QStringLiteral("10.1.2.3"));
                int i = 0;
                for (const auto set : {&CEditPortDlg::setTamsaAMSPortText, &CEditPortDlg::setTamsaMQTTPortText,
                                       &CEditPortDlg::setTamsaSSPortText, &CEditPortDlg::setTamsaVideoPortText,
                                       &CEditPortDlg::setTamsaVideoVICPortText, &CEditPortDlg::setTamsaAudioPortText,
                                       &CEditPortDlg::setTamsaPlaybackPortText})
                    (dialog->*set)(QString::number(externPorts[i++]));
            }
            clickConfirm(dialog);
        });
        CPortMgr machine;
        CCheckPort checker;
        QVERIFY(audit(checker));
        QVERIFY(m_dialogSeen);
        QCOMPARE(shownHttp, QString::number(p.http));
        QCOMPARE(accepted(checker), qMakePair(newHttp, p.cms));
        QVERIFY(checker.claimedPorts.contains(newHttp));
        QCOMPARE(checker.claimedPorts.contains(p.cms), productType != 2);
        QCOMPARE(commonConfig().GetFrameworkHttpPort(), newHttp);
        config().reInitPort();
        if (externAccess) {
            // The seven ports of the dialog are claimed; none is tested or moved.
            for (int port : externPorts)
                QVERIFY(checker.claimedPorts.contains(port));
            QVERIFY(!checker.claimedPorts.contains(p.ams));
            QVERIFY(!checker.claimedPorts.contains(p.mqtt));
        } else {
            const std::set<int> before = productType == 2 ? std::set<int>{newHttp, p.webSocket}
                                                          : std::set<int>{newHttp, p.cms, p.webSocket};
            const int ams = firstFree(machine, 7330, before);
            QCOMPARE(int(config().amsPort), ams);
            QVERIFY(checker.claimedPorts.contains(ams));
        }
    }

    void equalHttpAndCmsAskFirst()
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
            shown = fieldTexts(dialog, {"m_HttpPortLineEdit", "m_TamsaLineEdit", "m_VideoWallPortLineEdit", "m_pSMSPortLineEdit"});
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
        QCOMPARE(accepted(checker), qMakePair(newHttp, p.cms));
        QVERIFY(checker.claimedPorts.contains(newHttp));
        QVERIFY(checker.claimedPorts.contains(p.cms));
    }

private:
    // Puts the case's ports into the working file, the common configuration
    // and the SMS properties, then reloads the port configuration.
    void writeConfiguration(const Ports& p)
    {
        config().InitManager(false);
        QVERIFY2(!config().configDir.empty(), "no user-data folder");
        QString xml = QStringLiteral(
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Configs Version=\"1.0\">\n"
            "  <ProductType><Value>%1</Value></ProductType><VersionType><Value>0</Value></VersionType>\n"
            "  <ServerPort><Http>%2</Http><WebSocket>%3</WebSocket><Web>%4</Web><TamsaCMS>%5</TamsaCMS>\n"
            "    <TamsaAMS>%6</TamsaAMS><TamsaMQTT>%7</TamsaMQTT><TamsaSS>%8</TamsaSS><TamsaVideo>%9</TamsaVideo>\n"
            "    <TamsaVideoVIC>%10</TamsaVideoVIC><TamsaAudio>%11</TamsaAudio><TamsaPlayback>%12</TamsaPlayback>\n"
            "  </ServerPort>\n"
            "  <ExternParam><Enabled>%13</Enabled><IPAddress>%14</IPAddress></ExternParam>\n</Configs>\n");
        // Each arg() fills the lowest-numbered marker left.
        for (int value : {p.productType, p.http, p.webSocket, p.web, p.cms, p.ams, p.mqtt, p.ss, p.video, p.videoVic,
                          p.audio, p.playback})
            xml = xml.arg(value);
        xml = xml.arg(p.externEnabled ? QStringLiteral("true") : QStringLiteral("false"), p.externIp);
        QVERIFY(tst::writeBytes(QString::fromStdString(config().workingPath()), xml.toUtf8()));
        QVERIFY(commonConfig().SetFrameworkHttpPort(p.http));
        QVERIFY(commonConfig().SetFrameworkVideoWallPort(p.videoWall));
        config().InitManager(true);
        QCOMPARE(int(config().httpPort), p.http);
        QCOMPARE(config().productType, p.productType);
        const std::string rtsp = std::to_string(p.rtsp);
        if (!properties().setProperty(kRtspPortKey, rtsp))
            properties().addProperty(kRtspPortKey, rtsp);
    }

    bool audit(CCheckPort& checker) { return checker.checkAllPortIsUsed(m_propertiesPath.toStdString()); }

    // Answers the next port dialog with answer (any dialog: cancel it, so a
    // wrong one cannot hang the case).
    void answerDialog(std::function<void(CEditPortDlg*)> answer)
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
    static void clickConfirm(CEditPortDlg* dialog)
    {
        dialog->findChild<QPushButton*>(QStringLiteral("m_ConfirmBtn"))->click();
        if (dialog->isVisible()) { // a refused press leaves it open: close it so the case ends
            QWARN("the confirm press was refused");
            dialog->reject();
        }
    }
    static void clickCancel(CEditPortDlg* dialog)
    {
        dialog->findChild<QPushButton*>(QStringLiteral("m_CloseBtn"))->click();
    }
    static QStringList fieldTexts(CEditPortDlg* dialog, std::initializer_list<const char*> names)
    {
        QStringList texts;
        for (const char* name : names)
            texts << dialog->findChild<CCheckCorretLineEdit*>(QLatin1String(name))->text();
        return texts;
    }

    QTemporaryDir m_home;
    QString m_propertiesPath;
    bool m_dialogSeen = false;
    std::unique_ptr<QTimer> m_dialogTimer;
};

SCRATCH_TEST_MAIN(QApplication, TestPortAudit)

#include "TestPortAudit.moc"
