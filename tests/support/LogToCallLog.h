#pragma once

#include "core/Log.h"
#include "core/LoggerListener.h"
#include "support/CallLog.h"

#include <string>
#include <utility>

namespace support {

// While it lives, copies the text of every log entry at one level into a call log as "log.<text>",
// so that log lines and recorded calls show in one order.
class LogToCallLog : public rezezaz::core::LoggerListener
{
public:
    LogToCallLog(SharedCallLog log, rezezaz::core::Logger::Level level) : log_(std::move(log)), level_(level)
    {
        rezezaz::core::Log::getInstance()->addLoggerListener(this);
    }
    ~LogToCallLog() override { rezezaz::core::Log::getInstance()->removeLoggerListener(this); }

    LogToCallLog(const LogToCallLog&) = delete;
    LogToCallLog& operator=(const LogToCallLog&) = delete;

    void addLogEntry(rezezaz::core::Logger::Category*, rezezaz::core::Logger::Level level, unsigned long long,
                     const rezezaz::core::String& text) override
    {
        if (level == level_) {
            log_->add(std::string("log.") + text.c_str());
        }
    }
    void flush() override {}

private:
    SharedCallLog log_;
    rezezaz::core::Logger::Level level_;
};

} // namespace support
