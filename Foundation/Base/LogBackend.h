#pragma once
// The library the logger writes through: log4cxx (LogBackend_log4cxx.cpp), or
// log4cplus on Windows, where log4cxx is not built (LogBackend_log4cplus.cpp).
// Called by CLog only, configuration under its lock; nothing here throws.

#include "Base/Log.h"

#include <string>

namespace Base {
namespace details {
namespace logbackend {

enum class Level { Debug, Info, Warn, Error, Fatal };

void write(Level level, const std::string& loggerName, const std::string& message,
           const log4cxx::spi::LocationInfo& location);

// Console output, unless something is configured already.
void useConsoleUnlessConfigured();

// Replaces the whole configuration by the properties file (which exists).
// False when it configures nothing: console output then.
bool configure(const std::string& propertiesPath);

} // namespace logbackend
} // namespace details
} // namespace Base
