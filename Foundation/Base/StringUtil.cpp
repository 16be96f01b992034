#include "Base/StringUtil.h"

#include <cstdarg>
#include <cstdio>

namespace Base {
namespace StringUtil {

std::string FormatString(const char* format, ...)
{
    if (!format)
        return std::string();

    va_list args;
    va_start(args, format);
    va_list measure;
    va_copy(measure, args);
    const int length = std::vsnprintf(nullptr, 0, format, measure);
    va_end(measure);

    std::string result;
    if (length > 0) {
        result.resize(static_cast<std::size_t>(length) + 1);
        std::vsnprintf(&result[0], result.size(), format, args);
        result.resize(static_cast<std::size_t>(length));
    }
    va_end(args);
    return result;
}

std::string Vlue2HexString(const unsigned char* bytes, std::size_t count, bool upperCase)
{
    if (!bytes)
        return std::string();
    const char* digits = upperCase ? "0123456789ABCDEF" : "0123456789abcdef";
    std::string hex;
    hex.reserve(count * 2);
    for (std::size_t i = 0; i < count; ++i) {
        hex.push_back(digits[bytes[i] >> 4]);
        hex.push_back(digits[bytes[i] & 0x0F]);
    }
    return hex;
}

namespace {

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace

bool HexString2Value(const std::string& hex, std::vector<unsigned char>& out)
{
    out.clear();
    if (hex.size() % 2 != 0)
        return false;
    std::vector<unsigned char> bytes;
    bytes.reserve(hex.size() / 2);
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        const int high = hexDigit(hex[i]);
        const int low = hexDigit(hex[i + 1]);
        if (high < 0 || low < 0)
            return false;
        bytes.push_back(static_cast<unsigned char>(high << 4 | low));
    }
    out.swap(bytes);
    return true;
}

std::string Trim(const std::string& text, const char* blanks)
{
    const std::string::size_type first = text.find_first_not_of(blanks);
    if (first == std::string::npos)
        return std::string();
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

int ParsePort(const std::string& text)
{
    const std::string digits = Trim(text);
    if (digits.empty())
        return -1;
    int value = 0;
    for (const char c : digits) {
        if (c < '0' || c > '9')
            return -1;
        value = value * 10 + (c - '0');
        if (value > 65535)
            return -1;
    }
    return value >= 1 ? value : -1;
}

} // namespace StringUtil
} // namespace Base
