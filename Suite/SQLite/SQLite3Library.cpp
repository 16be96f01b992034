#include "SQLite3Library.h"

#include "Platform/Platform.h"

#include <mutex>

namespace {

std::mutex g_mutex;
int g_users = 0;
void* g_library = nullptr;
SQLite3Api g_api;

template <typename Function>
bool resolve(Function& function, const char* name, std::string& error)
{
    function = reinterpret_cast<Function>(platform::sharedLibrarySymbol(g_library, name));
    if (!function)
        error = std::string("the SQLite library has no ") + name;
    return function != nullptr;
}

} // namespace

const SQLite3Api* SQLite3Library::acquire(std::string& error)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    if (g_users == 0) {
        g_library = platform::loadSharedLibrary(platform::sharedLibraryFileName("sqlite3", 0), error);
        if (!g_library)
            return nullptr;
        if (!resolve(g_api.open_v2, "sqlite3_open_v2", error) || !resolve(g_api.errmsg, "sqlite3_errmsg", error)
            || !resolve(g_api.errstr, "sqlite3_errstr", error)
            || !resolve(g_api.busy_timeout, "sqlite3_busy_timeout", error)
            || !resolve(g_api.exec, "sqlite3_exec", error) || !resolve(g_api.free, "sqlite3_free", error)
            || !resolve(g_api.close_v2, "sqlite3_close_v2", error)
            || !resolve(g_api.shutdown, "sqlite3_shutdown", error)) {
            platform::unloadSharedLibrary(g_library);
            g_library = nullptr;
            return nullptr;
        }
    }
    ++g_users;
    return &g_api;
}

void SQLite3Library::release()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    if (g_users == 0 || --g_users != 0)
        return;
    g_api.shutdown(); // frees what the library set up for itself
    platform::unloadSharedLibrary(g_library);
    g_library = nullptr;
}
