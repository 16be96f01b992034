#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace Base {
namespace StringUtil {

// printf-style formatting into a string of any length. A bad format yields
// an empty string.
std::string FormatString(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

// Hexadecimal text of `count` bytes, two digits per byte; `upperCase`
// chooses "AB" over "ab". A null buffer gives an empty text.
std::string Vlue2HexString(const unsigned char* bytes, std::size_t count, bool upperCase);

// Bytes of a hexadecimal text (either case, two digits per byte). False,
// with `out` emptied, for an odd length or a character that is no hex digit.
bool HexString2Value(const std::string& hex, std::vector<unsigned char>& out);

// The text without the blanks around it (by default space, tab, CR, LF).
std::string Trim(const std::string& text, const char* blanks = " \t\r\n");

// The port a text stands for: decimal digits only (blanks around them
// allowed), 1 to 65535; -1 for anything else.
int ParsePort(const std::string& text);

} // namespace StringUtil
} // namespace Base
