#pragma once

#include "render/Buffer.h"
#include "render/IndexBuffer.h"

#include <cstdint>

namespace rezezaz::render {

// Locks an index buffer and writes its indices in the buffer's width. Lives on the caller's stack; it
// never retains the buffer. Destruction unlocks.
class IndexBufferAccessor
{
public:
    IndexBufferAccessor() = default;
    // Locks buffer with its own index format; a null buffer leaves the accessor unlocked.
    IndexBufferAccessor(IndexBuffer* buffer, int access);
    IndexBufferAccessor(const IndexBufferAccessor&) = delete;
    IndexBufferAccessor& operator=(const IndexBufferAccessor&) = delete;
    virtual ~IndexBufferAccessor();

    // Unlocks and forgets any buffer held, then locks buffer.
    void lock(Buffer* buffer, IndexBuffer::IndexFormat indexFormat, int access);
    void unlock();

    // Index i as an unsigned integer of indexFormat bytes (1, 2, else 4) at i times indexFormat. An
    // index format too narrow for the 32 bits (3, or below 1) reads and writes nothing, as its slots
    // cannot hold an index without reaching past the buffer.
    void set(int i, uint32_t index);
    uint32_t get(int i) const;

    Buffer* buffer = nullptr;
    IndexBuffer::IndexFormat indexFormat = IndexBuffer::IndexFormat_UINT8;
    unsigned char* data = nullptr;

private:
    bool slotHoldsIndex() const { return indexFormat == 1 || indexFormat == 2 || indexFormat >= 4; }
};

} // namespace rezezaz::render
