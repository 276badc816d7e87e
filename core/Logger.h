#pragma once

#include "core/Collection.h"
#include "core/Map.h"
#include "core/PosixMutex.h"
#include "core/String.h"

#include <atomic>
#include <cstdint>

namespace rezezaz {
namespace core {

class LoggerListener;

// The process-wide logger (reached through Log): filters each entry by the master reporting
// level and its category's level, stamps it with the time and hands it to every listener.
// Listeners are not owned. One recursive mutex serialises every operation, and listeners are
// called with it held, so a listener may log again from its own addLogEntry.
class Logger
{
public:
    // Lower is more severe. A reporting level admits every entry whose level is not above it.
    typedef int32_t Level;
    static constexpr Level LOGGER = 0; // the logger's own lines
    static constexpr Level ERROR = 1;
    static constexpr Level WARNING = 2;
    static constexpr Level ALERT = 3;
    static constexpr Level DEBUG = 4;
    static constexpr Level EXCESS = 5;
    // The starting level of the master and of every category: admits everything.
    static constexpr Level ALL = 6;

    // A named category, owned by the logger; its level may change while other threads log.
    class Category
    {
    public:
        explicit Category(const String& name) : mName(name), mReportingLevel(ALL) {}
        const String& getName() const { return mName; }
        Level getReportingLevel() const { return mReportingLevel.load(); }
        void setReportingLevel(Level level) { mReportingLevel.store(level); }

    private:
        const String mName;
        std::atomic<Level> mReportingLevel;
    };

    // An entry kept while storing is switched on.
    struct LogEntry
    {
        Category* category; // null for entries without a category
        Level level;
        unsigned long long time; // milliseconds since the Unix epoch
        String text;
    };

    // With quiet false the logger announces itself (to nobody, as no listener is attached yet).
    explicit Logger(bool quiet);
    virtual ~Logger();

    Logger(const Logger&) = delete;
    Logger& operator=(const Logger&) = delete;

    // Stores the level, then tells every listener "Master Reporting Level is N", whatever the levels.
    void setMasterReportingLevel(Level level);
    Level getMasterReportingLevel() const { return mMasterReportingLevel.load(); }
    // Nothing happens for an empty name.
    void setCategoryReportingLevel(const String& name, Level level);
    // ALL for an empty name; creates the category on first use.
    Level getCategoryReportingLevel(const String& name);
    // The smaller of the master level and the category's level.
    Level getMasterCategoryReportingLevel(const String& name);
    // Null for an empty name; otherwise the category, created with level ALL when new.
    Category* getCategory(const String& name);
    Category* addCategory(const String& name);

    // No test for duplicates: a listener added twice hears every entry twice.
    void addLoggerListener(LoggerListener* listener);
    // Removes the first registration; the others keep their order.
    void removeLoggerListener(LoggerListener* listener);

    void setStoreLogEntry(bool store);
    // Filters by the master level and the category's level, then delivers.
    void addLogEntry(const String& categoryName, Level level, const String& text);
    // Delivers without filtering: one time stamp, listeners from the most recently added.
    void addCompleteLogEntry(Category* category, Level level, const String& text);
    // Flushes every listener, the most recently added first.
    void flush();

    int getNumLogEntries();
    // Null when the index is not that of a stored entry.
    const LogEntry* getLogEntry(int index);

    // For a caller that wants several operations to stay together.
    void lock();
    void unlock();

private:
    Collection<LoggerListener*> mListeners;
    bool mStoreLogEntry;
    std::atomic<Level> mMasterReportingLevel;
    Collection<LogEntry*> mLogEntries;
    Map<String, Category*> mCategories;
    PosixMutex mMutex;
};

} // namespace core
} // namespace rezezaz
