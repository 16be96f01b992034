#include "FrameworkMgr.h"

#include "logical/CheckPort.h"
#include "logical/PortTable.h"
#include "ui/MainWindow.h"
#include "ui/StyleSheet.h"

#include <Base/Log.h>
#include <Framework/Framework.h>

#include <QAction>
#include <QCoreApplication>
#include <QCursor>
#include <QEvent>
#include <QIcon>
#include <QMenu>
#include <QStringList>

namespace serverframework {

namespace {

// The data each menu entry carries; menu_clicked dispatches on it.
enum MenuData { ServiceManager = 0, Quit = 2, ModifyPort = 3, ExportSecurity = 4, ShowClient = 5 };

// Drawn from its vector source at whatever size and scale the tray asks for.
const char kTrayIcon[] = ":/FrameworkGui/TrayIcon/Image/server24.svg";

} // namespace

CFrameworkMgr::CFrameworkMgr(QWidget* parent)
    : QDialog(parent)
    , trayIcon(nullptr)
    , mainWindow(nullptr)
    , menu(nullptr)
    , quitAction(nullptr)
    , serviceManagerAction(nullptr)
    , showClientAction(nullptr)
{
    trayIcon = new QSystemTrayIcon(this);
    trayIcon->setIcon(QIcon(QString::fromLatin1(kTrayIcon)));
    trayIcon->setToolTip(tr("Palvex"));
    if (!QSystemTrayIcon::isSystemTrayAvailable()) {
        static bool warned = false;
        if (!warned)
            TLOG_WARN("This session has no notification area: the host runs without its tray icon.");
        warned = true;
    }
    trayIcon->setVisible(true);

    if (!mainWindow)
        createWindow(nullptr);

    connect(trayIcon, SIGNAL(activated(QSystemTrayIcon::ActivationReason)), this,
            SLOT(onActivated(QSystemTrayIcon::ActivationReason)));

    // Square corners: rounded ones would need a compositing manager, without
    // one their translucent corners show black.
    if (!menu) {
        menu = new QMenu();
        menu->setObjectName(QStringLiteral("trayMenu"));
        trayIcon->setContextMenu(menu);
        menu->setWindowFlags(menu->windowFlags() | Qt::FramelessWindowHint);
        applySkin();
    }

    serviceManagerAction = new QAction(this);
    serviceManagerAction->setObjectName(QStringLiteral("serviceManagerAction"));
    serviceManagerAction->setData(ServiceManager);
    showClientAction = new QAction(this);
    showClientAction->setObjectName(QStringLiteral("showClientAction"));
    showClientAction->setData(ShowClient);
    quitAction = new QAction(this);
    quitAction->setObjectName(QStringLiteral("quitAction"));
    quitAction->setData(Quit);
    retranslateMenu();
    menu->addAction(serviceManagerAction);
    menu->addAction(showClientAction);
    menu->addAction(quitAction);
    connect(menu, SIGNAL(triggered(QAction*)), this, SLOT(menu_clicked(QAction*)));
}

CFrameworkMgr::~CFrameworkMgr()
{
    trayIcon->setVisible(false);
    delete trayIcon;
    delete mainWindow;
    delete menu;
}

void CFrameworkMgr::createWindow(QWidget* parent)
{
    mainWindow = new CMainWindow(parent);
    mainWindow->hide();
    // Emitted on the notification thread: queued to this one.
    connect(mainWindow, &CMainWindow::signalLoadQss, this, &CFrameworkMgr::applySkin, Qt::QueuedConnection);
    connect(mainWindow, SIGNAL(signalModifyAppIConTip()), this, SLOT(onModifyAppIConTip()));
    connect(mainWindow, SIGNAL(singnalAppClose()), this, SIGNAL(signalQuitApp()));
    connect(mainWindow, SIGNAL(signalRestarServer()), this, SLOT(onReStart()));
}

void CFrameworkMgr::retranslateMenu()
{
    if (serviceManagerAction)
        serviceManagerAction->setText(tr("ServiceManager"));
    if (showClientAction)
        showClientAction->setText(tr("ShowClient"));
    if (quitAction)
        quitAction->setText(tr("Quit"));
}

void CFrameworkMgr::applySkin()
{
    trayIcon->setIcon(QIcon(QString::fromLatin1(kTrayIcon)));
    if (menu)
        menu->setStyleSheet(skinStyleSheet());
}

// A double click arrives as a click, which opened the client already, and
// then the double click.
void CFrameworkMgr::onActivated(QSystemTrayIcon::ActivationReason reason)
{
    switch (reason) {
    case QSystemTrayIcon::Trigger:
        TLOG_INFO("Tray icon clicked: opening the web client.");
        openClient();
        break;
    case QSystemTrayIcon::DoubleClick: break;
    default:
        if (menu)
            menu->popup(QCursor::pos());
        break;
    }
}

void CFrameworkMgr::menu_clicked(QAction* pAction)
{
    if (!pAction)
        return;
    switch (pAction->data().toInt()) {
    case ServiceManager: onMenuShow(); break;
    case ShowClient:
        TLOG_INFO("Menu: opening the web client.");
        openClient();
        break;
    case Quit: onMenuQuit(); break;
    case ModifyPort: onModifyPort(); break;
    case ExportSecurity: onExportSecurity(); break;
    default: break;
    }
}

void CFrameworkMgr::openClient()
{
    if (openFrameworkClient())
        return;
    const std::string address = frameworkClientUrl();
    TLOG_WARN("No browser could open the web client at %s.", address.c_str());
    showMessage(tr("WebClientNotOpened"), tr("OpenTheWebClientAt%1").arg(QString::fromStdString(address)));
}

void CFrameworkMgr::showPortMoves(const std::vector<PortMove>& moves)
{
    QStringList lines;
    for (const PortMove& move : moves) {
        const QString service = QString(serviceName(move.port));
        lines << (move.heldBy.empty() ? tr("%1Port%2WasTakenMovedTo%3").arg(service).arg(move.from).arg(move.to)
                                      : tr("%1Port%2WasTakenBy%3MovedTo%4")
                                            .arg(service)
                                            .arg(move.from)
                                            .arg(QString::fromStdString(move.heldBy))
                                            .arg(move.to));
    }
    if (!lines.isEmpty())
        showMessage(tr("PortsMovedAtStart"), lines.join(QLatin1Char('\n')));
}

void CFrameworkMgr::showMessage(const QString& title, const QString& text)
{
    TLOG_INFO("Tray message: %s: %s", title.toUtf8().constData(), text.toUtf8().constData());
    trayIcon->showMessage(title, text, QSystemTrayIcon::Information, 15000);
}

void CFrameworkMgr::onCloseApp()
{
    uninitFramework();
    close();
    QMetaObject::invokeMethod(QCoreApplication::instance(), "quit", Qt::QueuedConnection);
}

void CFrameworkMgr::onModifyAppIConTip()
{
    trayIcon->setToolTip(tr("QuitPalvex"));
}

void CFrameworkMgr::onMenuQuit()
{
    if (mainWindow)
        mainWindow->onCloseApp();
}

// Back in front of the user, also when minimised or covered.
void CFrameworkMgr::onMenuShow()
{
    if (!mainWindow)
        return;
    mainWindow->showNormal();
    mainWindow->raise();
    mainWindow->activateWindow();
}

void CFrameworkMgr::onModifyPort()
{
    if (!mainWindow)
        createWindow(this);
    mainWindow->onModifyPort();
}

void CFrameworkMgr::onExportSecurity()
{
    if (!mainWindow)
        createWindow(this);
    mainWindow->onExportServerAuthSetting();
}

void CFrameworkMgr::onReStart()
{
    if (mainWindow)
        mainWindow->close();
    emit signalReStartApp();
}

void CFrameworkMgr::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::LanguageChange)
        retranslateMenu();
    else
        QWidget::changeEvent(event);
}

} // namespace serverframework
