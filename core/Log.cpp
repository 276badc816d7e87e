#include "core/Log.h"

#include "core/ASLListener.h"
#include "core/StandardListener.h"

#include <mutex>

namespace rezezaz {
namespace core {

std::atomic<Logger*> Log::mTheLogger(nullptr);
Collection<LoggerListener*> Log::mListeners;

namespace {

// Guards creating and deleting the logger; logging itself never takes it.
std::mutex& lifeMutex()
{
    static std::mutex mutex;
    return mutex;
}

} // namespace

Logger* Log::getInstance()
{
    Logger* logger = mTheLogger.load();
    if (logger == nullptr) {
        initialize(false);
        logger = mTheLogger.load();
    }
    return logger;
}

void Log::initialize(bool quiet)
{
    std::lock_guard<std::mutex> guard(lifeMutex());
    if (mTheLogger.load() != nullptr)
        return;
    Logger* logger = new Logger(quiet);
    mListeners.add(new ASLListener());
    mListeners.add(new StandardListener());
    for (int i = 0; i < mListeners.size(); ++i)
        logger->addLoggerListener(mListeners[i]);
    mTheLogger.store(logger);
}

void Log::destroy()
{
    std::lock_guard<std::mutex> guard(lifeMutex());
    Logger* logger = mTheLogger.load();
    if (logger == nullptr)
        return;
    for (int i = 0; i < mListeners.size(); ++i) {
        logger->removeLoggerListener(mListeners[i]);
        delete mListeners[i];
    }
    mListeners.clear();
    mTheLogger.store(nullptr);
    delete logger;
}

void Log::log(Logger::Level level, const String& text)
{
    Logger* logger = getInstance();
    // Decide before the logger's mutex is taken: a dropped entry costs a comparison and a look-up.
    if (logger->getMasterReportingLevel() >= level && logger->getCategoryReportingLevel(String()) >= level)
        logger->addLogEntry(String(), level, text);
}

void Log::error(const String& text)
{
    log(Logger::ERROR, text);
}

void Log::warning(const String& text)
{
    log(Logger::WARNING, text);
}

void Log::alert(const String& text)
{
    log(Logger::ALERT, text);
}

void Log::debug(const String& text)
{
    log(Logger::DEBUG, text);
}

} // namespace core
} // namespace rezezaz
