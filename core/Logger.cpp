#include "core/Logger.h"

#include "core/LoggerListener.h"
#include "core/PosixSystem.h"
#include "core/Version.h"

namespace rezezaz {
namespace core {

namespace {

class Hold
{
public:
    explicit Hold(PosixMutex& mutex) : mMutex(mutex) { mMutex.lock(); }
    ~Hold() { mMutex.unlock(); }
    Hold(const Hold&) = delete;
    Hold& operator=(const Hold&) = delete;

private:
    PosixMutex& mMutex;
};

} // namespace

Logger::Logger(bool quiet) : mStoreLogEntry(false), mMasterReportingLevel(ALL)
{
    if (!quiet)
        addCompleteLogEntry(nullptr, LOGGER, String("creating rezezaz.core.Logger:") + Version::STRING);
}

Logger::~Logger()
{
    for (int i = 0; i < mCategories.size(); ++i)
        delete mCategories.pairAt(i).value;
    mCategories.clear();
    for (int i = 0; i < mLogEntries.size(); ++i)
        delete mLogEntries[i];
    mLogEntries.clear();
}

void Logger::setMasterReportingLevel(Level level)
{
    mMasterReportingLevel.store(level);
    Hold hold(mMutex);
    addCompleteLogEntry(nullptr, LOGGER, String("Master Reporting Level is ") + static_cast<int>(level));
}

void Logger::setCategoryReportingLevel(const String& name, Level level)
{
    Category* category = getCategory(name);
    if (category == nullptr)
        return;
    Hold hold(mMutex);
    category->setReportingLevel(level);
}

Logger::Level Logger::getCategoryReportingLevel(const String& name)
{
    Category* category = getCategory(name);
    return category ? category->getReportingLevel() : ALL;
}

Logger::Level Logger::getMasterCategoryReportingLevel(const String& name)
{
    Level master = mMasterReportingLevel.load();
    Level category = getCategoryReportingLevel(name);
    return category < master ? category : master;
}

Logger::Category* Logger::getCategory(const String& name)
{
    if (name.length() == 0)
        return nullptr;
    Hold hold(mMutex);
    Category*& category = mCategories[name];
    if (category == nullptr)
        category = new Category(name);
    return category;
}

Logger::Category* Logger::addCategory(const String& name)
{
    return getCategory(name);
}

void Logger::addLoggerListener(LoggerListener* listener)
{
    Hold hold(mMutex);
    mListeners.add(listener);
}

void Logger::removeLoggerListener(LoggerListener* listener)
{
    Hold hold(mMutex);
    mListeners.remove(listener);
}

void Logger::setStoreLogEntry(bool store)
{
    Hold hold(mMutex);
    mStoreLogEntry = store;
}

void Logger::addLogEntry(const String& categoryName, Level level, const String& text)
{
    Category* category = getCategory(categoryName);
    Hold hold(mMutex);
    bool categoryAdmits = category == nullptr || category->getReportingLevel() >= level;
    if (categoryAdmits && mMasterReportingLevel.load() >= level)
        addCompleteLogEntry(category, level, text);
}

void Logger::addCompleteLogEntry(Category* category, Level level, const String& text)
{
    Hold hold(mMutex);
    unsigned long long time = PosixSystem::mtime();
    // A listener may add or remove listeners from inside its call; never step past the end.
    for (int i = mListeners.size() - 1; i >= 0; --i) {
        if (i < mListeners.size())
            mListeners[i]->addLogEntry(category, level, time, text);
    }
    if (mStoreLogEntry)
        mLogEntries.add(new LogEntry{category, level, time, text});
}

void Logger::flush()
{
    Hold hold(mMutex);
    for (int i = mListeners.size() - 1; i >= 0; --i) {
        if (i < mListeners.size())
            mListeners[i]->flush();
    }
}

int Logger::getNumLogEntries()
{
    Hold hold(mMutex);
    return mLogEntries.size();
}

const Logger::LogEntry* Logger::getLogEntry(int index)
{
    Hold hold(mMutex);
    if (index < 0 || index >= mLogEntries.size())
        return nullptr;
    return mLogEntries[index];
}

void Logger::lock()
{
    mMutex.lock();
}

void Logger::unlock()
{
    mMutex.unlock();
}

} // namespace core
} // namespace rezezaz
