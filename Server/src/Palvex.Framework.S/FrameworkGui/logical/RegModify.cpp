#include "RegModify.h"

namespace serverframework {

namespace {

// A key path names a hive and a sub-key, split at the first "\".
bool splitsIntoHiveAndSubKey(const std::string& keyPath)
{
    const std::size_t split = keyPath.find('\\');
    return split != std::string::npos && split > 0 && split + 1 < keyPath.size();
}

} // namespace

CRegModify::CRegModify(const std::string& path, int registryView)
    : keyPath(path)
    , view(registryView == 1 ? platform::RegistryView::Bits64 : platform::RegistryView::Bits32)
    , open(splitsIntoHiveAndSubKey(path) && (registryView == 0 || registryView == 1))
{
}

CRegModify::~CRegModify() = default;

std::string CRegModify::readString(const std::string& valueName) const
{
    return open ? platform::registryString(keyPath, view, valueName) : std::string();
}

bool CRegModify::setString(const std::string& valueName, const std::string& data)
{
    return open && platform::setRegistryString(keyPath, view, valueName, data);
}

bool CRegModify::deleteValue(const std::string& valueName)
{
    return open && platform::deleteRegistryValue(keyPath, view, valueName);
}

} // namespace serverframework
