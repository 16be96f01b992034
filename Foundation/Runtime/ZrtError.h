#pragma once
// The calling thread's last errors (ZRT_GetLastError, ZRT_GetSystemLastError),
// recorded by each OS's implementation of the runtime.

namespace zrt {

void setError(int error, int systemError);

// Records a failure and returns `result` so callers can `return fail(...)`.
template <typename R>
R fail(R result, int error, int systemError = 0)
{
    setError(error, systemError);
    return result;
}

} // namespace zrt
