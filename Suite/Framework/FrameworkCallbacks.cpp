#include "FrameworkCallbacks.h"

void CFrameworkCallbacks::setReboot(FrameworkHostCallback fn, void* user)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_reboot = {fn, user};
}

void CFrameworkCallbacks::setClose(FrameworkHostCallback fn, void* user)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_close = {fn, user};
}

void CFrameworkCallbacks::setDelayClose(FrameworkHostCallback fn, void* user)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_delayClose = {fn, user};
}

void CFrameworkCallbacks::setRegisterRcc(FrameworkSkinCallback fn, void* user)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_rccFn = fn;
    m_rccUser = user;
}

void CFrameworkCallbacks::setLanguage(FrameworkLanguageCallback fn)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_language = std::move(fn);
}

bool CFrameworkCallbacks::invoke(HostCallback CFrameworkCallbacks::*which) const
{
    HostCallback callback;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        callback = this->*which;
    }
    if (!callback.fn)
        return false;
    callback.fn(callback.user);
    return true;
}

bool CFrameworkCallbacks::reboot() const
{
    return invoke(&CFrameworkCallbacks::m_reboot);
}

bool CFrameworkCallbacks::close() const
{
    return invoke(&CFrameworkCallbacks::m_close);
}

bool CFrameworkCallbacks::delayClose() const
{
    return invoke(&CFrameworkCallbacks::m_delayClose);
}

CFrameworkCallbacks::Outcome CFrameworkCallbacks::registerRcc(const std::string& skinName) const
{
    FrameworkSkinCallback fn;
    void* user;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        fn = m_rccFn;
        user = m_rccUser;
    }
    if (!fn)
        return Outcome::Unset;
    return fn(skinName.c_str(), user) ? Outcome::Applied : Outcome::Refused;
}

CFrameworkCallbacks::Outcome CFrameworkCallbacks::language(int index) const
{
    FrameworkLanguageCallback fn;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        fn = m_language;
    }
    if (!fn)
        return Outcome::Unset;
    return fn(index) ? Outcome::Applied : Outcome::Refused;
}
