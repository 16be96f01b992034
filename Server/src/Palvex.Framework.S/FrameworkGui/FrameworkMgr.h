#pragma once
// The host's presence in the notification area: the tray icon and its menu,
// the service management window, the web client opened on a click, and the
// window's quit and restart requests relayed to the application object. The
// dialog itself is never shown.

#include <QDialog>
#include <QSystemTrayIcon>

class QAction;
class QEvent;
class QMenu;

namespace serverframework {

class CMainWindow;

class CFrameworkMgr : public QDialog
{
    Q_OBJECT
public:
    explicit CFrameworkMgr(QWidget* parent = nullptr);
    ~CFrameworkMgr() override;

signals:
    void signalQuitApp();
    void signalReStartApp();

public slots:
    void onActivated(QSystemTrayIcon::ActivationReason reason);
    void onCloseApp();
    void onModifyAppIConTip();
    void menu_clicked(QAction* pAction);

private slots:
    void onMenuQuit();
    void onMenuShow();
    void onModifyPort();
    void onExportSecurity();
    void onReStart();

protected:
    void changeEvent(QEvent* event) override;

private:
    void createWindow(QWidget* parent);
    void retranslateMenu();

    QSystemTrayIcon* trayIcon;
    CMainWindow* mainWindow;
    QMenu* menu;
    QAction* quitAction;
    QAction* serviceManagerAction;
    QAction* showClientAction;
};

} // namespace serverframework
