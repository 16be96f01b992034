#include "Base/FileUtil.h"

#include "Base/Encoding.h"
#include "Platform/Platform.h"

#include <mutex>
#include <string>

namespace Base {
namespace FileUtil {

namespace {

std::mutex g_mutex;
std::string g_exeDirUtf8;
bool g_exeDirUtf8Set = false;

} // namespace

std::string GetCurExeDir()
{
    const std::string path = platform::executablePath();
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
