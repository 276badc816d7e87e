#include "core/FileLogger.h"
#include "core/Log.h"
#include "core/Logger.h"
#include "support/ManualClock.h"
#include "support/TemporaryFolder.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <memory>
#include <string>

using rezezaz::core::FileLogger;
using rezezaz::core::Log;
using rezezaz::core::Logger;
using rezezaz::core::String;
using support::fileExists;
using support::ManualClock;
using support::readFile;
using support::TemporaryFolder;
using support::writeFile;

namespace {

// 2014-05-06 13:59:59.123 UTC.
const unsigned long long entryTime = 1399384799123ULL;

// Sets a local time zone ten hours ahead of UTC for its lifetime, so that the local date
// of a file name and the UTC time in its lines differ around local midnight.
class TenHoursAheadOfUtc
{
public:
    TenHoursAheadOfUtc()
    {
        const char* tz = std::getenv("TZ");
        mHadTz = tz != nullptr;
        if (mHadTz) {
            mOldTz = tz;
        }
        setenv("TZ", "XXT-10", 1);
        tzset();
    }

    ~TenHoursAheadOfUtc()
    {
        if (mHadTz) {
            setenv("TZ", mOldTz.c_str(), 1);
        } else {
            unsetenv("TZ");
        }
        tzset();
    }

    TenHoursAheadOfUtc(const TenHoursAheadOfUtc&) = delete;
    TenHoursAheadOfUtc& operator=(const TenHoursAheadOfUtc&) = delete;

private:
    bool mHadTz = false;
    std::string mOldTz;
};

class FileLoggerTest : public ::testing::Test
{
protected:
    std::unique_ptr<FileLogger> makeLogger(bool daily, const std::string& folderPath)
    {
        return std::make_unique<FileLogger>(daily, String(folderPath.c_str()), String("pelotune"), &logger,
                                            [this] { return clock(); });
    }

    static void log(FileLogger& fileLogger, Logger::Category* category, Logger::Level level, const char* text,
                    unsigned long long time = entryTime)
    {
        fileLogger.addLogEntry(category, level, time, String(text));
    }

    // First, so that the clock below is set in the test's time zone.
    TenHoursAheadOfUtc timeZone;
    TemporaryFolder folder;
    Logger logger{true};
    ManualClock clock{ManualClock::local(2014, 5, 6, 23, 59, 59)};
};

TEST_F(FileLoggerTest, WritesOneLineOfUtcTimeTagAndText)
{
    struct Case
    {
        Logger::Level level;
        const char* tag;
    };
    const Case cases[] = {
        {0, "        "}, {1, "ERROR:  "}, {2, "WARNING:"}, {3, "ALERT:  "},
        {4, "DEBUG:  "}, {5, "EXCESS: "}, {6, "        "}, {-1, "        "},
    };
    std::unique_ptr<FileLogger> fileLogger = makeLogger(false, folder.path());
    std::string expected;
    for (const Case& c : cases) {
        const std::string text = "level " + std::to_string(c.level);
        log(*fileLogger, nullptr, c.level, text.c_str());
        expected += std::string("2014-05-06 13:59:59:") + c.tag + text + "\n";
    }
    // The category is not written.
    log(*fileLogger, logger.getCategory(String("vant.ant")), Logger::DEBUG, "from the radio", 0);
    expected += "1970-01-01 00:00:00:DEBUG:  from the radio\n";
    fileLogger->flush();

    EXPECT_EQ(readFile(folder.file("pelotune.log")), expected);
}

TEST_F(FileLoggerTest, ATextCutShortByItsNarrowCopyStillEndsItsLine)
{
    std::unique_ptr<FileLogger> fileLogger = makeLogger(false, folder.path());
    const int32_t wide[] = {'a', 'b', 0x100, 'c', 0};
    fileLogger->addLogEntry(nullptr, Logger::ALERT, 0, String(wide));
    log(*fileLogger, nullptr, Logger::ALERT, "next");
    fileLogger->flush();

    EXPECT_EQ(readFile(folder.file("pelotune.log")),
              "1970-01-01 00:00:00:ALERT:  ab\n2014-05-06 13:59:59:ALERT:  next\n");
}

// A text can't forge a line of its own, nor steer the terminal that shows the file.
TEST_F(FileLoggerTest, ControlCharactersOfATextAreWrittenOut)
{
    struct Case
    {
        const char* text;
        const char* written;
    };
    const Case cases[] = {
        {"Z-Mesh 34T\n2026-01-01 00:00:00:ERROR:  forged", "Z-Mesh 34T\\n2026-01-01 00:00:00:ERROR:  forged"},
        {"a\r\nb", "a\\r\\nb"},
        {"\x1b[31mred\x1b[0m", "\\x1b[31mred\\x1b[0m"},
        {"tab\tbell\a\x7f", "tab\\tbell\\x07\\x7f"},
        {"\x9b"
         "2J",
         "\\x9b2J"},
        {"plain \\n, \xe9t\xe9 and C:\\data", "plain \\n, \xe9t\xe9 and C:\\data"},
        // UTF-8 stays whole (the euro sign's middle byte is 0x82); its C1 controls are written out.
        {"\xc3\xa9t\xc3\xa9 12 \xe2\x82\xac", "\xc3\xa9t\xc3\xa9 12 \xe2\x82\xac"},
        {"\xc2\x9b"
         "2J",
         "\\u009b2J"},
    };
    std::unique_ptr<FileLogger> fileLogger = makeLogger(false, folder.path());
    std::string expected;
    for (const Case& c : cases) {
        log(*fileLogger, nullptr, Logger::ALERT, c.text);
        expected += std::string("2014-05-06 13:59:59:ALERT:  ") + c.written + "\n";
    }
    fileLogger->flush();

    EXPECT_EQ(readFile(folder.file("pelotune.log")), expected);
}

TEST_F(FileLoggerTest, CoreEntriesNeverReachTheFile)
{
    std::unique_ptr<FileLogger> fileLogger = makeLogger(false, folder.path());
    Logger::Category* core = logger.getCategory(String("rezezaz.core"));
    log(*fileLogger, core, Logger::ERROR, "core error");
    log(*fileLogger, core, Logger::EXCESS, "Opening file: x");
    EXPECT_FALSE(fileExists(folder.file("pelotune.log")));

    log(*fileLogger, nullptr, Logger::ERROR, "other");
    fileLogger->flush();
    EXPECT_EQ(readFile(folder.file("pelotune.log")), "2014-05-06 13:59:59:ERROR:  other\n");
}

// The file logger on the process logger hears the file stream announce the file it opens,
// in the core category, from inside its own opening; that line must not reach the file.
TEST_F(FileLoggerTest, TheFileStreamsOwnOpeningLineStaysOut)
{
    Logger* processLogger = Log::getInstance();
    {
        FileLogger fileLogger(false, String(folder.path().c_str()), String("pelotune"), processLogger);
        processLogger->addLogEntry(String(), Logger::ALERT, String("hello"));
        processLogger->flush();
    }
    const std::string content = readFile(folder.file("pelotune.log"));
    EXPECT_EQ(content.find("Opening file"), std::string::npos) << content;
    EXPECT_NE(content.find(":ALERT:  hello\n"), std::string::npos) << content;
}

TEST_F(FileLoggerTest, RegistersWithItsLoggerForItsLifetime)
{
    {
        std::unique_ptr<FileLogger> fileLogger = makeLogger(false, folder.path());
        logger.setMasterReportingLevel(Logger::DEBUG);
        logger.addLogEntry(String(), Logger::EXCESS, String("dropped by the logger"));
        logger.addLogEntry(String(), Logger::WARNING, String("kept"));
        logger.flush();
        const std::string content = readFile(folder.file("pelotune.log"));
        EXPECT_NE(content.find(":        Master Reporting Level is 4\n"), std::string::npos) << content;
        EXPECT_NE(content.find(":WARNING:kept\n"), std::string::npos) << content;
        EXPECT_EQ(content.find("dropped"), std::string::npos) << content;
    }
    // Gone from the logger: logging on must not reach the destroyed listener.
    logger.addLogEntry(String(), Logger::ERROR, String("after"));
    EXPECT_EQ(readFile(folder.file("pelotune.log")).find("after"), std::string::npos);
}

// Two runs of the program, one file logger each: without the daily flag the second run
// empties the file at its first entry; with it, the second run appends to the day's file.
TEST_F(FileLoggerTest, EachRunEmptiesItsFileUnlessDaily)
{
    struct Case
    {
        bool daily;
        const char* fileName;
        const char* expected;
        // The previous run's log kept beside the file; null when none is kept.
        const char* previous;
    };
    const std::string first = "2014-05-06 13:59:59:ALERT:  first run\n";
    const std::string second = "2014-05-06 13:59:59:ALERT:  second run\n";
    const std::string third = "2014-05-06 13:59:59:ALERT:  third run\n";
    const std::string perRun = third + third;
    const std::string perRunPrevious = second + second;
    const std::string daily = "old line\n" + first + first + second + second + third + third;
    const Case cases[] = {
        {false, "pelotune.log", perRun.c_str(), perRunPrevious.c_str()},
        {true, "pelotune_2014-05-06.log", daily.c_str(), nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fileName);
        TemporaryFolder runFolder;
        const std::string path = runFolder.file(c.fileName);
        ASSERT_TRUE(writeFile(path, "old line\n"));

        for (const char* run : {"first run", "second run", "third run"}) {
            const std::string before = readFile(path);
            std::unique_ptr<FileLogger> fileLogger = makeLogger(c.daily, runFolder.path());
            // Nothing is opened before the first entry.
            EXPECT_EQ(readFile(path), before);
            log(*fileLogger, nullptr, Logger::ALERT, run);
            // Opened once a run: later entries keep the run's file and its predecessor.
            log(*fileLogger, nullptr, Logger::ALERT, run);
        }
        EXPECT_EQ(readFile(path), c.expected);
        if (c.previous) {
            EXPECT_EQ(readFile(path + ".1"), c.previous);
        } else {
            EXPECT_FALSE(fileExists(path + ".1"));
        }
    }
}

TEST_F(FileLoggerTest, DailyFileMovesOnAtLocalMidnight)
{
    struct Case
    {
        const char* name;
        std::time_t first;
        std::time_t second;
        const char* firstFile;
        const char* secondFile; // null when both entries share the first file
    };
    const Case cases[] = {
        {"midnight", ManualClock::local(2014, 5, 6, 23, 59, 59), ManualClock::local(2014, 5, 7, 0, 0, 1),
         "pelotune_2014-05-06.log", "pelotune_2014-05-07.log"},
        {"new year", ManualClock::local(2014, 12, 31, 23, 59, 59), ManualClock::local(2015, 1, 1, 0, 0, 1),
         "pelotune_2014-12-31.log", "pelotune_2015-01-01.log"},
        {"same day of the next year", ManualClock::local(2014, 5, 6, 12, 0, 0),
         ManualClock::local(2015, 5, 6, 12, 0, 0), "pelotune_2014-05-06.log", "pelotune_2015-05-06.log"},
        {"same day", ManualClock::local(2014, 5, 6, 0, 0, 1), ManualClock::local(2014, 5, 6, 23, 59, 59),
         "pelotune_2014-05-06.log", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TemporaryFolder runFolder;
        std::unique_ptr<FileLogger> fileLogger = makeLogger(true, runFolder.path());
        clock.set(c.first);
        log(*fileLogger, nullptr, Logger::DEBUG, "before", static_cast<unsigned long long>(c.first) * 1000);
        clock.set(c.second);
        log(*fileLogger, nullptr, Logger::DEBUG, "after", static_cast<unsigned long long>(c.second) * 1000);
        fileLogger->flush();

        const std::string first = readFile(runFolder.file(c.firstFile));
        if (c.secondFile == nullptr) {
            EXPECT_NE(first.find("before"), std::string::npos);
            EXPECT_NE(first.find("after"), std::string::npos);
        } else {
            EXPECT_NE(first.find("before"), std::string::npos);
            EXPECT_EQ(first.find("after"), std::string::npos);
            const std::string second = readFile(runFolder.file(c.secondFile));
            EXPECT_EQ(second.find("before"), std::string::npos);
            EXPECT_NE(second.find("after"), std::string::npos);
        }
    }
}

// Local midnight ten hours ahead of UTC: the new day's file begins with a line stamped in
// the afternoon of the day before.
TEST_F(FileLoggerTest, FileDateIsLocalWhileLineTimeIsUtc)
{
    std::unique_ptr<FileLogger> fileLogger = makeLogger(true, folder.path());
    clock.set(ManualClock::local(2014, 5, 7, 0, 0, 1));
    log(*fileLogger, nullptr, Logger::DEBUG, "just after midnight",
        static_cast<unsigned long long>(clock()) * 1000);
    fileLogger->flush();

    EXPECT_EQ(readFile(folder.file("pelotune_2014-05-07.log")),
              "2014-05-06 14:00:01:DEBUG:  just after midnight\n");
}

TEST_F(FileLoggerTest, WithoutTheDailyFlagOneFileServesEveryDay)
{
    std::unique_ptr<FileLogger> fileLogger = makeLogger(false, folder.path());
    log(*fileLogger, nullptr, Logger::DEBUG, "before");
    clock.advance(2);
    log(*fileLogger, nullptr, Logger::DEBUG, "after");
    fileLogger->flush();

    EXPECT_EQ(readFile(folder.file("pelotune.log")),
              "2014-05-06 13:59:59:DEBUG:  before\n2014-05-06 13:59:59:DEBUG:  after\n");
}

// A crash or a kill loses no line already logged: each entry is on disk when addLogEntry returns.
TEST_F(FileLoggerTest, EachEntryIsOnDiskAtOnce)
{
    for (bool daily : {false, true}) {
        SCOPED_TRACE(daily ? "daily" : "per run");
        TemporaryFolder runFolder;
        std::unique_ptr<FileLogger> fileLogger = makeLogger(daily, runFolder.path());
        const std::string path = runFolder.file(daily ? "pelotune_2014-05-06.log" : "pelotune.log");
        std::string expected;
        for (const char* text : {"one", "two", "three"}) {
            log(*fileLogger, nullptr, Logger::ALERT, text);
            expected += std::string("2014-05-06 13:59:59:ALERT:  ") + text + "\n";
            EXPECT_EQ(readFile(path), expected);
        }
    }
}

// A full disk takes the lines but does not stop the program.
// A full disk loses the lines; the user hears of it once, on standard error.
TEST_F(FileLoggerTest, FullDiskLosesTheLinesWithoutACrash)
{
    const std::string path = folder.file("pelotune_2014-05-06.log");
    ASSERT_EQ(symlink("/dev/full", path.c_str()), 0);
    std::unique_ptr<FileLogger> fileLogger = makeLogger(true, folder.path());
    testing::internal::CaptureStderr();
    for (int i = 0; i < 1000; ++i) {
        log(*fileLogger, nullptr, Logger::ERROR, "nowhere to go");
    }
    fileLogger->flush();
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Cannot write the log file " + path + ": log entries are lost\n");
}

// Entries that arrive while the file can't be opened are dropped, and the user is told once on
// standard error where the log should have gone; each later entry tries again.
TEST_F(FileLoggerTest, UnopenableFolderDropsEntriesUntilItCanBeOpened)
{
    for (bool daily : {false, true}) {
        SCOPED_TRACE(daily ? "daily" : "per run");
        TemporaryFolder runFolder;
        const std::string missing = runFolder.file("later");
        const char* name = daily ? "/pelotune_2014-05-06.log" : "/pelotune.log";
        std::unique_ptr<FileLogger> fileLogger = makeLogger(daily, missing);
        testing::internal::CaptureStderr();
        log(*fileLogger, nullptr, Logger::ERROR, "lost one");
        log(*fileLogger, nullptr, Logger::ERROR, "lost two");
        fileLogger->flush();
        EXPECT_EQ(testing::internal::GetCapturedStderr(),
                  "Cannot write the log file " + missing + name + ": log entries are lost\n");

        ASSERT_EQ(mkdir(missing.c_str(), 0700), 0);
        log(*fileLogger, nullptr, Logger::ERROR, "kept");
        fileLogger->flush();
        EXPECT_EQ(readFile(missing + name), "2014-05-06 13:59:59:ERROR:  kept\n");
    }
}

} // namespace
