#pragma once

#include <string>

namespace Base {
namespace GuidUtil {

// A fresh random (version 4) GUID as 32 upper-case hexadecimal digits,
// two per byte, without braces or dashes. Empty only if the system's
// random source fails.
std::string CreateGuid();

} // namespace GuidUtil
} // namespace Base
