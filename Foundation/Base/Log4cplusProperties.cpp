#include "Log4cplusProperties.h"

#include <cstddef>
#include <cstring>

namespace Base {
namespace details {

namespace {

const char kLog4jPrefix[] = "log4j.";
const char kLog4jClassPrefix[] = "org.apache.log4j.";

bool startsWith(const std::string& text, const char* prefix)
{
    return text.compare(0, std::strlen(prefix), prefix) == 0;
}

bool endsWith(const std::string& text, const std::string& suffix)
{
    return text.size() >= suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// log4j's named date formats and its SimpleDateFormat letters in strftime
// terms (%q: milliseconds in log4cplus).
std::string toStrftime(const std::string& javaFormat)
{
    if (javaFormat.empty() || javaFormat == "ISO8601")
        return "%Y-%m-%d %H:%M:%S,%q";
    if (javaFormat == "ABSOLUTE")
        return "%H:%M:%S,%q";
    if (javaFormat == "DATE")
        return "%d %b %Y %H:%M:%S,%q";
    static const struct
    {
        const char* java;
        const char* strftime;
    } kFields[] = {{"yyyy", "%Y"}, {"yy", "%y"}, {"MMM", "%b"}, {"MM", "%m"},  {"dd", "%d"}, {"HH", "%H"},
                   {"mm", "%M"},   {"ss", "%S"}, {"SSS", "%q"}, {"EEE", "%a"}, {"a", "%p"}};
    std::string out;
    for (std::size_t i = 0; i < javaFormat.size();) {
        bool matched = false;
        for (const auto& field : kFields) {
            if (javaFormat.compare(i, std::strlen(field.java), field.java) == 0) {
                out += field.strftime;
                i += std::strlen(field.java);
                matched = true;
                break;
            }
        }
        if (matched)
            continue;
        if (javaFormat[i] == '%')
            out += '%';
        out += javaFormat[i++];
    }
    return out;
}

// %d and %d{...} (local time in log4j) become %D{...}; everything else of
// the pattern means the same to both libraries.
std::string toLog4cplusPattern(const std::string& pattern)
{
    std::string out;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] != '%' || i + 1 >= pattern.size()) {
            out += pattern[i];
            continue;
        }
        if (pattern[i + 1] == '%') {
            out += "%%";
            ++i;
            continue;
        }
        if (pattern[i + 1] != 'd') {
            out += '%';
            continue;
        }
        std::string format;
        std::size_t next = i + 2;
        if (next < pattern.size() && pattern[next] == '{') {
            const std::size_t close = pattern.find('}', next);
            if (close != std::string::npos) {
                format = pattern.substr(next + 1, close - next - 1);
                next = close + 1;
            }
        }
        out += "%D{" + toStrftime(format) + "}";
        i = next - 1;
    }
    return out;
}

} // namespace

LogProperty toLog4cplusProperty(const LogProperty& property)
{
    if (!startsWith(property.key, kLog4jPrefix))
        return property;
    const std::string rest = property.key.substr(std::strlen(kLog4jPrefix));
    LogProperty out{"log4cplus." + rest, property.value};
    // An appender's class is "log4j.appender.NAME", its layout's "...NAME.layout".
    const bool appenderClass =
        startsWith(rest, "appender.") && rest.find('.', std::strlen("appender.")) == std::string::npos;
    const bool layoutClass = startsWith(rest, "appender.") && endsWith(rest, ".layout");
    if ((appenderClass || layoutClass) && startsWith(property.value, kLog4jClassPrefix))
        out.value = "log4cplus::" + property.value.substr(property.value.rfind('.') + 1);
    else if (endsWith(rest, ".layout.ConversionPattern"))
        out.value = toLog4cplusPattern(property.value);
    return out;
}

} // namespace details
} // namespace Base
