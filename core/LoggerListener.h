#pragma once

#include "core/Logger.h"
#include "core/String.h"

namespace rezezaz {
namespace core {

// Receives every entry that the logger lets pass, with the logger's mutex held.
class LoggerListener
{
public:
    virtual ~LoggerListener() {}
    // The category is null for entries without one; time is in milliseconds since the Unix epoch.
    virtual void addLogEntry(Logger::Category* category, Logger::Level level, unsigned long long time,
                             const String& text) = 0;
    virtual void flush() = 0;
};

} // namespace core
} // namespace rezezaz
