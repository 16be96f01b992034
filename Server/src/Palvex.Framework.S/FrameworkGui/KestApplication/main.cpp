#include "CommandLine.h"
#include "DllDirectoryGuard.h"
#include "DpiPolicy.h"
#include "KestApplication.h"
#include "logical/SimpleProperties.h"
#include "logical/SmsPlugin.h"

#include <Base/Encoding.h>
#include <Base/FileUtil.h>
#include <Base/Log.h>
#include "CommonMethod/UserDataPath.h"
#include <Platform/Platform.h>
#include <ZRT/ZRT.h>

#include <QCoreApplication>
#include <QDir>
#include <QGuiApplication>
#include <QtDebug>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace {

// The options answer and end before anything of the host is set up; -1
// means that the host is to run.
int answerCommandLine(int argc, char* argv[])
{
    if (argc <= 1)
        return -1;
    QCoreApplication probe(argc, argv);
    const serverframework::CCommandLine commandLine(QCoreApplication::arguments());
    switch (commandLine.action()) {
    case serverframework::CCommandLine::Action::Run: return -1;
    case serverframework::CCommandLine::Action::Help:
    case serverframework::CCommandLine::Action::Version:
        std::printf("%s\n", commandLine.text().toLocal8Bit().constData());
        return 0;
    case serverframework::CCommandLine::Action::Error:
        std::fprintf(stderr, "%s\n", commandLine.text().toLocal8Bit().constData());
        return 2;
    case serverframework::CCommandLine::Action::Quit: break;
    }
    if (!SingleApplication::requestPrimaryQuit()) {
        std::fputs("No running host of this user answered.\n", stderr);
        return 1;
    }
    std::puts("Asked the running host to quit.");
    return 0;
}

// Without a display the host runs on Qt's offscreen platform instead of
// failing to open one. A Windows session always has its desktop.
void chooseOffscreenWithoutDisplay()
{
#ifndef Q_OS_WIN
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY")
        && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
#endif
}

bool hasDisplay()
{
    const QString platform = QGuiApplication::platformName();
    return platform != QLatin1String("offscreen") && platform != QLatin1String("minimal");
}

// Printed once the services are up, after the web client's address.
void printWhereThingsAre(comm_method::CUserDataPath& paths)
{
    std::printf("Configuration: %sSetup.xml\n"
                "Logs: %s\n"
                "Stop: Ctrl+C, or %s --quit\n",
                paths.getUserDataDir().c_str(), paths.getLogDir().c_str(),
                QCoreApplication::applicationFilePath().toLocal8Bit().constData());
    std::fflush(stdout);
}

} // namespace

int main(int argc, char* argv[])
{
    // From here on a termination signal waits for the event loop, which runs
    // the orderly teardown, instead of ending the process on the spot.
    platform::terminationRequestDescriptor();
    // Standard output may be a pipe whose reader goes away (the terminal or
    // program that started a host that has since been started again).
    platform::ignoreBrokenPipes();

    std::vector<std::string> args;
    if (!platform::commandLineArguments(argc, argv, args))
        return -1;
    std::vector<char*> argPointers;
    for (std::string& arg : args)
        argPointers.push_back(&arg[0]);
    argPointers.push_back(nullptr);
    int argCount = static_cast<int>(args.size());

    const int answered = answerCommandLine(argCount, argPointers.data());
    if (answered >= 0)
        return answered;
    chooseOffscreenWithoutDisplay();

    const std::string exeDir = Base::FileUtil::GetCurExeDir();
    const std::string exeDirUtf8 = Base::LocalToUTF8(exeDir);

    int result = 0;
    {
        serverframework::DllDirectoryGuard dllDirectory;
        dllDirectory.setDirectory(exeDir);

        comm_method::CUserDataPath& userData = Base::CSingleton<comm_method::CUserDataPath>::Instance();
        userData.init(exeDir, "Framework.S", -1, -1);
        const std::string logConfiguration = userData.getPropertiesPath();
        if (!Base::details::CLog::Configure(logConfiguration)) {
            std::fprintf(stderr,
                         "Framework.S: the logging configuration %s cannot be loaded; logging to the console.\n",
                         logConfiguration.c_str());
            TLOG_ERROR("The logging configuration %s cannot be loaded; logging to the console.",
                       logConfiguration.c_str());
        }

        Base::FileUtil::InitCurExeDirUtf8(exeDirUtf8);

        const std::string propertiesPath = serverframework::CSmsPlugin::configPath();
        if (ZRT_AccessFile(propertiesPath.c_str(), 0) == 0)
            serverframework::SimpleProperties::Instance().loadLogged(propertiesPath);

        serverframework::applyHighDpiPolicy(platform::displaySizes());

        const QString currentDir = QString::fromUtf8(exeDirUtf8.c_str());
        qDebug() << "Working directory:" << currentDir;
        QDir::setCurrent(currentDir);

        auto app = std::make_unique<serverframework::CKestApplication>(argCount, argPointers.data());
        QCoreApplication::addLibraryPath(QDir::toNativeSeparators(QCoreApplication::applicationDirPath())
                                         + QDir::separator() + QStringLiteral("plugins"));

        app->setDisplayless(!hasDisplay());
        if (app->init()) {
            printWhereThingsAre(userData);
            app->exec();
            if (serverframework::CKestApplication::rebootRequested())
                app->finishAfterReboot();
            result = app->exitStatusAfterRun();
        } else {
            app->abortStart();
            // Stopped on purpose by a termination signal: an orderly end.
            result = app->isTerminationRequested() ? 0 : -1;
        }
        app.reset();
    }
    return result;
}
