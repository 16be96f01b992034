// The logger over log4cplus (Windows, where log4cxx is not built), configured
// from the same log4j-style properties file as log4cxx.

#include "Base/Log.h"

#include "Log4cplusProperties.h"

#include <log4cplus/configurator.h>
#include <log4cplus/helpers/property.h>
#include <log4cplus/hierarchy.h>
#include <log4cplus/initializer.h>
#include <log4cplus/logger.h>
#include <log4cplus/loglevel.h>

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

void write(log4cplus::LogLevel level, const std::string& loggerName, const std::string& message,
           const log4cxx::spi::LocationInfo& location)
{
    try {
        const log4cplus::Logger logger =
            loggerName.empty() ? log4cplus::Logger::getRoot() : log4cplus::Logger::getInstance(loggerName);
        if (logger.isEnabledFor(level))
            logger.forcedLog(level, message, location.getShortFileName(), location.getLineNumber(),
                             location.getMethodName());
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
        log4cplus::initialize();
        // Console output until a properties file is given.
        if (log4cplus::Logger::getRoot().getAllAppenders().empty())
            log4cplus::BasicConfigurator::doConfigure();
    } catch (...) {
    }
}

void CLog::Debug(const std::string& loggerName, const std::string& message, const log4cxx::spi::LocationInfo& location)
{
    write(log4cplus::DEBUG_LOG_LEVEL, loggerName, message, location);
}

void CLog::Info(const std::string& loggerName, const std::string& message, const log4cxx::spi::LocationInfo& location)
{
    write(log4cplus::INFO_LOG_LEVEL, loggerName, message, location);
}

void CLog::Warn(const std::string& loggerName, const std::string& message, const log4cxx::spi::LocationInfo& location)
{
    write(log4cplus::WARN_LOG_LEVEL, loggerName, message, location);
}

void CLog::Error(const std::string& loggerName, const std::string& message, const log4cxx::spi::LocationInfo& location)
{
    write(log4cplus::ERROR_LOG_LEVEL, loggerName, message, location);
}

void CLog::Fatal(const std::string& loggerName, const std::string& message, const log4cxx::spi::LocationInfo& location)
{
    write(log4cplus::FATAL_LOG_LEVEL, loggerName, message, location);
}

bool CLog::Configure(const std::string& propertiesPath)
{
    if (propertiesPath.empty() || !std::ifstream(propertiesPath).good())
        return false;
    std::lock_guard<std::mutex> lock(configMutex());
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
        g_configured = true;
        return true;
    } catch (...) {
        return false;
    }
}

} // namespace details
} // namespace Base

TAVRIN_SINGLETON_DEFINE(Base::details::CLog)
