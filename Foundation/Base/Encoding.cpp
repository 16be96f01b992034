#include "Base/Encoding.h"

#include "Platform/Platform.h"

namespace Base {

std::string LocalToUTF8(const std::string& text)
{
    std::string out;
    platform::localToUtf8(text, out);
    return out;
}

std::string UTF8ToLocal(const std::string& text)
{
    std::string out;
    platform::utf8ToLocal(text, out);
    return out;
}

std::wstring LocalToWide(const std::string& text)
{
    std::wstring out;
    platform::localToWide(text, out);
    return out;
}

} // namespace Base
