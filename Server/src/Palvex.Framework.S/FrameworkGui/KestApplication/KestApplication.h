#pragma once
// The host's application object: the start-up sequence that brings the
// services up, the process-wide event hook, and the teardowns of every way
// the host ends.

#include "SingleApplication.h"

#include <QLocale>

#include <vector>

class QSocketNotifier;
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
    static bool rebootRequested();

    // Exit status of a host that asks to be started again (a restart or
    // reboot request); the service manager's unit restarts on it.
    static constexpr int RestartExitCode = 75;
    // The exit status after the event loop: RestartExitCode after a restart
    // or reboot request, 0 otherwise.
    int exitStatusAfterRun() const;
    // A termination signal (SIGTERM, SIGINT, SIGHUP) asked the host to end.
    bool isTerminationRequested() const { return terminationRequested; }

    bool isServicesUp() const { return servicesUp; }
    bool isIdentityEnabled() const { return identityEnabled; }

signals:
    void singnalLanguageChange(int iLanguageType);

private slots:
    void onReStartServer();
    void onQuitApp();
    void onQuitAppDelay();
    void onLanguageChange(int iLanguageType);

private:
    void showNotice(const QString& title, const QString& text);
    bool otherHostProcessRuns() const;
    void onTerminationRequest();
    static void rejectIfStartupDialog(QObject* object);
    void dropFrameworkMgr();
    void releaseIdentityAndTray(const char* teardown);
    void queueQuit();

    QLocale locale;
    std::vector<QTranslator*> translators;
    int languageType;
    bool servicesUp;
    bool identityEnabled;
    CFrameworkMgr* frameworkMgr;
    bool displayless = false;
    QSocketNotifier* terminationNotifier;
    bool starting;
    bool terminationRequested;
    bool restartRequested;
};

} // namespace serverframework
