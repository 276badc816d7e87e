#pragma once

#include "core/Log.h"
#include "support/RecordingLoggerListener.h"

namespace rezezaz {
namespace core {
namespace test {

// Starts the process's logger afresh and records what reaches it; on destruction the logger is
// destroyed again, so the next test starts from a clean logger too.
class LogCapture
{
public:
    LogCapture()
    {
        Log::destroy();
        Log::getInstance()->addLoggerListener(&listener);
    }

    ~LogCapture()
    {
        Log::getInstance()->removeLoggerListener(&listener);
        Log::destroy();
    }

    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    RecordingLoggerListener listener;
};

} // namespace test
} // namespace core
} // namespace rezezaz
