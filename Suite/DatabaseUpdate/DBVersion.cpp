#include "DatabaseUpdate/DBVersion.h"

#include <algorithm>
#include <limits>

namespace DatabaseUpdate {

namespace {

// Value of one dotted component: its leading digits (blanks skipped); 0
// without digits, saturated instead of overflowing.
unsigned long long componentValue(const std::string& text)
{
    std::string::size_type i = text.find_first_not_of(" \t");
    unsigned long long value = 0;
    constexpr unsigned long long kMax = std::numeric_limits<unsigned long long>::max();
    for (; i != std::string::npos && i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        const unsigned digit = static_cast<unsigned>(text[i] - '0');
        value = value > (kMax - digit) / 10 ? kMax : value * 10 + digit;
    }
    return value;
}

} // namespace

CDBVersion::CDBVersion(const std::string& text)
    : m_text(text)
{
    if (text.find_first_not_of(" \t\r\n") == std::string::npos)
        return;
    std::string::size_type start = 0;
    for (;;) {
        const std::string::size_type dot = text.find('.', start);
        m_parts.push_back(
            componentValue(text.substr(start, dot == std::string::npos ? std::string::npos : dot - start)));
        if (dot == std::string::npos)
            break;
        start = dot + 1;
    }
}

bool CDBVersion::operator>(const CDBVersion& other) const
{
    if (m_parts.empty())
        return false;
    if (other.m_parts.empty())
        return true;
    const std::size_t length = std::max(m_parts.size(), other.m_parts.size());
    for (std::size_t i = 0; i < length; ++i) {
        const unsigned long long mine = i < m_parts.size() ? m_parts[i] : 0;
        const unsigned long long theirs = i < other.m_parts.size() ? other.m_parts[i] : 0;
        if (mine != theirs)
            return mine > theirs;
    }
    return false;
}

bool CDBVersion::operator==(const CDBVersion& other) const
{
    return !(*this > other) && !(other > *this);
}

} // namespace DatabaseUpdate
