// A port change on the running host, in-process in the installed folder: the window's dialogs answered from a timer, the web ports probed, the files
// compared. An unsaveable configuration is a read-only bind mount in the process's own mount namespace, which stops root too.
#include "ui/CheckCorretLineEdit.h"
#include "ui/EditPort.h"
#include "ui/EditPortDlg.h"
#include "KestApplication/KestApplication.h"
#include "ui/MainWindow.h"
#include "controller/XMLConfigManager.h"
#include "logical/SimpleProperties.h"
#include "logical/SmsPlugin.h"

#include <Base/FileUtil.h>
#include <Base/Log.h>
#include <CommonMethodLib/CommonConfigFileMgr.h>
#include <Framework/Framework.h>
#include <Platform/Platform.h>

#include "TestModal.h"
#include "TestSupport.h"
#include "CommonMethod/UserDataPath.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

#include <sched.h>
#include <sys/mount.h>

#include <cstdio>

using namespace serverframework;

namespace {

const QString kStage = QStringLiteral(TAVRIN_STAGE_DIR);
bool privateMounts = false;

// The status line of the answer to request on the loopback port; empty when nothing answers.
QByteArray answer(int port, const QByteArray& request)
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, quint16(port));
    if (!socket.waitForConnected(3000))
        return {};
    socket.write(request);
    QByteArray head;
    while (!head.contains("\r\n") && socket.waitForReadyRead(3000))
        head += socket.readAll();
    return head.left(head.indexOf("\r\n"));
}

// Whether HTTP and the WebSocket upgrade answer on these ports.
bool serving(int http, int webSocket)
{
    return answer(http, "GET /api/status HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n") == "HTTP/1.1 200 OK"
           && answer(webSocket, "GET / HTTP/1.1\r\nHost: 127.0.0.1\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
                                "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Version: 13\r\n\r\n")
                  == "HTTP/1.1 101 Switching Protocols";
}

bool released(int port)
{
    return QTcpServer().listen(QHostAddress::Any, quint16(port));
}

// The lines of a file, without the line feeds writeFile pads it with.
QStringList lines(const QString& text)
{
    return text.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

} // namespace

class TestPortChangeHost : public QObject
{
    Q_OBJECT
public:
    explicit TestPortChangeHost(CKestApplication& app)
        : app(app)
    {
    }

private slots:
    void initTestCase()
    {
        auto& userData = Base::CSingleton<comm_method::CUserDataPath>::Instance();
        QVERIFY(userData.init(Base::FileUtil::GetCurExeDir(), "Framework.S", 0, 1));
        QVERIFY(Base::details::CLog::Configure(userData.getPropertiesPath()));
        dataDir = QString::fromStdString(userData.getUserDataDir());
        properties = QString::fromStdString(CSmsPlugin::configPath());
        restartLog = kStage + "/TavrinSMSPlugin/bin/restart.log";
        originalProperties = tst::readBytes(properties);
        QVERIFY(SimpleProperties::Instance().loadLogged(properties.toStdString()));

        // Product type 1 (no identity step), the framework's ports free now.
        http = tst::freePort();
        webSocket = tst::freePort();
        QByteArray setup = tst::readBytes(kStage + "/Server/maintain/Setup.xml.benchmark");
        setup.replace("<Value>0</Value>\n  </ProductType>", "<Value>1</Value>\n  </ProductType>");
        setup.replace("<WebSocket>16101<", "<WebSocket>" + QByteArray::number(webSocket) + "<");
        QVERIFY(tst::writeBytes(dataDir + "Setup.xml", setup));
        QVERIFY(Base::CSingleton<comm_methodlib::CCommonConfigFileMgr>::Instance().SetFrameworkHttpPort(http));

        tst::ModalAnswerer answerer(true);
        QVERIFY(app.init());
        QCOMPARE(answerer.seen, QStringList());
        for (QWidget* widget : QApplication::topLevelWidgets())
            window = window ? window : qobject_cast<CMainWindow*>(widget);
        QVERIFY(window);
        QVERIFY(serving(http, webSocket));
    }

    void cleanupTestCase()
    {
        uninitFramework();
        tst::writeBytes(properties, originalProperties);
        QFile::remove(restartLog);
    }

    void unsavableChangeKeepsEverything_data()
    {
        QTest::addColumn<bool>("twoPortDialog");
        QTest::addColumn<QString>("target");
        QTest::addColumn<QString>("notice");
        // "Setup.xml" and the properties are written before the common configuration fails: both are put back.
        QTest::newRow("settings, read-only common configuration")
            << false << "CommonConfig.xml"
            << "The port settings could not be saved, so nothing was changed. See the log for the reason.";
        QTest::newRow("two ports, read-only user data") << true << ""
                                                        << "The new ports could not be saved. See the log for the reason.";
    }

    void unsavableChangeKeepsEverything()
    {
        QFETCH(bool, twoPortDialog);
        QFETCH(QString, target);
        if (!privateMounts)
            QSKIP("no mount namespace of our own: an unwritable folder cannot be made for root");
        const QStringList files{dataDir + "Setup.xml", dataDir + "CommonConfig.xml", properties, restartLog};
        const QByteArray path = (dataDir + target).toLocal8Bit();
        QVERIFY(::mount(path, path, nullptr, MS_BIND, nullptr) == 0
                && ::mount(nullptr, path, nullptr, MS_BIND | MS_REMOUNT | MS_RDONLY, nullptr) == 0);
        const auto contents = [&files] {
            QList<QByteArray> result;
            for (const QString& file : files)
                result << tst::readBytes(file);
            return result;
        };
        const QList<QByteArray> before = contents();

        QSignalSpy restart(window, &CMainWindow::signalRestarServer);
        const QStringList notices = change(twoPortDialog, tst::freePort(), tst::freePort(), 4554, false);
        QTest::qWait(500); // a restart script would have written its log by now
        const QList<QByteArray> after = contents();
        QVERIFY(::umount2(path.constData(), MNT_DETACH) == 0);

        QTEST(notices.join('|'), "notice");
        QCOMPARE(after, before);
        QCOMPARE(SimpleProperties::Instance().getProperty(kRtspPortKey), std::string("554"));
        QCOMPARE(restart.count(), 0);
        QCOMPARE(window->findChild<QLabel*>("m_HTTPport")->text(), QString::number(http));
        QVERIFY(serving(http, webSocket));
    }

    // The two-port dialog stores the HTTP and WebSocket ports, which take effect with the restart that the port settings dialog offers next: the host
    // ends for the next one to serve on them, and nothing of it serves on after its restart teardown.
    void confirmedChangeMovesTheServices()
    {
        const QString setupBefore = tst::readText(dataDir + "Setup.xml");
        const QString propertiesBefore = tst::readText(properties);
        const int newWebSocket = tst::freePort(), firstHttp = tst::freePort(), newHttp = tst::freePort();
        QCOMPARE(change(true, firstHttp, newWebSocket, 0, false), QStringList{"Restart the computer now to make the new settings take effect."});
        QVERIFY(serving(http, webSocket)); // nothing restarted yet
        QSignalSpy restart(window, &CMainWindow::signalRestarServer);
        QCOMPARE(change(false, newHttp, 0, 4554, true),
                 QStringList{"Saved. On confirming, the services restart on the new ports: the tray icon disappears "
                             "and comes back within a few seconds."});
        QCOMPARE(restart.count(), 1);
        QCOMPARE(runEventLoop(), 0); // the restart's queued quit
        QCOMPARE(app.exitStatusAfterRun(), CKestApplication::RestartExitCode);

        for (const int port : {http, webSocket, newHttp, newWebSocket})
            QVERIFY(released(port));
        QString setupExpected = setupBefore;
        setupExpected.replace(QRegularExpression("<Http>\\d*</Http>"), QString("<Http>%1</Http>").arg(newHttp));
        setupExpected.replace(QRegularExpression("<WebSocket>\\d+</WebSocket>"), QString("<WebSocket>%1</WebSocket>").arg(newWebSocket));
        QCOMPARE(lines(tst::readText(dataDir + "Setup.xml")), lines(setupExpected));
        QCOMPARE(lines(tst::readText(properties)), lines(QString(propertiesBefore).replace("rtspPort = 554 ", "rtspPort = 4554 ")));
        QTRY_VERIFY(tst::readText(restartLog).endsWith("rtspPort=4554\n"));
    }

private:
    // Runs the window's port change (the two-port dialog's or the port settings dialog's) with new ports typed in (0:
    // left as shown), pressing confirm once and cancel when the dialog is back; every notice is answered with restart,
    // and its text returned.
    QStringList change(bool twoPortDialog, int newHttp, int newWebSocket, int newRtsp, bool restart)
    {
        bool confirmed = false;
        const auto fill = [&](QWidget* modal) {
            if (!qobject_cast<CEditPort*>(modal) && !qobject_cast<CEditPortDlg*>(modal))
                return false;
            for (const auto& [name, port] :
                 {std::pair{"m_HttpPortLineEdit", newHttp}, {"m_WebSocketPortLineEdit", newWebSocket}, {"m_pSMSPortLineEdit", newRtsp}}) {
                if (auto* field = modal->findChild<CCheckCorretLineEdit*>(name); field && port)
                    field->setText(QString::number(port));
                else if (auto* line = modal->findChild<QLineEdit*>(name); line && port)
                    line->setText(QString::number(port));
            }
            // Queued: a notice the press opens is answered by the same timer.
            QMetaObject::invokeMethod(modal->findChild<QPushButton*>(confirmed ? "m_CloseBtn" : "m_ConfirmBtn"), "click", Qt::QueuedConnection);
            return confirmed = true;
        };
        return tst::answerModals(
            fill, [&] { twoPortDialog ? window->onEditPort() : window->onModifyPort(); }, restart);
    }

    // The event loop, ended after 30 s at the latest.
    int runEventLoop()
    {
        QTimer::singleShot(30000, &app, [this] { app.exit(99); });
        return app.exec();
    }

    CKestApplication& app;
    CMainWindow* window = nullptr;
    QString dataDir, properties, restartLog;
    QByteArray originalProperties;
    int http = 0, webSocket = 0;
};

int main(int argc, char** argv)
{
    // The host finds its translations, benchmark file and SMS plug-in beside the program: the test runs as a link to itself in the installed folder.
    const std::string exe = platform::executablePath();
    const std::string installed = QFileInfo(kStage + "/Server").canonicalFilePath().toStdString() + "/TestPortChangeHost";
    if (exe != installed) {
        ::unlink(installed.c_str());
        if (::link(exe.c_str(), installed.c_str()) != 0 && !QFile::copy(QString::fromStdString(exe), QString::fromStdString(installed)))
            return 1;
        ::execv(installed.c_str(), argv);
        std::perror(installed.c_str());
        return 1;
    }
    ScratchHome home;
    if (!home.isValid())
        return 1;
    // A stand-in service manager: the restart is left to it.
    tst::NotifySocket manager(home.path() + "/notify.sock");
    // Mounts made by the test stay in this process, and root meets a read-only mount like anyone else.
    privateMounts = ::unshare(CLONE_NEWNS) == 0 && ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
    if (!privateMounts)
        std::perror("no private mount namespace");

    CKestApplication app(argc, argv);
    TestPortChangeHost test(app);
    const int result = QTest::qExec(&test, argc, argv);
    ::unlink(installed.c_str());
    return result;
}

#include "TestPortChangeHost.moc"
