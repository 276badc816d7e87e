#pragma once

#include "core/LoggerListener.h"
#include "core/String.h"

#include <string>
#include <vector>

namespace support {

// A logger listener that keeps every entry it is given, and counts flushes.
class RecordingLoggerListener : public rezezaz::core::LoggerListener
{
public:
    struct Entry
    {
        rezezaz::core::Logger::Category* category;
        std::string categoryName; // empty without a category
        rezezaz::core::Logger::Level level;
        unsigned long long time;
        std::string text;
    };

    void addLogEntry(rezezaz::core::Logger::Category* category, rezezaz::core::Logger::Level level,
                     unsigned long long time, const rezezaz::core::String& text) override
    {
        entries.push_back(
            Entry{category, category ? category->getName().c_str() : "", level, time, text.c_str()});
    }

    void flush() override { ++flushes; }

    // The texts of the entries, in the order received.
    std::vector<std::string> texts() const
    {
        std::vector<std::string> result;
        for (const Entry& entry : entries)
            result.push_back(entry.text);
        return result;
    }

    std::vector<Entry> entries;
    int flushes = 0;
};

} // namespace support
