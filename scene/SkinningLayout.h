#pragma once

#include "core/String.h"
#include "core/math/Vector3.h"
#include "render/VertexBuffer.h"

#include <cstdint>
#include <cstring>

namespace rezezaz::scene {

// Where the position and the normal of each vertex lie in a vertex buffer, checked before vertex data
// that a file filled is read for skinning or bone bounds: the position (semantic 0) and the optional
// normal (semantic 3) must be three float or three 16.16 components inside the vertex, and no more
// vertices are read than the buffer's data holds. A value on the caller's stack.
struct SkinningLayout
{
    // Bytes from one vertex to the next.
    int32_t stride = 0;
    int32_t positionOffset = 0;
    // -1 when the format has no usable normal.
    int32_t normalOffset = -1;
    bool fixed = false;
    // Vertices that lie wholly inside the buffer's data.
    int32_t vertexCount = 0;
    // Why the position cannot be read; empty when it can.
    core::String positionProblem;
    // Why the normal, which the format has, cannot be read; empty when it can or there is none.
    core::String normalProblem;

    // Describes buffer (null: nothing is readable).
    static SkinningLayout describe(render::VertexBuffer* buffer);

    bool hasPosition() const { return positionProblem.length() == 0; }

    core::math::Vector3 read(const unsigned char* data, int vertex, int offset) const
    {
        const unsigned char* at = data + static_cast<size_t>(vertex) * static_cast<size_t>(stride) + offset;
        if (fixed) {
            int32_t v[3];
            std::memcpy(v, at, sizeof(v));
            const float scale = 1.0f / 65536.0f;
            return core::math::Vector3(float(v[0]) * scale, float(v[1]) * scale, float(v[2]) * scale);
        }
        float v[3];
        std::memcpy(v, at, sizeof(v));
        return core::math::Vector3(v[0], v[1], v[2]);
    }
};

} // namespace rezezaz::scene
