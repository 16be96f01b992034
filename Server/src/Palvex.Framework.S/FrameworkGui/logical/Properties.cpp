#include "Properties.h"

#include <fstream>

namespace serverframework {

bool Properties::store(const std::string& path)
{
    std::ofstream out(path, std::ios::out | std::ios::trunc);
    if (!out.is_open()) {
        throw new PropertiesError("can 't construct the output file!");
    }
    for (const auto& entry : m_entries) {
        out << entry.first << "=" << entry.second << std::endl;
    }
    out.close();
    return true;
}

} // namespace serverframework
