#pragma once

#include "core/IntrusivePointer.h"
#include "render/Buffer.h"
#include "render/VertexFormat.h"

namespace rezezaz::render {

// A buffer of vertices laid out by a vertex format.
class VertexBuffer : public Buffer
{
public:
    virtual VertexBuffer* getRootVertexBuffer() = 0;
    // size is the number of vertices.
    virtual bool create(int usage, int access, core::IntrusivePointer<VertexFormat> vertexFormat, int size) = 0;
    virtual void resetCreate() = 0;
    virtual void resetDestroy() = 0;
    // Null before create.
    virtual core::IntrusivePointer<VertexFormat> getVertexFormat() const = 0;
};

} // namespace rezezaz::render
