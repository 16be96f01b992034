#pragma once
// The host's application object: the start-up sequence that brings the
// services up, the process-wide event hook, and the teardowns of every way
// the host ends.

#include "SingleApplication.h"
#include "lifecycle/ServiceLifecycle.h"

#include <QLocale>

#include <vector>

class QTranslator;

namespace serverframework {

class CFrameworkMgr;

class CKestApplication : public SingleApplication
{
    Q_OBJECT
public:
    CKestApplication(int& argc, char* argv[]);
    ~CKestApplication() override;

    // The start-up sequence; true: the event loop may run.
    bool init();

    // Without a display nobody answers a dialog: notices go to standard error
    // and the start-up goes on as a person's default answer would. Set
    // before init.
    void setDisplayless(bool displayless) { this->displayless = displayless; }

    bool notify(QObject* receiver, QEvent* event) override;

    // Failed-start teardown (init returned false).
    void abortStart();
    // Teardown after the framework library asked for a reboot.
    void finishAfterReboot();

    // Set by the reboot callback; read by the entry after the event loop.
    static bool rebootRequested() { return CServiceLifecycle::rebootRequested(); }

    // Exit status of a host that asks to be started again (a restart or
    // reboot request); the service manager's unit restarts on it.
    static constexpr int RestartExitCode = 75;
    // The exit status after the event loop: RestartExitCode after a restart
    // or reboot request, 0 otherwise.
    int exitStatusAfterRun() const;
    // A termination signal (SIGTERM, SIGINT, SIGHUP) asked the host to end.
    bool isTerminationRequested() const { return terminationRequested; }

    bool isServicesUp() const { return lifecycle.servicesUp(); }
    bool isIdentityEnabled() const { return lifecycle.identityEnabled(); }

signals:
    void singnalLanguageChange(int iLanguageType);

private slots:
    void onReStartServer();
    void onQuitApp();
    void onQuitAppDelay();
    void onLanguageChange(int iLanguageType);

private:
    void loadLanguage();
    // Another host runs for this user (or the single-instance socket cannot
    // be listened on): said, and true.
    bool refusedAsSecondHost();
    bool auditPorts();
    void showNotice(const QString& title, const QString& text);
    bool otherHostProcessRuns() const;
    void onTerminationRequest();
    static void rejectIfStartupDialog(QObject* object);
    void dropFrameworkMgr(bool deferred);

    QLocale locale;
    std::vector<QTranslator*> translators;
    int languageType;
    CServiceLifecycle lifecycle;
    CFrameworkMgr* frameworkMgr;
    bool displayless = false;
    int terminationDescriptor;
    bool starting;
    bool terminationRequested;
    bool restartRequested;
};

} // namespace serverframework
