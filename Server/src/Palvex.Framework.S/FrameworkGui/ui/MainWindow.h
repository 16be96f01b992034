#pragma once
// The service management window: the three ports the user cares about, how
// long the host has been running, the port change, the hidden auto-launch
// choice, the quit that the tray menu calls and the export of the identity
// parameters. Closing or minimising only hides it.

#include "FramelessDrag.h"
#include "QssReloadNotifyMgrObserver.h"

#include <QDialog>
#include <QString>

#include <memory>

class QEvent;
class QHideEvent;
class QMouseEvent;
class QShowEvent;
class QTimer;

namespace Ui {
class mainWindow;
}

namespace serverframework {

class CEditPort;
class CWaringDlg;

// What the window takes from its surroundings.
struct CMainWindowOptions
{
    // Whether the process may write the machine-wide auto-launch entry.
    bool isAdmin;
    // The "System" database (UTF-8 path) holding the auto-launch choice;
    // empty when there is no user-data folder.
    QString systemDatabase;
    // Period of the run-time clock.
    int clockPeriodMs = 1000;
    // How often, while the window is shown, the three states are read again
    // from the machine's sockets.
    int statePeriodMs = 3000;

    // The running process: its rights, the user-data folder's database.
    static CMainWindowOptions forThisProcess();
};

class CMainWindow : public QDialog, public comm_method::IQssReloadNotifyMgrObserver
{
    Q_OBJECT
public:
    explicit CMainWindow(QWidget* parent = nullptr);
    CMainWindow(QWidget* parent, const CMainWindowOptions& options);
    ~CMainWindow() override;

    // The stored auto-launch choice; an empty table is healed to "off".
    bool IsAutoRunEnabled();
    // Replaces the one row of the auto-launch table.
    void WriteAutoRunConfig(bool enable);

    // Observer of the style-sheet reload (called on the notification thread).
    void OnQssReload(const Param& param) override;

signals:
    void singnalAppClose();
    void signalRestarServer();
    void signalLoadQss();
    void signalModifyAppIConTip();

public slots:
    void onMinShow();
    void onCloseApp();
    void onExportServerAuthSetting();
    void onEditPort();
    void onModifyPort();
    void onUpdateTime();
    void CloseSoft();
    void onAutoRun(int iFlag);
    void onLoadQss();

protected:
    void changeEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void initContents(int clockPeriodMs);
    void applyLanguageParts();
    void applySkinImages();
    void applyTitle();
    void showPorts();
    // "Started" for a port a socket listens on (it is served), else "Stopped".
    void showStates();
    void showNotice(const QString& title, const QString& text);
    // A confirm-only notice over the window, 360 wide in Chinese and 450
    // otherwise; true when confirmed.
    bool showPortNotice(const QString& title, const QString& text, const QString& icon = QString());

    std::unique_ptr<Ui::mainWindow> ui;
    bool isAdmin;
    QString systemDatabase;
    CEditPort* editPortDialog;
    CWaringDlg* noticeDialog;
    QTimer* timer;
    QTimer* stateTimer;
    int runDays;
    int runHours;
    int runMinutes;
    int runSeconds;
    CFramelessDrag drag;
};

} // namespace serverframework
