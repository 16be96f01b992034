#include "Properties.h"

#include "Platform/Platform.h"

namespace serverframework {

bool Properties::store(const std::string& path)
{
    std::string text;
    for (const auto& entry : m_entries) {
        text += entry.first + "=" + valueText(entry.second) + "\n";
    }
    // Replaced whole: a kill or a full disk while saving leaves the old file
    // or the new one, never a torn one the plug-in cannot read.
    if (!platform::writeWholeFile(path, text)) {
        throw PropertiesError("can 't construct the output file!");
    }
    return true;
}

std::string Properties::valueText(const std::string& value)
{
    return value.empty() || value.back() == '\r' ? value + "=" : value;
}

} // namespace serverframework
