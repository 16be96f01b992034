#include "Base/Log.h"

#include "LogBackend.h"

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

} // namespace

CLog::CLog()
{
    std::lock_guard<std::mutex> lock(configMutex());
    if (!g_configured)
        logbackend::useConsoleUnlessConfigured();
}

void CLog::Debug(const std::string& loggerName, const std::string& message, const log4cxx::spi::LocationInfo& location)
{
    logbackend::write(logbackend::Level::Debug, loggerName, message, location);
}

void CLog::Info(const std::string& loggerName, const std::string& message, const log4cxx::spi::LocationInfo& location)
{
    logbackend::write(logbackend::Level::Info, loggerName, message, location);
}

void CLog::Warn(const std::string& loggerName, const std::string& message, const log4cxx::spi::LocationInfo& location)
{
    logbackend::write(logbackend::Level::Warn, loggerName, message, location);
}

void CLog::Error(const std::string& loggerName, const std::string& message, const log4cxx::spi::LocationInfo& location)
{
    logbackend::write(logbackend::Level::Error, loggerName, message, location);
}

void CLog::Fatal(const std::string& loggerName, const std::string& message, const log4cxx::spi::LocationInfo& location)
{
    logbackend::write(logbackend::Level::Fatal, loggerName, message, location);
}

bool CLog::Configure(const std::string& propertiesPath)
{
    if (propertiesPath.empty() || !std::ifstream(propertiesPath).good())
        return false;
    std::lock_guard<std::mutex> lock(configMutex());
    if (!logbackend::configure(propertiesPath))
        return false;
    g_configured = true;
    return true;
}

} // namespace details
} // namespace Base

TAVRIN_SINGLETON_DEFINE(Base::details::CLog)
