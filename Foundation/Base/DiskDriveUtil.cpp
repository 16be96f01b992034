#include "Base/DiskDriveUtil.h"

#include "Platform/Platform.h"

namespace Base {
namespace DiskDriveUtil {

int GetLocalDriveSpace(const std::string& path, std::uint64_t& totalBytes, std::uint64_t& freeBytes)
{
    return platform::driveSpace(path, totalBytes, freeBytes);
}

} // namespace DiskDriveUtil
} // namespace Base
