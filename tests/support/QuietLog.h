#pragma once

#include "core/Log.h"

namespace support {

// Silences the process's logger for as long as it lives and puts the reporting level back after, so
// that a later test in the same process still hears what it listens for.
class QuietLog
{
public:
    QuietLog() : previous(rezezaz::core::Log::getInstance()->getMasterReportingLevel())
    {
        rezezaz::core::Log::getInstance()->setMasterReportingLevel(0);
    }

    ~QuietLog() { rezezaz::core::Log::getInstance()->setMasterReportingLevel(previous); }

    QuietLog(const QuietLog&) = delete;
    QuietLog& operator=(const QuietLog&) = delete;

private:
    rezezaz::core::Logger::Level previous;
};

} // namespace support
