#pragma once

#include "Base/Singleton.h"

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace Base {

class CCancelableTask;

namespace details {

struct WeakReferenceFlag;

// A reference to a CWeakReferenceOwner that knows whether its owner still
// exists. Cheap to copy; safe to test from any thread.
class CWeakReference
{
public:
    CWeakReference(); // refers to nothing: never valid
    bool IsValid() const;

private:
    friend class CWeakReferenceOwner;
    friend class Base::CCancelableTask;
    explicit CWeakReference(std::shared_ptr<WeakReferenceFlag> flag);
    std::shared_ptr<WeakReferenceFlag> m_flag;
};

// Base of an object that hands out weak references to itself. The references
// turn invalid when InvalidateWeakReferences() runs or, at the latest, when
// this base is destroyed. A derived class whose bound tasks touch its own
// members calls InvalidateWeakReferences() first thing in its destructor:
// that call waits for a bound task that is running right now on another
// thread, and no bound task starts afterwards.
class CWeakReferenceOwner
{
public:
    CWeakReferenceOwner();
    ~CWeakReferenceOwner();

    CWeakReferenceOwner(const CWeakReferenceOwner&) = delete;
    CWeakReferenceOwner& operator=(const CWeakReferenceOwner&) = delete;

    CWeakReference GetWeakReference() const;
    void InvalidateWeakReferences();

private:
    std::shared_ptr<WeakReferenceFlag> m_flag;
};

} // namespace details

// A unit of work for CMessageLoopForNotify. Copies share one cancel flag.
// A task bound to a weak reference does nothing when its target is gone by
// the time it runs; Cancel() stops it from running at all.
class CCancelableTask
{
public:
    CCancelableTask(); // empty: does nothing
    explicit CCancelableTask(std::function<void()> work);
    CCancelableTask(const details::CWeakReference& target, std::function<void()> work);

    void Cancel();
    bool IsCanceled() const;
    bool IsEmpty() const;

    // Runs the work unless the task is empty, cancelled or its target is
    // gone; true when the work ran. Exceptions of the work are caught and
    // logged.
    bool Run() const;

private:
    struct State;
    std::shared_ptr<State> m_state;
};

// The notification loop: one thread of its own that runs posted tasks in
// order. Reached as Base::CSingleton<Base::CMessageLoopForNotify>::Instance().
// The thread starts with the instance and ends cleanly when the process exits
// (tasks still queued then are dropped).
class CMessageLoopForNotify
{
    friend class Base::CSingleton<CMessageLoopForNotify>;

public:
    // Queues the task; false when it is empty or the loop has ended.
    bool PostTask(const CCancelableTask& task);

    // Ends the thread after the task running now (queued tasks are dropped);
    // later posts are refused. Runs by itself at process exit.
    void Shutdown();

    CMessageLoopForNotify(const CMessageLoopForNotify&) = delete;
    CMessageLoopForNotify& operator=(const CMessageLoopForNotify&) = delete;

private:
    CMessageLoopForNotify();
    ~CMessageLoopForNotify();
    void run();

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<CCancelableTask> m_queue;
    bool m_stopping = false;
    std::thread m_thread;
};

} // namespace Base

TAVRIN_SINGLETON_SHARED(Base::CMessageLoopForNotify)
