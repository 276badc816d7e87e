#pragma once

#include "core/LoggerListener.h"
#include "core/String.h"

#include <string>
#include <vector>

namespace rezezaz {
namespace core {
namespace test {

// A logger listener that keeps every entry it is given, and counts flushes.
class RecordingLoggerListener : public LoggerListener
{
public:
    struct Entry
    {
        Logger::Category* category;
        std::string categoryName; // empty without a category
        Logger::Level level;
        unsigned long long time;
        std::string text;
    };

    void addLogEntry(Logger::Category* category, Logger::Level level, unsigned long long time,
                     const String& text) override
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

} // namespace test
} // namespace core
} // namespace rezezaz
