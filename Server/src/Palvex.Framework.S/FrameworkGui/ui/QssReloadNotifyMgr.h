#pragma once

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "Base/MessageLoop.h"
#include "Base/Singleton.h"
#include "QssReloadNotifyMgrObserver.h"

namespace comm_method {

// Style sheet reload notification. Observers are called on the base
// library's notification thread. An observer removed while a notification
// runs is not called any more; RemoveObserver from another thread waits
// while that observer is being called, so it may be destroyed afterwards.
class CQssReloadNotifyMgr : public Base::details::CWeakReferenceOwner, public Base::CSingleton<CQssReloadNotifyMgr>
{
public:
    CQssReloadNotifyMgr() = default;
    ~CQssReloadNotifyMgr();
    CQssReloadNotifyMgr(const CQssReloadNotifyMgr&) = delete;
    CQssReloadNotifyMgr& operator=(const CQssReloadNotifyMgr&) = delete;

    void AddObserver(IQssReloadNotifyMgrObserver* observer);
    void RemoveObserver(IQssReloadNotifyMgrObserver* observer);

    // Posts one notification to the notification loop; false when it could
    // not be queued.
    bool NotifyQssReload(const std::string& skinName);

private:
    void notifyObservers(const IQssReloadNotifyMgrObserver::Param& param);
    bool takePending(IQssReloadNotifyMgrObserver* observer);

    std::mutex observersMutex;
    std::vector<IQssReloadNotifyMgrObserver*> observers;
    bool notifying = false;
    std::thread::id notifyingThread;
    IQssReloadNotifyMgrObserver* calling = nullptr;
    std::condition_variable callDone;

    std::mutex pendingMutex;
    std::vector<IQssReloadNotifyMgrObserver*> pendingRemoval;
};

} // namespace comm_method
