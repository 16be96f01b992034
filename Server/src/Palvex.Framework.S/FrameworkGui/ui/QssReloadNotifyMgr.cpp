#include "QssReloadNotifyMgr.h"

#include <algorithm>

namespace comm_method {

namespace {
template <typename T>
void eraseValue(std::vector<T>& list, const T& value)
{
    list.erase(std::remove(list.begin(), list.end(), value), list.end());
}
} // namespace

CQssReloadNotifyMgr::~CQssReloadNotifyMgr()
{
    // A notification task running now finishes before the lists go away.
    InvalidateWeakReferences();
}

void CQssReloadNotifyMgr::AddObserver(IQssReloadNotifyMgrObserver* observer)
{
    if (!observer)
        return;
    std::lock_guard<std::mutex> lock(observersMutex);
    if (std::find(observers.begin(), observers.end(), observer) == observers.end())
        observers.push_back(observer);
    std::lock_guard<std::mutex> pendingLock(pendingMutex);
    eraseValue(pendingRemoval, observer);
}

void CQssReloadNotifyMgr::RemoveObserver(IQssReloadNotifyMgrObserver* observer)
{
    std::unique_lock<std::mutex> lock(observersMutex);
    if (!notifying) {
        eraseValue(observers, observer);
        return;
    }
    {
        std::lock_guard<std::mutex> pendingLock(pendingMutex);
        if (std::find(pendingRemoval.begin(), pendingRemoval.end(), observer) == pendingRemoval.end())
            pendingRemoval.push_back(observer);
    }
    // From another thread: wait until the observer is not being called any
    // more, so the caller may destroy it right after.
    if (std::this_thread::get_id() != notifyingThread)
        callDone.wait(lock, [&] { return calling != observer; });
}

bool CQssReloadNotifyMgr::NotifyQssReload(const std::string& skinName)
{
    IQssReloadNotifyMgrObserver::Param param;
    param.skinName = skinName;
    Base::CCancelableTask task(GetWeakReference(), [this, param] { notifyObservers(param); });
    return Base::CSingleton<Base::CMessageLoopForNotify>::Instance().PostTask(task);
}

bool CQssReloadNotifyMgr::takePending(IQssReloadNotifyMgrObserver* observer)
{
    std::lock_guard<std::mutex> pendingLock(pendingMutex);
    auto it = std::find(pendingRemoval.begin(), pendingRemoval.end(), observer);
    if (it == pendingRemoval.end())
        return false;
    pendingRemoval.erase(it);
    return true;
}

void CQssReloadNotifyMgr::notifyObservers(const IQssReloadNotifyMgrObserver::Param& param)
{
    std::vector<IQssReloadNotifyMgrObserver*> snapshot;
    {
        std::lock_guard<std::mutex> lock(observersMutex);
        notifying = true;
        notifyingThread = std::this_thread::get_id();
        snapshot = observers;
    }

    for (IQssReloadNotifyMgrObserver* observer : snapshot) {
        {
            std::lock_guard<std::mutex> lock(observersMutex);
            if (takePending(observer)) {
                eraseValue(observers, observer);
                continue;
            }
            if (std::find(observers.begin(), observers.end(), observer) == observers.end())
                continue;
            calling = observer;
        }
        observer->OnQssReload(param);
        {
            std::lock_guard<std::mutex> lock(observersMutex);
            calling = nullptr;
        }
        callDone.notify_all();
    }

    std::lock_guard<std::mutex> lock(observersMutex);
    {
        std::lock_guard<std::mutex> pendingLock(pendingMutex);
        for (IQssReloadNotifyMgrObserver* observer : pendingRemoval)
            eraseValue(observers, observer);
        pendingRemoval.clear();
    }
    notifying = false;
    notifyingThread = std::thread::id();
}

} // namespace comm_method
