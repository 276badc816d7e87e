#include "core/FileLogger.h"

#include "core/Categories.h"
#include "core/PosixSystem.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace rezezaz::core {

namespace {

// The length of the UTF-8 sequence that starts at `c`, or 0 when none does.
int utf8Length(const unsigned char* c)
{
    const int length = c[0] >= 0xC2 && c[0] <= 0xDF   ? 2
                       : c[0] >= 0xE0 && c[0] <= 0xEF ? 3
                       : c[0] >= 0xF0 && c[0] <= 0xF4 ? 4
                                                      : 0;
    for (int i = 1; i < length; ++i) {
        if (c[i] < 0x80 || c[i] > 0xBF) {
            return 0;
        }
    }
    return length;
}

// Appends `text` with its control characters written out ("\\n", "\\r", "\\t", else "\\x" and two hex
// digits; the C1 controls as "\\u0080" to "\\u009f" where they come in UTF-8), so that one entry is always
// one line and a text can't forge lines or steer a terminal. Other UTF-8 characters stay as they are.
void appendEscaped(std::string& line, const char* text)
{
    static const char kHex[] = "0123456789abcdef";
    for (const auto* c = reinterpret_cast<const unsigned char*>(text); *c != '\0';) {
        const unsigned char byte = *c;
        const int length = byte >= 0x80 ? utf8Length(c) : 0;
        if (length == 2 && byte == 0xC2 && c[1] <= 0x9F) {
            line += "\\u00";
            line += kHex[c[1] >> 4];
            line += kHex[c[1] & 0x0F];
        } else if (length > 0) {
            line.append(reinterpret_cast<const char*>(c), static_cast<size_t>(length));
        } else if (byte == '\n') {
            line += "\\n";
        } else if (byte == '\r') {
            line += "\\r";
        } else if (byte == '\t') {
            line += "\\t";
        } else if (byte < 0x20 || (byte >= 0x7F && byte <= 0x9F)) {
            line += "\\x";
            line += kHex[byte >> 4];
            line += kHex[byte & 0x0F];
        } else {
            line += static_cast<char>(byte);
        }
        c += length > 0 ? length : 1;
    }
}

std::tm localDate(std::time_t t)
{
    std::tm date{};
    localtime_r(&t, &date);
    return date;
}

} // namespace

FileLogger::FileLogger(bool daily, const String& folder, const String& name, Logger* logger)
    : FileLogger(daily, folder, name, logger, [] { return std::time(nullptr); })
{}

FileLogger::FileLogger(bool daily, const String& folder, const String& name, Logger* logger, Clock clock)
    : mDaily(daily), mFolder(folder), mName(name), mLogger(logger), mLastOpened(0), mClock(std::move(clock))
{
    if (mLogger != nullptr) {
        mLogger->addLoggerListener(this);
    }
}

FileLogger::~FileLogger()
{
    if (mLogger != nullptr) {
        mLogger->removeLoggerListener(this);
    }
    mStream = nullptr;
}

const char* FileLogger::levelTag(Logger::Level level)
{
    switch (level) {
    case Logger::ERROR:
        return "ERROR:  ";
    case Logger::WARNING:
        return "WARNING:";
    case Logger::ALERT:
        return "ALERT:  ";
    case Logger::DEBUG:
        return "DEBUG:  ";
    case Logger::EXCESS:
        return "EXCESS: ";
    default:
        return "        ";
    }
}

String FileLogger::fileName(std::time_t openedAt) const
{
    String path = mFolder + "/" + mName;
    if (mDaily) {
        const std::tm date = localDate(openedAt);
        char suffix[32] = {};
        std::strftime(suffix, sizeof suffix, "_%Y-%m-%d", &date);
        path += suffix;
    }
    path += ".log";
    return path;
}

void FileLogger::notice(const String& path)
{
    // Said once, and not through the logger, which would bring it back here.
    if (mNoticed) {
        return;
    }
    mNoticed = true;
    std::fprintf(stderr, "Cannot write the log file %s: log entries are lost\n", path.c_str());
}

bool FileLogger::open(std::time_t now)
{
    mLastOpened = now;
    const String path = fileName(now);
    if (!mDaily && !mKeptPrevious) {
        // The file is emptied at every start: the previous run's log (the one that tells of a
        // crash) is kept beside it, one generation deep. Nothing to keep is no error.
        mKeptPrevious = true;
        const String previous = path + ".1";
        std::rename(path.c_str(), previous.c_str());
    }
    // The old file stays open until the new stream exists; the new stream's own log line
    // comes back to addLogEntry in the core category and is turned away there.
    IntrusivePointer<io::FileStream> stream(new io::FileStream(
        path, mDaily ? io::FileStream::Append | io::FileStream::Write : io::FileStream::Write));
    mStream = nullptr;
    if (!stream->writeable()) {
        // The entry is lost; the next one tries again.
        notice(path);
        return false;
    }
    mStream = stream;
    return true;
}

void FileLogger::addLogEntry(Logger::Category* category, Logger::Level level, unsigned long long time,
                             const String& text)
{
    if (category != nullptr && mLogger != nullptr &&
        category == mLogger->getCategory(Categories::REZEZAZ_CORE)) {
        return;
    }

    const std::time_t now = mClock();
    bool reopen = mStream == nullptr;
    if (!reopen && mDaily) {
        const std::tm today = localDate(now);
        const std::tm opened = localDate(mLastOpened);
        reopen = today.tm_year != opened.tm_year || today.tm_yday != opened.tm_yday;
    }
    if (reopen && !open(now)) {
        return;
    }

    // Each piece is written up to the end of its narrow copy, so a character that cuts a
    // text short still leaves the line its newline.
    std::string line = PosixSystem::mtimeToString(time).c_str();
    line += ':';
    line += levelTag(level);
    appendEscaped(line, text.c_str());
    line += '\n';
    const int written =
        mStream->write(reinterpret_cast<const unsigned char*>(line.data()), static_cast<int>(line.size()));
    // The last lines before a crash or a kill are the ones that explain it: none waits in a buffer.
    // On a full disk the flush fails and the line is lost, like the write.
    if (!mStream->flush() || written != static_cast<int>(line.size())) {
        notice(fileName(mLastOpened));
    }
}

void FileLogger::flush()
{
    if (mStream != nullptr) {
        mStream->flush();
    }
}

} // namespace rezezaz::core
