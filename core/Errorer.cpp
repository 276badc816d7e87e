#include "core/Errorer.h"

#include "core/Log.h"

#include <cstring>

namespace rezezaz {
namespace core {

Errorer::Errorer() : mError(0), mDescription(), mException(0)
{
    mHandler.setStackTraceListener(this);
}

Errorer::~Errorer()
{
    mHandler.setStackTraceListener(nullptr);
}

void Errorer::record(int error, const char* description)
{
    mError = error;
    size_t length = description ? strnlen(description, MAX_DESCRIPTION) : 0;
    if (length > 0)
        memcpy(mDescription, description, length);
    mDescription[length] = '\0';
}

void Errorer::setError(int error)
{
    std::lock_guard<std::mutex> guard(mMutex);
    record(error, nullptr);
}

void Errorer::setError(int error, const char* description)
{
    std::lock_guard<std::mutex> guard(mMutex);
    record(error, description);
}

void Errorer::setException(const Exception& e)
{
    std::lock_guard<std::mutex> guard(mMutex);
    record(e.getError(), e.getDescription());
    mException = e;
}

int Errorer::getError()
{
    std::lock_guard<std::mutex> guard(mMutex);
    int error = mError;
    mError = 0;
    return error;
}

const char* Errorer::getDescription() const
{
    return mDescription;
}

const Exception& Errorer::getException() const
{
    return mException;
}

bool Errorer::installHandler()
{
    return mHandler.installHandler();
}

bool Errorer::uninstallHandler()
{
    return mHandler.uninstallHandler();
}

void Errorer::startTrace()
{
    Log::getInstance()->addLogEntry(String(), Logger::ERROR, "Backtrace starting");
}

void Errorer::traceFrame(const char* description)
{
    Log::getInstance()->addLogEntry(String(), Logger::ERROR, description);
}

void Errorer::endTrace()
{
    Logger* logger = Log::getInstance();
    logger->addLogEntry(String(), Logger::ERROR, "Backtrace ended");
    logger->flush();
}

} // namespace core
} // namespace rezezaz
