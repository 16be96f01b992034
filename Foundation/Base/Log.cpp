#include "Base/Log.h"

#include <log4cxx/basicconfigurator.h>
#include <log4cxx/file.h>
#include <log4cxx/level.h>
#include <log4cxx/logger.h>
#include <log4cxx/logmanager.h>
#include <log4cxx/propertyconfigurator.h>

#include <atomic>
#include <fstream>
#include <mutex>

namespace Base {
namespace details {

namespace {

std::mutex& configMutex()
{
    static std::mutex* const mutex = new std::mutex;
    return *mutex;
}

std::atomic<bool> g_configured{false};

void write(const log4cxx::LevelPtr& level, const std::string& loggerName, const std::string& message,
           const log4cxx::spi::LocationInfo& location)
{
    try {
        const log4cxx::LoggerPtr logger =
            loggerName.empty() ? log4cxx::Logger::getRootLogger() : log4cxx::Logger::getLogger(loggerName);
        if (logger && logger->isEnabledFor(level))
            logger->forcedLog(level, message, location);
    } catch (...) {
        // Logging never fails its caller.
    }
}

} // namespace

CLog::CLog()
{
    std::lock_guard<std::mutex> lock(configMutex());
    if (g_configured)
        return;
    try {
        // Console output until a properties file is given.
        const log4cxx::LoggerPtr root = log4cxx::Logger::getRootLogger();
        if (root->getAllAppenders().empty())
            log4cxx::BasicConfigurator::configure();
    } catch (...) {
    }
}

void CLog::Debug(const std::string& loggerName, const std::string& message, const log4cxx::spi::LocationInfo& location)
{
    write(log4cxx::Level::getDebug(), loggerName, message, location);
}

void CLog::Info(const std::string& loggerName, const std::string& message, const log4cxx::spi::LocationInfo& location)
{
    write(log4cxx::Level::getInfo(), loggerName, message, location);
}

void CLog::Warn(const std::string& loggerName, const std::string& message, const log4cxx::spi::LocationInfo& location)
{
    write(log4cxx::Level::getWarn(), loggerName, message, location);
}

void CLog::Error(const std::string& loggerName, const std::string& message, const log4cxx::spi::LocationInfo& location)
{
    write(log4cxx::Level::getError(), loggerName, message, location);
}

void CLog::Fatal(const std::string& loggerName, const std::string& message, const log4cxx::spi::LocationInfo& location)
{
    write(log4cxx::Level::getFatal(), loggerName, message, location);
}

bool CLog::Configure(const std::string& propertiesPath)
{
    if (propertiesPath.empty() || !std::ifstream(propertiesPath).good())
        return false;
    std::lock_guard<std::mutex> lock(configMutex());
    try {
        log4cxx::LogManager::resetConfiguration();
        const log4cxx::spi::ConfigurationStatus status =
            log4cxx::PropertyConfigurator::configure(log4cxx::File(propertiesPath));
        if (status != log4cxx::spi::ConfigurationStatus::Configured) {
            log4cxx::BasicConfigurator::configure();
            return false;
        }
        g_configured = true;
        return true;
    } catch (...) {
        return false;
    }
}

} // namespace details
} // namespace Base

TAVRIN_SINGLETON_DEFINE(Base::details::CLog)
