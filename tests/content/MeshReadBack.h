#pragma once

#include "render/IndexBufferAccessor.h"
#include "render/IndexData.h"
#include "render/VertexBuffer.h"
#include "render/VertexData.h"
#include "render/VertexFormat.h"
#include "scene/Mesh.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

namespace contenttest {

using Vec3 = std::array<float, 3>;
using Vec2 = std::array<float, 2>;
using Triangle = std::array<uint32_t, 3>;

// The vertices and triangles of a mesh read back from its buffers (device-independent buffers keep
// their contents), each element found by semantic; 16.16 elements are turned back into floats and
// also kept raw.
struct MeshReadBack
{
    std::vector<Vec3> positions;
    std::vector<Vec3> normals;
    std::vector<Vec2> texCoords;
    // Every component of every vertex as stored, 32-bit words in vertex order.
    std::vector<int32_t> words;
    bool fixed = false;

    explicit MeshReadBack(const rezezaz::scene::Mesh& mesh)
    {
        if (!mesh.staticVertexData || mesh.staticVertexData->vertexBuffers.size() != 1) {
            ADD_FAILURE() << "no single static vertex buffer";
            return;
        }
        rezezaz::render::VertexBuffer& buffer = *mesh.staticVertexData->vertexBuffers[0];
        const rezezaz::render::VertexFormat& format = *buffer.getVertexFormat();
        const unsigned char* data = buffer.lock(1);
        const int count = buffer.getSize();
        const int stride = format.getVertexSize();
        fixed = (format.getElementFormat(0) & 0xFF) == rezezaz::render::VertexFormat::Type_FIXED32;
        words.resize(static_cast<size_t>(count) * stride / 4);
        std::memcpy(words.data(), data, words.size() * 4);
        buffer.unlock();
        const int position = format.findElement(rezezaz::render::VertexFormat::Semantic_POSITION);
        const int normal = format.findElement(rezezaz::render::VertexFormat::Semantic_NORMAL);
        const int texCoord = format.findElement(rezezaz::render::VertexFormat::Semantic_TEXCOORD);
        for (int v = 0; v < count; ++v) {
            auto component = [&](int element, int k) {
                const int32_t word =
                    words[(static_cast<size_t>(v) * stride + format.getElementOffset(element)) / 4 + k];
                if (fixed) {
                    return static_cast<float>(word) / 65536.0f;
                }
                float value;
                std::memcpy(&value, &word, 4);
                return value;
            };
            if (position >= 0) {
                positions.push_back({component(position, 0), component(position, 1), component(position, 2)});
            }
            if (normal >= 0) {
                normals.push_back({component(normal, 0), component(normal, 1), component(normal, 2)});
            }
            if (texCoord >= 0) {
                texCoords.push_back({component(texCoord, 0), component(texCoord, 1)});
            }
        }
    }

    // The indices a submesh draws (its vertex numbers without an index buffer).
    static std::vector<uint32_t> indices(const rezezaz::render::IndexData& data)
    {
        std::vector<uint32_t> result;
        if (!data.indexBuffer) {
            for (int i = 0; i < data.count; ++i) {
                result.push_back(static_cast<uint32_t>(data.start + i));
            }
            return result;
        }
        rezezaz::render::IndexBufferAccessor accessor;
        accessor.lock(data.indexBuffer.get(), data.indexBuffer->getIndexFormat(), 1);
        for (int i = 0; i < data.count; ++i) {
            result.push_back(accessor.get(data.start + i));
        }
        accessor.unlock();
        return result;
    }

    // The triangles of a list or strip in drawing order, each as OpenGL winds it.
    static std::vector<Triangle> triangles(const rezezaz::render::IndexData& data)
    {
        const std::vector<uint32_t> list = indices(data);
        std::vector<Triangle> result;
        if (data.primitive == rezezaz::render::IndexData::Primitive_TRIANGLES) {
            for (size_t i = 0; i + 2 < list.size(); i += 3) {
                result.push_back({list[i], list[i + 1], list[i + 2]});
            }
        } else if (data.primitive == rezezaz::render::IndexData::Primitive_TRIANGLE_STRIP) {
            for (size_t i = 0; i + 2 < list.size(); ++i) {
                result.push_back(i % 2 == 0 ? Triangle{list[i], list[i + 1], list[i + 2]}
                                            : Triangle{list[i + 1], list[i], list[i + 2]});
            }
        } else {
            ADD_FAILURE() << "primitive " << data.primitive;
        }
        return result;
    }
};

inline Vec3 minus(const Vec3& a, const Vec3& b)
{
    return {a[0] - b[0], a[1] - b[1], a[2] - b[2]};
}

inline Vec3 cross(const Vec3& a, const Vec3& b)
{
    return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}

inline float dot(const Vec3& a, const Vec3& b)
{
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}

inline float length(const Vec3& a)
{
    return std::sqrt(dot(a, a));
}

} // namespace contenttest
