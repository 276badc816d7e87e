#pragma once

#include "core/Log.h"
#include "support/RecordingLoggerListener.h"

namespace support {

// Starts the process's logger afresh and records what reaches it; on destruction the logger is
// destroyed again, so the next test starts from a clean logger too.
class LogCapture
{
public:
    LogCapture()
    {
        rezezaz::core::Log::destroy();
        rezezaz::core::Log::getInstance()->addLoggerListener(&listener);
    }

    ~LogCapture()
    {
        rezezaz::core::Log::getInstance()->removeLoggerListener(&listener);
        rezezaz::core::Log::destroy();
    }

    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    RecordingLoggerListener listener;
};

} // namespace support
