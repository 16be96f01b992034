#pragma once

#include <string>

namespace Base {
namespace FileUtil {

// Folder of the running executable, in the local code
// page, ending with "/". Empty when it cannot be found.
std::string GetCurExeDir();

// Remembers the UTF-8 form of the executable's folder (called once at start).
void InitCurExeDirUtf8(const std::string& dirUtf8);

// The folder given to InitCurExeDirUtf8; before that call, the UTF-8 form of
// GetCurExeDir().
std::string GetCurExeDirUtf8();

} // namespace FileUtil
} // namespace Base
