#pragma once

#include <cstdint>
#include <string>

namespace Base {
namespace DiskDriveUtil {

// Size of the file system holding `path` (local code page): `totalBytes` its
// capacity, `freeBytes` the space available to the calling user. Returns 0 on
// success, otherwise the system error number (both counts then 0).
int GetLocalDriveSpace(const std::string& path, std::uint64_t& totalBytes, std::uint64_t& freeBytes);

} // namespace DiskDriveUtil
} // namespace Base
