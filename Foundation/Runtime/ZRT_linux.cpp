// The portable runtime on Linux (POSIX).

#include "ZRT/ZRT.h"

#include "ZrtError.h"

#include "Platform/Platform.h"

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <new>
#include <string>

#include <dlfcn.h>
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

bool writeAll(int fd, const char* data, ssize_t size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, static_cast<size_t>(size));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += n;
        size -= n;
    }
    return true;
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

    const int in = ::open(source, O_RDONLY | O_CLOEXEC);
    if (in < 0)
        return failSystem(-1);
    struct stat st{};
    if (::fstat(in, &st) != 0 || !S_ISREG(st.st_mode)) {
        const int err = errno ? errno : EINVAL;
        ::close(in);
        return fail(-1, ZRT_ERROR_SYSTEM, err);
    }
    if (failIfExists && ::access(target, F_OK) == 0) {
        ::close(in);
        return fail(-1, ZRT_ERROR_ALREADY_EXISTS, EEXIST);
    }

    // Copy into a temporary file beside the target and rename it over the
    // target, so a failed copy never leaves a half-written target.
    std::string temp = std::string(target) + ".zrtcopy-XXXXXX";
    const int out = ::mkostemp(&temp[0], O_CLOEXEC);
    if (out < 0) {
        const int err = errno;
        ::close(in);
        return fail(-1, ZRT_ERROR_SYSTEM, err);
    }
    // The source's mode less the file-creation mask, as cp gives a new copy.
    bool ok = ::fchmod(out, st.st_mode & 07777 & ~platform::fileCreationMask()) == 0;
    char buffer[64 * 1024];
    while (ok) {
        const ssize_t n = ::read(in, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            ok = n == 0;
            break;
        }
        ok = writeAll(out, buffer, n);
    }
    int err = ok ? 0 : errno;
    ::close(in);
    if (::close(out) != 0 && ok) {
        ok = false;
        err = errno;
    }
    if (ok) {
        if (failIfExists) {
            // link() fails when the target appeared meanwhile. File systems
            // without hard links get a check-then-rename instead.
            if (::link(temp.c_str(), target) != 0) {
                err = errno;
                if (err == EEXIST || ::access(target, F_OK) == 0) {
                    ok = false;
                    err = EEXIST;
                } else if (::rename(temp.c_str(), target) != 0) {
                    ok = false;
                    err = errno;
                }
            }
            ::unlink(temp.c_str());
        } else if (::rename(temp.c_str(), target) != 0) {
            ok = false;
            err = errno;
        }
    }
    if (!ok) {
        ::unlink(temp.c_str());
        return fail(-1, err == EEXIST ? ZRT_ERROR_ALREADY_EXISTS : ZRT_ERROR_SYSTEM, err);
    }
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

ZRT_HANDLE ZRT_Thread_Create(ZRT_THREAD_FUNC function, void* argument,
                             unsigned int stackSize, const char* name,
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
    void* handle = ::dlopen(name, RTLD_NOW | RTLD_LOCAL);
    if (!handle)
        return fail<ZRT_HANDLE>(nullptr, ZRT_ERROR_NOT_FOUND, ENOENT);
    return handle;
}

void* ZRT_GetDsoSym(ZRT_HANDLE handle, const char* symbol)
{
    if (!handle || !symbol)
        return fail<void*>(nullptr, ZRT_ERROR_INVALID_ARGUMENT);
    ::dlerror();
    void* address = ::dlsym(handle, symbol);
    if (!address)
        return fail<void*>(nullptr, ZRT_ERROR_NOT_FOUND, ENOENT);
    return address;
}

int ZRT_UnloadDSo(ZRT_HANDLE handle)
{
    if (!handle)
        return fail(-1, ZRT_ERROR_INVALID_ARGUMENT);
    if (::dlclose(handle) != 0)
        return fail(-1, ZRT_ERROR_SYSTEM, 0);
    return 0;
}

} // extern "C"
