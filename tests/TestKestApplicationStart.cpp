// The start-up sequence and its teardowns in-process, against the installed program folder and a private home. One
// application object per process: the build makes one executable of this file per case (KEST_CASE names the test
// function, KEST_PRODUCT_TYPE the product type where the case takes one).
#include "FrameworkMgr.h"
#include "KestApplication/KestApplication.h"
#include "controller/XMLConfigManager.h"
#include "lifecycle/ServiceLifecycle.h"
#include "logical/CheckPort.h"
#include "logical/IdentifyAuth/AuthCfgManager.h"

#include <Base/FileUtil.h>
#include <Base/IdentifyUtil.h>
#include <Base/Log.h>
#include <CommonMethodLib/CommonConfigFileMgr.h>
#include <Framework/Framework.h>

#include "CommonMethod/FileOperation.h"
#include "CommonMethod/Proto/XmlProto.h"
#include "CommonMethod/UserDataPath.h"
#include "TestModal.h"
#include "TestSupport.h"

#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QtTest>

using namespace serverframework;

namespace {

const std::string kStageServer = TAVRIN_STAGE_DIR "/Server/";

QString logText()
{
    return tst::findText(qEnvironmentVariable("XDG_DATA_HOME"), "Framework.S.txt");
}
QString identityStore()
{
    return qEnvironmentVariable("XDG_DATA_HOME") + "/Tavrin/Identify";
}

} // namespace

class TestKestApplicationStart : public QObject
{
    Q_OBJECT
public:
    explicit TestKestApplicationStart(CKestApplication& app)
        : app(app)
    {
    }

private slots:
    void frameworkFirstFailsTearsDown()
    {
        prepare(KEST_PRODUCT_TYPE);
        // A folder where the framework writes its control token: it cannot write one, so its first stage fails.
        QVERIFY(QDir().mkpath(QString::fromStdString(dataDir) + "FrameworkControl.token/kept"));
        tst::ModalAnswerer answerer(true);
        QVERIFY(!app.init());
        QCOMPARE(answerer.seen, QStringList{"serverframework::CWaringDlg: FailedToReadConfigurjfxcxFAf, Information"});
        QVERIFY(app.isServicesUp());

        app.abortStart();
        QVERIFY(!app.isServicesUp());
        const QString log = logText();
        tst::verifyInOrder(log, {"initFrameworkFirst: the control token cannot be written", "Failed start: watchdog stopped.",
                                 "device-manager server stopped", "video server stopped", "Failed start: framework library released.",
                                 "Failed start: end of the event loop queued."});
        QVERIFY(!log.contains("server started"));
    }

    // A held HTTP port: the port dialog says why; cancelling it says that the services stay down and how to start again, and the start ends.
    void heldHttpPortCancelled()
    {
        prepare(KEST_PRODUCT_TYPE);
        QTcpServer holder;
        QVERIFY(holder.listen(QHostAddress::Any, quint16(httpPort)));
        tst::ModalAnswerer answerer(false);
        QVERIFY(!app.init());
        QCOMPARE(answerer.seen.size(), 2);
        QVERIFY2(answerer.seen[0].startsWith("serverframework::CEditPortDlg: ")
                     && answerer.seen[0].contains(QString("HttpPort%1IsHeldBy").arg(httpPort)),
                 qPrintable(answerer.seen[0]));
        QCOMPARE(answerer.seen[1], QString("serverframework::CWaringDlg: Information, PortsCancelledServicesStayDown"));
        app.abortStart();
    }

    // The window's restart path: the tray's restart request, then the window's re-initialisation of the framework library, which an ending host
    // skips: nothing serves and no token stays behind until the process ends, and the service manager (a stand-in here) is told that it restarts.
    void restartWithoutIdentity()
    {
        tst::NotifySocket manager(qEnvironmentVariable("XDG_RUNTIME_DIR") + "/notify.sock");
        start(false);
        endThroughTray([](CFrameworkMgr* tray) {
            emit tray->signalReStartApp();
            serverframework::CCheckPort::instance().reinitFramework();
        });
        const QString log = logText();
        tst::verifyInOrder(log, {"Restart: begin.", "Restart: identity library released.", "the framework's servers are stopped",
                                 "Restart: framework library released.", "Restart: tray object deleted.", "Restart: start after the end requested.",
                                 "Restart: end of the event loop queued.", "The host is ending: the framework library is not started again."});
        QVERIFY(!log.contains("watchdog heartbeat 2") && !QFileInfo::exists(identityStore()));
        QVERIFY(manager.drain().contains("STOPPING=1\nSTATUS=Restarting"));
        QVERIFY(!QFileInfo::exists(QString::fromStdString(dataDir) + "FrameworkControl.token"));
        QTcpSocket client;
        client.connectToHost(QHostAddress::LocalHost, quint16(httpPort));
        QVERIFY(!client.waitForConnected(2000));
    }

    void identityCreatedThenQuitInOrder()
    {
        start(true);
        tagRegCfgInfo record;
        QCOMPARE(Base::IdentifyUtil::ReadIdentifyInfo(record), Base::IdentifyUtil::kOk);
        endThroughTray([](CFrameworkMgr* tray) { emit tray->signalQuitApp(); });
        QVERIFY(!CAuthenticationManager::Instance().isLibInitialised());
        QVERIFY(QMetaObject::invokeMethod(&app, "onQuitApp")); // a second quit (a signal after the tray's) releases nothing again
        const QString log = logText();
        tst::verifyInOrder(log, {"Quit: begin.", "Quit: identity library released.", "watchdog heartbeat 2", "Quit: watchdog stopped.",
                                 "the framework's servers are stopped", "Quit: framework library released.", "Quit: tray object deleted.",
                                 "Quit: end of the event loop queued."});
        QCOMPARE(log.count("the framework's servers are stopped"), 1);
        QCOMPARE(log.count("watchdog heartbeat 2"), 1);
        QVERIFY(!log.contains(record.saltKey) && !log.contains(record.secretKey));
    }

    // A server that cannot listen although nothing lists its port (another socket bound it without listening, after the
    // audit) is moved like a held port of the audit, written, and started on the new port.
    void serverThatCannotListenMoves()
    {
        prepare(KEST_PRODUCT_TYPE);
        XMLConfigManager& config = Base::CSingleton<XMLConfigManager>::Instance();
        config.InitManager(true);
        QTcpSocket squatter;
        QVERIFY(squatter.bind(QHostAddress(QHostAddress::LocalHost), 0));
        const int held = squatter.localPort();
        QVERIFY(config.setWebSocketPort(std::to_string(held)));
        config.reInitPort();

        CServiceLifecycle lifecycle([](bool) {});
        QVERIFY(lifecycle.start(KEST_PRODUCT_TYPE, nullptr, nullptr, [](int) { return true; }));
        config.reInitPort();
        QVERIFY(config.webSocketPort != held);
        QVERIFY(logText().contains(QString("WebSocket port %1 was taken; moved to %2.").arg(held).arg(config.webSocketPort)));
        QTcpSocket client;
        client.connectToHost(QHostAddress::LocalHost, config.webSocketPort);
        QVERIFY(client.waitForConnected(5000));
        client.abort();
        lifecycle.end(CServiceLifecycle::Ending::Quit);
    }

private:
    // User data and log under the private home, the product type in "Setup.xml", and a framework HTTP port free at this moment.
    void prepare(int productType)
    {
        auto& userData = Base::CSingleton<comm_method::CUserDataPath>::Instance();
        QVERIFY(userData.init(kStageServer, "Framework.S", 0, productType));
        QVERIFY(Base::details::CLog::Configure(userData.getPropertiesPath()));
        Base::FileUtil::InitCurExeDirUtf8(kStageServer); // skins from the installed folder
        dataDir = userData.getUserDataDir();
        QVERIFY(!dataDir.empty());

        httpPort = tst::freePort(tst::Bind::AnyAddress);
        std::string content;
        QVERIFY(readFile(content, kStageServer + "maintain/Setup.xml.benchmark"));
        proto::CXmlProto setup;
        QVERIFY(setup.set_str(content));
        QVERIFY(setup.set_int("/Configs/ProductType/Value", productType));
        QVERIFY(setup.set_int("/Configs/ServerPort/Http", httpPort));
        QVERIFY(writeFile(dataDir + "Setup.xml", setup.to_str(0)));

        QVERIFY(Base::CSingleton<comm_methodlib::CCommonConfigFileMgr>::Instance().SetFrameworkHttpPort(httpPort));
    }

    // Started without a dialog; the identity step and its store only for the product types that use it.
    void start(bool identity)
    {
        prepare(KEST_PRODUCT_TYPE);
        tst::ModalAnswerer answerer(true);
        QVERIFY(app.init());
        QCOMPARE(answerer.seen, QStringList());
        QVERIFY(app.isIdentityEnabled() == identity && CAuthenticationManager::Instance().isLibInitialised() == identity);
        QCOMPARE(QFileInfo::exists(identityStore()), identity);
    }

    // The tray's request ends the event loop (after 30 s at the latest), the tray and the services.
    void endThroughTray(void (*request)(CFrameworkMgr*))
    {
        QPointer<CFrameworkMgr> tray;
        for (QWidget* widget : QApplication::topLevelWidgets())
            tray = tray ? tray.data() : qobject_cast<CFrameworkMgr*>(widget);
        QVERIFY(tray);
        QTimer::singleShot(0, [&tray, request] { request(tray); });
        QTimer::singleShot(30000, &app, [this] { app.exit(99); });
        QCOMPARE(app.exec(), 0);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(tray.isNull() && !app.isServicesUp());
    }

    CKestApplication& app;
    std::string dataDir;
    int httpPort = 0;
};

int main(int argc, char** argv)
{
    ScratchHome home;
    if (!home.isValid())
        return 1;
    qunsetenv("NOTIFY_SOCKET");

    CKestApplication app(argc, argv);
    TestKestApplicationStart test(app);
    return QTest::qExec(&test, app.arguments() << QStringLiteral(KEST_CASE));
}

#include "TestKestApplicationStart.moc"
