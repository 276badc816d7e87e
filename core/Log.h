#pragma once

#include "core/Collection.h"
#include "core/Logger.h"
#include "core/String.h"

#include <atomic>

namespace rezezaz {
namespace core {

class LoggerListener;

// Reaches the process's one Logger and owns its default listeners (system log and console).
class Log
{
public:
    Log() = delete;

    // The logger, created with its default listeners on first use.
    static Logger* getInstance();
    // Creates the logger (the flag goes to Logger(bool)) unless it exists.
    static void initialize(bool quiet);
    // Deletes the default listeners and the logger; a later getInstance() starts afresh.
    static void destroy();

    // Log at level 1 to 4 without a category, when the levels admit it.
    static void error(const String& text);
    static void warning(const String& text);
    static void alert(const String& text);
    static void debug(const String& text);

private:
    static void log(Logger::Level level, const String& text);

    static std::atomic<Logger*> mTheLogger;
    static Collection<LoggerListener*> mListeners;
};

} // namespace core
} // namespace rezezaz
