#pragma once

#include "core/IntrusivePointer.h"
#include "render/Buffer.h"

namespace rezezaz::render {

// A buffer of vertex indices, 1, 2 or 4 bytes each.
class IndexBuffer : public Buffer
{
public:
    // Bytes per index.
    enum IndexFormat : int
    {
        IndexFormat_UINT8 = 1,
        IndexFormat_UINT16 = 2,
        IndexFormat_UINT32 = 4,
    };

    virtual IndexBuffer* getRootIndexBuffer() = 0;
    // size is the number of indices.
    virtual bool create(int usage, int access, IndexFormat indexFormat, int size) = 0;
    // Re-create or drop the device object while the description stays.
    virtual void resetCreate() = 0;
    virtual void resetDestroy() = 0;
    virtual IndexFormat getIndexFormat() const = 0;
};

} // namespace rezezaz::render
