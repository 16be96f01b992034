#include "MainWindow.h"

#include "DialogPlacement.h"
#include "EditPort.h"
#include "EditPortDlg.h"
#include "QssReloadNotifyMgr.h"
#include "SignalSet.h"
#include "StyleSheet.h"
#include "WaringDlg.h"
#include "controller/ServerConfigManager.h"
#include "controller/XMLConfigManager.h"
#include "logical/CheckPort.h"
#include "logical/IdentifyAuth/AuthCfgManager.h"
#include "logical/PortValues.h"
#include "logical/RegModify.h"
#include "logical/ProductType.h"
#include "logical/SmsPlugin.h"
#include "ui_MainWindow.h"

#include "CommonMethod/ServedPorts.h"
#include "CommonMethod/UserDataPath.h"

#include <Base/DiskDriveUtil.h>
#include <Base/Encoding.h>
#include <Base/Log.h>
#include <Framework/Framework.h>
#include <Platform/Platform.h>
#include <SQLite/SQLite3Conn.h>

#include <QCoreApplication>
#include <QEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHideEvent>
#include <QIcon>
#include <QMouseEvent>
#include <QShowEvent>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <set>

namespace serverframework {

namespace {

const char kRunValueName[] = "TavrinServer";
// Drawn from its vector source at the screen's scale.
const char kLogo[] = ":/FrameworkGui/TrayIcon/Image/server24.svg";

// What a session starts: the launcher beside the program where there is one
// (it starts the host as the user's service where a service manager runs,
// so that a restart brings it back), else the program itself.
QString sessionStartProgram()
{
    const QString launcher = QCoreApplication::applicationDirPath() + QStringLiteral("/tavrin-server-start");
    return QFileInfo(launcher).isExecutable() ? launcher : QCoreApplication::applicationFilePath();
}

QString twoDigits(int value)
{
    return QStringLiteral("%1").arg(value, 2, 10, QLatin1Char('0'));
}

// Whether the file system of the chosen path has room. A drive path
// ("C:...") needs its drive's free space to be known and non-zero; an
// absolute path counts as full only when its folder reports no free byte (a
// folder that cannot be looked at is left to the export to report).
bool hasEnoughSpace(const QString& path)
{
    std::uint64_t total = 0;
    std::uint64_t available = 0;
    if (path.size() > 1 && path[0] > QLatin1Char('A') && path[0] < QLatin1Char('Z') && path[1] == QLatin1Char(':'))
        return Base::DiskDriveUtil::GetLocalDriveSpace(Base::UTF8ToLocal(path.left(2).toStdString() + "/"), total,
                                                       available)
                   == 0
               && available != 0;
    if (path.startsWith(QLatin1Char('/'))) {
        const std::string folder = Base::UTF8ToLocal(path.left(path.lastIndexOf(QLatin1Char('/')) + 1).toStdString());
        return Base::DiskDriveUtil::GetLocalDriveSpace(folder, total, available) != 0 || available != 0;
    }
    return true;
}

// One statement on the "System" database; false (and a log line) when the
// database cannot be opened or the statement fails.
bool runOnSystemDatabase(const QString& database, const std::string& sql, CSQLite3Recordset* rows)
{
    if (database.isEmpty()) {
        TLOG_ERROR("There is no user-data folder for the auto-launch database.");
        return false;
    }
    CSQLite3Conn connection;
    if (!connection.Open(Base::LocalToUTF8(database.toStdString()), true, std::string())) {
        TLOG_ERROR("The auto-launch database %s cannot be opened: %s", database.toUtf8().constData(),
                   connection.GetLastError().c_str());
        return false;
    }
    // The table is the host's own; a new database gets it here.
    bool ok = connection.Execute("CREATE TABLE IF NOT EXISTS AutoRunConfig (EnableAutoRun INTEGER)");
    ok = ok && (rows ? connection.Execute(sql, *rows) : connection.Execute(sql));
    if (!ok)
        TLOG_ERROR("The auto-launch database %s: \"%s\" failed: %s", database.toUtf8().constData(), sql.c_str(),
                   connection.GetLastError().c_str());
    connection.Close();
    return ok;
}

} // namespace

CMainWindowOptions CMainWindowOptions::forThisProcess()
{
    CMainWindowOptions options;
    options.isAdmin = platform::isAdmin();
    const std::string dataDir = Base::CSingleton<comm_method::CUserDataPath>::Instance().getUserDataDir();
    if (!dataDir.empty())
        options.systemDatabase = QString::fromStdString(Base::LocalToUTF8(dataDir + "System"));
    return options;
}

CMainWindow::CMainWindow(QWidget* parent)
    : CMainWindow(parent, CMainWindowOptions::forThisProcess())
{
}

CMainWindow::CMainWindow(QWidget* parent, const CMainWindowOptions& options)
    : QDialog(parent, Qt::Window | Qt::FramelessWindowHint | Qt::WindowSystemMenuHint)
    , ui(new Ui::mainWindow)
    , isAdmin(options.isAdmin)
    , systemDatabase(options.systemDatabase)
    , editPortDialog(nullptr)
    , noticeDialog(nullptr)
    , timer(nullptr)
    , stateTimer(nullptr)
    , runDays(0)
    , runHours(0)
    , runMinutes(0)
    , runSeconds(0)
{
    ui->setupUi(this);
    applyTitle();
    comm_method::CQssReloadNotifyMgr::Instance().AddObserver(this);
    setStyleSheet(skinStyleSheet());
    connect(this, &CMainWindow::signalLoadQss, this, &CMainWindow::onLoadQss, Qt::BlockingQueuedConnection);
    initContents(options.clockPeriodMs);
    applyLanguageParts();
    // Only while the window is shown: see showEvent.
    stateTimer = new QTimer(this);
    stateTimer->setInterval(options.statePeriodMs);
    connect(stateTimer, &QTimer::timeout, this, &CMainWindow::showStates);
}

CMainWindow::~CMainWindow()
{
    // A reload notification waiting for this thread must not wait for ever
    // while the observer is taken off the list.
    disconnect(this, &CMainWindow::signalLoadQss, this, &CMainWindow::onLoadQss);
    QCoreApplication::removePostedEvents(this, QEvent::MetaCall);
    comm_method::CQssReloadNotifyMgr::Instance().RemoveObserver(this);
}

void CMainWindow::applyTitle()
{
    const bool secondBrand = Base::CSingleton<XMLConfigManager>::Instance().versionType == 1;
    setWindowTitle(secondBrand ? QStringLiteral("Orbelle.Framework.S") : QStringLiteral("Tavrin.Framework.S"));
    if (secondBrand)
        ui->m_serverLogo->hide();
}

void CMainWindow::initContents(int clockPeriodMs)
{
    ui->m_timeShow->setText(QStringLiteral("00:00:00"));
    timer = new QTimer(this);
    connect(timer, &QTimer::timeout, this, &CMainWindow::onUpdateTime);
    timer->start(clockPeriodMs);

    connect(ui->minBtn, &QPushButton::clicked, this, &CMainWindow::onMinShow);
    connect(ui->closeBtn, &QPushButton::clicked, this, &CMainWindow::onMinShow);
    connect(ui->m_EditBtn, &QPushButton::clicked, this, &CMainWindow::onModifyPort);
    connect(ui->m_AutoStart, &QCheckBox::stateChanged, this, &CMainWindow::onAutoRun);
    ui->minBtn->hide();

    showPorts();

    // Checking the box runs onAutoRun(2), which registers the current
    // program path again. The box itself is never shown.
    const bool autoRun = IsAutoRunEnabled();
    if (!isAdmin)
        ui->m_AutoStart->hide();
    else
        ui->m_AutoStart->setCheckState(autoRun ? Qt::Checked : Qt::Unchecked);
    ui->m_AutoStart->hide();

    if (hasFixedDeviceAccess(Base::CSingleton<XMLConfigManager>::Instance().productType))
        ui->label_11->hide();

    ui->m_AppName->setText(tr("Palvex"));
    setFixedSize(650, 350);
}

void CMainWindow::showPorts()
{
    const XMLConfigManager& config = Base::CSingleton<XMLConfigManager>::Instance();
    ui->m_HTTPport->setText(QString::number(config.httpPort));
    ui->m_TamsaCMSPort->setText(QString::number(config.videoWallPort));
    ui->m_SMSPortLabel->setText(QString::number(CSmsPlugin::rtspPort()));
    showStates();
}

void CMainWindow::showStates()
{
    const comm_method::CServedPorts machine = comm_method::CServedPorts::now();
    const QIcon started(QStringLiteral(":/FrameworkGui/TrayIcon/Image/ic_start.svg"));
    const QIcon stopped(QStringLiteral(":/FrameworkGui/TrayIcon/Image/ic_stop.svg"));
    const std::pair<QPushButton*, QLabel*> rows[] = {
        {ui->m_state, ui->m_HTTPport}, {ui->m_state_2, ui->m_TamsaCMSPort}, {ui->m_state_3, ui->m_SMSPortLabel}};
    for (const auto& [state, port] : rows) {
        const bool served = machine.served(port->text().toInt());
        state->setText(served ? tr("Started") : tr("Stopped"));
        state->setIcon(served ? started : stopped);
        setStyleProperty(state, "served", served);
    }
}

void CMainWindow::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    showStates();
    stateTimer->start();
}

void CMainWindow::hideEvent(QHideEvent* event)
{
    stateTimer->stop();
    QDialog::hideEvent(event);
}

// The images come from the current skin's resources: read again after a
// skin change, as the widgets keep what they were given.
void CMainWindow::applySkinImages()
{
    // Rendered for the device pixels the label covers, so it stays sharp
    // when the desktop is scaled.
    const qreal scale = devicePixelRatioF();
    QPixmap logo = QIcon(QString::fromLatin1(kLogo)).pixmap(ui->m_serverLogo->size() * scale);
    logo.setDevicePixelRatio(scale);
    ui->m_serverLogo->setPixmap(logo);
    const QString images = QStringLiteral(":/FrameworkGui/TrayIcon/Image/");
    ui->minBtn->setIcon(QIcon(images + QStringLiteral("ic_min_dis.svg")));
    ui->closeBtn->setIcon(QIcon(images + QStringLiteral("ic_close_dis.svg")));
    ui->m_EditBtn->setIcon(QIcon(images + QStringLiteral("ic_edit_nor.svg")));
    showStates();
}

void CMainWindow::applyLanguageParts()
{
    applySkinImages();
    ui->m_timeName->setText(tr("RunTime") + QLatin1Char(' '));
}

void CMainWindow::changeEvent(QEvent* event)
{
    if (event->type() != QEvent::LanguageChange) {
        QDialog::changeEvent(event);
        return;
    }
    // The form's own texts come back; the ports and the title stay.
    const QString http = ui->m_HTTPport->text();
    const QString videoWall = ui->m_TamsaCMSPort->text();
    const QString sms = ui->m_SMSPortLabel->text();
    ui->retranslateUi(this);
    applyTitle();
    ui->m_HTTPport->setText(http);
    ui->m_TamsaCMSPort->setText(videoWall);
    ui->m_SMSPortLabel->setText(sms);
    ui->m_AppName->setText(tr("Palvex"));
    applyLanguageParts();
}

void CMainWindow::onUpdateTime()
{
    if (++runSeconds > 59) {
        runSeconds = 0;
        if (++runMinutes > 59) {
            runMinutes = 0;
            if (++runHours > 23) {
                runHours = 0;
                ++runDays;
            }
        }
    }
    const QString clock =
        twoDigits(runHours) + QLatin1Char(':') + twoDigits(runMinutes) + QLatin1Char(':') + twoDigits(runSeconds);
    ui->m_timeShow->setText(runDays == 0 ? clock : QString::number(runDays) + tr("Sky") + clock);
}

void CMainWindow::onMinShow()
{
    hide();
}

void CMainWindow::CloseSoft()
{
    CSignalSet::Instance().emitCloseFrame();
    hide();
}

void CMainWindow::onCloseApp()
{
    TLOG_INFO("Closing was requested from the service management window.");
    if (!platform::findProcessesByImageName(platform::clientImageName()).empty()) {
        // The framework library ends the client first; it asks for the close.
        closeFrameworkClient();
        return;
    }
    CSignalSet::Instance().emitCloseFrame();
}

void CMainWindow::showNotice(const QString& title, const QString& text)
{
    if (!noticeDialog)
        noticeDialog = new CWaringDlg(this);
    noticeDialog->setTitleText(title);
    noticeDialog->setConfirmOnly(true);
    noticeDialog->setWaringText(text);
    placeDialog(noticeDialog, this);
    noticeDialog->exec();
}

void CMainWindow::onExportServerAuthSetting()
{
    const QString path = QFileDialog::getSaveFileName(this, tr("ChooseFile"), QStringLiteral("."),
                                                      tr("XMLFile") + QStringLiteral("(*.xml)"));
    if (path.isNull())
        return;
    if (!hasEnoughSpace(path)) {
        showNotice(tr("Hint"), tr("NoEnoughHDDSpace"));
        return;
    }
    // The export replaces the file whole or leaves it as it was.
    if (!CAuthenticationManager::Instance().ExportIdentifyInfo(Base::UTF8ToLocal(path.toStdString()))) {
        TLOG_ERROR("The identity parameters were not exported to %s.", path.toUtf8().constData());
        showNotice(tr("Hint"), tr("ExportFailed"));
        return;
    }
    showNotice(tr("Hint"), tr("Exported"));
}

bool CMainWindow::showPortNotice(const QString& title, const QString& text, const QString& icon)
{
    CWaringDlg notice(this);
    notice.setFixedSize(CServerConfigManager::Instance().translator == 1 ? 360 : 450, 198);
    notice.setTitleText(title);
    notice.setConfirmOnly(true);
    if (!icon.isEmpty())
        notice.setIconPixmap(QPixmap(icon));
    notice.setWaringText(text);
    placeDialog(&notice, this);
    return notice.exec() == QDialog::Accepted;
}

void CMainWindow::onEditPort()
{
    if (!editPortDialog)
        editPortDialog = new CEditPort(this);
    editPortDialog->clearFields();
    const QString http = ui->m_HTTPport->text();
    const QString webSocket = ui->m_TamsaCMSPort->text();
    editPortDialog->setPorts(http, webSocket);
    placeDialog(editPortDialog, this);
    if (editPortDialog->exec() != QDialog::Accepted)
        return;

    QString newHttp;
    QString newWebSocket;
    editPortDialog->getPorts(newHttp, newWebSocket);
    if (newHttp == http && newWebSocket == webSocket)
        return;
    // The sockets of this moment; the host's own servers hold the two ports edited.
    CCheckPort& checkPort = CCheckPort::instance();
    checkPort.refreshSnapshot({http.toUInt(), webSocket.toUInt()});
    QString holder;
    if (newHttp != http && checkPort.IsPortUsed(newHttp.toUInt(), holder)) {
        showPortNotice(tr("Caution"), tr("HTTPPortConflictedSetANewOne"));
        return;
    }
    if (newWebSocket != webSocket && checkPort.IsPortUsed(newWebSocket.toUInt(), holder)) {
        showPortNotice(tr("Caution"), tr("WebSocketPortConflictedSetANewOne"));
        return;
    }
    // Both or neither: an HTTP port stored before the WebSocket port failed
    // is put back.
    const bool httpStored = setHttpPort2Xml(newHttp.toStdString());
    if (!httpStored || !setWebSocketPort2Xml(newWebSocket.toStdString())) {
        if (httpStored)
            setHttpPort2Xml(http.toStdString());
        TLOG_ERROR("The new HTTP and WebSocket ports could not be stored.");
        showPortNotice(tr("Caution"), tr("PortsNotSaved"));
        return;
    }
    ui->m_HTTPport->setText(newHttp);
    ui->m_TamsaCMSPort->setText(newWebSocket);
    showStates();
    showPortNotice(tr("Caution"), tr("RebootTheDeviceNowToMakeNewSettingsEffective"));
}

void CMainWindow::onModifyPort()
{
    XMLConfigManager& config = Base::CSingleton<XMLConfigManager>::Instance();
    config.InitManager(false);
    const PortValues configured = PortValues::configured(config, CSmsPlugin::rtspPort());

    CCheckPort& checkPort = CCheckPort::instance();
    int acceptedHttp = 0;
    int acceptedCms = 0;
    checkPort.GetAcceptedPorts(acceptedHttp, acceptedCms);

    // The ports being edited do not count as taken, and the host's own
    // servers holding one of them do not make it held.
    QMap<int, bool> claimed = checkPort.claimedPorts;
    QList<int> edited{acceptedHttp,    config.videoPort,     config.playbackPort,
                      config.httpPort, config.videoWallPort, configured[ServicePort::Rtsp]};
    if (!choosesHttpOnly(config.productType))
        edited << acceptedCms << config.amsPort << config.mqttPort << config.ssPort << config.videoVicPort
               << config.audioPort;
    std::set<unsigned int> own;
    for (const int port : edited) {
        claimed.remove(port);
        own.insert(static_cast<unsigned int>(port));
    }
    checkPort.refreshSnapshot(own);

    CEditPortDlg dialog(this);
    dialog.setClaimedPorts(claimed);
    dialog.setPorts(configured);
    dialog.setExternIPAddress(QString::fromStdString(config.externIPAddress));
    dialog.setExternEnabled(config.externEnabled);
    placeDialog(&dialog, this);
    if (dialog.exec() != QDialog::Accepted)
        return;

    showPorts();
    if (!showPortNotice(tr("Tip"), tr("Saved.PleaseRestartClient"),
                        QStringLiteral(":/FrameworkGui/TrayIcon/Image/notice_Icon.svg")))
        return;
    emit signalRestarServer();
    closeFrameworkClient();
    checkPort.reinitFramework();
}

void CMainWindow::onAutoRun(int iFlag)
{
    if (!isAdmin) {
        WriteAutoRunConfig(false);
        return;
    }
    const bool enable = iFlag == Qt::Checked;
    {
        CRegModify run(platform::kMachineRunKey, 0);
        const bool done = enable ? run.setString(kRunValueName, Base::UTF8ToLocal(sessionStartProgram().toStdString()))
                                 : run.deleteValue(kRunValueName);
        if (!done)
            TLOG_ERROR("The auto-launch entry could not be %s.", enable ? "written" : "removed");
    }
    WriteAutoRunConfig(enable);
}

bool CMainWindow::IsAutoRunEnabled()
{
    CSQLite3Recordset rows;
    if (!runOnSystemDatabase(systemDatabase, "SELECT  * FROM AutoRunConfig", &rows))
        return false; // unknown: the stored choice and the entry stay as they are
    if (rows.HasRow())
        return rows.GetInt(0) != 0;
    onAutoRun(Qt::Unchecked);
    return false;
}

void CMainWindow::WriteAutoRunConfig(bool enable)
{
    char insert[64];
    std::snprintf(insert, sizeof insert, "INSERT INTO AutoRunConfig (EnableAutoRun ) VALUES (%d) ", enable ? 1 : 0);
    // One transaction: a failed insert leaves the old row.
    runOnSystemDatabase(systemDatabase, std::string("BEGIN; DELETE FROM AutoRunConfig; ") + insert + "; COMMIT;",
                        nullptr);
}

void CMainWindow::OnQssReload(const Param&)
{
    emit signalLoadQss();
}

void CMainWindow::onLoadQss()
{
    setStyleSheet(skinStyleSheet());
    applySkinImages();
}

void CMainWindow::mousePressEvent(QMouseEvent* event)
{
    drag.press(this, event);
}

void CMainWindow::mouseMoveEvent(QMouseEvent* event)
{
    drag.move(this, event);
}

void CMainWindow::mouseReleaseEvent(QMouseEvent* event)
{
    drag.release(event);
}

} // namespace serverframework
