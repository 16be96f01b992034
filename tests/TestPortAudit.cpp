// The start-up port audit and the port snapshot against ports this test really holds; the owner's name through the
// port-owner script beside the executable, naming a process the test starts (this program doubles as that process:
// "--hold-port tcp|udp" holds a port until its input closes).
#include "logical/CheckPort.h"
#include "ui/EditPortDlg.h"
#include "ui/StartupPortChooser.h"
#include "CommonMethod/ServedPorts.h"
#include "logical/PortMgr.h"
#include "Platform/Platform.h"
#include "logical/SimpleProperties.h"
#include "CommonMethod/UserDataPath.h"
#include "controller/XMLConfigManager.h"
#include "TestModal.h"
#include "TestSupport.h"

#include <Base/FileUtil.h>
#include <Base/Singleton.h>
#include <CommonMethodLib/CommonConfigFileMgr.h>

#include <QApplication>
#include <QPushButton>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUdpSocket>
#include <QtTest>

#include <functional>
#include <iostream>
#include <set>

using namespace serverframework;
using comm_methodlib::CCommonConfigFileMgr;

namespace {

// The configured ports of one case, by the names of the working file's elements, and "rtsp" and "wall" (the SMS plug-in's and the video wall's).
using Ports = QMap<QString, int>;
const QStringList kServerPorts = {"Http",    "WebSocket",  "Web",           "TamsaCMS",   "TamsaAMS",     "TamsaMQTT",
                                  "TamsaSS", "TamsaVideo", "TamsaVideoVIC", "TamsaAudio", "TamsaPlayback"};

XMLConfigManager& config()
{
    return Base::CSingleton<XMLConfigManager>::Instance();
}
CCommonConfigFileMgr& commonConfig()
{
    return Base::CSingleton<CCommonConfigFileMgr>::Instance();
}

// A loopback port, held by a socket kept in held: UDP, TCP listening, or TCP bound without listening (in no socket table); 0 if none.
enum class Hold { Udp, Listen, BindOnly };
int holdLoopback(Hold how, std::vector<std::unique_ptr<QObject>>& held)
{
    if (how == Hold::Listen) {
        auto* server = new QTcpServer;
        held.emplace_back(server);
        return server->listen(QHostAddress::LocalHost, 0) ? int(server->serverPort()) : 0;
    }
    QAbstractSocket* s = how == Hold::Udp ? static_cast<QAbstractSocket*>(new QUdpSocket) : new QTcpSocket;
    held.emplace_back(s);
    return s->bind(QHostAddress(QHostAddress::LocalHost), 0) ? int(s->localPort()) : 0;
}

// Ports held by this test for the length of one case, and ports free now; each different from every one handed out
// before in this process (the dialog answers from a snapshot taken once per process).
class Holder
{
public:
    int freePort()
    {
        return fresh([] { return int(tst::freePort()); });
    }
    // Every port free, but those named in held (UDP for "TamsaAMS" and "rtsp", bound without listening for "Http").
    Ports ports(const QStringList& held = {})
    {
        Ports p;
        for (const QString& name : kServerPorts + QStringList{"rtsp", "wall"}) {
            const Hold how = name == "TamsaAMS" || name == "rtsp" ? Hold::Udp : name == "Http" ? Hold::BindOnly : Hold::Listen;
            p[name] = !held.contains(name) ? freePort() : fresh([&] { return holdLoopback(how, m_held); });
        }
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

// The first port from start that neither the machine nor claimed holds, added to claimed.
int firstFree(int start, std::set<int>& claimed)
{
    CPortMgr machine;
    for (int port = start; port <= 65535; ++port) {
        if (!machine.CheckPortConflict(port) && claimed.insert(port).second)
            return port;
    }
    return -1;
}

QByteArray workingFile()
{
    return tst::readBytes(QString::fromStdString(config().workingPath()));
}

QPair<int, int> accepted(const CCheckPort& checker)
{
    QPair<int, int> ports;
    checker.GetAcceptedPorts(ports.first, ports.second);
    return ports;
}

int holdPort(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    std::vector<std::unique_ptr<QObject>> held;
    const int port = holdLoopback(argc > 2 && qstrcmp(argv[2], "udp") == 0 ? Hold::Udp : Hold::Listen, held);
    std::cout << port << std::endl;
    for (std::string line; std::getline(std::cin, line);) {
    }
    return port ? 0 : 1;
}

const QString kCheckport = QStringLiteral(TAVRIN_BUILD_DIR "/Server/checkport.sh");

// The snapshot's entries on that port and protocol (0 TCP, 1 UDP).
std::vector<PortConnInfo> entriesOn(CPortMgr& ports, quint16 port, std::uint32_t protocol)
{
    std::vector<PortConnInfo> found;
    for (const PortConnInfo& info : ports.portTable()) {
        if (info.localPort == port && info.protocol == protocol)
            found.push_back(info);
    }
    return found;
}

} // namespace

class TestPortAudit : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(Base::CSingleton<comm_method::CUserDataPath>::Instance().init(Base::FileUtil::GetCurExeDir(), "Framework.S", 0, 0));
        Base::FileUtil::InitCurExeDirUtf8(m_home.path().toStdString() + "/");
        m_propertiesPath = m_home.filePath(QStringLiteral("config.properties"));
    }
    void init() { QFile::remove(m_propertiesPath); }

    // With nobody to ask: ports of services the product does not run are neither audited nor claimed; an HTTP port equal to the TamsaCMS port, or
    // bound by another socket that does not listen (in no socket table), moves off it, the TamsaCMS port stays.
    void productTypeDecidesWhatIsAudited_data()
    {
        QTest::addColumn<int>("productType");
        QTest::addColumn<QStringList>("held");
        QTest::addColumn<bool>("cmsOnHttp");
        QTest::addColumn<QStringList>("claimed"); // names, or "1" for the replaced TamsaCMS port
        const QStringList common = {"Http", "WebSocket", "Web", "TamsaAMS", "TamsaMQTT", "TamsaSS", "TamsaVideoVIC", "TamsaAudio"};
        QTest::newRow("type 0") << 0 << QStringList() << false << common + QStringList{"TamsaCMS", "TamsaVideo", "TamsaPlayback"};
        QTest::newRow("type 1, SMS and video wall ports held") << 1 << QStringList{"rtsp", "wall"} << false << common + QStringList{"TamsaCMS"};
        QTest::newRow("type 1, HTTP on the TamsaCMS port") << 1 << QStringList() << true << common + QStringList{"TamsaCMS"};
        QTest::newRow("type 1, HTTP bound, not listened on") << 1 << QStringList{"Http"} << false << common + QStringList{"TamsaCMS"};
        QTest::newRow("type 3, device ports held") << 3 << QStringList{"TamsaAMS", "TamsaMQTT"} << false
                                                   << QStringList{"Http", "1", "WebSocket", "Web"};
        QTest::newRow("type 4") << 4 << QStringList() << false << common;
    }
    void productTypeDecidesWhatIsAudited()
    {
        QFETCH(int, productType);
        QFETCH(QStringList, held);
        QFETCH(bool, cmsOnHttp);
        QFETCH(QStringList, claimed);
        Holder holder;
        Ports p = holder.ports(held);
        if (cmsOnHttp)
            p["TamsaCMS"] = p["Http"];
        writeConfiguration(productType, p);
        const QByteArray before = workingFile();
        CCheckPort checker;
        QVERIFY(audit(checker));
        const QPair<int, int> ports = accepted(checker);
        const bool httpMoves = cmsOnHttp || held.contains("Http");
        QCOMPARE(workingFile() == before, !httpMoves);
        QVERIFY(!QFile::exists(m_propertiesPath));
        QCOMPARE(commonConfig().GetFrameworkVideoWallPort(), p["wall"]);
        QVERIFY(httpMoves ? ports.first > p["Http"] : ports.first == p["Http"]);
        QCOMPARE(ports.second, productType == 3 ? 1 : p["TamsaCMS"]);
        p["Http"] = ports.first;
        std::set<int> expected;
        for (const QString& name : claimed)
            expected.insert(p.value(name, name.toInt()));
        QCOMPARE(std::set<int>(checker.claimedPorts.keyBegin(), checker.claimedPorts.keyEnd()), expected);
    }

    // Held ports move to the first port from their default that neither the machine nor an earlier move holds (a port
    // bound without listening is held too); product type 1 keeps the video ports.
    void heldPortsMove()
    {
        Holder holder;
        Ports p = holder.ports({"TamsaAMS", "TamsaMQTT", "TamsaSS", "TamsaVideo"});
        p["Web"] = p["WebSocket"];
        writeConfiguration(1, p);
        std::set<int> taken = {p["Http"], p["TamsaCMS"], p["WebSocket"]};
        const int ams = firstFree(7330, taken), mqtt = firstFree(1833, taken), ss = firstFree(p["TamsaSS"], taken), web = firstFree(8090, taken);
        CCheckPort checker;
        QVERIFY(audit(checker));
        config().reInitPort();
        QCOMPARE(int(config().webSocketPort), p["WebSocket"]);
        QCOMPARE(int(config().webPort), web);
        QCOMPARE(int(config().amsPort), ams);
        QCOMPARE(int(config().mqttPort), mqtt);
        QCOMPARE(int(config().ssPort), ss);
        QCOMPARE(int(config().videoPort), p["TamsaVideo"]);
        for (int port : {web, ams, ss})
            QVERIFY(checker.claimedPorts.contains(port));
        QStringList moves; // what the tray tells once the host runs
        for (const PortMove& move : checker.moves())
            moves << QString("%1 %2>%3").arg(serviceName(move.port)).arg(move.from).arg(move.to);
        QCOMPARE(moves.join(' '), QString("TamsaAMS %1>%2 TamsaMQTT %3>%4 TamsaSS %5>%6 Web %7>%8")
                                      .arg(p["TamsaAMS"])
                                      .arg(ams)
                                      .arg(p["TamsaMQTT"])
                                      .arg(mqtt)
                                      .arg(p["TamsaSS"])
                                      .arg(ss)
                                      .arg(p["Web"])
                                      .arg(web));
    }

    // A fresh table sees the ports taken and freed since the one before; the sockets of this very process on the ports
    // named its own do not hold them, another process's do. A port is served while a TCP socket listens.
    void freshSnapshot()
    {
        CCheckPort checker;
        QTcpServer later, own;
        QUdpSocket udp;
        QVERIFY(later.listen(QHostAddress::LocalHost) && own.listen(QHostAddress::LocalHost) && udp.bind(QHostAddress(QHostAddress::LocalHost), 0));
        QProcess other;
        other.start(QCoreApplication::applicationFilePath(), {"--hold-port", "tcp"});
        QVERIFY(other.waitForReadyRead(10000));
        const uint otherPort = other.readLine().trimmed().toUInt();
        QString name;
        QVERIFY(!checker.IsPortUsed(later.serverPort(), name));
        checker.refreshSnapshot({own.serverPort(), otherPort});
        QVERIFY(checker.IsPortUsed(later.serverPort(), name) && checker.IsPortUsed(otherPort, name));
        QVERIFY(!checker.IsPortUsed(own.serverPort(), name));
        later.close();
        checker.refreshSnapshot();
        QVERIFY(!checker.IsPortUsed(later.serverPort(), name) && checker.IsPortUsed(otherPort, name));
        const auto machine = comm_method::CServedPorts::now();
        QVERIFY(machine.served(own.serverPort()) && machine.served(otherPort));
        QVERIFY(!machine.served(later.serverPort()) && !machine.served(udp.localPort()));
    }

    // A held HTTP port asks for the ports: the chosen ports are claimed and the other ports audited, unless external
    // access was turned on: then its seven ports are claimed as they are and the device ports left alone.
    void heldHttpAsks_data()
    {
        QTest::addColumn<bool>("external");
        QTest::newRow("confirmed") << false;
        QTest::newRow("confirmed with external access") << true;
    }
    void heldHttpAsks()
    {
        QFETCH(bool, external);
        Holder holder;
        const Ports p = holder.ports({"Http", "TamsaAMS"});
        writeConfiguration(0, p);
        const int newHttp = holder.freePort();
        std::vector<int> externPorts;
        for (int i = 0; i < 7; ++i)
            externPorts.push_back(holder.freePort());
        std::set<int> taken = {newHttp, p["TamsaCMS"], p["WebSocket"]};
        const int ams = firstFree(7330, taken);
        CCheckPort checker;
        CStartupPortChooser chooser;
        checker.setPortChooser(&chooser);
        bool audited = false;
        const auto fill = [&](QWidget* modal) {
            auto* dialog = qobject_cast<CEditPortDlg*>(modal);
            if (!dialog)
                return false;
            dialog->setHttpPortText(QString::number(newHttp));
            if (external) {
                dialog->setExternEnabled(true);
                dialog->setExternIPAddress(QStringLiteral("10.1.2.3"));
                int i = 0;
                for (const auto set : {&CEditPortDlg::setTamsaAMSPortText, &CEditPortDlg::setTamsaMQTTPortText, &CEditPortDlg::setTamsaSSPortText,
                                       &CEditPortDlg::setTamsaVideoPortText, &CEditPortDlg::setTamsaVideoVICPortText,
                                       &CEditPortDlg::setTamsaAudioPortText, &CEditPortDlg::setTamsaPlaybackPortText})
                    (dialog->*set)(QString::number(externPorts[i++]));
            }
            dialog->findChild<QPushButton*>("m_ConfirmBtn")->click();
            if (dialog->isVisible()) // a refused press leaves it open: close it so the case ends
                dialog->reject();
            return true;
        };
        QCOMPARE(tst::answerModals(fill, [&] { audited = audit(checker); }), QStringList());
        QVERIFY(audited);
        QCOMPARE(accepted(checker), qMakePair(newHttp, p["TamsaCMS"]));
        QVERIFY(checker.claimedPorts.contains(p["TamsaCMS"]));
        config().reInitPort();
        for (int port : externPorts)
            QCOMPARE(checker.claimedPorts.contains(port), external);
        QCOMPARE(int(config().amsPort), external ? externPorts[0] : ams); // the dialog's port, not moved
    }

    // A UDP socket is listed once, as UDP; a port held only by a closed connection (time-wait, no owner) is free.
    void heldAndClosedPorts()
    {
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost, 0));
        QUdpSocket udp;
        QVERIFY(udp.bind(QHostAddress(QHostAddress::LocalHost), 0));
        quint16 closedPort = 0;
        {
            QTcpSocket client;
            client.connectToHost(QHostAddress::LocalHost, server.serverPort());
            QVERIFY(client.waitForConnected(5000) && server.waitForNewConnection(5000));
            QTcpSocket* peer = server.nextPendingConnection();
            closedPort = client.localPort();
            client.disconnectFromHost(); // the side closing first keeps the time-wait entry
            QTRY_COMPARE(peer->state(), QAbstractSocket::UnconnectedState);
            QTRY_COMPARE(client.state(), QAbstractSocket::UnconnectedState);
        }
        CPortMgr ports;
        QVERIFY(entriesOn(ports, udp.localPort(), 0).empty());
        QCOMPARE(entriesOn(ports, udp.localPort(), 1).size(), size_t(1));
        const std::vector<PortConnInfo> closed = entriesOn(ports, closedPort, 0);
        if (closed.size() != 1 || closed.front().state != 11)
            QSKIP("the closed connection left no lone time-wait entry");
        QVERIFY(!ports.CheckPortConflict(closedPort));
    }

    void ownerName_data()
    {
        QTest::addColumn<QByteArray>("script"); // "shipped", a script's body, or empty: no script at all
        QTest::addColumn<QString>("protocol");
        QTest::addColumn<QString>("holder"); // the holding program's name
        QTest::addColumn<QString>("expected");
        QTest::newRow("udp") << QByteArray("shipped") << "udp"
                             << "portholder"
                             << "portholder";
        QTest::newRow("longer than the kernel's 15 characters") << QByteArray("shipped") << "tcp"
                                                                << "Palvex.Framework.S.holder"
                                                                << "Palvex.Framework.S.holder";
        QTest::newRow("blanks, quotes inside, line ends") << QByteArray("printf '  \\t a\"b\"c d \\r\\n\\n'\n") << "tcp"
                                                          << "portholder"
                                                          << "abc d";
        QTest::newRow("no script: still taken") << QByteArray() << "tcp"
                                                << "portholder"
                                                << "";
    }
    void ownerName()
    {
        QFETCH(QByteArray, script);
        QFETCH(QString, protocol);
        QFETCH(QString, holder);
        const QString path = m_home.filePath("checkport" + QString::fromStdString(platform::scriptExtension()));
        QFile::remove(path);
        if (script == "shipped")
            QVERIFY(QFile::copy(kCheckport, path));
        else if (!script.isEmpty())
            QVERIFY(tst::writeExecutable(path, "#!/bin/sh\n" + script));
        const QString holderPath = m_home.filePath(holder);
        QFile::link(QCoreApplication::applicationFilePath(), holderPath);
        QProcess holding;
        holding.start(holderPath, {"--hold-port", protocol});
        QVERIFY(holding.waitForReadyRead(10000));
        const uint port = holding.readLine().trimmed().toUInt();
        CCheckPort checker;
        QString name = QStringLiteral("caller's value");
        QVERIFY(checker.IsPortUsed(port, name));
        QTEST(name, "expected");
    }

private:
    // Puts the case's ports into the working file, the common configuration and the SMS properties, then reloads the port configuration.
    void writeConfiguration(int productType, const Ports& p)
    {
        config().InitManager(false);
        QVERIFY2(!config().configDir.empty(), "no user-data folder");
        QString xml = QString("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Configs Version=\"1.0\">\n"
                              "<ProductType><Value>%1</Value></ProductType><VersionType><Value>0</Value></VersionType>\n"
                              "<ExternParam><Enabled>false</Enabled><IPAddress>192.168.1.10</IPAddress></ExternParam>\n"
                              "<ServerPort>")
                          .arg(productType);
        for (const QString& name : kServerPorts)
            xml += QString("<%1>%2</%1>").arg(name).arg(p[name]);
        QVERIFY(tst::writeBytes(QString::fromStdString(config().workingPath()), (xml + "</ServerPort>\n</Configs>\n").toUtf8()));
        QVERIFY(commonConfig().SetFrameworkHttpPort(p["Http"]));
        QVERIFY(commonConfig().SetFrameworkVideoWallPort(p["wall"]));
        config().InitManager(true);
        QCOMPARE(config().productType, productType);
        SimpleProperties& properties = Base::CSingleton<SimpleProperties>::Instance();
        if (!properties.setProperty(kRtspPortKey, std::to_string(p["rtsp"])))
            properties.addProperty(kRtspPortKey, std::to_string(p["rtsp"]));
    }

    bool audit(CCheckPort& checker) { return checker.checkAllPortIsUsed(m_propertiesPath.toStdString()); }

    QTemporaryDir m_home;
    QString m_propertiesPath;
};

int main(int argc, char** argv)
{
    if (argc > 1 && qstrcmp(argv[1], "--hold-port") == 0)
        return holdPort(argc, argv);
    ScratchHome home;
    QApplication app(argc, argv);
    TestPortAudit test;
    return QTest::qExec(&test, argc, argv);
}

#include "TestPortAudit.moc"
