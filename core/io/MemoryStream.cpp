#include "core/io/MemoryStream.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <vector>

namespace rezezaz::core::io {

namespace {

const int copyChunk = 1024;
// A growable stream stops short of INT_MAX so that its collection's storage size
// (one slot more than its capacity) stays within an int.
const int growableLimit = INT_MAX - 1;

} // namespace

MemoryStream::MemoryStream(unsigned char* data, int dataLength, int length, bool ownsData)
    : mData(data), mDataLength(dataLength), mBuffer(nullptr), mLength(length), mInitialLength(length),
      mPosition(0), mOwnsData(ownsData)
{
    // Nothing may be read or written beyond the buffer the caller gave, whatever the
    // lengths say: a length larger than the buffer is cut to it.
    if (mData == nullptr || mDataLength < 0) {
        mDataLength = 0;
    }
    mLength = std::clamp(mLength, 0, mDataLength);
    mInitialLength = mLength;
}

MemoryStream::MemoryStream(Stream* source)
    : mData(nullptr), mDataLength(0), mBuffer(nullptr), mLength(0), mInitialLength(0), mPosition(0),
      mOwnsData(true)
{
    std::vector<unsigned char> bytes;
    if (source != nullptr) {
        unsigned char chunk[copyChunk];
        for (;;) {
            const int room = static_cast<int>(std::min<size_t>(copyChunk, INT_MAX - bytes.size()));
            if (room <= 0) {
                break;
            }
            const int n = source->read(chunk, room);
            if (n <= 0) {
                break;
            }
            // A source that claims more than it was asked for gets no more than the chunk.
            bytes.insert(bytes.end(), chunk, chunk + std::min(n, room));
        }
    }
    const int total = static_cast<int>(bytes.size());
    if (total > 0) {
        mData = new unsigned char[total];
        std::memcpy(mData, bytes.data(), bytes.size());
    }
    mDataLength = total;
    mLength = total;
    mInitialLength = total;
}

MemoryStream::MemoryStream()
    : mData(nullptr), mDataLength(0), mBuffer(new Collection<unsigned char>()), mLength(0), mInitialLength(0),
      mPosition(0), mOwnsData(false)
{}

MemoryStream::~MemoryStream()
{
    if (mOwnsData) {
        delete[] mData;
    }
    delete mBuffer;
}

void MemoryStream::close() {}

bool MemoryStream::closed()
{
    return false;
}

bool MemoryStream::readable()
{
    return true;
}

bool MemoryStream::writeable()
{
    return true;
}

bool MemoryStream::flush()
{
    return false;
}

int MemoryStream::length()
{
    return mLength;
}

int MemoryStream::position()
{
    return mPosition;
}

int MemoryStream::read(unsigned char* buffer, int length)
{
    if (length < 0 || (buffer == nullptr && length > 0)) {
        return -1;
    }
    const int n = std::min(length, mLength - mPosition);
    if (n <= 0) {
        return 0;
    }
    std::memcpy(buffer, getCurrentDataPointer(), static_cast<size_t>(n));
    mPosition += n;
    return n;
}

int MemoryStream::write(const unsigned char* buffer, int length)
{
    if (length <= 0 || buffer == nullptr) {
        return 0;
    }
    int n;
    if (mBuffer == nullptr) {
        n = std::min(length, mDataLength - mPosition);
        if (n <= 0) {
            return 0;
        }
    } else {
        n = std::min(length, growableLimit - mPosition);
        if (n <= 0) {
            return 0;
        }
        growTo(mPosition + n);
    }
    std::memcpy(getCurrentDataPointer(), buffer, static_cast<size_t>(n));
    mPosition += n;
    mLength = std::max(mLength, mPosition);
    return n;
}

void MemoryStream::growTo(int end)
{
    Collection<unsigned char>& buffer = *mBuffer;
    if (end <= buffer.size()) {
        return;
    }
    if (end > buffer.capacity()) {
        // Room for at least twice as much as before, so that a stream written in small
        // pieces is copied a logarithmic number of times, not once per write.
        const long long wanted = std::max<long long>(2LL * buffer.capacity(), end);
        buffer.reserve(static_cast<int>(std::min<long long>(wanted, growableLimit)));
    }
    buffer.resize(end);
}

bool MemoryStream::reset()
{
    if (mBuffer != nullptr) {
        // Zeroes every byte in use and empties the collection.
        mBuffer->clear();
    }
    mLength = mInitialLength;
    mPosition = 0;
    return true;
}

bool MemoryStream::seek(int offset)
{
    if (offset < 0) {
        return false;
    }
    const int limit = mBuffer != nullptr ? mBuffer->size() : mLength;
    mPosition = std::min(offset, limit);
    return true;
}

unsigned char* MemoryStream::getOriginalDataPointer()
{
    if (mBuffer != nullptr) {
        return mBuffer->size() > 0 ? &(*mBuffer)[0] : nullptr;
    }
    return mData;
}

unsigned char* MemoryStream::getCurrentDataPointer()
{
    unsigned char* start = getOriginalDataPointer();
    return start != nullptr ? start + mPosition : nullptr;
}

} // namespace rezezaz::core::io
