// The tray object and the service management window on the offscreen
// platform, with the shipped skins and translations: widgets are found by
// object name, modal dialogs answered from timers.

#include "CheckCorretLineEdit.h"
#include "EditPort.h"
#include "EditPortDlg.h"
#include "FrameworkMgr.h"
#include "MainWindow.h"
#include "QssReloadNotifyMgr.h"
#include "SignalSet.h"
#include "SkinLoader.h"
#include "TestModal.h"
#include "TestScratch.h"
#include "TestShippedContent.h"
#include "TestSupport.h"
#include "UserDataPath.h"
#include "controller/XMLConfigManager.h"
#include "logical/IdentifyAuth/AuthCfgManager.h"
#include "logical/SimpleProperties.h"

#include <Base/IdentifyUtil.h>
#include <Framework/Framework.h>
#include <Platform.h>
#include <SQLite/SQLite3Conn.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QSystemTrayIcon>
#include <QTcpServer>
#include <QtTest>

using namespace serverframework;

namespace {

const QString kRcc = QStringLiteral(TAVRIN_BUILD_DIR "/Server/rcc");
const QString kTranslations = QStringLiteral(TAVRIN_BUILD_DIR "/Server/translations");

template <typename T>
T* child(QWidget* window, const char* name)
{
    T* widget = window->findChild<T*>(QString::fromLatin1(name));
    if (!widget)
        qWarning("no widget %s", name);
    return widget;
}

QString text(QWidget* window, const char* name)
{
    if (auto* label = window->findChild<QLabel*>(QString::fromLatin1(name)))
        return label->text();
    if (auto* button = window->findChild<QAbstractButton*>(QString::fromLatin1(name)))
        return button->text();
    return QStringLiteral("<no %1>").arg(QString::fromLatin1(name));
}

// The machine-wide autostart entry of the host, as the desktop reads it.
QString autostartEntry()
{
    const QString dirs = qEnvironmentVariable("XDG_CONFIG_DIRS");
    return dirs.section(QLatin1Char(':'), 0, 0) + QStringLiteral("/autostart/TavrinServer.desktop");
}

// The rows of the auto-launch table; "none" when it cannot be read.
QString storedRows(const QString& database)
{
    CSQLite3Conn connection;
    CSQLite3Recordset rows;
    if (!connection.Open(database.toStdString(), false, std::string())
        || !connection.Execute("SELECT EnableAutoRun FROM AutoRunConfig", rows))
        return QStringLiteral("none");
    QStringList values;
    while (rows.HasRow() && values.size() < rows.RowCount()) {
        values << QString::number(rows.GetInt(0));
        rows.MoveNext();
    }
    return values.join(QLatin1Char(','));
}

QPixmap logoOf(QWidget* window)
{
    return child<QLabel>(window, "m_serverLogo")->pixmap(Qt::ReturnByValue);
}

QRgb accentOfCurrentSkin()
{
    return QImage(QStringLiteral(":/FrameworkGui/TrayIcon/Image/server 24.png")).pixel(12, 2);
}

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // Held before the port snapshot is taken (the first port check).
        QVERIFY(held.listen(QHostAddress::LocalHost));
        QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
        QVERIFY(scratch.isValid());
        QVERIFY(Base::CSingleton<comm_method::CUserDataPath>::Instance().init(
            scratch.path().toStdString() + "/", "Framework.S", 0, 0));
        QVERIFY(loadSkin("GreyRedSkin", kRcc.toStdString()));
        switchLanguage(QStringLiteral("English"));
        SimpleProperties::Instance().addProperty(kRtspPortKey, "554");
        cleanup();
    }

    void cleanup()
    {
        XMLConfigManager& config = Base::CSingleton<XMLConfigManager>::Instance();
        config.httpPort = 16100;
        config.videoWallPort = 18018;
        config.productType = 0;
        config.versionType = 0;
        SimpleProperties::Instance().setProperty(kRtspPortKey, "554");
    }

    void showsPortsAndBranding_data()
    {
        QTest::addColumn<int>("productType");
        QTest::addColumn<int>("versionType");
        QTest::addColumn<QString>("rtsp");
        QTest::addColumn<QString>("title");
        QTest::addColumn<bool>("videoWallCaption");
        QTest::addColumn<bool>("logo");
        QTest::newRow("type 0") << 0 << 0 << "8554" << "Tavrin.Framework.S" << true << true;
        QTest::newRow("type 3 hides the video wall caption") << 3 << 0 << "1554" << "Tavrin.Framework.S" << false
                                                              << true;
        QTest::newRow("second branding") << 1 << 1 << "554" << "Orbelle.Framework.S" << true << false;
        QTest::newRow("no RTSP port") << 2 << 0 << "" << "Tavrin.Framework.S" << true << true;
    }

    void showsPortsAndBranding()
    {
        QFETCH(int, productType);
        QFETCH(int, versionType);
        QFETCH(QString, rtsp);
        QFETCH(QString, title);
        QFETCH(bool, videoWallCaption);
        QFETCH(bool, logo);
        XMLConfigManager& config = Base::CSingleton<XMLConfigManager>::Instance();
        config.productType = productType;
        config.versionType = versionType;
        config.httpPort = 16200 + productType;
        config.videoWallPort = 18100 + productType;
        SimpleProperties::Instance().setProperty(kRtspPortKey, rtsp.toStdString());

        CMainWindow window(nullptr, options(false));
        QCOMPARE(window.windowTitle(), title);
        QCOMPARE(text(&window, "m_HTTPport"), QString::number(16200 + productType));
        QCOMPARE(text(&window, "m_TamsaCMSPort"), QString::number(18100 + productType));
        QCOMPARE(text(&window, "m_SMSPortLabel"), QString::number(rtsp.toInt()));
        QCOMPARE(!child<QLabel>(&window, "label_11")->isHidden(), videoWallCaption);
        QCOMPARE(!child<QLabel>(&window, "m_serverLogo")->isHidden(), logo);
    }

    void clockFormatsTheRunTime_data()
    {
        QTest::addColumn<int>("ticks");
        QTest::addColumn<QString>("shown");
        QTest::newRow("start") << 0 << "00:00:00";
        QTest::newRow("last second of an hour") << 3599 << "00:59:59";
        QTest::newRow("last second of a day") << 86399 << "23:59:59";
        QTest::newRow("a day") << 86400 << "1d 00:00:00";
        QTest::newRow("two days and a bit") << 2 * 86400 + 3661 << "2d 01:01:01";
    }

    void clockFormatsTheRunTime()
    {
        QFETCH(int, ticks);
        QFETCH(QString, shown);
        CMainWindowOptions slow = options(false);
        slow.clockPeriodMs = 3600 * 1000;
        CMainWindow window(nullptr, slow);
        for (int i = 0; i < ticks; ++i)
            window.onUpdateTime();
        QCOMPARE(text(&window, "m_timeShow"), shown);
    }

    void clockRunsWithItsPeriodWhileHidden()
    {
        CMainWindowOptions fast = options(false);
        fast.clockPeriodMs = 10;
        CMainWindow window(nullptr, fast);
        QVERIFY(window.isHidden());
        // With the default period the clock would still read 00:00:00.
        QTRY_VERIFY_WITH_TIMEOUT(QTime::fromString(text(&window, "m_timeShow"), QStringLiteral("hh:mm:ss")).second()
                                     >= 5,
                                 900);
    }

    void closeAndMinimiseOnlyHideAndTheWindowDrags()
    {
        QPointer<CMainWindow> window = new CMainWindow(nullptr, options(false));
        window->move(100, 100);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        QTest::mouseClick(child<QPushButton>(window, "closeBtn"), Qt::LeftButton);
        QTRY_VERIFY(window->isHidden());
        window->show();
        window->onMinShow();
        QVERIFY(window && window->isHidden());

        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        const QPoint start = window->pos();
        const QPoint grip(200, 20);
        QMouseEvent press(QEvent::MouseButtonPress, grip, window->mapToGlobal(grip), Qt::LeftButton,
                          Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(window, &press);
        QMouseEvent move(QEvent::MouseMove, grip, window->mapToGlobal(grip) + QPoint(30, 40), Qt::NoButton,
                         Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(window, &move);
        QMouseEvent release(QEvent::MouseButtonRelease, grip, window->mapToGlobal(grip) + QPoint(30, 40),
                            Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(window, &release);
        QCOMPARE(window->pos(), start + QPoint(30, 40));
        delete window;
    }

    void quitClosesTheClientFirst_data()
    {
        QTest::addColumn<bool>("clientRunning");
        QTest::newRow("client running") << true;
        QTest::newRow("no client") << false;
    }

    void quitClosesTheClientFirst()
    {
        QFETCH(bool, clientRunning);
        QProcess client;
        if (clientRunning) {
            const QString image = scratch.path() + QStringLiteral("/TavrinClient");
            QVERIFY(QFile::exists(image) || QFile::copy(QStringLiteral("/bin/sleep"), image));
            client.start(image, {QStringLiteral("60")});
            QVERIFY(client.waitForStarted());
        }
        CMainWindow window(nullptr, options(false));
        QSignalSpy closeFrame(&CSignalSet::Instance(), &CSignalSet::signalCloseFrame);
        window.onCloseApp();
        QCOMPARE(closeFrame.count(), clientRunning ? 0 : 1);
        if (clientRunning) {
            QVERIFY(client.waitForFinished(5000));
            QCOMPARE(client.exitStatus(), QProcess::CrashExit); // ended by a signal
        }
    }

    void autoLaunch_data()
    {
        QTest::addColumn<bool>("admin");
        QTest::addColumn<QString>("stored"); // "none": no database; "empty": a table without rows
        QTest::addColumn<QString>("entryBefore");
        QTest::addColumn<int>("flag");       // onAutoRun after construction; -1: none
        QTest::addColumn<QString>("rowAfter");
        QTest::addColumn<QString>("entryAfter"); // "": no entry; "app": this program

        QTest::newRow("admin on: a moved installation is registered again")
            << true << "1" << "/old/place/Palvex.Framework.S" << -1 << "1" << "app";
        QTest::newRow("admin turns it on") << true << "0" << "" << int(Qt::Checked) << "1" << "app";
        QTest::newRow("admin turns it off") << true << "1" << "" << int(Qt::Unchecked) << "0" << "";
        QTest::newRow("admin stored off leaves the entry") << true << "0" << "/old/x" << -1 << "0" << "/old/x";
        QTest::newRow("admin empty table heals to off") << true << "empty" << "/old/x" << -1 << "0" << "";
        QTest::newRow("admin new database") << true << "none" << "" << -1 << "0" << "";
        QTest::newRow("user: only the row changes") << false << "1" << "/old/x" << int(Qt::Checked) << "0"
                                                    << "/old/x";
        QTest::newRow("user stored on is kept") << false << "1" << "/old/x" << -1 << "1" << "/old/x";
        QTest::newRow("user empty table heals to off") << false << "empty" << "/old/x" << -1 << "0" << "/old/x";
    }

    void autoLaunch()
    {
        QFETCH(bool, admin);
        QFETCH(QString, stored);
        QFETCH(QString, entryBefore);
        QFETCH(int, flag);
        QFETCH(QString, rowAfter);
        QFETCH(QString, entryAfter);

        QTemporaryDir folder;
        const QString database = folder.filePath(QStringLiteral("System"));
        if (stored != QLatin1String("none")) {
            CSQLite3Conn connection;
            QVERIFY(connection.Open(database.toStdString(), true, std::string()));
            QVERIFY(connection.Execute("CREATE TABLE AutoRunConfig (EnableAutoRun INTEGER)"));
            if (stored != QLatin1String("empty"))
                QVERIFY(connection.Execute("INSERT INTO AutoRunConfig VALUES (" + stored.toStdString() + ")"));
        }
        QFile::remove(autostartEntry());
        if (!entryBefore.isEmpty())
            QVERIFY(platform::setRegistryString(platform::kMachineRunKey, platform::RegistryView::Bits32,
                                                "TavrinServer", entryBefore.toStdString()));

        CMainWindow window(nullptr, options(admin, database));
        if (flag >= 0)
            window.onAutoRun(flag);

        QCOMPARE(storedRows(database), rowAfter);
        QCOMPARE(window.IsAutoRunEnabled(), rowAfter == QLatin1String("1"));
        const QString entry = tst::readText(autostartEntry());
        if (entryAfter.isEmpty()) {
            QVERIFY2(entry.isEmpty(), qPrintable(entry));
        } else {
            const QString program = entryAfter == QLatin1String("app") ? QCoreApplication::applicationFilePath()
                                                                        : entryAfter;
            QVERIFY2(entry.contains(QStringLiteral("\nExec=\"%1\"\n").arg(program)), qPrintable(entry));
        }
    }

    void autoLaunchWithAnUnusableDatabase_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("folder missing") << "missing";
        QTest::newRow("a folder in its place") << "folder";
        QTest::newRow("not a database") << "garbage";
    }

    void autoLaunchWithAnUnusableDatabase()
    {
        QFETCH(QString, kind);
        QTemporaryDir folder;
        QString database = folder.filePath(QStringLiteral("System"));
        if (kind == QLatin1String("missing"))
            database = folder.filePath(QStringLiteral("gone/System"));
        else if (kind == QLatin1String("folder"))
            QVERIFY(QDir().mkpath(database));
        else
            QVERIFY(tst::writeBytes(database, QByteArray(4096, 'x')));
        QVERIFY(platform::setRegistryString(platform::kMachineRunKey, platform::RegistryView::Bits32,
                                            "TavrinServer", "/old/x"));

        CMainWindow window(nullptr, options(true, database));
        QVERIFY(!window.IsAutoRunEnabled());
        // What cannot be read is not taken for "off": the entry stays.
        QVERIFY(tst::readText(autostartEntry()).contains(QStringLiteral("Exec=\"/old/x\"")));
        if (kind == QLatin1String("garbage"))
            QCOMPARE(tst::readBytes(database), QByteArray(4096, 'x'));
    }

    void exportIdentity_data()
    {
        QTest::addColumn<bool>("record");
        QTest::addColumn<QString>("target"); // relative to a scratch folder
        QTest::addColumn<bool>("oldFile");
        QTest::addColumn<QString>("notice");
        QTest::newRow("exported") << true << "identity.xml" << false << "Exported successfully.";
        QTest::newRow("replaces an old file") << true << "identity.xml" << true << "Exported successfully.";
        QTest::newRow("folder missing") << true << "gone/identity.xml" << false
                                        << "The export failed. See the log for the reason.";
        QTest::newRow("no record keeps the old file") << false << "identity.xml" << true
                                                      << "The export failed. See the log for the reason.";
    }

    void exportIdentity()
    {
        QFETCH(bool, record);
        QFETCH(QString, target);
        QFETCH(bool, oldFile);
        QFETCH(QString, notice);
        QTemporaryDir store;
        Base::IdentifyUtil::ReleaseIdentifyLib();
        Base::IdentifyUtil::InitIdentifyLib(store.path().toStdString());
        if (record)
            CAuthenticationManager::Instance().CreateIdentifyInfo();
        QTemporaryDir folder;
        const QString path = folder.filePath(target);
        if (oldFile)
            QVERIFY(tst::writeBytes(path, "old"));

        CMainWindow window(nullptr, options(false));
        QTimer chooser;
        connect(&chooser, &QTimer::timeout, [&] {
            if (auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) {
                dialog->setOption(QFileDialog::DontConfirmOverwrite);
                dialog->selectFile(path);
                QMetaObject::invokeMethod(dialog, "accept");
            }
        });
        chooser.start(20);
        tst::ModalAnswerer answerer(true);
        window.onExportServerAuthSetting();

        QVERIFY2(answerer.labels.contains(notice), qPrintable(answerer.seen.join('\n')));
        const QString written = tst::readText(path);
        if (notice.startsWith(QLatin1String("Exported"))) {
            QVERIFY(written.contains(QLatin1String("<Identify>")));
        } else {
            QCOMPARE(written, QString(oldFile ? "old" : ""));
            QCOMPARE(QDir(QFileInfo(path).absolutePath()).entryList(QDir::Files | QDir::Hidden).size(),
                     oldFile ? 1 : 0);
        }
        Base::IdentifyUtil::ReleaseIdentifyLib();
    }

    void trayMenuAndRequests()
    {
        CFrameworkMgr tray;
        auto* icon = tray.findChild<QSystemTrayIcon*>();
        QVERIFY(icon && icon->isVisible() && icon->contextMenu());
        QMenu* menu = icon->contextMenu();
        QStringList entries;
        for (QAction* action : menu->actions())
            entries << QStringLiteral("%1=%2").arg(action->text()).arg(action->data().toInt());
        QCOMPARE(entries, QStringList({"Service Manager=0", "Open Client=5", "Quit=2"}));

        CMainWindow* window = mainWindow();
        QVERIFY(window && window->isHidden());
        menu->actions().at(0)->trigger();
        QVERIFY(window->isVisible());
        menu->actions().at(0)->trigger(); // already shown: nothing changes
        QVERIFY(window->isVisible());

        QSignalSpy closeFrame(&CSignalSet::Instance(), &CSignalSet::signalCloseFrame);
        menu->actions().at(2)->trigger(); // through the window's own quit
        QCOMPARE(closeFrame.count(), 1);

        QSignalSpy quit(&tray, &CFrameworkMgr::signalQuitApp);
        QSignalSpy restart(&tray, &CFrameworkMgr::signalReStartApp);
        QMetaObject::invokeMethod(window, "singnalAppClose");
        QMetaObject::invokeMethod(window, "signalModifyAppIConTip");
        QCOMPARE(icon->toolTip(), QStringLiteral("Quit Palvex"));
        QMetaObject::invokeMethod(window, "signalRestarServer");
        QCOMPARE(quit.count(), 1);
        QCOMPARE(restart.count(), 1);
        QVERIFY(window->isHidden());
    }

    void languageSwitchRetranslatesMenuAndWindow()
    {
        CFrameworkMgr tray;
        QMenu* menu = tray.findChild<QSystemTrayIcon*>()->contextMenu();
        CMainWindow* window = mainWindow();
        QVERIFY(window);
        window->onUpdateTime();

        switchLanguage(QStringLiteral("Chinese"));
        QStringList entries;
        for (QAction* action : menu->actions())
            entries << action->text();
        QCOMPARE(entries, QStringList({"服务管理", "打开客户端", "退出"}));
        QCOMPARE(text(window, "m_HttpLabel"), QStringLiteral("HTTP端口号"));
        QCOMPARE(text(window, "m_timeShow"), QStringLiteral("00:00:01"));

        switchLanguage(QStringLiteral("English"));
        QCOMPARE(menu->actions().at(0)->text(), QStringLiteral("Service Manager"));
        QCOMPARE(text(window, "m_HttpLabel"), QStringLiteral("HTTP port"));
    }

    void skinSwitchChangesTheImages()
    {
        CMainWindow window(nullptr, options(false));
        const QRgb greyRed = accentOfCurrentSkin();
        QCOMPARE(logoOf(&window).toImage().pixel(12, 2), greyRed);
        const QString greyRedStyle = window.styleSheet();

        QVERIFY(loadSkin("BlueSkin", kRcc.toStdString()));
        const QRgb blue = accentOfCurrentSkin();
        QVERIFY(blue != greyRed);
        QVERIFY(comm_method::CQssReloadNotifyMgr::Instance().NotifyQssReload("BlueSkin"));
        QTRY_COMPARE(logoOf(&window).toImage().pixel(12, 2), blue);
        QVERIFY(window.styleSheet() != greyRedStyle);
        QVERIFY(window.styleSheet().contains(QLatin1String("Blue skin")));

        QVERIFY(loadSkin("GreyRedSkin", kRcc.toStdString()));
    }

    void twoPortDialogNeedsBothPorts_data()
    {
        QTest::addColumn<QString>("http");
        QTest::addColumn<QString>("webSocket");
        QTest::addColumn<bool>("external");
        QTest::addColumn<int>("result"); // -1: still open
        QTest::newRow("both") << "8080" << "8081" << false << 1;
        QTest::newRow("no WebSocket port") << "8080" << "" << true << -1;
        QTest::newRow("no HTTP port") << "" << "8081" << false << -1;
    }

    void twoPortDialogNeedsBothPorts()
    {
        QFETCH(QString, http);
        QFETCH(QString, webSocket);
        QFETCH(bool, external);
        QFETCH(int, result);
        CEditPort dialog;
        dialog.show();
        auto* ip = child<QLineEdit>(&dialog, "m_pLineEditIP");
        QVERIFY(!ip->isVisible());
        child<QCheckBox>(&dialog, "m_pChkEnabled")->setChecked(external);
        QCOMPARE(ip->isVisible(), external);
        QCOMPARE(child<QLineEdit>(&dialog, "m_pLineEditImageServerPort")->isVisible(), external);
        dialog.setPorts(http, webSocket);
        QSignalSpy finished(&dialog, &QDialog::finished);
        QTest::mouseClick(child<QPushButton>(&dialog, "m_ConfirmBtn"), Qt::LeftButton);
        QCOMPARE(finished.count(), result < 0 ? 0 : 1);
        QCOMPARE(dialog.isVisible(), result < 0);
    }

    void editPortChecksAndWrites_data()
    {
        QTest::addColumn<QString>("http"); // "held": the port this test holds
        QTest::addColumn<QString>("webSocket");
        QTest::addColumn<bool>("confirm");
        QTest::addColumn<QString>("notice");
        QTest::addColumn<bool>("stored");
        const QString reboot = "Restart the computer now to make the new settings take effect.";
        QTest::newRow("cancelled") << "16500" << "16501" << false << "" << false;
        QTest::newRow("unchanged") << "16100" << "18018" << true << "" << false;
        QTest::newRow("HTTP port taken") << "held" << "16501" << true
                                         << "The HTTP port is in use. Please set a new one." << false;
        QTest::newRow("WebSocket port taken") << "16100" << "held" << true
                                              << "The WebSocket port is in use. Please set a new one." << false;
        QTest::newRow("both free") << "16500" << "16501" << true << reboot << true;
        QTest::newRow("only the WebSocket port") << "16100" << "16502" << true << reboot << true;
        QTest::newRow("configuration cannot be saved") << "16500" << "16501" << true
                                                       << "The new ports could not be saved. See the log for the reason."
                                                       << false;
    }

    void editPortChecksAndWrites()
    {
        QFETCH(QString, http);
        QFETCH(QString, webSocket);
        QFETCH(bool, confirm);
        QFETCH(QString, notice);
        QFETCH(bool, stored);
        const QString heldPort = QString::number(held.serverPort());
        http.replace(QLatin1String("held"), heldPort);
        webSocket.replace(QLatin1String("held"), heldPort);

        const QString dataDir =
            QString::fromStdString(Base::CSingleton<comm_method::CUserDataPath>::Instance().getUserDataDir());
        const QString setup = dataDir + QStringLiteral("Setup.xml");
        const QString common = dataDir + QStringLiteral("CommonConfig.xml");
        QFile::remove(common);
        QDir(setup).removeRecursively();
        QFile::remove(setup);
        if (QTest::currentDataTag() == QLatin1String("configuration cannot be saved"))
            QVERIFY(QDir().mkpath(setup)); // a folder where the file should be
        else
            QVERIFY(QFile::copy(QStringLiteral(TAVRIN_SOURCE_DIR "/Install/maintain/Setup.xml.benchmark"), setup));
        const QByteArray setupBefore = tst::readBytes(setup);

        CMainWindow window(nullptr, options(false));
        QStringList notices;
        QTimer user;
        connect(&user, &QTimer::timeout, [&] {
            QWidget* modal = QApplication::activeModalWidget();
            if (auto* dialog = qobject_cast<CEditPort*>(modal)) {
                child<QLineEdit>(dialog, "m_HttpPortLineEdit")->setText(http);
                child<QLineEdit>(dialog, "m_WebSocketPortLineEdit")->setText(webSocket);
                QTest::mouseClick(child<QPushButton>(dialog, confirm ? "m_ConfirmBtn" : "m_CloseBtn"), Qt::LeftButton);
            } else if (modal) {
                notices << child<QLabel>(modal, "m_WaringText")->text();
                QMetaObject::invokeMethod(modal, "accept", Qt::QueuedConnection);
            }
        });
        user.start(20);
        window.onEditPort();

        QCOMPARE(notices, notice.isEmpty() ? QStringList() : QStringList{notice});
        QCOMPARE(text(&window, "m_HTTPport"), stored ? http : QStringLiteral("16100"));
        QCOMPARE(text(&window, "m_TamsaCMSPort"), stored ? webSocket : QStringLiteral("18018"));
        const QString setupAfter = tst::readText(setup);
        QCOMPARE(setupAfter.contains(QStringLiteral("<WebSocket>%1</WebSocket>").arg(webSocket)), stored);
        if (!stored) {
            QCOMPARE(tst::readBytes(setup), setupBefore);
            QVERIFY(!tst::readText(common).contains(QStringLiteral(">%1<").arg(http)));
        } else {
            QVERIFY(tst::readText(common).contains(QStringLiteral(">%1<").arg(http)));
        }
    }

    void modifyPortSavesThenOffersTheRestart_data()
    {
        QTest::addColumn<bool>("shown");
        QTest::addColumn<bool>("restart");
        QTest::newRow("hidden window, restart declined") << false << false;
        QTest::newRow("shown window, restart confirmed") << true << true;
    }

    void modifyPortSavesThenOffersTheRestart()
    {
        QFETCH(bool, shown);
        QFETCH(bool, restart);
        const QString dataDir =
            QString::fromStdString(Base::CSingleton<comm_method::CUserDataPath>::Instance().getUserDataDir());
        const QString setup = dataDir + QStringLiteral("Setup.xml");
        QDir(setup).removeRecursively();
        QFile::remove(setup);
        QVERIFY(QFile::copy(QStringLiteral(TAVRIN_SOURCE_DIR "/Install/maintain/Setup.xml.benchmark"), setup));
        QFile::setPermissions(setup, QFile::ReadOwner | QFile::WriteOwner);
        const QString newHttp = QString::number(tst::freePort());

        CMainWindow window(nullptr, options(false));
        if (shown) {
            window.move(40, 30);
            window.show();
            QVERIFY(QTest::qWaitForWindowExposed(&window));
        }
        QSignalSpy restartRequest(&window, &CMainWindow::signalRestarServer);
        QPoint dialogAt;
        QStringList notices;
        QTimer user;
        connect(&user, &QTimer::timeout, [&] {
            QWidget* modal = QApplication::activeModalWidget();
            if (auto* dialog = qobject_cast<CEditPortDlg*>(modal)) {
                dialogAt = dialog->pos();
                child<CCheckCorretLineEdit>(dialog, "m_HttpPortLineEdit")->setText(newHttp);
                QTest::mouseClick(child<QPushButton>(dialog, "m_ConfirmBtn"), Qt::LeftButton);
            } else if (modal) {
                notices << child<QLabel>(modal, "m_WaringText")->text();
                QMetaObject::invokeMethod(modal, restart ? "accept" : "reject", Qt::QueuedConnection);
            }
        });
        user.start(20);
        window.onModifyPort();
        uninitFramework();

        const QRect screen = window.screen()->geometry();
        QCOMPARE(dialogAt, shown ? QPoint(40 + 125, 30 + 58)
                                 : QPoint((screen.width() - 450) / 2, (screen.height() - 230) / 2));
        QCOMPARE(notices, QStringList{"Saved. Please restart the client."});
        QCOMPARE(text(&window, "m_HTTPport"), newHttp);
        QVERIFY(tst::readText(setup).contains(QStringLiteral("<Http>%1</Http>").arg(newHttp)));
        QCOMPARE(restartRequest.count(), restart ? 1 : 0);
    }

private:
    CMainWindowOptions options(bool admin, const QString& database = QString())
    {
        CMainWindowOptions result;
        result.isAdmin = admin;
        result.systemDatabase = database.isEmpty() ? scratch.filePath(QStringLiteral("System")) : database;
        return result;
    }

    static CMainWindow* mainWindow()
    {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (auto* window = qobject_cast<CMainWindow*>(widget))
                return window;
        }
        return nullptr;
    }

    void switchLanguage(const QString& folder)
    {
        for (const auto& translator : translators)
            QCoreApplication::removeTranslator(translator.get());
        translators = content::loadLanguage(kTranslations, folder);
        QVERIFY(!translators.empty());
        for (const auto& translator : translators)
            QCoreApplication::installTranslator(translator.get());
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LanguageChange);
    }

    QTemporaryDir scratch;
    QTcpServer held;
    std::vector<std::unique_ptr<QTranslator>> translators;
};

SCRATCH_TEST_MAIN(QApplication, TestMainWindow)

#include "TestMainWindow.moc"
