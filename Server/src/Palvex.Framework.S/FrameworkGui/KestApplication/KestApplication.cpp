#include "KestApplication.h"

#include "FrameworkMgr.h"
#include "SignalSet.h"
#include "WatchDog.h"
#include "controller/ServerConfigManager.h"
#include "controller/XMLConfigManager.h"
#include "logical/CheckPort.h"
#include "logical/IdentifyAuth/AuthCfgManager.h"
#include "ui/Languages.h"
#include "ui/SkinLoader.h"
#include "ui/WaringDlg.h"

#include <Base/Log.h>
#include <DeviceManager/DeviceManager.h>
#include <Framework/Framework.h>
#include <Platform/Platform.h>
#include <VideoServer/VideoServer.h>

#include <QDialog>
#include <QEvent>
#include <QHelpEvent>
#include <QSocketNotifier>
#include <QThread>
#include <QTimer>
#include <QToolTip>
#include <QTranslator>
#include <QVariant>
#include <QWidget>

#include <atomic>
#include <cstdio>
#include <exception>
#include <memory>

namespace serverframework {

namespace {

std::atomic<bool> g_rebootRequested{false};

// The framework library calls these from a thread of its own; each only
// sets a flag or hands the request to the main thread.
void rebootCallback(void*)
{
    g_rebootRequested = true;
    QMetaObject::invokeMethod(QCoreApplication::instance(), "quit", Qt::QueuedConnection);
}

void closeCallback(void*)
{
    CSignalSet::Instance().emitCloseFrame();
}

void delayCloseCallback(void*)
{
    CSignalSet::Instance().stopCloseTimer();
}

// While start-up waits on a person (a dialog of the port audit, a notice),
// the service manager is asked every period for more start time.
constexpr int kStartExtendPeriodMs = 5000;
const char* const kStartExtendState = "EXTEND_TIMEOUT_USEC=30000000";

// Product types whose services authenticate each other.
bool productUsesIdentity(int productType)
{
    return productType == 0 || productType == 2 || productType == 4;
}

} // namespace

CKestApplication::CKestApplication(int& argc, char* argv[])
    : SingleApplication(argc, argv, false, SingleApplication::PerUser, 1000)
    , languageType(0)
    , servicesUp(true)
    , identityEnabled(false)
    , frameworkMgr(nullptr)
    , terminationNotifier(nullptr)
    , starting(false)
    , terminationRequested(false)
    , restartRequested(false)
{
    // Termination signals reach the event loop as bytes on a descriptor.
    const int terminationFd = platform::terminationRequestDescriptor();
    if (terminationFd >= 0) {
        terminationNotifier = new QSocketNotifier(terminationFd, QSocketNotifier::Read, this);
        connect(terminationNotifier, &QSocketNotifier::activated, this, [this] { onTerminationRequest(); });
    } else {
        TLOG_ERROR("Termination signals cannot be watched; they end the host without its teardown.");
    }
    QApplication::setEffectEnabled(Qt::UI_AnimateMenu, false);
    QGuiApplication::setQuitOnLastWindowClosed(false);
    connect(&CSignalSet::Instance(), &CSignalSet::signalCloseFrame,
            this, &CKestApplication::onQuitAppDelay);
    connect(this, &CKestApplication::singnalLanguageChange,
            this, &CKestApplication::onLanguageChange);
    // "--quit" of a later start, over the single-instance channel.
    connect(this, &SingleApplication::quitRequested, this, &CKestApplication::onQuitApp);
}

CKestApplication::~CKestApplication()
{
    delete frameworkMgr;
}

bool CKestApplication::rebootRequested()
{
    return g_rebootRequested;
}

int CKestApplication::exitStatusAfterRun() const
{
    return restartRequested || g_rebootRequested ? RestartExitCode : 0;
}

bool CKestApplication::init()
{
    starting = true;
    const std::unique_ptr<bool, void (*)(bool*)> startingEnds(&starting, [](bool* flag) { *flag = false; });
    QTimer startExtender;
    startExtender.setInterval(kStartExtendPeriodMs);
    connect(&startExtender, &QTimer::timeout, [] { platform::notifyServiceManager(kStartExtendState); });
    startExtender.start();

    Base::CSingleton<XMLConfigManager>::Instance().InitManager(true);

    loadSkin("GreyRedSkin");

    CServerConfigManager& settings = CServerConfigManager::Instance();
    languageType = settings.translator;
    settings.loadLanguage(languageType);
    const QVector<QTranslator*> installed = settings.getTranslators();
    translators.assign(installed.begin(), installed.end());
    locale = settings.localeFor(languageType);

    if (listenFailed()) {
        TLOG_ERROR("The single-instance socket %s cannot be listened on; the host does not start.",
                   qUtf8Printable(socketPath()));
        servicesUp = false;
        return false;
    }
    if (!isPrimary()) {
        TLOG_WARN("Start refused: the host of process %lld already runs for this user and program.",
                  static_cast<long long>(primaryPid()));
        showNotice(QStringLiteral("Tavrin.Framework.S"), tr("TheServiceIsAlreadyStarted"));
        servicesUp = false;
        return false;
    }
    if (otherHostProcessRuns()) {
        showNotice(QStringLiteral("Tavrin.Framework.S"), tr("TheServiceIsAlreadyStarted"));
        servicesUp = false;
        return false;
    }

    TLOG_INFO("Checking the configured ports.");
    CCheckPort::instance().setAskUser(!displayless);
    const bool portsChecked = CCheckPort::instance().checkAllPortIsUsed();
    if (!portsChecked && !terminationRequested) {
        TLOG_INFO("The port check was not completed; the services stay down.");
        std::fputs("The port settings were cancelled, so the configured ports stay in conflict: "
                   "the services stay down.\n", stderr);
        servicesUp = false;
        return false;
    }
    if (terminationRequested) {
        TLOG_INFO("Start-up stopped by a termination signal; the services stay down.");
        servicesUp = false;
        return false;
    }
    TLOG_INFO("The port check is complete.");

    Base::CSingleton<XMLConfigManager>::Instance().reInitPort();

    if (!initFrameworkFirst()) {
        showNotice(tr("Information"), tr("FailedToReadConfigurjfxcxFAf"));
        return false;
    }
    initFrameworkSecond();
    initFrameworkLast();
    devmgr::InitDeviceManagerServer();
    video::InitVideoServer();

    setRebootCallback(&rebootCallback, this);
    setCloseCallback(&closeCallback, this);
    setDelayCloseCallback(&delayCloseCallback, this);
    setRegisterRccCallback(&registerRccCallback, this);
    setLanguageCallback([this](int iLanguageType) {
        // A number outside the language table has nothing to switch to.
        if (languageName(iLanguageType).isEmpty())
            return false;
        emit singnalLanguageChange(iLanguageType);
        return true;
    });

    WatchDog::Instance().start();

    if (productUsesIdentity(Base::CSingleton<XMLConfigManager>::Instance().productType)) {
        identityEnabled = true;
        CAuthenticationManager& identity = CAuthenticationManager::Instance();
        if (identity.InitIdentifyLib() == CAuthenticationManager::kNoRecord) {
            identity.CreateIdentifyInfo();
            identity.InitIdentifyLib();
        }
    }

    if (!frameworkMgr) {
        frameworkMgr = new CFrameworkMgr();
        connect(frameworkMgr, &CFrameworkMgr::signalQuitApp, this, &CKestApplication::onQuitApp);
        connect(frameworkMgr, &CFrameworkMgr::signalReStartApp, this, &CKestApplication::onReStartServer);
    }
    return true;
}

// Another installed copy of the host run by this user. Processes of other
// users never count, and copies of this very executable are left to the
// single-instance guard (they may be starting at the same moment and be
// refused by it).
bool CKestApplication::otherHostProcessRuns() const
{
    const QString filePath = QCoreApplication::applicationFilePath();
    const std::string imageName =
        filePath.mid(filePath.lastIndexOf(QLatin1Char('/')) + 1).toLocal8Bit().toStdString();
    const std::uint32_t self = platform::currentProcessId();
    const std::string ownExecutable = platform::processExecutablePath(self);
    for (std::uint32_t pid : platform::findProcessesByImageName(imageName)) {
        if (pid == self || !platform::processOfCurrentUser(pid))
            continue;
        const std::string executable = platform::processExecutablePath(pid);
        if (executable.empty() || executable == ownExecutable)
            continue;
        TLOG_WARN("Start refused: another copy of the host runs for this user (process %u, %s).", pid,
                  executable.c_str());
        return true;
    }
    return false;
}

void CKestApplication::onTerminationRequest()
{
    const int signal = platform::takeTerminationRequest(static_cast<int>(terminationNotifier->socket()));
    if (signal == 0)
        return;
    TLOG_INFO("Termination signal %d received.", signal);
    if (terminationRequested)
        return; // the teardown runs once
    terminationRequested = true;
    if (starting) {
        // Start-up may be waiting in a dialog: close it (and any it opens
        // later, see notify), and the start-up sequence ends through the
        // failed-start teardown.
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (widget->isVisible())
                rejectIfStartupDialog(widget);
        }
        return;
    }
    onQuitApp();
}

void CKestApplication::rejectIfStartupDialog(QObject* object)
{
    auto* dialog = qobject_cast<QDialog*>(object);
    if (dialog && dialog->isModal())
        QMetaObject::invokeMethod(dialog, "reject", Qt::QueuedConnection);
}

void CKestApplication::showNotice(const QString& title, const QString& text)
{
    if (displayless) {
        TLOG_INFO("No display; the notice goes to standard error: %s", text.toUtf8().constData());
        std::fprintf(stderr, "%s: %s\n", title.toUtf8().constData(), text.toUtf8().constData());
        return;
    }
    CWaringDlg dialog;
    dialog.setTitleText(title);
    dialog.setConfirmOnly(true);
    dialog.setWaringText(text);
    dialog.exec();
}

bool CKestApplication::notify(QObject* receiver, QEvent* event)
{
    try {
        switch (event->type()) {
        case QEvent::Show:
            if (receiver->isWidgetType()) {
                for (QWidget* w = static_cast<QWidget*>(receiver); w; w = w->parentWidget()) {
                    if (!w->testAttribute(Qt::WA_Mapped))
                        w->setAttribute(Qt::WA_Mapped);
                }
                // Nobody is to answer a dialog once a signal ended start-up.
                if (starting && terminationRequested)
                    rejectIfStartupDialog(receiver);
            }
            break;
        case QEvent::ApplicationFontChange:
        case QEvent::ApplicationPaletteChange:
            return true;
        case QEvent::ToolTip:
            if (receiver->property("toolTip").isNull() && !receiver->inherits("QLineEdit")) {
                const QPoint pos = static_cast<QHelpEvent*>(event)->globalPos();
                const QVariant text = receiver->property("text");
                if (!text.isNull()) {
                    QToolTip::showText(pos, text.toString());
                    return true;
                }
                const QVariant current = receiver->property("currentText");
                if (!current.isNull()) {
                    QToolTip::showText(pos, current.toString());
                    return true;
                }
            }
            break;
        default:
            break;
        }
        return SingleApplication::notify(receiver, event);
    } catch (...) {
        return false;
    }
}

void CKestApplication::queueQuit()
{
    QMetaObject::invokeMethod(this, "quit", Qt::QueuedConnection);
}

void CKestApplication::dropFrameworkMgr()
{
    if (!frameworkMgr)
        return;
    disconnect(frameworkMgr, &CFrameworkMgr::signalQuitApp, this, &CKestApplication::onQuitApp);
    disconnect(frameworkMgr, &CFrameworkMgr::signalReStartApp, this, &CKestApplication::onReStartServer);
    frameworkMgr->close();
    // We may be inside one of its own signals: free it once that returned.
    frameworkMgr->deleteLater();
    frameworkMgr = nullptr;
}

void CKestApplication::onQuitAppDelay()
{
    QThread::msleep(3000);
    onQuitApp();
}

void CKestApplication::onQuitApp()
{
    TLOG_INFO("Quit: begin.");
    CAuthenticationManager::Instance().ReleaseIdentifyLib();
    TLOG_INFO("Quit: identity library released.");
    WatchDog::Instance().stop();
    TLOG_INFO("Quit: watchdog stopped; client side done.");
    if (servicesUp) {
        servicesUp = false;
        uninitFramework();
        TLOG_INFO("Quit: framework library released.");
    }
    TLOG_INFO("Quit: server side done.");
    if (frameworkMgr) {
        dropFrameworkMgr();
        TLOG_INFO("Quit: tray object deleted.");
    }
    TLOG_INFO("Quit: queueing the end of the event loop.");
    queueQuit();
}

void CKestApplication::onReStartServer()
{
    TLOG_INFO("Restart: begin.");
    restartRequested = true;
    CAuthenticationManager::Instance().ReleaseIdentifyLib();
    TLOG_INFO("Restart: identity library released.");
    if (servicesUp) {
        servicesUp = false;
        uninitFramework();
        TLOG_INFO("Restart: framework library released.");
    }
    if (frameworkMgr) {
        dropFrameworkMgr();
        TLOG_INFO("Restart: tray object deleted.");
    }
    queueQuit();
    TLOG_INFO("Restart: end of the event loop queued.");
}

void CKestApplication::abortStart()
{
    if (servicesUp) {
        servicesUp = false;
        releaseIdentityAndTray("Failed start");
        WatchDog::Instance().stop();
        TLOG_INFO("Failed start: watchdog stopped.");
        devmgr::UnInitDeviceManagerServer();
        video::UnInitVideoServer();
        uninitFramework();
        TLOG_INFO("Failed start: modules and framework library released.");
    }
    queueQuit();
}

// The failed-start and reboot teardowns release the tray object and the
// identity library only when the identity step ran.
void CKestApplication::releaseIdentityAndTray(const char* teardown)
{
    if (!identityEnabled)
        return;
    delete frameworkMgr;
    frameworkMgr = nullptr;
    CAuthenticationManager::Instance().ReleaseIdentifyLib();
    TLOG_INFO("%s: identity library released.", teardown);
}

void CKestApplication::finishAfterReboot()
{
    if (servicesUp) {
        servicesUp = false;
        releaseIdentityAndTray("Reboot");
        uninitFramework();
        TLOG_INFO("Reboot: framework library released.");
    }
    queueQuit();
}

void CKestApplication::onLanguageChange(int iLanguageType)
{
    std::fputs("I get the language change!!!!\n", stdout);
    std::fflush(stdout);
    CServerConfigManager::Instance().switchLanguage(iLanguageType);
    TLOG_INFO("Interface language switched to %d.", iLanguageType);
    reloadTranslations(iLanguageType);
}

} // namespace serverframework
