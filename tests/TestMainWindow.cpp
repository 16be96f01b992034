// The tray object and the service management window on the offscreen
// platform, with the shipped skins and translations: widgets are found by
// object name, modal dialogs answered from timers.

#include "EditPort.h"
#include "FrameworkMgr.h"
#include "MainWindow.h"
#include "QssReloadNotifyMgr.h"
#include "SignalSet.h"
#include "SkinLoader.h"
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
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QSystemTrayIcon>
#include <QTcpServer>
#include <QtTest>

using namespace serverframework;

namespace {

const QString kRcc = QStringLiteral(TAVRIN_BUILD_DIR "/Server/rcc");

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
    return qEnvironmentVariable("XDG_CONFIG_DIRS").section(QLatin1Char(':'), 0, 0)
           + QStringLiteral("/autostart/TavrinServer.desktop");
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

// A pixel of the tray image, which each skin colours its own way.
QRgb accentOf(const QPixmap& pixmap)
{
    return pixmap.toImage().pixel(12, 2);
}

QStringList menuTexts(QMenu* menu)
{
    QStringList entries;
    for (QAction* action : menu->actions())
        entries << action->text();
    return entries;
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
        QTest::newRow("type 3 hides the video wall caption") << 3 << 0 << "" << "Tavrin.Framework.S" << false << true;
        QTest::newRow("second branding") << 1 << 1 << "554" << "Orbelle.Framework.S" << true << false;
    }

    void showsPortsAndBranding()
    {
        QFETCH(int, productType);
        QFETCH(int, versionType);
        QFETCH(QString, rtsp);
        XMLConfigManager& config = Base::CSingleton<XMLConfigManager>::Instance();
        config.productType = productType;
        config.versionType = versionType;
        config.httpPort = 16200 + productType;
        config.videoWallPort = 18100 + productType;
        SimpleProperties::Instance().setProperty(kRtspPortKey, rtsp.toStdString());

        CMainWindow window(nullptr, options(false));
        QTEST(window.windowTitle(), "title");
        QCOMPARE(text(&window, "m_HTTPport"), QString::number(16200 + productType));
        QCOMPARE(text(&window, "m_TamsaCMSPort"), QString::number(18100 + productType));
        QCOMPARE(text(&window, "m_SMSPortLabel"), QString::number(rtsp.toInt()));
        QTEST(!window.findChild<QLabel*>("label_11")->isHidden(), "videoWallCaption");
        QTEST(!window.findChild<QLabel*>("m_serverLogo")->isHidden(), "logo");
    }

    void clockFormatsTheRunTime_data()
    {
        QTest::addColumn<int>("ticks");
        QTest::addColumn<QString>("shown");
        QTest::newRow("last second of a day") << 86399 << "23:59:59";
        QTest::newRow("a day") << 86400 << "1d 00:00:00";
        QTest::newRow("two days and a bit") << 2 * 86400 + 3661 << "2d 01:01:01";
    }

    void clockFormatsTheRunTime()
    {
        QFETCH(int, ticks);
        CMainWindowOptions slow = options(false);
        slow.clockPeriodMs = 3600 * 1000;
        CMainWindow window(nullptr, slow);
        for (int i = 0; i < ticks; ++i)
            window.onUpdateTime();
        QTEST(text(&window, "m_timeShow"), "shown");
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
        if (clientRunning)
            QVERIFY(client.waitForFinished(5000) && client.exitStatus() == QProcess::CrashExit);
    }

    void autoLaunch_data()
    {
        QTest::addColumn<bool>("admin");
        QTest::addColumn<QString>("stored"); // "none": no database; "empty": no rows; "garbage": not a database
        QTest::addColumn<int>("flag");       // onAutoRun after construction; -1: none
        QTest::addColumn<QString>("rowAfter");
        QTest::addColumn<QString>("entryAfter"); // "": no entry; "app": this program; else the old one

        QTest::newRow("admin on: a moved installation is registered again") << true << "1" << -1 << "1" << "app";
        QTest::newRow("admin turns it on") << true << "0" << int(Qt::Checked) << "1" << "app";
        QTest::newRow("admin turns it off") << true << "1" << int(Qt::Unchecked) << "0" << "";
        QTest::newRow("admin stored off leaves the entry") << true << "0" << -1 << "0" << "/old/x";
        QTest::newRow("admin empty table heals to off") << true << "empty" << -1 << "0" << "";
        QTest::newRow("admin unreadable database keeps the entry") << true << "garbage" << -1 << "none" << "/old/x";
        QTest::newRow("user: only the row changes") << false << "1" << int(Qt::Checked) << "0" << "/old/x";
        QTest::newRow("user empty table heals to off") << false << "empty" << -1 << "0" << "/old/x";
    }

    void autoLaunch()
    {
        QFETCH(bool, admin);
        QFETCH(QString, stored);
        QFETCH(int, flag);
        QFETCH(QString, rowAfter);
        QFETCH(QString, entryAfter);

        QTemporaryDir folder;
        const QString database = folder.filePath(QStringLiteral("System"));
        if (stored == QLatin1String("garbage")) {
            QVERIFY(tst::writeBytes(database, QByteArray(4096, 'x')));
        } else if (stored != QLatin1String("none")) {
            CSQLite3Conn connection;
            QVERIFY(connection.Open(database.toStdString(), true, std::string()));
            QVERIFY(connection.Execute("CREATE TABLE AutoRunConfig (EnableAutoRun INTEGER)"));
            if (stored != QLatin1String("empty"))
                QVERIFY(connection.Execute("INSERT INTO AutoRunConfig VALUES (" + stored.toStdString() + ")"));
        }
        QVERIFY(platform::setRegistryString(platform::kMachineRunKey, platform::RegistryView::Bits32,
                                            "TavrinServer", "/old/x"));

        CMainWindow window(nullptr, options(admin, database));
        if (flag >= 0)
            window.onAutoRun(flag);

        QCOMPARE(storedRows(database), rowAfter);
        QCOMPARE(window.IsAutoRunEnabled(), rowAfter == QLatin1String("1"));
        const QString entry = tst::readText(autostartEntry());
        if (entryAfter.isEmpty())
            QVERIFY2(entry.isEmpty(), qPrintable(entry));
        else
            QVERIFY2(entry.contains(QStringLiteral("\nExec=\"%1\"\n")
                                        .arg(entryAfter == QLatin1String("app") ? QCoreApplication::applicationFilePath()
                                                                                : entryAfter)),
                     qPrintable(entry));
        if (stored == QLatin1String("garbage"))
            QCOMPARE(tst::readBytes(database), QByteArray(4096, 'x'));
    }

    // Over an old file. (A second file dialog in the same process hangs now
    // and then under load, so the failed export is not a case here.)
    void exportIdentity()
    {
        QTemporaryDir store;
        Base::IdentifyUtil::ReleaseIdentifyLib();
        Base::IdentifyUtil::InitIdentifyLib(store.path().toStdString());
        CAuthenticationManager::Instance().CreateIdentifyInfo();
        QTemporaryDir folder;
        const QString path = folder.filePath(QStringLiteral("identity.xml"));
        QVERIFY(tst::writeBytes(path, "old"));

        CMainWindow window(nullptr, options(false));
        QStringList notices;
        QTimer user;
        connect(&user, &QTimer::timeout, [&] {
            QWidget* modal = QApplication::activeModalWidget();
            if (auto* dialog = qobject_cast<QFileDialog*>(modal)) {
                dialog->setOption(QFileDialog::DontConfirmOverwrite);
                dialog->selectFile(path);
                QMetaObject::invokeMethod(dialog, "accept", Qt::QueuedConnection);
            } else if (modal) {
                notices << modal->findChild<QLabel*>("m_WaringText")->text();
                QMetaObject::invokeMethod(modal, "accept", Qt::QueuedConnection);
            }
        });
        user.start(20);
        window.onExportServerAuthSetting();

        QCOMPARE(notices, QStringList{"Exported successfully."});
        QVERIFY(tst::readText(path).contains(QLatin1String("<Identify>")));
        QCOMPARE(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden).size(), 1);
        Base::IdentifyUtil::ReleaseIdentifyLib();
    }

    // The tray menu's entries and requests; a language switch retranslates
    // the menu and the window, whose captions still fit; a skin switch
    // restyles the window.
    void trayMenuLanguageAndSkin()
    {
        CFrameworkMgr tray;
        auto* icon = tray.findChild<QSystemTrayIcon*>();
        QVERIFY(icon && icon->isVisible() && icon->contextMenu());
        QMenu* menu = icon->contextMenu();
        QCOMPARE(menuTexts(menu), QStringList({"Service Manager", "Open Client", "Quit"}));
        CMainWindow* window = mainWindow();
        QVERIFY(window && window->isHidden());
        menu->actions().at(0)->trigger();
        QVERIFY(QTest::qWaitForWindowExposed(window));

        window->onUpdateTime();
        switchLanguage(QStringLiteral("Chinese"));
        QCOMPARE(menuTexts(menu), QStringList({"服务管理", "打开客户端", "退出"}));
        QCOMPARE(text(window, "m_HttpLabel"), QStringLiteral("HTTP端口号"));
        QCOMPARE(text(window, "m_timeShow"), QStringLiteral("00:00:01"));
        for (const char* name : {"label", "m_HttpLabel", "label_11", "label_2", "m_state", "m_EditBtn", "m_timeName"}) {
            QWidget* caption = window->findChild<QWidget*>(name);
            QTRY_VERIFY2(caption->width() >= caption->sizeHint().width(), name);
        }
        switchLanguage(QStringLiteral("English"));
        QCOMPARE(text(window, "m_HttpLabel"), QStringLiteral("HTTP port"));

        auto logo = [window] { return window->findChild<QLabel*>("m_serverLogo")->pixmap(Qt::ReturnByValue); };
        const QRgb greyRed = accentOf(logo());
        QVERIFY(loadSkin("BlueSkin", kRcc.toStdString()));
        QVERIFY(comm_method::CQssReloadNotifyMgr::Instance().NotifyQssReload("BlueSkin"));
        QTRY_VERIFY(accentOf(logo()) != greyRed);
        QVERIFY(window->styleSheet().contains(QLatin1String("Blue skin")));
        QVERIFY(loadSkin("GreyRedSkin", kRcc.toStdString()));

        QSignalSpy closeFrame(&CSignalSet::Instance(), &CSignalSet::signalCloseFrame);
        menu->actions().at(2)->trigger(); // through the window's own quit
        QCOMPARE(closeFrame.count(), 1);
        QSignalSpy quit(&tray, &CFrameworkMgr::signalQuitApp);
        QSignalSpy restart(&tray, &CFrameworkMgr::signalReStartApp);
        QMetaObject::invokeMethod(window, "singnalAppClose");
        QMetaObject::invokeMethod(window, "signalRestarServer");
        QCOMPARE(quit.count(), 1);
        QCOMPARE(restart.count(), 1);
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
        QTest::newRow("no WebSocket port") << "16500" << "" << true << "" << false;
        QTest::newRow("HTTP port taken") << "held" << "16501" << true
                                         << "The HTTP port is in use. Please set a new one." << false;
        QTest::newRow("WebSocket port taken") << "16100" << "held" << true
                                              << "The WebSocket port is in use. Please set a new one." << false;
        QTest::newRow("both free") << "16500" << "16501" << true << reboot << true;
        QTest::newRow("configuration cannot be saved")
            << "16500" << "16501" << true << "The new ports could not be saved. See the log for the reason." << false;
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
        bool pressed = false;
        QTimer user;
        connect(&user, &QTimer::timeout, [&] {
            QWidget* modal = QApplication::activeModalWidget();
            if (auto* dialog = qobject_cast<CEditPort*>(modal)) {
                dialog->findChild<QLineEdit*>("m_HttpPortLineEdit")->setText(http);
                dialog->findChild<QLineEdit*>("m_WebSocketPortLineEdit")->setText(webSocket);
                // A dialog still open after confirm refused it: cancel.
                QTest::mouseClick(dialog->findChild<QPushButton*>(confirm && !pressed ? "m_ConfirmBtn" : "m_CloseBtn"),
                                  Qt::LeftButton);
                pressed = true;
            } else if (modal) {
                notices << modal->findChild<QLabel*>("m_WaringText")->text();
                QMetaObject::invokeMethod(modal, "accept", Qt::QueuedConnection);
            }
        });
        user.start(20);
        window.onEditPort();

        QCOMPARE(notices, notice.isEmpty() ? QStringList() : QStringList{notice});
        QCOMPARE(text(&window, "m_HTTPport"), stored ? http : QStringLiteral("16100"));
        QCOMPARE(text(&window, "m_TamsaCMSPort"), stored ? webSocket : QStringLiteral("18018"));
        QCOMPARE(tst::readText(common).contains(QStringLiteral(">%1<").arg(http)), stored);
        if (stored)
            QVERIFY(tst::readText(setup).contains(QStringLiteral("<WebSocket>%1</WebSocket>").arg(webSocket)));
        else
            QCOMPARE(tst::readBytes(setup), setupBefore);
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
        translators = content::loadLanguage(QStringLiteral(TAVRIN_BUILD_DIR "/Server/translations"), folder);
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
