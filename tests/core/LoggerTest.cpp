#include "core/Logger.h"

#include "core/LoggerListener.h"
#include "support/RecordingLoggerListener.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

using rezezaz::core::Logger;
using rezezaz::core::LoggerListener;
using rezezaz::core::String;
using support::RecordingLoggerListener;

namespace {

// A listener that writes its name into a shared sequence for every entry and every flush.
class SequenceListener : public LoggerListener
{
public:
    SequenceListener(const char* name, std::vector<std::string>& sequence,
                     std::vector<unsigned long long>& times)
        : mName(name), mSequence(sequence), mTimes(times)
    {}
    void addLogEntry(Logger::Category*, Logger::Level, unsigned long long time, const String&) override
    {
        mSequence.push_back(mName);
        mTimes.push_back(time);
    }
    void flush() override { mSequence.push_back(mName + ".flush"); }

private:
    std::string mName;
    std::vector<std::string>& mSequence;
    std::vector<unsigned long long>& mTimes;
};

class LoggerTest : public ::testing::Test
{
protected:
    LoggerTest() : logger(true) { logger.addLoggerListener(&listener); }

    Logger logger;
    RecordingLoggerListener listener;
};

} // namespace

TEST_F(LoggerTest, EntryPassesOnlyWhenMasterAndCategoryLevelsBothAdmitIt)
{
    struct Case
    {
        Logger::Level master;
        const char* category; // "" for no category
        Logger::Level categoryLevel;
        Logger::Level level;
        bool passes;
    };
    const Case cases[] = {
        {6, "rezezaz.core", 6, 5, true},
        {4, "rezezaz.core", 6, 5, false}, // master drops excess even when the category admits it
        {4, "rezezaz.core", 6, 4, true},
        {6, "rezezaz.core", 2, 3, false}, // the category drops alerts even under an open master
        {6, "rezezaz.core", 2, 2, true},
        {2, "vant.ant", 4, 3, false},
        {0, "vant.ant", 6, 1, false},
        {6, "vant.ant", 0, 1, false},
        {1, "vant.ant", 1, 1, true},
        {6, "", 0, 5, true}, // no category: only the master decides
        {3, "", 6, 4, false},
        {3, "", 6, 3, true},
        {6, "rezezaz.render", 6, 0, true},
        {-1, "", 6, 0, false},
    };
    for (const Case& c : cases) {
        logger.setMasterReportingLevel(c.master);
        logger.setCategoryReportingLevel(c.category, c.categoryLevel);
        listener.entries.clear();

        logger.addLogEntry(c.category, c.level, "entry");

        SCOPED_TRACE(testing::Message() << "master " << c.master << ", category '" << c.category << "' at "
                                        << c.categoryLevel << ", level " << c.level);
        ASSERT_EQ(listener.entries.size(), c.passes ? 1u : 0u);
        if (c.passes) {
            EXPECT_EQ(listener.entries[0].categoryName, c.category);
            EXPECT_EQ(listener.entries[0].level, c.level);
            EXPECT_EQ(listener.entries[0].text, "entry");
        }
    }
}

TEST_F(LoggerTest, CategoriesAreMadeOnFirstUseAndEmptyNamesMeanNone)
{
    EXPECT_EQ(logger.getCategory(""), nullptr);
    EXPECT_EQ(logger.getCategoryReportingLevel(""), 6);
    logger.setCategoryReportingLevel("", 1);
    EXPECT_EQ(logger.getCategoryReportingLevel(""), 6);

    EXPECT_EQ(logger.getCategoryReportingLevel("rezezaz.scene"), 6);
    Logger::Category* scene = logger.getCategory("rezezaz.scene");
    ASSERT_NE(scene, nullptr);
    EXPECT_STREQ(scene->getName().c_str(), "rezezaz.scene");
    EXPECT_EQ(logger.addCategory("rezezaz.scene"), scene);

    // Names that sort before and after it do not disturb the look-up.
    for (const char* name : {"vant.ant", "a", "rezezaz", "rezezaz.scene.bsp", "zz"})
        logger.setCategoryReportingLevel(name, 3);
    EXPECT_EQ(logger.getCategory("rezezaz.scene"), scene);
    EXPECT_EQ(logger.getCategoryReportingLevel("rezezaz.scene"), 6);
    EXPECT_EQ(logger.getCategoryReportingLevel("rezezaz.scene.bsp"), 3);

    logger.setMasterReportingLevel(4);
    EXPECT_EQ(logger.getMasterCategoryReportingLevel("rezezaz.scene"), 4);
    EXPECT_EQ(logger.getMasterCategoryReportingLevel("vant.ant"), 3);
    EXPECT_EQ(logger.getMasterCategoryReportingLevel(""), 4);

    logger.addLogEntry("", 1, "no category");
    ASSERT_FALSE(listener.entries.empty());
    EXPECT_EQ(listener.entries.back().category, nullptr);
}

TEST_F(LoggerTest, MasterLevelChangeReachesEveryListenerWhateverTheLevels)
{
    RecordingLoggerListener second;
    logger.addLoggerListener(&second);
    for (Logger::Level level : {4, 0, -3}) {
        listener.entries.clear();
        second.entries.clear();
        logger.setMasterReportingLevel(level);
        EXPECT_EQ(logger.getMasterReportingLevel(), level);
        for (RecordingLoggerListener* l : {&listener, &second}) {
            ASSERT_EQ(l->entries.size(), 1u);
            EXPECT_EQ(l->entries[0].text, "Master Reporting Level is " + std::to_string(level));
            EXPECT_EQ(l->entries[0].level, 0);
            EXPECT_EQ(l->entries[0].category, nullptr);
        }
    }
}

TEST(LoggerDeliveryTest, ListenersHearTheNewestFirstWithOneTimeStamp)
{
    Logger logger(true);
    std::vector<std::string> sequence;
    std::vector<unsigned long long> times;
    SequenceListener a("A", sequence, times), b("B", sequence, times), c("C", sequence, times);
    logger.addLoggerListener(&a);
    logger.addLoggerListener(&b);
    logger.addLoggerListener(&c);

    logger.addLogEntry("vant.ant", 3, "entry");
    logger.flush();

    EXPECT_EQ(sequence, (std::vector<std::string>{"C", "B", "A", "C.flush", "B.flush", "A.flush"}));
    ASSERT_EQ(times.size(), 3u);
    EXPECT_EQ(times[0], times[1]);
    EXPECT_EQ(times[1], times[2]);
}

TEST(LoggerDeliveryTest, DuplicateRegistrationsHearTwiceAndRemovalTakesOneAtATime)
{
    Logger logger(true);
    std::vector<std::string> sequence;
    std::vector<unsigned long long> times;
    SequenceListener a("A", sequence, times), b("B", sequence, times);
    logger.addLoggerListener(&a);
    logger.addLoggerListener(&b);
    logger.addLoggerListener(&a);

    logger.addLogEntry("", 1, "x");
    EXPECT_EQ(sequence, (std::vector<std::string>{"A", "B", "A"}));

    sequence.clear();
    logger.removeLoggerListener(&a); // the first registration goes, B keeps its place
    logger.addLogEntry("", 1, "x");
    EXPECT_EQ(sequence, (std::vector<std::string>{"A", "B"}));

    sequence.clear();
    SequenceListener stranger("S", sequence, times);
    logger.removeLoggerListener(&stranger);
    logger.removeLoggerListener(&a);
    logger.removeLoggerListener(&a);
    logger.addLogEntry("", 1, "x");
    EXPECT_EQ(sequence, (std::vector<std::string>{"B"}));
}

TEST_F(LoggerTest, StoredEntriesKeepWhatTheListenersWereGiven)
{
    logger.addLogEntry("", 2, "before storing");
    logger.setStoreLogEntry(true);
    logger.addLogEntry("vant.ant", 2, "first");
    logger.addLogEntry("vant.ant", 5, "dropped by nobody");
    logger.setMasterReportingLevel(4);
    logger.addLogEntry("vant.ant", 5, "dropped");
    logger.setStoreLogEntry(false);
    logger.addLogEntry("", 2, "after storing");

    ASSERT_EQ(logger.getNumLogEntries(), 3);
    const Logger::LogEntry* first = logger.getLogEntry(0);
    ASSERT_NE(first, nullptr);
    EXPECT_STREQ(first->text.c_str(), "first");
    EXPECT_EQ(first->category, logger.getCategory("vant.ant"));
    EXPECT_EQ(first->level, 2);
    EXPECT_EQ(first->time, listener.entries[1].time);
    EXPECT_STREQ(logger.getLogEntry(1)->text.c_str(), "dropped by nobody");
    EXPECT_STREQ(logger.getLogEntry(2)->text.c_str(), "Master Reporting Level is 4");

    EXPECT_EQ(logger.getLogEntry(3), nullptr);
    EXPECT_EQ(logger.getLogEntry(-1), nullptr);
}

TEST_F(LoggerTest, AListenerMayLogFromInsideItsOwnCall)
{
    // Logs once more about every entry it hears, on the same thread, under the logger's lock.
    class Echo : public LoggerListener
    {
    public:
        explicit Echo(Logger& logger) : mLogger(logger) {}
        void addLogEntry(Logger::Category*, Logger::Level level, unsigned long long,
                         const String& text) override
        {
            if (level != 5)
                mLogger.addLogEntry("rezezaz.core", 5, String("echo ") + text);
        }
        void flush() override {}

    private:
        Logger& mLogger;
    } echo(logger);
    logger.addLoggerListener(&echo);

    logger.addLogEntry("", 3, "x");
    EXPECT_EQ(listener.texts(), (std::vector<std::string>{"echo x", "x"}));
}

TEST(LoggerConcurrencyTest, TwoThreadsLogWhileAThirdChangesLevels)
{
    // Fails the test if two calls ever overlap, and checks that every text arrives whole.
    class Checker : public LoggerListener
    {
    public:
        void addLogEntry(Logger::Category*, Logger::Level, unsigned long long, const String& text) override
        {
            if (mInside.exchange(true))
                overlaps++;
            std::string t = text.c_str();
            if (t.rfind("reader ", 0) == 0)
                ++readerEntries;
            else if (t.rfind("gui ", 0) == 0)
                ++guiEntries;
            mInside.store(false);
        }
        void flush() override {}

        int overlaps = 0;
        int readerEntries = 0;
        int guiEntries = 0;

    private:
        std::atomic<bool> mInside{false};
    } checker;

    Logger logger(true);
    logger.addLoggerListener(&checker);
    const int perThread = 400;
    std::atomic<bool> go{false};

    auto writer = [&](const char* who, const char* category) {
        while (!go.load()) {
        }
        for (int i = 0; i < perThread; ++i) {
            if (logger.getMasterCategoryReportingLevel(category) >= 3)
                logger.addLogEntry(category, 3, String(who) + i);
        }
    };
    std::thread reader(writer, "reader ", "vant.ant");
    std::thread gui(writer, "gui ", "");
    std::thread levels([&] {
        while (!go.load()) {
        }
        // Every level set here still admits alerts, so no entry may go missing.
        for (int i = 0; i < perThread; ++i) {
            logger.setMasterReportingLevel(i % 2 ? 4 : 6);
            logger.setCategoryReportingLevel("vant.ant", i % 2 ? 3 : 5);
        }
    });
    go.store(true);
    reader.join();
    gui.join();
    levels.join();

    EXPECT_EQ(checker.overlaps, 0);
    EXPECT_EQ(checker.readerEntries, perThread);
    EXPECT_EQ(checker.guiEntries, perThread);
}

// The shared recorder is read by tests while a reader thread logs into it.
TEST(LoggerConcurrencyTest, RecorderMayBeReadWhileAnotherThreadLogs)
{
    Logger logger(true);
    RecordingLoggerListener recorder;
    logger.addLoggerListener(&recorder);
    const int count = 2000;
    std::atomic<bool> done{false};
    std::thread reader([&] {
        for (int i = 0; i < count; ++i)
            logger.addLogEntry("vant.ant", 3, String("reader ") + i);
        done.store(true);
    });
    std::size_t seen = 0;
    while (!done.load()) {
        const std::vector<std::string> texts = recorder.texts();
        EXPECT_GE(texts.size(), seen);
        seen = texts.size();
        std::size_t index = 0;
        for (const RecordingLoggerListener::Entry& entry : recorder.entries) {
            EXPECT_EQ(entry.text, "reader " + std::to_string(index++));
        }
        if (!recorder.entries.empty()) {
            EXPECT_EQ(recorder.entries.back().categoryName, "vant.ant");
        }
    }
    reader.join();
    logger.removeLoggerListener(&recorder);
    EXPECT_EQ(recorder.entries.size(), static_cast<std::size_t>(count));
}
