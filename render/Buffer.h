#pragma once

#include "core/Resource.h"

namespace rezezaz::render {

// A block of device data: indices, vertices, pixels or shader variables. It is locked to read or
// write it from the CPU.
class Buffer : public core::Resource
{
public:
    // Usage flags: how often the contents change.
    enum Usage : int
    {
        Usage_STATIC = 1,
        Usage_STREAM = 2,
        Usage_DYNAMIC = 4,
    };

    // Access flags of create and lock.
    enum Access : int
    {
        Access_READ = 1,
        Access_WRITE = 2,
        Access_READ_WRITE = 3,
    };

    virtual int getUsage() const = 0;
    virtual int getAccess() const = 0;
    // In bytes.
    virtual int getDataSize() const = 0;
    // In elements (indices or vertices).
    virtual int getSize() const = 0;
    // The bytes of the buffer, or null.
    virtual unsigned char* lock(int access) = 0;
    virtual bool unlock() = 0;
    // Writes size bytes from data at byte start.
    virtual bool update(unsigned char* data, int start, int size) = 0;
};

} // namespace rezezaz::render
