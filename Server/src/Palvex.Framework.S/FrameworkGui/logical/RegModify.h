#pragma once
// One registry key, opened at construction and closed with the object. The
// platform layer decides what a key is on this system (on Linux only the
// log-on Run keys exist, as XDG autostart entries); a key it cannot open
// makes every operation do nothing.

#include <Platform/Platform.h>

#include <string>

namespace serverframework {

class CRegModify
{
public:
    // keyPath "<hive>\<sub-key>"; view 0: 32-bit registry view, 1: 64-bit.
    CRegModify(const std::string& keyPath, int view);
    virtual ~CRegModify();
    CRegModify(const CRegModify&) = delete;
    CRegModify& operator=(const CRegModify&) = delete;

    bool isOpen() const { return open; }

    // The value's text; empty when missing or when the key is not open.
    std::string readString(const std::string& valueName) const;
    // True when the value was written (or is gone).
    bool setString(const std::string& valueName, const std::string& data);
    bool deleteValue(const std::string& valueName);

private:
    std::string keyPath;
    platform::RegistryView view;
    bool open;
};

} // namespace serverframework
