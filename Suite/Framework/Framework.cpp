// The framework library's exported functions.

#include "Framework/Framework.h"

#include "FrameworkConfig.h"
#include "FrameworkRuntime.h"

#include "Base/Log.h"
#include "Base/Singleton.h"
#include "Platform/Platform.h"

namespace {

CFrameworkRuntime& runtime()
{
    return Base::CSingleton<CFrameworkRuntime>::Instance();
}

} // namespace

bool initFrameworkFirst()
{
    return runtime().initFirst();
}

bool initFrameworkSecond()
{
    return runtime().initSecond();
}

bool initFrameworkLast()
{
    return runtime().initLast();
}

void uninitFramework()
{
    runtime().uninit();
}

void setRebootCallback(FrameworkHostCallback fn, void* user)
{
    runtime().callbacks().setReboot(fn, user);
}

void setCloseCallback(FrameworkHostCallback fn, void* user)
{
    runtime().callbacks().setClose(fn, user);
}

void setDelayCloseCallback(FrameworkHostCallback fn, void* user)
{
    runtime().callbacks().setDelayClose(fn, user);
}

void setRegisterRccCallback(FrameworkSkinCallback fn, void* user)
{
    runtime().setRegisterRccCallback(fn, user);
}

void setLanguageCallback(FrameworkLanguageCallback fn)
{
    runtime().setLanguageCallback(std::move(fn));
}

void setHostServices(const std::string& productName, const std::vector<FrameworkService>& services)
{
    runtime().setHostServices(productName, services);
}

void reloadTranslations(int languageIndex)
{
    TLOG_INFO("the web client's language is now %d", languageIndex);
    runtime().setLanguage(languageIndex);
}

std::string frameworkClientUrl()
{
    const int port = runtime().httpPort();
    return port > 0 ? "http://127.0.0.1:" + std::to_string(port) + "/" : std::string();
}

bool openFrameworkClient()
{
    const std::string address = frameworkClientUrl();
    if (address.empty()) {
        TLOG_ERROR("the web client cannot be opened: the framework is not configured");
        return false;
    }
    // Long enough for an opener to find no browser; a browser it runs in the
    // foreground holds the click no longer than this.
    constexpr int kOpenerWaitMs = 2000;
    if (!platform::openWebAddress(address, kOpenerWaitMs)) {
        TLOG_ERROR("the desktop cannot open %s", address.c_str());
        return false;
    }
    return true;
}

bool closeFrameworkClient()
{
    const std::string image = platform::clientImageName();
    bool allEnded = true;
    for (std::uint32_t pid : platform::findProcessesByImageName(image)) {
        const bool ended = platform::terminateProcess(pid);
        TLOG_INFO("ending the client %s (process %u): %s", image.c_str(), pid, ended ? "done" : "failed");
        allEnded = allEnded && ended;
    }
    return allEnded;
}

bool setHttpPort2Xml(const std::string& port)
{
    return CFrameworkConfig::writeHttpPort(port);
}

bool setWebSocketPort2Xml(const std::string& port)
{
    return CFrameworkConfig::writeWebSocketPort(port);
}
