#pragma once

// The host's callbacks, stored and invoked under a lock so that the host can
// replace them from its thread while the library's thread calls them.

#include "Framework/Framework.h"

#include <functional>
#include <mutex>
#include <string>

class CFrameworkCallbacks
{
public:
    void setReboot(FrameworkHostCallback fn, void* user);
    void setClose(FrameworkHostCallback fn, void* user);
    void setDelayClose(FrameworkHostCallback fn, void* user);
    void setRegisterRcc(FrameworkSkinCallback fn, void* user);
    void setLanguage(FrameworkLanguageCallback fn);

    // Each calls the stored callback (outside the lock) and returns false
    // when none is set.
    bool reboot() const;
    bool close() const;
    bool delayClose() const;

    // What became of a skin or language request: no callback set, applied
    // by the host, or refused by it.
    enum class Outcome { Unset, Applied, Refused };
    Outcome registerRcc(const std::string& skinName) const;
    Outcome language(int index) const;

private:
    struct HostCallback
    {
        FrameworkHostCallback fn = nullptr;
        void* user = nullptr;
    };
    bool invoke(HostCallback CFrameworkCallbacks::*which) const;

    mutable std::mutex m_mutex;
    HostCallback m_reboot;
    HostCallback m_close;
    HostCallback m_delayClose;
    FrameworkSkinCallback m_rccFn = nullptr;
    void* m_rccUser = nullptr;
    FrameworkLanguageCallback m_language;
};
