// The tray object and the service management window on the offscreen platform, with the shipped skins and translations; modals answered from timers.

#include "ui/CheckCorretLineEdit.h"
#include "ui/EditPort.h"
#include "ui/EditPortDlg.h"
#include "FrameworkMgr.h"
#include "ui/MainWindow.h"
#include "ui/QssReloadNotifyMgr.h"
#include "ui/RightTipButton.h"
#include "SignalSet.h"
#include "ui/SkinLoader.h"
#include "ui/TipWidget.h"
#include "ui/WaringDlg.h"
#include "TestModal.h"
#include "TestSupport.h"
#include "CommonMethod/UserDataPath.h"
#include "controller/XMLConfigManager.h"
#include "logical/IdentifyAuth/AuthCfgManager.h"
#include "logical/SimpleProperties.h"

#include <Base/IdentifyUtil.h>
#include <Platform/Platform.h>
#include <SQLite/SQLite3Conn.h>

#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QGuiApplication>
#include <QScreen>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QSystemTrayIcon>
#include <QTcpServer>
#include <QtTest>

#include <algorithm>
#include <cmath>

using namespace serverframework;

namespace {

const QString kRcc = QStringLiteral(TAVRIN_BUILD_DIR "/Server/rcc");

QString text(QWidget* window, const char* name)
{
    return window->findChild<QLabel*>(name)->text();
}

// Every entry of the tray menu is shown whole: as wide as its text and padding.
bool menuFits(QMenu* menu)
{
    menu->popup(QPoint(10, 10));
    const bool exposed = QTest::qWaitForWindowExposed(menu);
    bool fits = true;
    for (QAction* action : menu->actions())
        fits = fits && menu->actionGeometry(action).width() >= menu->fontMetrics().horizontalAdvance(action->text()) + 40;
    menu->hide();
    return exposed && fits;
}

// WCAG's contrast ratio of two colours.
double contrast(QRgb a, QRgb b)
{
    const auto luminance = [](QRgb c) {
        double sum = 0.05;
        for (const auto& [value, weight] : {std::pair{qRed(c), 0.2126}, {qGreen(c), 0.7152}, {qBlue(c), 0.0722}})
            sum += weight * (value <= 10 ? value / 255.0 / 12.92 : std::pow((value / 255.0 + 0.055) / 1.055, 2.4));
        return sum;
    };
    return std::max(luminance(a), luminance(b)) / std::min(luminance(a), luminance(b));
}

// The rendered texts of top (its labels, buttons, fields, a menu's entries; icons left out) whose contrast is below 4.5:1, "name ratio": in each
// text's area the most common colour is the background, the pixel farthest from it the text (its glyphs' cores).
QStringList lowContrast(QWidget* top)
{
    for (auto* button : top->findChildren<QAbstractButton*>())
        button->setIcon(QIcon());
    QList<QPair<QString, QRect>> texts;
    for (QWidget* w : top->findChildren<QWidget*>()) {
        if (w->isVisible() && w->window() == top && !w->property("text").toString().isEmpty()
            && (w->inherits("QLabel") || w->inherits("QAbstractButton") || w->inherits("QLineEdit")))
            texts.append({w->objectName(), QRect(w->mapTo(top, QPoint()), w->size())});
    }
    for (QAction* entry : top->actions())
        texts.append({entry->text(), static_cast<QMenu*>(top)->actionGeometry(entry)});
    const QImage shot = top->grab().toImage();
    QStringList low;
    for (const auto& [name, area] : texts) {
        QHash<QRgb, int> counts;
        const QRect inside =
            QRect(area.topLeft() * shot.devicePixelRatio(), area.size() * shot.devicePixelRatio()).adjusted(2, 2, -2, -2); // off the borders
        for (int y = inside.top(); y <= inside.bottom(); ++y)
            for (int x = inside.left(); x <= inside.right(); ++x)
                ++counts[shot.pixel(x, y) | 0xFF000000];
        const QRgb background = std::max_element(counts.begin(), counts.end()).key();
        double ratio = 1;
        for (auto it = counts.cbegin(); it != counts.cend(); ++it)
            ratio = std::max(ratio, contrast(background, it.key()));
        if (ratio < 4.5)
            low << QStringLiteral("%1 %2").arg(name).arg(ratio, 0, 'f', 2);
    }
    return low;
}

// The rows of the auto-launch table; "none" when it cannot be read.
QString storedRows(const QString& database)
{
    CSQLite3Conn connection;
    CSQLite3Recordset rows;
    if (!connection.Open(database.toStdString(), false, std::string()) || !connection.Execute("SELECT EnableAutoRun FROM AutoRunConfig", rows))
        return QStringLiteral("none");
    QStringList values;
    for (; rows.HasRow() && values.size() < rows.RowCount(); rows.MoveNext())
        values << QString::number(rows.GetInt(0));
    return values.join(QLatin1Char(','));
}

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(held.listen(QHostAddress::LocalHost)); // before the first port check snapshots the ports
        QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
        QVERIFY(Base::CSingleton<comm_method::CUserDataPath>::Instance().init(scratch.path().toStdString() + "/", "Framework.S", 0, 0));
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
        config.productType = config.versionType = 0;
        SimpleProperties::Instance().setProperty(kRtspPortKey, "554");
    }

    // Type 3 hides the video wall caption; the second branding has its own title and no logo.
    void showsPortsAndBranding()
    {
        XMLConfigManager& config = Base::CSingleton<XMLConfigManager>::Instance();
        for (int type : {3, 1}) {
            config.productType = type;
            config.versionType = type == 1;
            config.httpPort = 16200 + type;
            config.videoWallPort = 18100 + type;
            SimpleProperties::Instance().setProperty(kRtspPortKey, std::to_string(8550 + type));
            CMainWindow window(nullptr, options());
            QCOMPARE(window.windowTitle(), type == 1 ? "Orbelle.Framework.S" : "Tavrin.Framework.S");
            QCOMPARE(text(&window, "m_HTTPport"), QString::number(16200 + type));
            QCOMPARE(text(&window, "m_TamsaCMSPort"), QString::number(18100 + type));
            QCOMPARE(text(&window, "m_SMSPortLabel"), QString::number(8550 + type));
            QCOMPARE(window.findChild<QLabel*>("label_11")->isHidden(), type == 3);
            QCOMPARE(window.findChild<QLabel*>("m_serverLogo")->isHidden(), type == 1);
        }
    }

    void clockFormatsTheRunTime()
    {
        CMainWindow window(nullptr, options(false, QString(), 3600 * 1000));
        const std::pair<int, const char*> steps[] = {{86399, "23:59:59"}, {1, "1d 00:00:00"}, {86400 + 3661, "2d 01:01:01"}};
        for (const auto& step : steps) {
            for (int i = 0; i < step.first; ++i)
                window.onUpdateTime();
            QCOMPARE(text(&window, "m_timeShow"), QString::fromUtf8(step.second));
        }
    }

    // Rows: the stored flag ("empty": no row, "garbage": not a database), onAutoRun after start (-1: none),
    // then the row after ("none": unreadable) and the autostart entry ("": none, "app": this program).
    void autoLaunch()
    {
        struct Row
        {
            const char* what;
            bool admin;
            QString stored;
            int flag;
            QString row, entry;
        };
        const int on = Qt::Checked, off = Qt::Unchecked;
        for (const Row& c : {Row{"admin on: a moved installation is registered again", true, "1", -1, "1", "app"},
                             Row{"admin turns it on", true, "0", on, "1", "app"}, Row{"admin turns it off", true, "1", off, "0", ""},
                             Row{"admin stored off leaves the entry", true, "0", -1, "0", "/old/x"},
                             Row{"admin empty table heals to off", true, "empty", -1, "0", ""},
                             Row{"admin unreadable database keeps the entry", true, "garbage", -1, "none", "/old/x"},
                             Row{"user: only the row changes", false, "1", on, "0", "/old/x"}}) {
            QTemporaryDir folder;
            const QString database = folder.filePath(QStringLiteral("System"));
            const QByteArray garbage(4096, 'x');
            if (c.stored == QLatin1String("garbage")) {
                QVERIFY(tst::writeBytes(database, garbage));
            } else {
                CSQLite3Conn connection;
                QVERIFY(connection.Open(database.toStdString(), true, std::string()));
                QVERIFY(connection.Execute("CREATE TABLE AutoRunConfig (EnableAutoRun INTEGER)"));
                QVERIFY(c.stored == QLatin1String("empty")
                        || connection.Execute("INSERT INTO AutoRunConfig VALUES (" + c.stored.toStdString() + ")"));
            }
            QVERIFY(platform::setRegistryString(platform::kMachineRunKey, platform::RegistryView::Bits32, "TavrinServer", "/old/x"));

            CMainWindow window(nullptr, options(c.admin, database));
            if (c.flag >= 0)
                window.onAutoRun(c.flag);

            QVERIFY2(storedRows(database) == c.row && window.IsAutoRunEnabled() == (c.row == QLatin1String("1")), c.what);
            // The machine-wide autostart entry, as the desktop reads it.
            const QString entry = tst::readText(qEnvironmentVariable("XDG_CONFIG_DIRS").section(QLatin1Char(':'), 0, 0)
                                                + QStringLiteral("/autostart/TavrinServer.desktop"));
            const QString exec = c.entry == QLatin1String("app") ? QCoreApplication::applicationFilePath() : c.entry;
            QVERIFY2(c.entry.isEmpty() ? entry.isEmpty() : entry.contains("\nExec=\"" + exec + "\"\n"), c.what);
            QVERIFY2(c.stored != QLatin1String("garbage") || tst::readBytes(database) == garbage, c.what);
        }
        // With every connection closed the SQLite library is not kept loaded.
        QVERIFY(!tst::readText(QStringLiteral("/proc/self/maps")).contains(QLatin1String("libsqlite3")));
    }

    // Over an old file. (A second file dialog in the same process hangs now and then under load, so the failed export is not a case here.)
    void exportIdentity()
    {
        QTemporaryDir store, folder;
        Base::IdentifyUtil::ReleaseIdentifyLib();
        Base::IdentifyUtil::InitIdentifyLib(store.path().toStdString());
        CAuthenticationManager::Instance().CreateIdentifyInfo();
        const QString path = folder.filePath(QStringLiteral("identity.xml"));
        QVERIFY(tst::writeBytes(path, "old"));

        CMainWindow window(nullptr, options());
        const QStringList notices = tst::answerModals(
            [&](QWidget* modal) {
                auto* dialog = qobject_cast<QFileDialog*>(modal);
                if (dialog) {
                    dialog->setOption(QFileDialog::DontConfirmOverwrite);
                    dialog->selectFile(path);
                    QMetaObject::invokeMethod(dialog, "accept", Qt::QueuedConnection);
                }
                return dialog != nullptr;
            },
            [&] { window.onExportServerAuthSetting(); });

        QCOMPARE(notices, QStringList{"Exported successfully."});
        QVERIFY(tst::readText(path).contains(QLatin1String("<Identify>")));
        QCOMPARE(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden).size(), 1);
        Base::IdentifyUtil::ReleaseIdentifyLib();
    }

    // The tray menu's entries and requests; a language switch retranslates the
    // menu and the window, whose captions still fit; a skin switch restyles it.
    void trayMenuLanguageAndSkin()
    {
        CFrameworkMgr tray;
        auto* icon = tray.findChild<QSystemTrayIcon*>();
        QVERIFY(icon && icon->isVisible() && icon->contextMenu());
        QMenu* menu = icon->contextMenu();
        auto entries = [menu] {
            QStringList texts;
            for (QAction* action : menu->actions())
                texts << action->text();
            return texts;
        };
        QCOMPARE(entries(), QStringList({"Service Manager", "Open Client", "Quit"}));
        QVERIFY(menuFits(menu));
        CMainWindow* window = &trayWindow();
        QVERIFY(window->isHidden());
        menu->actions().at(0)->trigger();
        QVERIFY(QTest::qWaitForWindowExposed(window));

        window->onUpdateTime();
        switchLanguage(QStringLiteral("Chinese"));
        QCOMPARE(entries(), QStringList({"服务管理", "打开客户端", "退出"}));
        QVERIFY(menuFits(menu));
        QCOMPARE(text(window, "m_HttpLabel"), QStringLiteral("HTTP端口"));
        QCOMPARE(text(window, "m_timeShow"), QStringLiteral("00:00:01"));
        for (const char* name : {"label", "m_HttpLabel", "label_11", "label_2", "m_state", "m_EditBtn", "m_timeName"}) {
            QWidget* caption = window->findChild<QWidget*>(name);
            QTRY_VERIFY2(caption->width() >= caption->sizeHint().width(), name);
        }
        switchLanguage(QStringLiteral("English"));
        QCOMPARE(text(window, "m_HttpLabel"), QStringLiteral("HTTP port"));

        // A pixel of the tray image, which each skin colours its own way.
        auto accent = [window] { return window->findChild<QLabel*>("m_serverLogo")->pixmap(Qt::ReturnByValue).toImage().pixel(12, 2); };
        const QRgb greyRed = accent();
        const QRgb trayGreyRed = icon->icon().pixmap(24).toImage().pixel(12, 2);
        const QString menuLook = menu->styleSheet();
        QVERIFY(loadSkin("BlueSkin", kRcc.toStdString()));
        QVERIFY(comm_method::CQssReloadNotifyMgr::Instance().NotifyQssReload("BlueSkin"));
        QTRY_VERIFY(accent() != greyRed); // the tray's icon and menu follow the skin too
        QTRY_VERIFY(icon->icon().pixmap(24).toImage().pixel(12, 2) != trayGreyRed && menu->styleSheet() != menuLook);
        QVERIFY(loadSkin("GreyRedSkin", kRcc.toStdString()));

        // Quit closes a running client first; the host quits on the next request.
        const QString image = scratch.path() + QStringLiteral("/TavrinClient");
        QVERIFY(QFile::copy(QStringLiteral("/bin/sleep"), image));
        QProcess client;
        client.start(image, {QStringLiteral("60")});
        QVERIFY(client.waitForStarted());
        QSignalSpy closeFrame(&CSignalSet::Instance(), &CSignalSet::signalCloseFrame);
        menu->actions().at(2)->trigger(); // through the window's own quit
        QVERIFY(closeFrame.isEmpty() && client.waitForFinished(5000) && client.exitStatus() == QProcess::CrashExit);
        menu->actions().at(2)->trigger();
        QCOMPARE(closeFrame.count(), 1);
        QSignalSpy quit(&tray, &CFrameworkMgr::signalQuitApp), restart(&tray, &CFrameworkMgr::signalReStartApp);
        QMetaObject::invokeMethod(window, "singnalAppClose");
        QMetaObject::invokeMethod(window, "signalRestarServer");
        QVERIFY(quit.count() == 1 && restart.count() == 1);
    }

    // A taken port brings a notice and writes nothing; so do an unchanged pair and cancelling; a changed free pair is written and shown.
    void editPortChecksAndWrites()
    {
        const QString dataDir = QString::fromStdString(Base::CSingleton<comm_method::CUserDataPath>::Instance().getUserDataDir());
        const QString setup = dataDir + QStringLiteral("Setup.xml"), common = dataDir + QStringLiteral("CommonConfig.xml");
        QFile::remove(common);
        QFile::remove(setup);
        QVERIFY(QFile::copy(QStringLiteral(TAVRIN_SOURCE_DIR "/Install/maintain/Setup.xml.benchmark"), setup));
        const QByteArray setupBefore = tst::readBytes(setup);
        const QString reboot = "Restart the computer now to make the new settings take effect.";
        const QString taken = QString::number(held.serverPort()), inUse = "The %1 port is in use. Please set a new one.";
        QString http = QString::number(tst::freePort()), webSocket = http;
        while (webSocket == http)
            webSocket = QString::number(tst::freePort());
        struct Row
        {
            QString http, webSocket;
            bool confirm;
            QString notice;
        };
        for (const Row& row : {Row{http, webSocket, false, ""}, Row{"16100", "18018", true, ""}, Row{taken, webSocket, true, inUse.arg("HTTP")},
                               Row{"16100", taken, true, inUse.arg("WebSocket")}, Row{http, webSocket, true, reboot}}) {
            CMainWindow window(nullptr, options());
            bool pressed = false;
            const QStringList notices = tst::answerModals(
                [&](QWidget* modal) {
                    auto* dialog = qobject_cast<CEditPort*>(modal);
                    if (dialog) {
                        dialog->findChild<QLineEdit*>("m_HttpPortLineEdit")->setText(row.http);
                        dialog->findChild<QLineEdit*>("m_WebSocketPortLineEdit")->setText(row.webSocket);
                        // A dialog still open after confirm refused it: cancel.
                        const char* button = row.confirm && !pressed ? "m_ConfirmBtn" : "m_CloseBtn";
                        QTest::mouseClick(dialog->findChild<QPushButton*>(button), Qt::LeftButton);
                        pressed = true;
                    }
                    return dialog != nullptr;
                },
                [&] { window.onEditPort(); });

            const bool stored = row.notice == reboot;
            QCOMPARE(notices, row.notice.isEmpty() ? QStringList() : QStringList{row.notice});
            QCOMPARE(text(&window, "m_HTTPport"), stored ? row.http : QStringLiteral("16100"));
            QCOMPARE(text(&window, "m_TamsaCMSPort"), stored ? row.webSocket : QStringLiteral("18018"));
            QCOMPARE(tst::readText(common).contains(QStringLiteral(">%1<").arg(row.http)), stored);
            QVERIFY(stored ? tst::readText(setup).contains("<WebSocket>" + row.webSocket + "</WebSocket>") : tst::readBytes(setup) == setupBefore);
        }
    }

    // "Started" only for a port some socket listens on, read again while the window is shown.
    void statesFollowTheSockets()
    {
        QTcpServer served;
        QVERIFY(served.listen(QHostAddress::LocalHost));
        XMLConfigManager& config = Base::CSingleton<XMLConfigManager>::Instance();
        config.httpPort = served.serverPort();
        config.videoWallPort = tst::freePort();
        CMainWindow window(nullptr, options(false, QString(), 1000, 50));
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QCOMPARE(states(&window), QStringList({"Running", "Stopped", "Stopped"}));
        served.close();
        QTRY_COMPARE(states(&window), QStringList({"Stopped", "Stopped", "Stopped"}));
    }

    // Dialogs opened from the window are its transient dialogs, placed at their real size: centred on the window, kept
    // inside the screen, or centred on the screen while the window is hidden.
    void dialogsOverTheWindow()
    {
        const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
        for (const QPoint& at : {QPoint(40, 60), QPoint(screen.right() - 200, 20), QPoint(-1, -1)}) {
            CMainWindow window(nullptr, options());
            window.move(at);
            window.setVisible(at.x() >= 0);
            QVERIFY(window.isHidden() || QTest::qWaitForWindowExposed(&window));
            QMap<QString, QRect> placed;
            bool transient = true;
            tst::answerModals(
                [&](QWidget* modal) {
                    placed[modal->metaObject()->className()] = modal->frameGeometry();
                    transient = transient && modal->parentWidget() == &window && modal->windowType() == Qt::Dialog;
                    auto* dialog = qobject_cast<CEditPort*>(modal);
                    if (dialog && dialog->isVisible()) { // a held port: the notice follows
                        dialog->findChild<QLineEdit*>("m_HttpPortLineEdit")->setText(QString::number(held.serverPort()));
                        QTest::mouseClick(dialog->findChild<QPushButton*>("m_ConfirmBtn"), Qt::LeftButton);
                    }
                    return dialog != nullptr;
                },
                [&] { window.onEditPort(); });
            QVERIFY(transient);
            QCOMPARE(placed.value("serverframework::CEditPort").size(), QSize(467, 385));
            QCOMPARE(placed.value("serverframework::CWaringDlg").size(), QSize(450, 198));
            for (const QRect& dialog : placed) {
                QVERIFY(screen.contains(dialog));
                const QPoint centre = window.isHidden() ? screen.center() : window.frameGeometry().center();
                QVERIFY(dialog.right() == screen.right() || (dialog.center() - centre).manhattanLength() <= 1);
            }
        }
    }

    // In every skin the text of the window, both dialogs, the bubble and the menu reaches 4.5:1 against its background,
    // as rendered; the dialog's border 3:1 against the window below.
    void readableInEverySkin_data()
    {
        QTest::addColumn<QString>("skin");
        for (const char* skin : {"BlackRedSkin", "GreyRedSkin", "BlueSkin", "NeutralSkin"})
            QTest::newRow(skin) << skin;
    }
    void readableInEverySkin()
    {
        QFETCH(QString, skin);
        QVERIFY(loadSkin(skin.toStdString(), kRcc.toStdString()));
        Base::CSingleton<XMLConfigManager>::Instance().httpPort = held.serverPort(); // one state "Started"
        CFrameworkMgr tray;
        CMainWindow& window = trayWindow();
        QMenu& menu = *tray.findChild<QSystemTrayIcon*>()->contextMenu();
        CEditPortDlg dialog(&window);
        CWaringDlg notice(&window);
        dialog.setClaimedPorts({{4321, true}});
        dialog.setHttpPortText("4321");
        notice.setTitleText("Tip");
        notice.setWaringText("Saved. Please restart the client.");
        for (QWidget* shown : std::initializer_list<QWidget*>{&window, &dialog, &notice, &menu}) {
            shown->show();
            QVERIFY(QTest::qWaitForWindowExposed(shown));
        }
        QEvent enter(QEvent::Enter);
        QApplication::sendEvent(dialog.findChild<CCheckCorretLineEdit*>("m_HttpPortLineEdit")->tipButton(), &enter);
        auto* bubble = dialog.findChild<CTipWidget*>();
        QTRY_VERIFY(bubble->isVisible() && !bubble->text().isEmpty());
        menu.setActiveAction(menu.actions().at(1)); // one entry selected
        QStringList low;
        for (QWidget* top : std::initializer_list<QWidget*>{&window, &dialog, &notice, &menu, bubble})
            low += lowContrast(top);
        QVERIFY2(low.isEmpty(), qPrintable(low.join(", ")));
        const QImage dialogShot = dialog.grab().toImage(), windowShot = window.grab().toImage();
        QVERIFY(contrast(dialogShot.pixel(0, dialogShot.height() / 2), windowShot.pixel(5, windowShot.height() / 2)) >= 3);
        QVERIFY(loadSkin("GreyRedSkin", kRcc.toStdString()));
    }

    // Drawn from vector sources for the screen's scale, so sharp at 1.5x (a run of its own at that scale, see Tray.cmake).
    void imagesForTheScreenScale()
    {
        CFrameworkMgr tray;
        CMainWindow& window = trayWindow();
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const qreal scale = window.devicePixelRatioF();
        const QSize device = QSize(24, 24) * scale;
        const QPixmap logo = window.findChild<QLabel*>("m_serverLogo")->pixmap(Qt::ReturnByValue);
        QCOMPARE(logo.size(), device);
        QCOMPARE(logo.devicePixelRatio(), scale);
        QPixmap drawn = QIcon(":/FrameworkGui/TrayIcon/Image/server24.svg").pixmap(device);
        drawn.setDevicePixelRatio(scale);
        QCOMPARE(logo.toImage(), drawn.toImage());
        QCOMPARE(tray.findChild<QSystemTrayIcon*>()->icon().pixmap(device).size(), device);
    }

private:
    CMainWindowOptions options(bool admin = false, const QString& database = QString(), int clockMs = 1000, int stateMs = 3000)
    {
        return {admin, database.isEmpty() ? scratch.filePath(QStringLiteral("System")) : database, clockMs, stateMs};
    }

    // The window the tray object made.
    static CMainWindow& trayWindow()
    {
        CMainWindow* window = nullptr;
        for (QWidget* widget : QApplication::topLevelWidgets())
            window = window ? window : qobject_cast<CMainWindow*>(widget);
        return *window;
    }

    static QStringList states(QWidget* window)
    {
        QStringList texts;
        for (const char* name : {"m_state", "m_state_2", "m_state_3"})
            texts << window->findChild<QPushButton*>(name)->text();
        return texts;
    }

    void switchLanguage(const QString& folder)
    {
        for (const auto& translator : translators)
            QCoreApplication::removeTranslator(translator.get());
        translators = tst::loadLanguage(QStringLiteral(TAVRIN_BUILD_DIR "/Server/translations"), folder);
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
