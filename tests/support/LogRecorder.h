#pragma once

#include "core/Log.h"
#include "support/RecordingLoggerListener.h"

#include <string>
#include <vector>

namespace support {

// Records the entries that reach the process's logger while it lives, and leaves the logger as it
// found it (LogCapture starts the logger afresh instead).
class LogRecorder : public RecordingLoggerListener
{
public:
    LogRecorder() { rezezaz::core::Log::getInstance()->addLoggerListener(this); }
    ~LogRecorder() override { rezezaz::core::Log::getInstance()->removeLoggerListener(this); }

    LogRecorder(const LogRecorder&) = delete;
    LogRecorder& operator=(const LogRecorder&) = delete;

    // True when an entry with exactly this category (empty for none), level and text arrived.
    bool has(const std::string& category, rezezaz::core::Logger::Level level, const std::string& text) const
    {
        for (const Entry& entry : entries.snapshot()) {
            if (entry.categoryName == category && entry.level == level && entry.text == text) {
                return true;
            }
        }
        return false;
    }

    using RecordingLoggerListener::texts;
    // The texts of the entries with exactly this category and level, in the order they arrived.
    std::vector<std::string> texts(const std::string& category, rezezaz::core::Logger::Level level) const
    {
        std::vector<std::string> found;
        for (const Entry& entry : entries.snapshot()) {
            if (entry.categoryName == category && entry.level == level) {
                found.push_back(entry.text);
            }
        }
        return found;
    }
};

} // namespace support
