#include "DllDirectoryGuard.h"
#include "DpiPolicy.h"
#include "KestApplication.h"
#include "logical/SimpleProperties.h"

#include <Base/Encoding.h>
#include <Base/FileUtil.h>
#include <Base/Log.h>
#include "UserDataPath.h"
#include <Platform.h>
#include <ZRT/ZRT.h>

#include <QCoreApplication>
#include <QDir>
#include <QtDebug>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

int main(int argc, char* argv[])
{
    // From here on a termination signal waits for the event loop, which runs
    // the orderly teardown, instead of ending the process on the spot.
    platform::terminationRequestDescriptor();

    std::vector<std::string> args;
    if (!platform::commandLineArguments(argc, argv, args))
        return -1;
    std::vector<char*> argPointers;
    for (std::string& arg : args)
        argPointers.push_back(&arg[0]);
    argPointers.push_back(nullptr);
    int argCount = static_cast<int>(args.size());

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
            std::fprintf(stderr, "Framework.S: the logging configuration %s cannot be loaded; logging to the console.\n",
                         logConfiguration.c_str());
            TLOG_ERROR("The logging configuration %s cannot be loaded; logging to the console.",
                       logConfiguration.c_str());
        }

        Base::FileUtil::InitCurExeDirUtf8(exeDirUtf8);

        const std::string propertiesPath = exeDir + "../TavrinSMSPlugin/conf/" + "config.properties";
        if (ZRT_AccessFile(propertiesPath.c_str(), 0) == 0)
            serverframework::SimpleProperties::Instance().loadLogged(propertiesPath);

        serverframework::applyHighDpiPolicy(platform::displaySizes());

        const QString currentDir = QString::fromUtf8(exeDirUtf8.c_str());
        qDebug() << "Working directory:" << currentDir;
        QDir::setCurrent(currentDir);

        auto app = std::make_unique<serverframework::CKestApplication>(argCount, argPointers.data());
        QCoreApplication::addLibraryPath(QDir::toNativeSeparators(QCoreApplication::applicationDirPath())
                                         + QDir::separator() + QStringLiteral("plugins"));

        if (app->init()) {
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
