#include "KestApplication.h"

#include "FrameworkMgr.h"
#include "SignalSet.h"
#include "controller/Languages.h"
#include "controller/ServerConfigManager.h"
#include "controller/XMLConfigManager.h"
#include "lifecycle/HostServices.h"
#include "logical/CheckPort.h"
#include "ui/DialogPlacement.h"
#include "ui/SkinLoader.h"
#include "ui/StartupPortChooser.h"
#include "ui/WaringDlg.h"

#include <Base/Log.h>
#include <Platform/Platform.h>

#include <QDialog>
#include <QEvent>
#include <QHelpEvent>
#ifdef Q_OS_WIN
#include <QWinEventNotifier>
#else
#include <QSocketNotifier>
#endif
#include <QThread>
#include <QTimer>
#include <QToolTip>
#include <QTranslator>
#include <QVariant>
#include <QWidget>

#include <cstdint>
#include <cstdio>
#include <exception>
#include <memory>

namespace serverframework {

namespace {

// While start-up waits on a person (a dialog of the port audit, a notice),
// the service manager is asked every period for more start time.
constexpr int kStartExtendPeriodMs = 5000;
const char* const kStartExtendState = "EXTEND_TIMEOUT_USEC=30000000";

} // namespace

CKestApplication::CKestApplication(int& argc, char* argv[])
    : SingleApplication(argc, argv, false, SingleApplication::PerUser, 1000)
    , languageType(0)
    , lifecycle([this](bool deferred) { dropFrameworkMgr(deferred); })
    , frameworkMgr(nullptr)
    , terminationDescriptor(-1)
    , starting(false)
    , terminationRequested(false)
    , restartRequested(false)
{
    // Termination signals reach the event loop as bytes on a descriptor (on
    // Windows console control events, through an event handle).
    terminationDescriptor = platform::terminationRequestDescriptor();
    if (terminationDescriptor >= 0) {
#ifdef Q_OS_WIN
        const auto notifier = new QWinEventNotifier(
            reinterpret_cast<Qt::HANDLE>(static_cast<std::intptr_t>(terminationDescriptor)), this);
        connect(notifier, &QWinEventNotifier::activated, this, [this] { onTerminationRequest(); });
#else
        const auto notifier = new QSocketNotifier(terminationDescriptor, QSocketNotifier::Read, this);
        connect(notifier, &QSocketNotifier::activated, this, [this] { onTerminationRequest(); });
#endif
    } else {
        TLOG_ERROR("Termination signals cannot be watched; they end the host without its teardown.");
    }
    QApplication::setEffectEnabled(Qt::UI_AnimateMenu, false);
    QGuiApplication::setQuitOnLastWindowClosed(false);
    connect(&CSignalSet::Instance(), &CSignalSet::signalCloseFrame, this, &CKestApplication::onQuitAppDelay);
    connect(this, &CKestApplication::singnalLanguageChange, this, &CKestApplication::onLanguageChange);
    // "--quit" of a later start, over the single-instance channel.
    connect(this, &SingleApplication::quitRequested, this, &CKestApplication::onQuitApp);
}

CKestApplication::~CKestApplication()
{
    delete frameworkMgr;
}

int CKestApplication::exitStatusAfterRun() const
{
    return restartRequested || rebootRequested() ? RestartExitCode : 0;
}

bool CKestApplication::init()
{
    starting = true;
    const std::unique_ptr<bool, void (*)(bool*)> startingEnds(&starting, [](bool* flag) { *flag = false; });
    QTimer startExtender;
    startExtender.setInterval(kStartExtendPeriodMs);
    connect(&startExtender, &QTimer::timeout, [] { platform::notifyServiceManager(kStartExtendState); });
    startExtender.start();

    XMLConfigManager& config = Base::CSingleton<XMLConfigManager>::Instance();
    config.InitManager(true);
    loadSkin("GreyRedSkin");
    loadLanguage();
    if (refusedAsSecondHost() || !auditPorts()) {
        lifecycle.markNothingStarted();
        return false;
    }
    config.reInitPort();

    const auto language = [this](int iLanguageType) {
        // A number outside the language table has nothing to switch to.
        if (languageName(iLanguageType).isEmpty())
            return false;
        emit singnalLanguageChange(iLanguageType);
        return true;
    };
    if (!lifecycle.start(config.productType, &registerRccCallback, this, language)) {
        showNotice(tr("Information"), tr("FailedToReadConfigurjfxcxFAf"));
        return false;
    }

    if (!frameworkMgr) {
        frameworkMgr = new CFrameworkMgr();
        connect(frameworkMgr, &CFrameworkMgr::signalQuitApp, this, &CKestApplication::onQuitApp);
        connect(frameworkMgr, &CFrameworkMgr::signalReStartApp, this, &CKestApplication::onReStartServer);
        frameworkMgr->showPortMoves(CCheckPort::instance().moves());
    }
    // The page names the product as the tray does.
    publishHostServices(CFrameworkMgr::tr("Palvex").toStdString());
    return true;
}

void CKestApplication::loadLanguage()
{
    CServerConfigManager& settings = CServerConfigManager::Instance();
    languageType = settings.translator;
    settings.loadLanguage(languageType);
    const QVector<QTranslator*> installed = settings.getTranslators();
    translators.assign(installed.begin(), installed.end());
    locale = settings.localeFor(languageType);
}

bool CKestApplication::refusedAsSecondHost()
{
    if (listenFailed()) {
        TLOG_ERROR("The single-instance socket %s cannot be listened on; the host does not start.",
                   qUtf8Printable(socketPath()));
        return true;
    }
    if (!isPrimary()) {
        TLOG_WARN("Start refused: the host of process %lld already runs for this user and program.",
                  static_cast<long long>(primaryPid()));
    } else if (!otherHostProcessRuns()) {
        return false;
    }
    showNotice(QStringLiteral("Tavrin.Framework.S"), tr("TheServiceIsAlreadyStarted"));
    return true;
}

bool CKestApplication::auditPorts()
{
    TLOG_INFO("Checking the configured ports.");
    CStartupPortChooser dialog;
    CCheckPort& checkPort = CCheckPort::instance();
    checkPort.setPortChooser(displayless ? nullptr : &dialog);
    const bool checked = checkPort.checkAllPortIsUsed();
    checkPort.setPortChooser(nullptr);
    if (terminationRequested) {
        TLOG_INFO("Start-up stopped by a termination signal; the services stay down.");
        return false;
    }
    if (!checked) {
        TLOG_INFO("The port check was not completed; the services stay down.");
        if (displayless)
            std::fputs("The port settings were cancelled, so the configured ports stay in conflict: "
                       "the services stay down.\n",
                       stderr);
        else
            showNotice(tr("Information"), tr("PortsCancelledServicesStayDown"));
        return false;
    }
    TLOG_INFO("The port check is complete.");
    return true;
}

// Another installed copy of the host run by this user. Processes of other
// users never count, and copies of this very executable are left to the
// single-instance guard (they may be starting at the same moment and be
// refused by it).
bool CKestApplication::otherHostProcessRuns() const
{
    const QString filePath = QCoreApplication::applicationFilePath();
    const std::string imageName = filePath.mid(filePath.lastIndexOf(QLatin1Char('/')) + 1).toLocal8Bit().toStdString();
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
    const int signal = platform::takeTerminationRequest(terminationDescriptor);
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
    placeDialog(&dialog, nullptr);
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
        case QEvent::ApplicationPaletteChange: return true;
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
        default: break;
        }
        return SingleApplication::notify(receiver, event);
    } catch (const std::exception& e) {
        TLOG_ERROR("Event %d was dropped: its delivery threw \"%s\".", static_cast<int>(event->type()), e.what());
    } catch (...) {
        TLOG_ERROR("Event %d was dropped: its delivery threw.", static_cast<int>(event->type()));
    }
    return false;
}

// The tray object's release of every teardown; deferred when the request may
// come from one of its own signals: it is freed once that returned.
void CKestApplication::dropFrameworkMgr(bool deferred)
{
    if (!frameworkMgr)
        return;
    disconnect(frameworkMgr, &CFrameworkMgr::signalQuitApp, this, &CKestApplication::onQuitApp);
    disconnect(frameworkMgr, &CFrameworkMgr::signalReStartApp, this, &CKestApplication::onReStartServer);
    frameworkMgr->close();
    if (deferred)
        frameworkMgr->deleteLater();
    else
        delete frameworkMgr;
    frameworkMgr = nullptr;
}

void CKestApplication::onQuitAppDelay()
{
    QThread::msleep(3000);
    onQuitApp();
}

void CKestApplication::onQuitApp()
{
    lifecycle.end(CServiceLifecycle::Ending::Quit);
}

void CKestApplication::onReStartServer()
{
    restartRequested = true;
    lifecycle.end(CServiceLifecycle::Ending::Restart);
}

void CKestApplication::abortStart()
{
    lifecycle.end(CServiceLifecycle::Ending::FailedStart);
}

void CKestApplication::finishAfterReboot()
{
    lifecycle.end(CServiceLifecycle::Ending::Reboot);
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
