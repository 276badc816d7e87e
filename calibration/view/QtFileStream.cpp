#include "calibration/view/QtFileStream.h"

#include <limits>

QtFileStream::QtFileStream(const QString& name) : file(name)
{
    file.open(QIODevice::ReadOnly);
}

QtFileStream::~QtFileStream() = default;

void QtFileStream::close()
{
    file.close();
}

bool QtFileStream::closed()
{
    return !file.isOpen();
}

bool QtFileStream::readable()
{
    return file.isReadable();
}

int QtFileStream::read(unsigned char* buffer, int length)
{
    if (buffer == nullptr || length < 0) {
        return -1;
    }
    return static_cast<int>(file.read(reinterpret_cast<char*>(buffer), length));
}

bool QtFileStream::writeable()
{
    return file.isWritable();
}

int QtFileStream::write(const unsigned char* buffer, int length)
{
    if (buffer == nullptr || length < 0) {
        return -1;
    }
    return static_cast<int>(file.write(reinterpret_cast<const char*>(buffer), length));
}

bool QtFileStream::reset()
{
    return file.isOpen() && file.seek(0);
}

int QtFileStream::length()
{
    const qint64 size = file.size();
    // Engine streams count in 32 bits.
    return size > std::numeric_limits<int>::max() ? -1 : static_cast<int>(size);
}

int QtFileStream::position()
{
    return file.isOpen() ? static_cast<int>(file.pos()) : -1;
}

bool QtFileStream::seek(int offset)
{
    return file.isOpen() && offset >= 0 && file.seek(offset);
}

bool QtFileStream::flush()
{
    return file.flush();
}
