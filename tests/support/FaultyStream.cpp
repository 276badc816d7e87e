#include "support/FaultyStream.h"

#include <algorithm>
#include <cstring>

namespace support {

FaultyStream::FaultyStream(std::vector<unsigned char> content) : mContent(std::move(content)) {}

int FaultyStream::allowance(int length) const
{
    int n = length;
    if (mChunk > 0) {
        n = std::min(n, mChunk);
    }
    if (mFailAfter >= 0) {
        n = std::min(n, mFailAfter - mMoved);
    }
    return std::max(n, 0);
}

int FaultyStream::read(unsigned char* buffer, int length)
{
    ++mReadCalls;
    if (failing() || length < 0) {
        return -1;
    }
    const int remaining = static_cast<int>(mContent.size()) - mPosition;
    const int n = std::min(allowance(length), remaining);
    if (n <= 0) {
        return 0;
    }
    std::memcpy(buffer, mContent.data() + mPosition, static_cast<size_t>(n));
    mPosition += n;
    mMoved += n;
    return n;
}

int FaultyStream::write(const unsigned char* buffer, int length)
{
    ++mWriteCalls;
    if (failing() || length <= 0) {
        return 0;
    }
    const int n = allowance(length);
    const size_t end = static_cast<size_t>(mPosition) + static_cast<size_t>(n);
    if (mContent.size() < end) {
        mContent.resize(end);
    }
    std::memcpy(mContent.data() + mPosition, buffer, static_cast<size_t>(n));
    mPosition += n;
    mMoved += n;
    return n;
}

bool FaultyStream::seek(int offset)
{
    if (failing() || offset < 0) {
        return false;
    }
    mPosition = std::min(offset, static_cast<int>(mContent.size()));
    return true;
}

} // namespace support
