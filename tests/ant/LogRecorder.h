#pragma once

#include "core/Log.h"
#include "core/LoggerListener.h"

#include <string>
#include <vector>

namespace vant::ant::test {

// Collects the entries that reach the core logger while it lives.
class LogRecorder : public rezezaz::core::LoggerListener
{
public:
    struct Entry
    {
        std::string category; // empty for entries without one
        rezezaz::core::Logger::Level level;
        std::string text;
    };

    LogRecorder() { rezezaz::core::Log::getInstance()->addLoggerListener(this); }
    ~LogRecorder() override { rezezaz::core::Log::getInstance()->removeLoggerListener(this); }

    void addLogEntry(rezezaz::core::Logger::Category* category, rezezaz::core::Logger::Level level,
                     unsigned long long, const rezezaz::core::String& text) override
    {
        entries.push_back({category ? category->getName().c_str() : "", level, text.c_str()});
    }
    void flush() override {}

    // True when an entry with exactly this category, level and text arrived.
    bool has(const std::string& category, rezezaz::core::Logger::Level level, const std::string& text) const
    {
        for (const Entry& entry : entries) {
            if (entry.category == category && entry.level == level && entry.text == text) {
                return true;
            }
        }
        return false;
    }

    std::vector<Entry> entries;
};

} // namespace vant::ant::test
