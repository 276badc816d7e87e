#pragma once

#include "core/Object.h"
#include "core/io/Stream.h"

#include <cstdint>
#include <vector>

namespace support {

// A stream over bytes in memory that misbehaves on purpose, for testing the code that
// reads and writes through streams:
// - setChunk(n): every read and write moves at most n bytes (1: one byte at a time);
// - setFailAfter(n): once n bytes have moved (reads and writes together), every further
//   read and write fails: read returns -1, write returns 0, and seek and flush return false.
// What was written can be inspected with content(). Create it with new and hold it in an
// IntrusivePointer like any stream.
class FaultyStream : public rezezaz::core::Object, public rezezaz::core::io::Stream
{
public:
    explicit FaultyStream(std::vector<unsigned char> content = {});

    void setChunk(int bytes) { mChunk = bytes; }
    void setFailAfter(int bytes) { mFailAfter = bytes; }

    const std::vector<unsigned char>& content() const { return mContent; }
    // How often read() and write() were called.
    int readCalls() const { return mReadCalls; }
    int writeCalls() const { return mWriteCalls; }

    int32_t retain() override { return Object::retain(); }
    int32_t release() override { return Object::release(); }

    void close() override { mClosed = true; }
    bool closed() override { return mClosed; }
    bool readable() override { return !mClosed; }
    int read(unsigned char* buffer, int length) override;
    bool writeable() override { return !mClosed; }
    int write(const unsigned char* buffer, int length) override;
    bool reset() override { return seek(0); }
    int length() override { return static_cast<int>(mContent.size()); }
    int position() override { return mPosition; }
    bool seek(int offset) override;
    bool flush() override { return !failing(); }

private:
    bool failing() const { return mClosed || (mFailAfter >= 0 && mMoved >= mFailAfter); }
    // How many of length bytes this call may move.
    int allowance(int length) const;

    std::vector<unsigned char> mContent;
    int mPosition = 0;
    int mChunk = 0;
    int mFailAfter = -1;
    int mMoved = 0;
    int mReadCalls = 0;
    int mWriteCalls = 0;
    bool mClosed = false;
};

} // namespace support
