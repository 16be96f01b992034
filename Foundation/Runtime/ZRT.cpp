// What the portable runtime does alike on every OS.

#include "ZRT/ZRT.h"

#include "ZrtError.h"

namespace {

thread_local int t_lastError = ZRT_ERROR_NONE;
thread_local int t_systemError = 0;

} // namespace

namespace zrt {

void setError(int error, int systemError)
{
    t_lastError = error;
    t_systemError = systemError;
}

} // namespace zrt

extern "C" {

int ZRT_GetLastError(void)
{
    return t_lastError;
}

int ZRT_GetSystemLastError(void)
{
    return t_systemError;
}

int ZRT_Thread_Wait(ZRT_HANDLE thread)
{
    return ZRT_Thread_WaitEx(thread, nullptr);
}

} // extern "C"
