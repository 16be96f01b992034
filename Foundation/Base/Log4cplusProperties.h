#pragma once
// The logging configuration is a log4j-style properties file (what log4cxx
// reads). Where the logger runs on log4cplus, each of its lines is handed
// over in log4cplus's terms: the same appenders, layouts, levels, file names
// and rolling sizes.

#include <string>

namespace Base {
namespace details {

struct LogProperty
{
    std::string key;
    std::string value;
};

// The log4cplus form of one property: "log4j." keys become "log4cplus."
// keys, org.apache.log4j classes of appenders and layouts the log4cplus
// classes of the same name, and the date of a conversion pattern
// (%d{yyyy-MM-dd HH:mm:ss.SSS}, local time) log4cplus's %D{%Y-%m-%d %H:%M:%S.%q}.
// Other properties pass unchanged.
LogProperty toLog4cplusProperty(const LogProperty& property);

} // namespace details
} // namespace Base
