#include "Base/MessageLoop.h"

#include "Base/Log.h"

#include <atomic>
#include <cstdlib>
#include <exception>
#include <utility>

namespace Base {
namespace details {

// Shared by an owner and its references. `mutex` is held while a bound task
// runs and while the owner turns invalid, so an owner never disappears under
// a running task. Recursive: a task may destroy its own target.
struct WeakReferenceFlag
{
    std::recursive_mutex mutex;
    std::atomic<bool> valid{true};
};

CWeakReference::CWeakReference() = default;

CWeakReference::CWeakReference(std::shared_ptr<WeakReferenceFlag> flag)
    : m_flag(std::move(flag))
{
}

bool CWeakReference::IsValid() const
{
    return m_flag && m_flag->valid.load();
}

CWeakReferenceOwner::CWeakReferenceOwner()
    : m_flag(std::make_shared<WeakReferenceFlag>())
{
}

CWeakReferenceOwner::~CWeakReferenceOwner()
{
    InvalidateWeakReferences();
}

CWeakReference CWeakReferenceOwner::GetWeakReference() const
{
    return CWeakReference(m_flag);
}

void CWeakReferenceOwner::InvalidateWeakReferences()
{
    std::lock_guard<std::recursive_mutex> lock(m_flag->mutex);
    m_flag->valid = false;
}

} // namespace details

struct CCancelableTask::State
{
    std::function<void()> work;
    bool bound = false;
    std::shared_ptr<details::WeakReferenceFlag> target;
    std::atomic<bool> canceled{false};
};

CCancelableTask::CCancelableTask() = default;

CCancelableTask::CCancelableTask(std::function<void()> work)
    : m_state(std::make_shared<State>())
{
    m_state->work = std::move(work);
}

CCancelableTask::CCancelableTask(const details::CWeakReference& target, std::function<void()> work)
    : m_state(std::make_shared<State>())
{
    m_state->work = std::move(work);
    m_state->bound = true;
    m_state->target = target.m_flag;
}

void CCancelableTask::Cancel()
{
    if (m_state)
        m_state->canceled = true;
}

bool CCancelableTask::IsCanceled() const
{
    return m_state && m_state->canceled;
}

bool CCancelableTask::IsEmpty() const
{
    return !m_state || !m_state->work;
}

bool CCancelableTask::Run() const
{
    if (IsEmpty() || m_state->canceled)
        return false;
    const auto invoke = [this] {
        try {
            m_state->work();
        } catch (const std::exception& e) {
            TLOG_ERROR("A notification task failed: %s", e.what());
        } catch (...) {
            TLOG_ERROR("A notification task failed.");
        }
    };
    if (!m_state->bound) {
        invoke();
        return true;
    }
    if (!m_state->target)
        return false;
    std::lock_guard<std::recursive_mutex> lock(m_state->target->mutex);
    if (!m_state->target->valid)
        return false;
    invoke();
    return true;
}

CMessageLoopForNotify::CMessageLoopForNotify()
    : m_thread(&CMessageLoopForNotify::run, this)
{
    // The instance is never destroyed; its thread ends with the process.
    std::atexit([] { CSingleton<CMessageLoopForNotify>::Instance().Shutdown(); });
}

CMessageLoopForNotify::~CMessageLoopForNotify()
{
    Shutdown();
}

bool CMessageLoopForNotify::PostTask(const CCancelableTask& task)
{
    if (task.IsEmpty())
        return false;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_stopping)
            return false;
        m_queue.push_back(task);
    }
    m_wake.notify_one();
    return true;
}

void CMessageLoopForNotify::Shutdown()
{
    std::thread thread;
    std::deque<CCancelableTask> dropped;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopping = true;
        dropped.swap(m_queue);
        thread = std::move(m_thread);
    }
    m_wake.notify_all();
    if (!thread.joinable())
        return;
    if (thread.get_id() == std::this_thread::get_id())
        thread.detach(); // a task ended the process; the loop stops after it
    else
        thread.join();
}

void CMessageLoopForNotify::run()
{
    for (;;) {
        CCancelableTask task;
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            m_wake.wait(lock, [this] { return m_stopping || !m_queue.empty(); });
            if (m_stopping)
                return;
            task = std::move(m_queue.front());
            m_queue.pop_front();
        }
        task.Run();
    }
}

} // namespace Base

TAVRIN_SINGLETON_DEFINE(Base::CMessageLoopForNotify)
