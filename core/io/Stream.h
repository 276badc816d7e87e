#pragma once

#include "core/Interface.h"

namespace rezezaz::core::io {

// The engine's byte-stream interface. Every reader and writer of bytes (files, memory,
// compiled-in resources, typed data) goes through it; streams are reference counted and
// held through IntrusivePointer handles.
//
// Positions and lengths are 32-bit: a stream is at most 2^31-1 bytes long. Failure values:
// read() returns 0 or less, write() the count actually written (0 when nothing could be),
// length() and position() return -1, the bool operations return false.
class Stream : public Interface
{
public:
    ~Stream() override = default;

    virtual void close() = 0;
    virtual bool closed() = 0;

    virtual bool readable() = 0;
    // Reads up to length bytes into buffer; returns the count read, 0 at the end, below 0 on failure.
    virtual int read(unsigned char* buffer, int length) = 0;

    virtual bool writeable() = 0;
    // Writes up to length bytes from buffer; returns the count written.
    virtual int write(const unsigned char* buffer, int length) = 0;

    // Back to the start (a memory stream also drops what was written to it).
    virtual bool reset() = 0;
    virtual int length() = 0;
    virtual int position() = 0;
    // Moves to offset bytes from the start.
    virtual bool seek(int offset) = 0;
    virtual bool flush() = 0;
};

} // namespace rezezaz::core::io
