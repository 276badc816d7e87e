#pragma once

#include "core/IntrusivePointer.h"
#include "core/Logger.h"
#include "core/LoggerListener.h"
#include "core/String.h"
#include "core/io/FileStream.h"

#include <ctime>
#include <functional>

namespace rezezaz::core {

// A logger listener that writes every entry it receives as one text line into a log file:
// the entry time (UTC), ":", an 8-character level tag and the text. It registers itself with
// its logger on construction and removes itself on destruction; the creator owns it.
//
// The file is folder/name.log, opened for writing (so emptied) at the first entry of each
// run, after the previous run's file was renamed to folder/name.log.1; with the daily flag it is folder/name_YYYY-MM-DD.log for the local date, opened for
// appending, and the first entry after local midnight moves on to the new day's file.
// Entries of the category "rezezaz.core" never reach the file: among them is the line the
// file stream logs while the file is being opened. A file that cannot be opened or written
// is told once on standard error, with its path.
class FileLogger : public LoggerListener
{
public:
    // Seconds since the Unix epoch, used to name the daily file and to tell when the local
    // day changes.
    using Clock = std::function<std::time_t()>;

    FileLogger(bool daily, const String& folder, const String& name, Logger* logger);
    // As above, with the clock to read the date from in place of the system's.
    FileLogger(bool daily, const String& folder, const String& name, Logger* logger, Clock clock);
    ~FileLogger() override;

    FileLogger(const FileLogger&) = delete;
    FileLogger& operator=(const FileLogger&) = delete;

    void addLogEntry(Logger::Category* category, Logger::Level level, unsigned long long time,
                     const String& text) override;
    void flush() override;

    // The 8-character tag written for a level; eight blanks for any level without one.
    static const char* levelTag(Logger::Level level);

private:
    bool open(std::time_t now);
    String fileName(std::time_t openedAt) const;
    // Tells standard error, once, that the log file at `path` cannot be written.
    void notice(const String& path);

    bool mDaily;
    String mFolder;
    String mName;
    Logger* mLogger;
    std::time_t mLastOpened;
    IntrusivePointer<io::FileStream> mStream;
    Clock mClock;
    // The previous run's file was moved aside (without the daily flag, at the first opening).
    bool mKeptPrevious = false;
    // The user was told that the file cannot be written.
    bool mNoticed = false;
};

} // namespace rezezaz::core
