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

// The configured ports of one case, by the names of the working file's
// elements, and "rtsp" and "wall" (the SMS plug-in's and the video wall's).
using Ports = QMap<QString, int>;
const QStringList kServerPorts = {"Http",       "WebSocket",     "Web",        "TamsaCMS",  "TamsaAMS",
                                  "TamsaMQTT",  "TamsaSS",       "TamsaVideo", "TamsaVideoVIC",
                                  "TamsaAudio", "TamsaPlayback"};

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

// Ports held by this test for the length of one case, and ports free now;
// each different from every one handed out before in this process (the
// dialog answers from a snapshot taken once per process).
class Holder {
public:
    int freePort() { return fresh([] { return int(tst::freePort()); }); }
    int holdTcp()
    {
        return fresh([this] {
            auto* s = new QTcpServer;
            m_held.emplace_back(s);
            return s->listen(QHostAddress::LocalHost, 0) ? int(s->serverPort()) : 0;
        });
    }
    int holdUdp()
    {
        return fresh([this] {
            auto* s = new QUdpSocket;
            m_held.emplace_back(s);
            return s->bind(QHostAddress(QHostAddress::LocalHost), 0) ? int(s->localPort()) : 0;
        });
    }
    // Every port free, but those named in held (UDP for "TamsaAMS" and "rtsp").
    Ports ports(const QStringList& held = {})
    {
        Ports p;
        for (const QString& name : kServerPorts + QStringList{"rtsp", "wall"})
            p[name] = !held.contains(name) ? freePort() : name == "TamsaAMS" || name == "rtsp" ? holdUdp() : holdTcp();
        return p;
    }

private:
    int fresh(const std::function<int()>& next)
    {
        for (;;) {
            const int port = next();
            if (port == 0 || s_given.insert(port).second)
                return port;
        }
    }
    static std::set<int> s_given;
    std::vector<std::unique_ptr<QObject>> m_held;
};

std::set<int> Holder::s_given;

// The first port from start that neither the machine nor claimed holds.
int firstFree(int start, const std::set<int>& claimed)
{
    CPortMgr machine;
    for (int port = start; port <= 65535; ++port) {
        if (!machine.CheckPortConflict(port) && claimed.count(port) == 0)
            return port;
    }
    return -1;
}

std::set<int> claimedSet(const CCheckPort& checker)
{
    return std::set<int>(checker.claimedPorts.keyBegin(), checker.claimedPorts.keyEnd());
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

    // With the HTTP port free nothing is asked; ports of services the
    // product does not run are neither audited nor claimed.
    void productTypeDecidesWhatIsAudited_data()
    {
        QTest::addColumn<int>("productType");
        QTest::addColumn<QStringList>("held");
        QTest::addColumn<QStringList>("claimed"); // names, or "1" for the replaced TamsaCMS port
        const QStringList device = {"TamsaAMS", "TamsaMQTT", "TamsaSS", "TamsaVideoVIC", "TamsaAudio"};
        const QStringList common = QStringList{"Http", "WebSocket", "Web"} + device;
        QTest::newRow("type 0") << 0 << QStringList() << common + QStringList{"TamsaCMS", "TamsaVideo", "TamsaPlayback"};
        QTest::newRow("type 1, SMS and video wall ports held") << 1 << QStringList{"rtsp", "wall"} << common + QStringList{"TamsaCMS"};
        QTest::newRow("type 2") << 2 << QStringList() << common;
        QTest::newRow("type 3, device ports held") << 3 << QStringList{"TamsaAMS", "TamsaMQTT"}
                                                   << QStringList{"Http", "1", "WebSocket", "Web"};
        QTest::newRow("type 4") << 4 << QStringList() << common;
    }
    void productTypeDecidesWhatIsAudited()
    {
        QFETCH(int, productType);
        QFETCH(QStringList, held);
        QFETCH(QStringList, claimed);
        Holder holder;
        const Ports p = holder.ports(held);
        writeConfiguration(productType, p);
        const QByteArray before = workingFile();
        answerDialog(&TestPortAudit::clickCancel);
        CCheckPort checker;
        QVERIFY(audit(checker));
        QVERIFY(!m_dialogSeen);
        QCOMPARE(workingFile(), before);
        QVERIFY(!QFile::exists(m_propertiesPath));
        QCOMPARE(commonConfig().GetFrameworkVideoWallPort(), p["wall"]);
        std::set<int> expected;
        for (const QString& name : claimed)
            expected.insert(p.value(name, name.toInt()));
        QCOMPARE(claimedSet(checker), expected);
        QCOMPARE(accepted(checker), qMakePair(p["Http"], productType == 3 ? 1 : p["TamsaCMS"]));
    }

    // Held ports move to the first port from their default that neither the
    // machine nor an earlier move holds; product type 1 keeps the video ports.
    void heldPortsMove()
    {
        Holder holder;
        Ports p = holder.ports({"TamsaAMS", "TamsaSS", "TamsaVideo"});
        p["Web"] = p["WebSocket"];
        writeConfiguration(1, p);
        answerDialog(&TestPortAudit::clickCancel);
        std::set<int> taken = {p["Http"], p["TamsaCMS"], p["WebSocket"]};
        const int ams = firstFree(7330, taken);
        taken.insert({ams, p["TamsaMQTT"]});
        const int ss = firstFree(p["TamsaSS"], taken);
        taken.insert(ss);
        const int web = firstFree(8090, taken);

        CCheckPort checker;
        QVERIFY(audit(checker));
        QVERIFY(!m_dialogSeen);
        config().reInitPort();
        QCOMPARE(int(config().webSocketPort), p["WebSocket"]);
        QCOMPARE(int(config().webPort), web);
        QCOMPARE(int(config().amsPort), ams);
        QCOMPARE(int(config().ssPort), ss);
        QVERIFY(ss > p["TamsaSS"]);
        QCOMPARE(int(config().mqttPort), p["TamsaMQTT"]);
        QCOMPARE(int(config().videoPort), p["TamsaVideo"]);
        for (int port : {web, ams, ss, p["WebSocket"]})
            QVERIFY(checker.claimedPorts.contains(port));
        QVERIFY(!checker.claimedPorts.contains(p["TamsaAMS"]));
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
        const Ports p = holder.ports({"rtsp", "wall"});
        writeConfiguration(0, p);
        properties().addProperty("ums.1.name", "sms one");
        answerDialog(&TestPortAudit::clickCancel);
        std::set<int> taken;
        for (const QString& name : kServerPorts)
            taken.insert(p[name]);
        const int rtsp = firstFree(554, taken);
        taken.insert(rtsp);
        const int videoWall = firstFree(18018, taken);

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

    // A held HTTP port asks for the ports: cancelled, nothing starts and
    // nothing is written; confirmed, the chosen ports are claimed and the
    // other ports audited, unless external access was turned on: then its
    // seven ports are claimed as they are and the device ports left alone.
    void heldHttpAsks_data()
    {
        QTest::addColumn<int>("productType");
        QTest::addColumn<int>("answer"); // 0: cancel, 1: confirm, 2: confirm with external access
        QTest::addColumn<QStringList>("shown"); // CMS, the three device ports, external address
        QTest::newRow("cancelled") << 0 << 0 << QStringList();
        QTest::newRow("cancelled, type 3 shows the replacements") << 3 << 0 << QStringList{"1", "2", "3", "4", ""};
        QTest::newRow("confirmed") << 0 << 1 << QStringList();
        QTest::newRow("confirmed with external access") << 0 << 2 << QStringList();
        QTest::newRow("confirmed, HTTP-only product") << 2 << 1 << QStringList();
    }
    void heldHttpAsks()
    {
        QFETCH(int, productType);
        QFETCH(int, answer);
        QFETCH(QStringList, shown);
        Holder holder;
        const Ports p = holder.ports({"Http", "TamsaAMS"});
        writeConfiguration(productType, p);
        const QByteArray before = workingFile();
        const int newHttp = holder.freePort();
        std::vector<int> externPorts;
        for (int i = 0; i < 7; ++i)
            externPorts.push_back(holder.freePort());
        QStringList seen;
        QString shownHttp;
        answerDialog([&](CEditPortDlg* dialog) {
            shownHttp = fieldTexts(dialog, {"m_HttpPortLineEdit"}).value(0);
            if (!shown.isEmpty())
                seen = fieldTexts(dialog, {"m_TamsaLineEdit", "m_pLineEditAlarm40Port", "m_pLineEditAlarm50Port",
                                           "m_pLineEditImageServerPort", "m_pLineEditTamsaIP"});
            if (answer == 0)
                return clickCancel(dialog);
            dialog->setHttpPortText(QString::number(newHttp));
            if (answer == 2) {
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
        const int ams = firstFree(7330, productType == 2 ? std::set<int>{newHttp, p["WebSocket"]}
                                                         : std::set<int>{newHttp, p["TamsaCMS"], p["WebSocket"]});
        CCheckPort checker;
        QCOMPARE(audit(checker), answer != 0);
        QVERIFY(m_dialogSeen);
        QCOMPARE(shownHttp, QString::number(p["Http"]));
        QCOMPARE(seen, shown);
        if (answer == 0) {
            QVERIFY(checker.claimedPorts.isEmpty());
            QCOMPARE(workingFile(), before);
            return;
        }
        QCOMPARE(accepted(checker), qMakePair(newHttp, p["TamsaCMS"]));
        QVERIFY(checker.claimedPorts.contains(newHttp));
        QCOMPARE(checker.claimedPorts.contains(p["TamsaCMS"]), productType != 2);
        QCOMPARE(commonConfig().GetFrameworkHttpPort(), newHttp);
        config().reInitPort();
        for (int port : externPorts)
            QCOMPARE(checker.claimedPorts.contains(port), answer == 2);
        QCOMPARE(checker.claimedPorts.contains(p["TamsaMQTT"]), answer == 1);
        QCOMPARE(int(config().amsPort), answer == 2 ? externPorts[0] : ams); // the dialog's port, not moved
    }

    void equalHttpAndCmsAskFirst()
    {
        Holder holder;
        Ports p = holder.ports();
        p["TamsaCMS"] = p["Http"];
        writeConfiguration(1, p);
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
        QCOMPARE(shown, (QStringList{QString::number(p["Http"]), QString::number(p["Http"]), QString::number(p["wall"]),
                                     QString::number(p["rtsp"])}));
        QVERIFY(!reason.isEmpty());
        QVERIFY(unchangedRefused);
        QCOMPARE(accepted(checker), qMakePair(newHttp, p["TamsaCMS"]));
        QVERIFY(checker.claimedPorts.contains(newHttp));
        QVERIFY(checker.claimedPorts.contains(p["TamsaCMS"]));
    }

private:
    // Puts the case's ports into the working file, the common configuration
    // and the SMS properties, then reloads the port configuration.
    void writeConfiguration(int productType, const Ports& p)
    {
        config().InitManager(false);
        QVERIFY2(!config().configDir.empty(), "no user-data folder");
        QString xml = QString("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Configs Version=\"1.0\">\n"
                              "<ProductType><Value>%1</Value></ProductType><VersionType><Value>0</Value></VersionType>\n"
                              "<ExternParam><Enabled>false</Enabled><IPAddress>192.168.1.10</IPAddress></ExternParam>\n"
                              "<ServerPort>").arg(productType);
        for (const QString& name : kServerPorts)
            xml += QString("<%1>%2</%1>").arg(name).arg(p[name]);
        QVERIFY(tst::writeBytes(QString::fromStdString(config().workingPath()), (xml + "</ServerPort>\n</Configs>\n").toUtf8()));
        QVERIFY(commonConfig().SetFrameworkHttpPort(p["Http"]));
        QVERIFY(commonConfig().SetFrameworkVideoWallPort(p["wall"]));
        config().InitManager(true);
        QCOMPARE(int(config().httpPort), p["Http"]);
        QCOMPARE(config().productType, productType);
        const std::string rtsp = std::to_string(p["rtsp"]);
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
