// The portable runtime on Windows (Win32).

#include "ZRT/ZRT.h"

#include "ZrtError.h"

#include <new>
#include <string>

#include <windows.h>
#include <process.h>

namespace {

using zrt::fail;

// The library's code for the system error just seen.
template <typename R>
R failSystem(R result)
{
    const DWORD error = ::GetLastError();
    int code = ZRT_ERROR_SYSTEM;
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND || error == ERROR_MOD_NOT_FOUND
        || error == ERROR_PROC_NOT_FOUND)
        code = ZRT_ERROR_NOT_FOUND;
    else if (error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS)
        code = ZRT_ERROR_ALREADY_EXISTS;
    else if (error == ERROR_NOT_ENOUGH_MEMORY || error == ERROR_OUTOFMEMORY)
        code = ZRT_ERROR_OUT_OF_MEMORY;
    return fail(result, code, static_cast<int>(error));
}

struct Thread
{
    HANDLE handle = nullptr;
    ZRT_THREAD_FUNC function = nullptr;
    void* argument = nullptr;
};

unsigned __stdcall threadMain(void* p)
{
    Thread* thread = static_cast<Thread*>(p);
    return thread->function(thread->argument);
}

// Names the thread for debuggers and the system's tools where Windows can
// (SetThreadDescription, Windows 10 1607 and later).
void nameThread(HANDLE thread, const char* name)
{
    using SetDescription = HRESULT(WINAPI*)(HANDLE, PCWSTR);
    const auto setDescription = reinterpret_cast<SetDescription>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "SetThreadDescription")));
    if (!setDescription)
        return;
    const std::string shortName = std::string(name).substr(0, 15);
    const int size = ::MultiByteToWideChar(CP_ACP, 0, shortName.c_str(), -1, nullptr, 0);
    if (size <= 0)
        return;
    std::wstring wide(static_cast<size_t>(size), L'\0');
    ::MultiByteToWideChar(CP_ACP, 0, shortName.c_str(), -1, &wide[0], size);
    setDescription(thread, wide.c_str());
}

} // namespace

extern "C" {

int ZRT_AccessFile(const char* path, int mode)
{
    if (!path)
        return fail(-1, ZRT_ERROR_INVALID_ARGUMENT);
    const DWORD attributes = ::GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return failSystem(-1);
    // Windows has no execute bit; write access is refused by the read-only attribute.
    if ((mode & 2) && (attributes & FILE_ATTRIBUTE_READONLY) && !(attributes & FILE_ATTRIBUTE_DIRECTORY))
        return fail(-1, ZRT_ERROR_SYSTEM, ERROR_ACCESS_DENIED);
    return 0;
}

int ZRT_MakeDir(const char* path)
{
    if (!path || !*path)
        return fail(-1, ZRT_ERROR_INVALID_ARGUMENT);
    if (!::CreateDirectoryA(path, nullptr))
        return failSystem(-1);
    return 0;
}

int ZRT_CopyFile(const char* source, const char* target, int failIfExists)
{
    if (!source || !target || !*source || !*target)
        return fail(-1, ZRT_ERROR_INVALID_ARGUMENT);
    // CopyFile leaves no partial target behind when it fails.
    if (!::CopyFileA(source, target, failIfExists ? TRUE : FALSE))
        return failSystem(-1);
    return 0;
}

int ZRT_DeleteFile(const char* path)
{
    if (!path)
        return fail(-1, ZRT_ERROR_INVALID_ARGUMENT);
    if (!::DeleteFileA(path))
        return failSystem(-1);
    return 0;
}

ZRT_HANDLE ZRT_CreateEvent(int manualReset)
{
    const HANDLE event = ::CreateEventA(nullptr, manualReset ? TRUE : FALSE, FALSE, nullptr);
    if (!event)
        return failSystem<ZRT_HANDLE>(nullptr);
    return event;
}

int ZRT_SetEvent(ZRT_HANDLE handle)
{
    if (!handle)
        return fail(-1, ZRT_ERROR_INVALID_ARGUMENT);
    return ::SetEvent(handle) ? 0 : failSystem(-1);
}

int ZRT_ResetEvent(ZRT_HANDLE handle)
{
    if (!handle)
        return fail(-1, ZRT_ERROR_INVALID_ARGUMENT);
    return ::ResetEvent(handle) ? 0 : failSystem(-1);
}

int ZRT_WaitForSingleObject(ZRT_HANDLE handle, unsigned int milliseconds)
{
    if (!handle)
        return fail(ZRT_WAIT_FAILED, ZRT_ERROR_INVALID_ARGUMENT);
    switch (::WaitForSingleObject(handle, milliseconds == ZRT_INFINITE ? INFINITE : milliseconds)) {
    case WAIT_OBJECT_0: return ZRT_WAIT_OBJECT_0;
    case WAIT_TIMEOUT: return ZRT_WAIT_TIMEOUT;
    default: return failSystem(ZRT_WAIT_FAILED);
    }
}

int ZRT_CloseEvent(ZRT_HANDLE handle)
{
    if (!handle)
        return fail(-1, ZRT_ERROR_INVALID_ARGUMENT);
    return ::CloseHandle(handle) ? 0 : failSystem(-1);
}

ZRT_HANDLE ZRT_Thread_Create(ZRT_THREAD_FUNC function, void* argument, unsigned int stackSize, const char* name,
                             unsigned long* threadId, unsigned int flags)
{
    if (!function || flags != 0)
        return fail<ZRT_HANDLE>(nullptr, ZRT_ERROR_INVALID_ARGUMENT);
    Thread* thread = new (std::nothrow) Thread;
    if (!thread)
        return fail<ZRT_HANDLE>(nullptr, ZRT_ERROR_OUT_OF_MEMORY, ERROR_NOT_ENOUGH_MEMORY);
    thread->function = function;
    thread->argument = argument;
    unsigned id = 0;
    // _beginthreadex, not CreateThread: the thread may use the C runtime.
    const uintptr_t handle = ::_beginthreadex(nullptr, stackSize, threadMain, thread, 0, &id);
    if (handle == 0) {
        delete thread;
        return fail<ZRT_HANDLE>(nullptr, ZRT_ERROR_SYSTEM, static_cast<int>(::GetLastError()));
    }
    thread->handle = reinterpret_cast<HANDLE>(handle);
    if (name && *name)
        nameThread(thread->handle, name);
    if (threadId)
        *threadId = id;
    return thread;
}

int ZRT_Thread_WaitEx(ZRT_HANDLE handle, unsigned int* exitCode)
{
    if (!handle)
        return fail(-1, ZRT_ERROR_INVALID_ARGUMENT);
    Thread* thread = static_cast<Thread*>(handle);
    if (::GetThreadId(thread->handle) == ::GetCurrentThreadId())
        return fail(-1, ZRT_ERROR_INVALID_ARGUMENT, ERROR_POSSIBLE_DEADLOCK);
    if (::WaitForSingleObject(thread->handle, INFINITE) != WAIT_OBJECT_0)
        return failSystem(-1);
    DWORD code = 0;
    ::GetExitCodeThread(thread->handle, &code);
    if (exitCode)
        *exitCode = code;
    ::CloseHandle(thread->handle);
    delete thread;
    return 0;
}

ZRT_HANDLE ZRT_LoadDSo(const char* name)
{
    if (!name || !*name)
        return fail<ZRT_HANDLE>(nullptr, ZRT_ERROR_INVALID_ARGUMENT);
    const HMODULE module = ::LoadLibraryA(name);
    if (!module)
        return failSystem<ZRT_HANDLE>(nullptr);
    return module;
}

void* ZRT_GetDsoSym(ZRT_HANDLE handle, const char* symbol)
{
    if (!handle || !symbol)
        return fail<void*>(nullptr, ZRT_ERROR_INVALID_ARGUMENT);
    const FARPROC address = ::GetProcAddress(static_cast<HMODULE>(handle), symbol);
    if (!address)
        return failSystem<void*>(nullptr);
    return reinterpret_cast<void*>(address);
}

int ZRT_UnloadDSo(ZRT_HANDLE handle)
{
    if (!handle)
        return fail(-1, ZRT_ERROR_INVALID_ARGUMENT);
    return ::FreeLibrary(static_cast<HMODULE>(handle)) ? 0 : failSystem(-1);
}

} // extern "C"
