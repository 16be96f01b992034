// The logger's writing through log4cxx.

#include "LogBackend.h"

#include <log4cxx/basicconfigurator.h>
#include <log4cxx/file.h>
#include <log4cxx/level.h>
#include <log4cxx/logger.h>
#include <log4cxx/logmanager.h>
#include <log4cxx/propertyconfigurator.h>

namespace Base {
namespace details {
namespace logbackend {

namespace {

log4cxx::LevelPtr toLog4cxx(Level level)
{
    switch (level) {
    case Level::Debug: return log4cxx::Level::getDebug();
    case Level::Info: return log4cxx::Level::getInfo();
    case Level::Warn: return log4cxx::Level::getWarn();
    case Level::Error: return log4cxx::Level::getError();
    case Level::Fatal: break;
    }
    return log4cxx::Level::getFatal();
}

} // namespace

void write(Level level, const std::string& loggerName, const std::string& message,
           const log4cxx::spi::LocationInfo& location)
{
    try {
        const log4cxx::LevelPtr to = toLog4cxx(level);
        const log4cxx::LoggerPtr logger =
            loggerName.empty() ? log4cxx::Logger::getRootLogger() : log4cxx::Logger::getLogger(loggerName);
        if (logger && logger->isEnabledFor(to))
            logger->forcedLog(to, message, location);
    } catch (...) {
        // Logging never fails its caller.
    }
}

void useConsoleUnlessConfigured()
{
    try {
        if (log4cxx::Logger::getRootLogger()->getAllAppenders().empty())
            log4cxx::BasicConfigurator::configure();
    } catch (...) {
    }
}

bool configure(const std::string& propertiesPath)
{
    try {
        log4cxx::LogManager::resetConfiguration();
        const log4cxx::spi::ConfigurationStatus status =
            log4cxx::PropertyConfigurator::configure(log4cxx::File(propertiesPath));
        if (status != log4cxx::spi::ConfigurationStatus::Configured) {
            log4cxx::BasicConfigurator::configure();
            return false;
        }
        return true;
    } catch (...) {
        return false;
    }
}

} // namespace logbackend
} // namespace details
} // namespace Base
