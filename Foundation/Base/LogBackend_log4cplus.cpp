// The logger's writing through log4cplus (Windows, where log4cxx is not
// built), configured from the same log4j-style properties file as log4cxx.

#include "LogBackend.h"

#include "Log4cplusProperties.h"

#include <log4cplus/configurator.h>
#include <log4cplus/helpers/property.h>
#include <log4cplus/hierarchy.h>
#include <log4cplus/initializer.h>
#include <log4cplus/logger.h>
#include <log4cplus/loglevel.h>

namespace Base {
namespace details {
namespace logbackend {

namespace {

log4cplus::LogLevel toLog4cplus(Level level)
{
    switch (level) {
    case Level::Debug: return log4cplus::DEBUG_LOG_LEVEL;
    case Level::Info: return log4cplus::INFO_LOG_LEVEL;
    case Level::Warn: return log4cplus::WARN_LOG_LEVEL;
    case Level::Error: return log4cplus::ERROR_LOG_LEVEL;
    case Level::Fatal: break;
    }
    return log4cplus::FATAL_LOG_LEVEL;
}

} // namespace

void write(Level level, const std::string& loggerName, const std::string& message,
           const log4cxx::spi::LocationInfo& location)
{
    try {
        const log4cplus::LogLevel to = toLog4cplus(level);
        const log4cplus::Logger logger =
            loggerName.empty() ? log4cplus::Logger::getRoot() : log4cplus::Logger::getInstance(loggerName);
        if (logger.isEnabledFor(to))
            logger.forcedLog(to, message, location.getShortFileName(), location.getLineNumber(),
                             location.getMethodName());
    } catch (...) {
        // Logging never fails its caller.
    }
}

void useConsoleUnlessConfigured()
{
    try {
        log4cplus::initialize();
        if (log4cplus::Logger::getRoot().getAllAppenders().empty())
            log4cplus::BasicConfigurator::doConfigure();
    } catch (...) {
    }
}

bool configure(const std::string& propertiesPath)
{
    try {
        log4cplus::initialize();
        // log4cplus reads the file; each property is handed over in its terms.
        const log4cplus::helpers::Properties written(propertiesPath);
        log4cplus::helpers::Properties translated;
        for (const std::string& key : written.propertyNames()) {
            const LogProperty property = toLog4cplusProperty({key, written.getProperty(key)});
            translated.setProperty(property.key, property.value);
        }
        log4cplus::Logger::getDefaultHierarchy().resetConfiguration();
        if (!translated.exists("log4cplus.rootLogger")) {
            log4cplus::BasicConfigurator::doConfigure();
            return false;
        }
        log4cplus::PropertyConfigurator configurator(translated);
        configurator.configure();
        return true;
    } catch (...) {
        return false;
    }
}

} // namespace logbackend
} // namespace details
} // namespace Base
