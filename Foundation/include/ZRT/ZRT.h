#ifndef ZRT_ZRT_H
#define ZRT_ZRT_H

/* The portable runtime: files, events, threads and dynamic loading as plain
 * C functions. Paths are narrow strings in the local code page. A failing
 * call records the library's error (ZRT_GetLastError) and the system's error
 * number (ZRT_GetSystemLastError) for the calling thread; a successful call
 * leaves them as they were. */

#ifdef __cplusplus
extern "C" {
#endif

typedef void* ZRT_HANDLE;

/* Library error codes (ZRT_GetLastError). */
enum {
    ZRT_ERROR_NONE = 0,
    ZRT_ERROR_INVALID_ARGUMENT = 1,
    ZRT_ERROR_SYSTEM = 2, /* see ZRT_GetSystemLastError */
    ZRT_ERROR_ALREADY_EXISTS = 3,
    ZRT_ERROR_NOT_FOUND = 4,
    ZRT_ERROR_OUT_OF_MEMORY = 5
};

/* ---- files ---- */

/* 0 when `path` exists (mode 0) or is accessible as `mode` asks (the
 * access(2) bits: 2 write, 4 read); -1 otherwise. */
int ZRT_AccessFile(const char* path, int mode);

/* Creates one directory level; 0 on success, -1 on failure (also when it
 * exists already). */
int ZRT_MakeDir(const char* path);

/* Copies the file `source` to `target`; with `failIfExists` non-zero an
 * existing target is left alone and the call fails. 0 on success, -1 on
 * failure; a failed copy leaves no partial target behind. */
int ZRT_CopyFile(const char* source, const char* target, int failIfExists);

/* Deletes a file; 0 on success, -1 on failure. */
int ZRT_DeleteFile(const char* path);

int ZRT_GetLastError(void);
int ZRT_GetSystemLastError(void);

/* ---- events ---- */

#define ZRT_INFINITE 0xFFFFFFFFu
#define ZRT_WAIT_OBJECT_0 0
#define ZRT_WAIT_TIMEOUT 1
#define ZRT_WAIT_FAILED (-1)

/* An event, created unsignalled. `manualReset` 0: a successful wait resets
 * it (one waiter is released per set); non-zero: it stays set until
 * ZRT_ResetEvent. NULL on failure. */
ZRT_HANDLE ZRT_CreateEvent(int manualReset);
int ZRT_SetEvent(ZRT_HANDLE event);   /* 0 on success */
int ZRT_ResetEvent(ZRT_HANDLE event); /* 0 on success */
/* ZRT_WAIT_OBJECT_0 (0) when the event is set within `milliseconds`
 * (ZRT_INFINITE: no limit), ZRT_WAIT_TIMEOUT on time-out, ZRT_WAIT_FAILED
 * for a bad handle. */
int ZRT_WaitForSingleObject(ZRT_HANDLE event, unsigned int milliseconds);
int ZRT_CloseEvent(ZRT_HANDLE event); /* 0 on success; nobody may wait on it */

/* ---- threads ---- */

typedef unsigned int (*ZRT_THREAD_FUNC)(void* argument);

/* Starts `function(argument)` on a new thread. The further parameters are
 * optional, 0 meaning the default: `stackSize` in bytes (0: the system's);
 * `name` shown by the system's tools (at most 15 characters are kept);
 * `threadId` receives the system's id of the thread; `flags` is reserved
 * and must be 0. Returns the thread's handle, or NULL on failure. */
ZRT_HANDLE ZRT_Thread_Create(ZRT_THREAD_FUNC function, void* argument, unsigned int stackSize, const char* name,
                             unsigned long* threadId, unsigned int flags);

/* Waits until the thread has ended and releases its handle; 0 on success.
 * `exitCode` (may be NULL) receives the function's result. */
int ZRT_Thread_WaitEx(ZRT_HANDLE thread, unsigned int* exitCode);
int ZRT_Thread_Wait(ZRT_HANDLE thread);

/* ---- dynamic loading ---- */

/* Loads a shared library by file name or path; NULL on failure. */
ZRT_HANDLE ZRT_LoadDSo(const char* name);
/* Address of `symbol` in the library; NULL when absent. */
void* ZRT_GetDsoSym(ZRT_HANDLE handle, const char* symbol);
/* 0 on success. */
int ZRT_UnloadDSo(ZRT_HANDLE handle);

#ifdef __cplusplus
}
#endif

#endif /* ZRT_ZRT_H */
