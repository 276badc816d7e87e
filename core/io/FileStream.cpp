#include "core/io/FileStream.h"

#include "core/Categories.h"
#include "core/Log.h"
#include "core/Logger.h"

#include <climits>
#include <cstring>

namespace rezezaz::core::io {

FileStream::FileStream(const String& filename, int mode) : mMode(mode), mFile(nullptr), mOwnsFile(false)
{
    Logger* logger = Log::getInstance();
    if (logger->getMasterCategoryReportingLevel(Categories::REZEZAZ_CORE) >= Logger::EXCESS) {
        logger->addLogEntry(Categories::REZEZAZ_CORE, Logger::EXCESS, String("Opening file: ") + filename);
    }

    // A character whose low 8 bits are 0 ends the name's narrow copy early; opening that
    // shorter name would open (and perhaps empty) some other file, so such a name opens nothing.
    if (std::strlen(filename.c_str()) != static_cast<size_t>(filename.length())) {
        return;
    }
    const String text = modeText(mode);
    mFile = std::fopen(filename.c_str(), text.c_str());
    mOwnsFile = mFile != nullptr;
}

FileStream::~FileStream()
{
    close();
}

void FileStream::destroy()
{
    close();
    Object::destroy();
}

String FileStream::modeText(int mode)
{
    char text[4] = {};
    int n = 0;
    if (mode & Append) {
        text[n++] = 'a';
    } else if (mode & Read) {
        text[n++] = 'r';
    } else if (mode & Write) {
        text[n++] = 'w';
    }
    if (mode & Binary) {
        text[n++] = 'b';
    }
    if (mode & Update) {
        text[n++] = '+';
    }
    return String(text);
}

void FileStream::close()
{
    if (mFile != nullptr && mOwnsFile) {
        std::fclose(mFile);
    }
    mFile = nullptr;
    mOwnsFile = false;
}

bool FileStream::closed()
{
    return mFile == nullptr;
}

bool FileStream::readable()
{
    return mFile != nullptr && (mMode & Read) != 0;
}

int FileStream::read(unsigned char* buffer, int length)
{
    if (mFile == nullptr || length < 0 || (buffer == nullptr && length > 0)) {
        return -1;
    }
    return static_cast<int>(std::fread(buffer, 1, static_cast<size_t>(length), mFile));
}

bool FileStream::writeable()
{
    return mFile != nullptr && (mMode & Write) != 0;
}

int FileStream::write(const unsigned char* buffer, int length)
{
    if (mFile == nullptr || length <= 0 || buffer == nullptr) {
        return 0;
    }
    return static_cast<int>(std::fwrite(buffer, 1, static_cast<size_t>(length), mFile));
}

bool FileStream::reset()
{
    return seek(0);
}

int FileStream::length()
{
    if (mFile == nullptr) {
        return -1;
    }
    const long here = std::ftell(mFile);
    if (here < 0 || std::fseek(mFile, 0, SEEK_END) != 0) {
        return -1;
    }
    const long end = std::ftell(mFile);
    std::fseek(mFile, here, SEEK_SET);
    // A file beyond the 32-bit range has no length a stream can report.
    return end < 0 || end > INT_MAX ? -1 : static_cast<int>(end);
}

int FileStream::position()
{
    if (mFile == nullptr) {
        return -1;
    }
    const long here = std::ftell(mFile);
    return here < 0 || here > INT_MAX ? -1 : static_cast<int>(here);
}

bool FileStream::seek(int offset)
{
    if (mFile == nullptr || offset < 0) {
        return false;
    }
    return std::fseek(mFile, offset, SEEK_SET) == 0;
}

bool FileStream::flush()
{
    if (mFile == nullptr) {
        return false;
    }
    return std::fflush(mFile) == 0;
}

} // namespace rezezaz::core::io
