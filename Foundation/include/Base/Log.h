#pragma once

#include "Base/Singleton.h"
#include "Base/StringUtil.h"

#ifdef _WIN32
#include "Base/LocationInfo.h"
#else
#include <log4cxx/spi/location/locationinfo.h>
#endif

#include <string>

namespace Base {
namespace details {

// The process-wide logger over log4cxx (log4cplus on Windows), reached as
// Base::CSingleton<Base::details::CLog>::Instance(). The logger name selects
// the log4cxx logger ("" = the root logger). Until Configure() succeeds, a
// basic configuration writes to the console, so nothing is lost. Fatal is a
// level only: the process goes on. Nothing here throws.
class CLog
{
    friend class Base::CSingleton<CLog>;

public:
    void Debug(const std::string& loggerName, const std::string& message, const log4cxx::spi::LocationInfo& location);
    void Info(const std::string& loggerName, const std::string& message, const log4cxx::spi::LocationInfo& location);
    void Warn(const std::string& loggerName, const std::string& message, const log4cxx::spi::LocationInfo& location);
    void Error(const std::string& loggerName, const std::string& message, const log4cxx::spi::LocationInfo& location);
    void Fatal(const std::string& loggerName, const std::string& message, const log4cxx::spi::LocationInfo& location);

    // Replaces the whole log4cxx configuration by the properties file at
    // `propertiesPath`. False when the file cannot be read (configuration
    // unchanged) or configures nothing (console output then).
    static bool Configure(const std::string& propertiesPath);

private:
    CLog();
};

} // namespace details
} // namespace Base

TAVRIN_SINGLETON_SHARED(Base::details::CLog)

// Location record of the calling line: source file name (without the build
// machine's folders), full function signature, line number.
#define TLOG_LOCATION ::log4cxx::spi::LocationInfo(__FILE_NAME__, __FILE_NAME__, __PRETTY_FUNCTION__, __LINE__)

// printf-style logging to the root logger at the call site's location.
#define TLOG_DEBUG(...)                                                                                                \
    ::Base::CSingleton<::Base::details::CLog>::Instance().Debug("", ::Base::StringUtil::FormatString(__VA_ARGS__),     \
                                                                TLOG_LOCATION)
#define TLOG_INFO(...)                                                                                                 \
    ::Base::CSingleton<::Base::details::CLog>::Instance().Info("", ::Base::StringUtil::FormatString(__VA_ARGS__),      \
                                                               TLOG_LOCATION)
#define TLOG_WARN(...)                                                                                                 \
    ::Base::CSingleton<::Base::details::CLog>::Instance().Warn("", ::Base::StringUtil::FormatString(__VA_ARGS__),      \
                                                               TLOG_LOCATION)
#define TLOG_ERROR(...)                                                                                                \
    ::Base::CSingleton<::Base::details::CLog>::Instance().Error("", ::Base::StringUtil::FormatString(__VA_ARGS__),     \
                                                                TLOG_LOCATION)
#define TLOG_FATAL(...)                                                                                                \
    ::Base::CSingleton<::Base::details::CLog>::Instance().Fatal("", ::Base::StringUtil::FormatString(__VA_ARGS__),     \
                                                                TLOG_LOCATION)
