#include "Base/FileUtil.h"

#include "Base/Encoding.h"

#include <mutex>
#include <string>

#include <limits.h>
#include <unistd.h>

namespace Base {
namespace FileUtil {

namespace {

std::mutex g_mutex;
std::string g_exeDirUtf8;
bool g_exeDirUtf8Set = false;

} // namespace

std::string GetCurExeDir()
{
    std::string path(PATH_MAX, '\0');
    const ssize_t n = ::readlink("/proc/self/exe", &path[0], path.size());
    if (n <= 0 || static_cast<std::size_t>(n) >= path.size())
        return std::string();
    path.resize(static_cast<std::size_t>(n));
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return std::string();
    return path.substr(0, slash + 1);
}

void InitCurExeDirUtf8(const std::string& dirUtf8)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    g_exeDirUtf8 = dirUtf8;
    g_exeDirUtf8Set = true;
}

std::string GetCurExeDirUtf8()
{
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        if (g_exeDirUtf8Set)
            return g_exeDirUtf8;
    }
    return LocalToUTF8(GetCurExeDir());
}

} // namespace FileUtil
} // namespace Base
