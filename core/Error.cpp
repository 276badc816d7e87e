#include "core/Error.h"

#include "core/Errorer.h"
#include "core/Exception.h"
#include "core/Log.h"

#include <mutex>

namespace rezezaz {
namespace core {

std::atomic<Errorer*> Error::mTheErrorer(nullptr);

namespace {

std::mutex& lifeMutex()
{
    static std::mutex mutex;
    return mutex;
}

} // namespace

Errorer* Error::getInstance()
{
    Errorer* errorer = mTheErrorer.load();
    if (errorer)
        return errorer;
    // Two threads failing at once must not both create the record.
    std::lock_guard<std::mutex> guard(lifeMutex());
    errorer = mTheErrorer.load();
    if (errorer == nullptr) {
        errorer = new Errorer();
        mTheErrorer.store(errorer);
    }
    return errorer;
}

void Error::destroy()
{
    std::lock_guard<std::mutex> guard(lifeMutex());
    delete mTheErrorer.exchange(nullptr);
}

void Error::errorLog(const String& category, const String& text)
{
    Log::getInstance()->addLogEntry(category, Logger::ERROR, text);
}

void Error::raise(int error, const String& category, bool report, const String& description)
{
    if (report)
        errorLog(category, description);
    Exception exception(error, description.c_str());
    getInstance()->setException(exception);
    throw exception;
}

void Error::unknown(const String& category, bool report, const String& description)
{
    raise(-1, category, report, description);
}

void Error::invalidParameters(const String& category, bool report, const String& description)
{
    raise(2, category, report, description);
}

void Error::nullPointer(const String& category, bool report, const String& description)
{
    raise(3, category, report, description);
}

void Error::unimplemented(const String& category, bool report, const String& description)
{
    raise(4, category, report, description);
}

void Error::insufficientMemory(const String& category, bool report, const String& description)
{
    raise(6, category, report, description);
}

} // namespace core
} // namespace rezezaz
