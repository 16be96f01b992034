#include "Base/DiskDriveUtil.h"

#include <cerrno>

#include <sys/statvfs.h>

namespace Base {
namespace DiskDriveUtil {

int GetLocalDriveSpace(const std::string& path, std::uint64_t& totalBytes, std::uint64_t& freeBytes)
{
    totalBytes = 0;
    freeBytes = 0;
    if (path.empty())
        return EINVAL;
    struct statvfs st{};
    if (::statvfs(path.c_str(), &st) != 0)
        return errno ? errno : EIO;
    totalBytes = static_cast<std::uint64_t>(st.f_blocks) * st.f_frsize;
    freeBytes = static_cast<std::uint64_t>(st.f_bavail) * st.f_frsize;
    return 0;
}

} // namespace DiskDriveUtil
} // namespace Base
