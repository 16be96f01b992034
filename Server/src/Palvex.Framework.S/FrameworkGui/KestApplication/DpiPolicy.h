#pragma once
// The high-DPI decision of the entry, taken from the display sizes before
// any Qt application object exists.

#include <Platform/Platform.h>

#include <vector>

namespace serverframework {

// False when some display (with a readable size) is smaller than 1440 x 900:
// Qt's scaling is then switched off. Displays of 0 x 0 do not count.
bool wantsHighDpiScaling(const std::vector<platform::DisplaySize>& displays);

// Sets Qt's scaling attribute (and, with scaling on, marks the process
// DPI-unaware) from the machine's displays.
void applyHighDpiPolicy(const std::vector<platform::DisplaySize>& displays);

} // namespace serverframework
