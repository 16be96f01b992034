// The portable runtime on Linux (POSIX).

#include "ZRT/ZRT.h"

#include "ZrtError.h"

#include "Platform/Platform.h"

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <fstream>
#include <iterator>
#include <mutex>
#include <new>
#include <string>

#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

namespace {

using zrt::fail;

template <typename R>
R failSystem(R result)
{
    return fail(result, ZRT_ERROR_SYSTEM, errno);
}

struct Event
{
    std::mutex mutex;
    std::condition_variable cond;
    bool signalled = false;
    bool manualReset = false;
};

struct Thread
{
    pthread_t id{};
    ZRT_THREAD_FUNC function = nullptr;
    void* argument = nullptr;
    unsigned int exitCode = 0;
};

void* threadMain(void* p)
{
    Thread* thread = static_cast<Thread*>(p);
    thread->exitCode = thread->function(thread->argument);
    return nullptr;
}

} // namespace

extern "C" {

int ZRT_AccessFile(const char* path, int mode)
{
    if (!path)
        return fail(-1, ZRT_ERROR_INVALID_ARGUMENT);
    if (::access(path, mode & (R_OK | W_OK | X_OK)) != 0)
        return failSystem(-1);
    return 0;
}

int ZRT_MakeDir(const char* path)
{
    if (!path || !*path)
        return fail(-1, ZRT_ERROR_INVALID_ARGUMENT);
    if (::mkdir(path, 0777) != 0)
        return errno == EEXIST ? fail(-1, ZRT_ERROR_ALREADY_EXISTS, EEXIST) : failSystem(-1);
    return 0;
}

int ZRT_CopyFile(const char* source, const char* target, int failIfExists)
{
    if (!source || !target || !*source || !*target)
        return fail(-1, ZRT_ERROR_INVALID_ARGUMENT);

    struct stat st
    {
    };
    if (::stat(source, &st) != 0)
        return failSystem(-1);
    if (!S_ISREG(st.st_mode))
        return fail(-1, ZRT_ERROR_SYSTEM, EINVAL);
    std::ifstream in(source, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad())
        return failSystem(-1);
    if (failIfExists && ::access(target, F_OK) == 0)
        return fail(-1, ZRT_ERROR_ALREADY_EXISTS, EEXIST);
    // Replaced crash-safe and flushed: a failed or interrupted copy never
    // leaves a half-written target.
    errno = 0;
    const bool copied = failIfExists ? platform::writeNewFile(target, bytes) : platform::writeWholeFile(target, bytes);
    if (!copied)
        return ::access(target, F_OK) == 0 && failIfExists ? fail(-1, ZRT_ERROR_ALREADY_EXISTS, EEXIST)
                                                           : failSystem(-1);
    return 0;
}

int ZRT_DeleteFile(const char* path)
{
    if (!path)
        return fail(-1, ZRT_ERROR_INVALID_ARGUMENT);
    if (::unlink(path) != 0)
        return errno == ENOENT ? fail(-1, ZRT_ERROR_NOT_FOUND, ENOENT) : failSystem(-1);
    return 0;
}

ZRT_HANDLE ZRT_CreateEvent(int manualReset)
{
    Event* event = new (std::nothrow) Event;
    if (!event)
        return fail<ZRT_HANDLE>(nullptr, ZRT_ERROR_OUT_OF_MEMORY, ENOMEM);
    event->manualReset = manualReset != 0;
    return event;
}

int ZRT_SetEvent(ZRT_HANDLE handle)
{
    if (!handle)
        return fail(-1, ZRT_ERROR_INVALID_ARGUMENT);
    Event* event = static_cast<Event*>(handle);
    {
        std::lock_guard<std::mutex> lock(event->mutex);
        event->signalled = true;
    }
    if (event->manualReset)
        event->cond.notify_all();
    else
        event->cond.notify_one();
    return 0;
}

int ZRT_ResetEvent(ZRT_HANDLE handle)
{
    if (!handle)
        return fail(-1, ZRT_ERROR_INVALID_ARGUMENT);
    Event* event = static_cast<Event*>(handle);
    std::lock_guard<std::mutex> lock(event->mutex);
    event->signalled = false;
    return 0;
}

int ZRT_WaitForSingleObject(ZRT_HANDLE handle, unsigned int milliseconds)
{
    if (!handle)
        return fail(ZRT_WAIT_FAILED, ZRT_ERROR_INVALID_ARGUMENT);
    Event* event = static_cast<Event*>(handle);
    std::unique_lock<std::mutex> lock(event->mutex);
    const auto isSet = [event] { return event->signalled; };
    if (milliseconds == ZRT_INFINITE) {
        event->cond.wait(lock, isSet);
    } else if (!event->cond.wait_for(lock, std::chrono::milliseconds(milliseconds), isSet)) {
        return ZRT_WAIT_TIMEOUT;
    }
    if (!event->manualReset)
        event->signalled = false;
    return ZRT_WAIT_OBJECT_0;
}

int ZRT_CloseEvent(ZRT_HANDLE handle)
{
    if (!handle)
        return fail(-1, ZRT_ERROR_INVALID_ARGUMENT);
    delete static_cast<Event*>(handle);
    return 0;
}

ZRT_HANDLE ZRT_Thread_Create(ZRT_THREAD_FUNC function, void* argument, unsigned int stackSize, const char* name,
                             unsigned long* threadId, unsigned int flags)
{
    if (!function || flags != 0)
        return fail<ZRT_HANDLE>(nullptr, ZRT_ERROR_INVALID_ARGUMENT);
    Thread* thread = new (std::nothrow) Thread;
    if (!thread)
        return fail<ZRT_HANDLE>(nullptr, ZRT_ERROR_OUT_OF_MEMORY, ENOMEM);
    thread->function = function;
    thread->argument = argument;

    pthread_attr_t attr;
    pthread_attr_init(&attr);
    int rc = 0;
    if (stackSize != 0)
        rc = pthread_attr_setstacksize(&attr, stackSize);
    if (rc == 0)
        rc = pthread_create(&thread->id, &attr, threadMain, thread);
    pthread_attr_destroy(&attr);
    if (rc != 0) {
        delete thread;
        return fail<ZRT_HANDLE>(nullptr, rc == EINVAL ? ZRT_ERROR_INVALID_ARGUMENT : ZRT_ERROR_SYSTEM, rc);
    }
    if (name && *name) {
        char shortName[16] = {};
        std::strncpy(shortName, name, sizeof shortName - 1);
        pthread_setname_np(thread->id, shortName);
    }
    if (threadId)
        *threadId = static_cast<unsigned long>(thread->id);
    return thread;
}

int ZRT_Thread_WaitEx(ZRT_HANDLE handle, unsigned int* exitCode)
{
    if (!handle)
        return fail(-1, ZRT_ERROR_INVALID_ARGUMENT);
    Thread* thread = static_cast<Thread*>(handle);
    if (pthread_equal(thread->id, pthread_self()))
        return fail(-1, ZRT_ERROR_INVALID_ARGUMENT, EDEADLK);
    const int rc = pthread_join(thread->id, nullptr);
    if (rc != 0)
        return fail(-1, ZRT_ERROR_SYSTEM, rc);
    if (exitCode)
        *exitCode = thread->exitCode;
    delete thread;
    return 0;
}

ZRT_HANDLE ZRT_LoadDSo(const char* name)
{
    if (!name || !*name)
        return fail<ZRT_HANDLE>(nullptr, ZRT_ERROR_INVALID_ARGUMENT);
    std::string error;
    void* handle = platform::loadSharedLibrary(name, error);
    if (!handle)
        return fail<ZRT_HANDLE>(nullptr, ZRT_ERROR_NOT_FOUND, ENOENT);
    return handle;
}

void* ZRT_GetDsoSym(ZRT_HANDLE handle, const char* symbol)
{
    if (!handle || !symbol)
        return fail<void*>(nullptr, ZRT_ERROR_INVALID_ARGUMENT);
    void* address = platform::sharedLibrarySymbol(handle, symbol);
    if (!address)
        return fail<void*>(nullptr, ZRT_ERROR_NOT_FOUND, ENOENT);
    return address;
}

int ZRT_UnloadDSo(ZRT_HANDLE handle)
{
    if (!handle)
        return fail(-1, ZRT_ERROR_INVALID_ARGUMENT);
    platform::unloadSharedLibrary(handle);
    return 0;
}

} // extern "C"
