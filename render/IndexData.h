#pragma once

#include "core/IntrusivePointer.h"
#include "core/Object.h"
#include "render/IndexBuffer.h"

#include <cstdint>

namespace rezezaz::render {

// The index side of one draw: the primitive kind, the index buffer and the range drawn. Without an
// index buffer, count vertices are drawn in order from start. Owns its buffer: destroying the index
// data, which releasing its last reference does, destroys it, also when something else still holds
// it (a draw sharing the buffer must keep the index data alive, or take the buffer out first).
class IndexData : public core::Object
{
public:
    enum Primitive : int32_t
    {
        Primitive_POINTS = 0,
        Primitive_LINES = 1,
        Primitive_LINE_STRIP = 2,
        Primitive_TRIANGLES = 3,
        Primitive_TRIANGLE_STRIP = 4,
        Primitive_TRIANGLE_FAN = 5,
    };

    // The whole buffer: start 0, count its number of indices. Raises Error::nullPointer for a null
    // buffer.
    IndexData(Primitive primitive, core::IntrusivePointer<IndexBuffer> buffer);
    // The buffer may be null.
    IndexData(Primitive primitive, core::IntrusivePointer<IndexBuffer> buffer, int start, int count);

    // Destroys and releases the index buffer.
    void destroy() override;

    Primitive primitive;
    core::IntrusivePointer<IndexBuffer> indexBuffer;
    int32_t start;
    int32_t count;
};

} // namespace rezezaz::render
