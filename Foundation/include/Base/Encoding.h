#pragma once

#include <string>

namespace Base {

// Conversions between the local code page (the codeset of the C library's
// current LC_CTYPE; UTF-8 while no locale has been chosen), UTF-8 and wide
// text. Where the local code page is UTF-8 the first two are the identity.
// A text that cannot be converted gives an empty result.
std::string LocalToUTF8(const std::string& text);
std::string UTF8ToLocal(const std::string& text);
std::wstring LocalToWide(const std::string& text);

} // namespace Base
