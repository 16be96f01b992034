#pragma once
// The host's presence in the notification area: the tray icon and its menu,
// the service management window, the web client opened on a click, and the
// window's quit and restart requests relayed to the application object. The
// dialog itself is never shown.

#include <QDialog>
#include <QString>
#include <QSystemTrayIcon>

#include <vector>

class QAction;
class QEvent;
class QMenu;

namespace serverframework {

class CMainWindow;
struct PortMove;

class CFrameworkMgr : public QDialog
{
    Q_OBJECT
public:
    explicit CFrameworkMgr(QWidget* parent = nullptr);
    ~CFrameworkMgr() override;

    // Tells, once in a tray message, which ports were moved at start.
    void showPortMoves(const std::vector<PortMove>& moves);

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
    // The icon and the menu's look from the current skin.
    void applySkin();
    // The web client in the desktop's browser; without one, its address in
    // a tray message.
    void openClient();
    // A tray message, also logged (the desktop may show it briefly, or not).
    void showMessage(const QString& title, const QString& text);

    QSystemTrayIcon* trayIcon;
    CMainWindow* mainWindow;
    QMenu* menu;
    QAction* quitAction;
    QAction* serviceManagerAction;
    QAction* showClientAction;
};

} // namespace serverframework
