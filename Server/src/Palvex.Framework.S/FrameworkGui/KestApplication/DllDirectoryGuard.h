#pragma once
// Scoped access to the system loader's search-directory call: loads the
// system library that provides it and unloads it again on destruction.

#include <string>

namespace serverframework {

class DllDirectoryGuard
{
public:
    DllDirectoryGuard();
    ~DllDirectoryGuard();
    DllDirectoryGuard(const DllDirectoryGuard&) = delete;
    DllDirectoryGuard& operator=(const DllDirectoryGuard&) = delete;

    // Makes the libraries in directory (local code page) win the search.
    void setDirectory(const std::string& directory);

private:
    void* handle;
};

} // namespace serverframework
