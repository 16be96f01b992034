#pragma once
// A configuration version text, ordered as dotted numbers: "1.10" > "1.9",
// "1.1" > "1.0.9"; a missing component counts as 0, and the empty text is
// below every version.

#include <string>
#include <vector>

namespace DatabaseUpdate {

class CDBVersion
{
public:
    explicit CDBVersion(const std::string& text);

    bool operator>(const CDBVersion& other) const;
    bool operator<(const CDBVersion& other) const { return other > *this; }
    bool operator==(const CDBVersion& other) const;

    const std::string& text() const { return m_text; }

private:
    std::string m_text;
    std::vector<unsigned long long> m_parts; // empty for the empty text
};

} // namespace DatabaseUpdate
