// A port change on the running host, in-process against the installed program
// folder: the window's two dialogs answered from a timer, the web client's
// ports probed, and "Setup.xml", the common configuration and the SMS
// plug-in's properties compared before and after. A configuration that cannot
// be saved is a read-only bind mount or a full tmpfs in the process's own mount
// namespace, which stops root too.
#include "CheckCorretLineEdit.h"
#include "EditPort.h"
#include "EditPortDlg.h"
#include "KestApplication.h"
#include "MainWindow.h"
#include "controller/XMLConfigManager.h"
#include "logical/SimpleProperties.h"

#include <Base/FileUtil.h>
#include <Base/Log.h>
#include <CommonMethodLib/CommonConfigFileMgr.h>
#include <Framework/Framework.h>
#include <Platform.h>

#include "TestModal.h"
#include "TestScratch.h"
#include "TestSupport.h"
#include "UserDataPath.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cstdio>

using namespace serverframework;

namespace {

const QString kStage = QStringLiteral(TAVRIN_STAGE_DIR);
bool privateMounts = false;

// The status line of the answer to request on the loopback port; empty when
// nothing answers.
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

QByteArray httpAnswer(int port)
{
    return answer(port, "GET /api/status HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
}

QByteArray webSocketAnswer(int port)
{
    return answer(port, "GET / HTTP/1.1\r\nHost: 127.0.0.1\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
                        "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Version: 13\r\n\r\n");
}

bool released(int port)
{
    QTcpServer server;
    return server.listen(QHostAddress::Any, quint16(port));
}

// The lines of a file, without the line feeds writeFile pads it with.
QStringList lines(const QString& text)
{
    QStringList result = text.split(QLatin1Char('\n'));
    while (!result.isEmpty() && result.last().isEmpty())
        result.removeLast();
    return result;
}

CMainWindow* mainWindow()
{
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* window = qobject_cast<CMainWindow*>(widget))
            return window;
    }
    return nullptr;
}

} // namespace

class TestPortChangeHost : public QObject
{
    Q_OBJECT
public:
    explicit TestPortChangeHost(CKestApplication& app) : app(app) {}

private slots:
    void initTestCase()
    {
        auto& userData = Base::CSingleton<comm_method::CUserDataPath>::Instance();
        QVERIFY(userData.init(Base::FileUtil::GetCurExeDir(), "Framework.S", 0, 1));
        QVERIFY(Base::details::CLog::Configure(userData.getPropertiesPath()));
        dataDir = QString::fromStdString(userData.getUserDataDir());
        properties = QString::fromStdString(SimpleProperties::smsConfigPath());
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
        window = mainWindow();
        QVERIFY(window);
        QCOMPARE(httpAnswer(http), QByteArray("HTTP/1.1 200 OK"));
        QCOMPARE(webSocketAnswer(webSocket), QByteArray("HTTP/1.1 101 Switching Protocols"));
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
        QTest::addColumn<QString>("folder");
        QTest::addColumn<bool>("full"); // a full tmpfs, else a read-only bind mount
        QTest::addColumn<QString>("notice");
        const QString settings = "The port settings could not be saved, so nothing was changed. See the log for the reason.";
        QTest::newRow("settings, read-only user data") << false << "data" << false << settings;
        // "Setup.xml" and the properties are written before the common
        // configuration fails: both are put back.
        QTest::newRow("settings, read-only common configuration") << false << "common" << false << settings;
        QTest::newRow("settings, full plug-in folder") << false << "plug-in" << true << settings;
        QTest::newRow("two ports, read-only user data") << true << "data" << false
                                                        << "The new ports could not be saved. See the log for the reason.";
    }

    void unsavableChangeKeepsEverything()
    {
        QFETCH(bool, twoPortDialog);
        QFETCH(QString, folder);
        QFETCH(bool, full);
        QFETCH(QString, notice);
        if (!privateMounts)
            QSKIP("no mount namespace of our own: an unwritable folder cannot be made for root");
        const QStringList files{dataDir + "Setup.xml", dataDir + "CommonConfig.xml", properties, restartLog};
        const QString target = folder == "data"     ? dataDir
                               : folder == "common" ? dataDir + "CommonConfig.xml"
                                                    : QFileInfo(properties).absolutePath();
        QVERIFY(mountUnwritable(target, full));
        QList<QByteArray> before;
        for (const QString& file : files)
            before << tst::readBytes(file);

        QSignalSpy restart(window, &CMainWindow::signalRestarServer);
        const QStringList notices = change(twoPortDialog, tst::freePort(), tst::freePort(), 4554, false);
        QTest::qWait(500); // a restart script would have written its log by now
        QList<QByteArray> after;
        for (const QString& file : files)
            after << tst::readBytes(file);
        QVERIFY(::umount2(target.toLocal8Bit().constData(), MNT_DETACH) == 0);

        QCOMPARE(notices, QStringList{notice});
        QCOMPARE(after, before);
        QCOMPARE(SimpleProperties::Instance().getProperty(kRtspPortKey), std::string("554"));
        QCOMPARE(restart.count(), 0);
        QCOMPARE(window->findChild<QLabel*>("m_HTTPport")->text(), QString::number(http));
        QCOMPARE(httpAnswer(http), QByteArray("HTTP/1.1 200 OK"));
        QCOMPARE(webSocketAnswer(webSocket), QByteArray("HTTP/1.1 101 Switching Protocols"));
    }

    // The two-port dialog stores the HTTP and WebSocket ports, which take
    // effect with the restart that the port settings dialog offers next.
    void confirmedChangeMovesTheServices()
    {
        const QString setupBefore = tst::readText(dataDir + "Setup.xml");
        const QString propertiesBefore = tst::readText(properties);
        const int newWebSocket = tst::freePort();
        const int firstHttp = tst::freePort();
        const int newHttp = tst::freePort();
        QCOMPARE(change(true, firstHttp, newWebSocket, 0, false),
                 QStringList{"Restart the computer now to make the new settings take effect."});
        QCOMPARE(httpAnswer(http), QByteArray("HTTP/1.1 200 OK")); // nothing restarted yet
        QSignalSpy restart(window, &CMainWindow::signalRestarServer);
        QCOMPARE(change(false, newHttp, 0, 4554, true), QStringList{"Saved. Please restart the client."});
        QCOMPARE(restart.count(), 1);
        QCOMPARE(runEventLoop(), 0); // the restart's queued quit

        QCOMPARE(httpAnswer(newHttp), QByteArray("HTTP/1.1 200 OK"));
        QCOMPARE(webSocketAnswer(newWebSocket), QByteArray("HTTP/1.1 101 Switching Protocols"));
        QVERIFY(released(http));
        QVERIFY(released(webSocket));
        QString setupExpected = setupBefore;
        setupExpected.replace(QRegularExpression("<Http>\\d*</Http>"), QString("<Http>%1</Http>").arg(newHttp));
        setupExpected.replace(QRegularExpression("<WebSocket>\\d+</WebSocket>"),
                              QString("<WebSocket>%1</WebSocket>").arg(newWebSocket));
        QCOMPARE(lines(tst::readText(dataDir + "Setup.xml")), lines(setupExpected));
        QCOMPARE(lines(tst::readText(properties)),
                 lines(QString(propertiesBefore).replace("rtspPort = 554 ", "rtspPort = 4554 ")));
        QTRY_VERIFY(tst::readText(restartLog).endsWith("rtspPort=4554\n"));
    }

private:
    // Mounts a read-only view of a file or folder, or a full tmpfs holding
    // copies of a folder's files, over it.
    bool mountUnwritable(const QString& folder, bool full)
    {
        const QByteArray path = folder.toLocal8Bit();
        if (!full)
            return ::mount(path, path, nullptr, MS_BIND, nullptr) == 0
                   && ::mount(nullptr, path, nullptr, MS_BIND | MS_REMOUNT | MS_RDONLY, nullptr) == 0;
        QMap<QString, QByteArray> files;
        for (const QString& name : QDir(folder).entryList(QDir::Files))
            files[name] = tst::readBytes(folder + "/" + name);
        if (::mount("tmpfs", path, "tmpfs", 0, "size=64k") != 0)
            return false;
        for (auto it = files.cbegin(); it != files.cend(); ++it)
            tst::writeBytes(folder + "/" + it.key(), it.value());
        QFile filler(folder + "/filler");
        if (!filler.open(QIODevice::WriteOnly))
            return false;
        while (filler.write(QByteArray(4096, 'x')) > 0 && filler.flush()) {
        }
        return true;
    }

    // Runs the window's port change (the two-port dialog's or the port
    // settings dialog's) with new ports typed in (0: left as shown), pressing
    // confirm once and cancel when the dialog is back; every notice is
    // answered with restart, and its text returned.
    QStringList change(bool twoPortDialog, int newHttp, int newWebSocket, int newRtsp, bool restart)
    {
        QStringList notices;
        bool confirmed = false;
        QTimer user;
        connect(&user, &QTimer::timeout, [&] {
            QWidget* modal = QApplication::activeModalWidget();
            const auto type = [modal](const char* name, int port) {
                if (auto* field = modal->findChild<CCheckCorretLineEdit*>(name); field && port)
                    field->setText(QString::number(port));
                else if (auto* line = modal->findChild<QLineEdit*>(name); line && port)
                    line->setText(QString::number(port));
            };
            if (qobject_cast<CEditPort*>(modal) || qobject_cast<CEditPortDlg*>(modal)) {
                type("m_HttpPortLineEdit", newHttp);
                type("m_WebSocketPortLineEdit", newWebSocket);
                type("m_pSMSPortLineEdit", newRtsp);
                // Queued: a notice the press opens is answered by this timer too.
                QMetaObject::invokeMethod(modal->findChild<QPushButton*>(confirmed ? "m_CloseBtn" : "m_ConfirmBtn"),
                                          "click", Qt::QueuedConnection);
                confirmed = true;
            } else if (modal) {
                notices << modal->findChild<QLabel*>("m_WaringText")->text();
                QMetaObject::invokeMethod(modal, restart ? "accept" : "reject", Qt::QueuedConnection);
            }
        });
        user.start(20);
        if (twoPortDialog)
            window->onEditPort();
        else
            window->onModifyPort();
        return notices;
    }

    // The event loop, ended after 30 s at the latest.
    int runEventLoop()
    {
        QTimer::singleShot(30000, &app, [this] { app.exit(99); });
        return app.exec();
    }

    CKestApplication& app;
    CMainWindow* window = nullptr;
    QString dataDir;
    QString properties;
    QString restartLog;
    QByteArray originalProperties;
    int http = 0;
    int webSocket = 0;
};

int main(int argc, char** argv)
{
    // The host finds its translations, benchmark file and SMS plug-in beside
    // the program: the test runs as a link to itself in the installed folder.
    const std::string exe = platform::executablePath();
    const std::string installed = QFileInfo(kStage + "/Server").canonicalFilePath().toStdString() + "/TestPortChangeHost";
    if (exe != installed) {
        ::unlink(installed.c_str());
        if (::link(exe.c_str(), installed.c_str()) != 0 && !QFile::copy(QString::fromStdString(exe),
                                                                         QString::fromStdString(installed)))
            return 1;
        ::execv(installed.c_str(), argv);
        std::perror(installed.c_str());
        return 1;
    }
    ScratchHome home;
    if (!home.isValid())
        return 1;
    qunsetenv("NOTIFY_SOCKET");
    // Mounts made by the test stay in this process, and root meets a
    // read-only mount like anyone else.
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
