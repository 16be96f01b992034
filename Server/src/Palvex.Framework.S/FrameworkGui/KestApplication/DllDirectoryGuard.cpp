#include "DllDirectoryGuard.h"

#include <Platform/Platform.h>
#include <ZRT/ZRT.h>

namespace serverframework {

namespace {
// The system library that carries the loader's search-directory call on
// systems that have one; elsewhere it does not load and the platform layer
// does what the system needs.
constexpr const char* kLoaderLibrary = "Kernel32.dll";
typedef int (*SetDllDirectoryFunc)(const char*);
} // namespace

DllDirectoryGuard::DllDirectoryGuard()
    : handle(ZRT_LoadDSo(kLoaderLibrary))
{
}

DllDirectoryGuard::~DllDirectoryGuard()
{
    if (handle)
        ZRT_UnloadDSo(handle);
}

void DllDirectoryGuard::setDirectory(const std::string& directory)
{
    if (!handle) {
        platform::setDllSearchDirectory(directory);
        return;
    }
    auto setDllDirectory = reinterpret_cast<SetDllDirectoryFunc>(ZRT_GetDsoSym(handle, "SetDllDirectoryA"));
    if (setDllDirectory)
        setDllDirectory(directory.c_str());
}

} // namespace serverframework
