#pragma once

#include <string>

namespace serverframework {

// Folder of a skin name ("GreyRedSkin" -> "GreyRed"); empty for any other name.
std::string skinFolder(const std::string& skinName);

// Registers the skin's resources from rccDir (UTF-8) or, without rccDir,
// from the program folder + "rcc". A name outside the skin table does nothing
// and returns false.
bool loadSkin(const std::string& skinName);
bool loadSkin(const std::string& skinName, const std::string& rccDir);

// Framework library callback: loadSkin, then tells the style sheet observers.
// The user pointer is not used. False when the skin could not be loaded, so
// that the library refuses the request.
bool registerRccCallback(const char* skinName, void* user);

} // namespace serverframework
