#pragma once

#include "core/math/Vector2.h"
#include "core/math/Vector3.h"
#include "render/Buffer.h"
#include "render/VertexBuffer.h"
#include "render/VertexFormat.h"

#include <cstdint>

namespace rezezaz::render {

// Locks a vertex buffer and writes its vertices by element. Lives on the caller's stack; it never
// retains the buffer, which the caller keeps alive while the accessor is locked. Destruction unlocks.
class VertexBufferAccessor
{
public:
    static constexpr int MAX_ELEMENTS = 16;

    VertexBufferAccessor() = default;
    // Locks buffer with its own format; a null buffer leaves the accessor unlocked.
    VertexBufferAccessor(VertexBuffer* buffer, int access);
    VertexBufferAccessor(Buffer* buffer, VertexFormat* format, int access);
    VertexBufferAccessor(const VertexBufferAccessor&) = delete;
    VertexBufferAccessor& operator=(const VertexBufferAccessor&) = delete;
    virtual ~VertexBufferAccessor();

    // Unlocks any buffer held, then locks buffer laid out by format. Only the first MAX_ELEMENTS
    // elements can be written.
    void lock(Buffer* buffer, VertexFormat* format, int access);
    void unlock();

    // Write components of element `element` of vertex `vertex`: floats, or 16.16 fixed point when the
    // format's first element is fixed point. Elements beyond MAX_ELEMENTS are ignored.
    void set2(int vertex, int element, float x, float y);
    void set3(int vertex, int element, float x, float y, float z);
    void set(int vertex, int element, const core::math::Vector2& v) { set2(vertex, element, v.x, v.y); }
    void set(int vertex, int element, const core::math::Vector3& v) { set3(vertex, element, v.x, v.y, v.z); }
    // One packed colour word; needs the colour view.
    void setColor(int vertex, int element, uint32_t color);

    Buffer* buffer = nullptr;
    // In 32-bit words.
    int32_t vertexSize = 0;
    int32_t elementOffsets[MAX_ELEMENTS] = {};
    bool fixed = false;
    unsigned char* data = nullptr;
    int32_t* fixedData = nullptr;
    float* floatData = nullptr;
    uint32_t* colorData = nullptr;

private:
    int wordIndex(int vertex, int element) const { return vertex * vertexSize + elementOffsets[element]; }
    void setComponent(int word, float value);
};

} // namespace rezezaz::render
