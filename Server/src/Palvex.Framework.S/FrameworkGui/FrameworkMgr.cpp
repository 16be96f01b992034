#include "FrameworkMgr.h"

#include "ui/MainWindow.h"

#include <Base/Log.h>
#include <Framework/Framework.h>

#include <QAction>
#include <QCoreApplication>
#include <QCursor>
#include <QEvent>
#include <QIcon>
#include <QMenu>

namespace serverframework {

namespace {

// The data each menu entry carries; menu_clicked dispatches on it.
enum MenuData { ServiceManager = 0, Quit = 2, ModifyPort = 3, ExportSecurity = 4, ShowClient = 5 };

const char kMenuStyle[] =
    "QMenu {color:#1F2329;background-color:white;border-radius:8px;padding:6px 0px;min-width:100;max-width:100px;}"
    "QMenu::item {min-width:100;max-width:100px;height:16px;padding:8px 20px 8px 20px;margin:0px;}"
    "QMenu::item:selected{ color:#3172F6;background-color:#F7F9FC;}";

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
    trayIcon->setIcon(QIcon(QStringLiteral(":/FrameworkGui/TrayIcon/Image/server 24.png")));
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

    if (!menu) {
        menu = new QMenu();
        trayIcon->setContextMenu(menu);
        menu->setWindowFlags(menu->windowFlags() | Qt::FramelessWindowHint);
        menu->setAttribute(Qt::WA_TranslucentBackground);
        menu->setStyleSheet(QString::fromLatin1(kMenuStyle));
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

void CFrameworkMgr::onActivated(QSystemTrayIcon::ActivationReason reason)
{
    switch (reason) {
    case QSystemTrayIcon::DoubleClick:
    case QSystemTrayIcon::Trigger:
        TLOG_INFO("Tray icon clicked (%d): opening the web client.", static_cast<int>(reason));
        openFrameworkClient();
        break;
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
    case ServiceManager:
        onMenuShow();
        break;
    case ShowClient:
        TLOG_INFO("Menu: opening the web client.");
        openFrameworkClient();
        break;
    case Quit:
        onMenuQuit();
        break;
    case ModifyPort:
        onModifyPort();
        break;
    case ExportSecurity:
        onExportSecurity();
        break;
    default:
        break;
    }
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

void CFrameworkMgr::onMenuShow()
{
    if (mainWindow && mainWindow->isHidden())
        mainWindow->show();
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
