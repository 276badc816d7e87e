#pragma once

#include "core/Collection.h"
#include "core/IntrusivePointer.h"
#include "core/Object.h"
#include "render/VertexBuffer.h"
#include "render/VertexFormat.h"

namespace rezezaz::render {

// The vertex side of one draw: a vertex format with the vertex buffers drawn together. Built by the
// mesh creators and readers, drawn by the render device. Owns its buffers: destroying the vertex
// data, which releasing its last reference does, destroys them, also buffers that something else
// still holds (a mesh sharing its buffers must keep the vertex data alive as long as they are used).
class VertexData : public core::Object
{
public:
    // No buffers yet.
    explicit VertexData(core::IntrusivePointer<VertexFormat> format);
    // The buffer's own format, then the buffer. Such vertex data holds that one buffer only. Raises
    // Error::nullPointer for a null buffer.
    explicit VertexData(core::IntrusivePointer<VertexBuffer> buffer);

    // Appends buffer. Raises Error::unknown, and adds nothing, when the format was taken from the
    // first buffer.
    bool addVertexBuffer(core::IntrusivePointer<VertexBuffer> buffer);

    // Destroys and releases every buffer and releases the format.
    void destroy() override;

    core::Collection<core::IntrusivePointer<VertexBuffer>> vertexBuffers;
    core::IntrusivePointer<VertexFormat> vertexFormat;

private:
    bool formatFromBuffer_ = false;
};

} // namespace rezezaz::render
