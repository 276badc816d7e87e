#pragma once

#include "core/IntrusivePointer.h"
#include "core/Object.h"
#include "render/IndexBuffer.h"
#include "render/IndexBufferAccessor.h"
#include "render/IndexData.h"
#include "render/VertexBuffer.h"
#include "render/VertexBufferAccessor.h"
#include "scene/Bound.h"
#include "scene/ResourceCreator.h"
#include "scene/material/Material.h"

#include <cstdint>

namespace rezezaz::scene {

class Engine;
class Mesh;

// What the engine's procedural mesh creators share: the engine (not retained), a vertex and an index
// accessor that each typed operation locks on the buffers it fills and unlocks before it returns, and
// the steps of making the buffers and the one-submesh mesh. One call at a time, on the engine's thread.
class ProceduralMeshCreator : public core::Object, public ResourceCreator
{
public:
    explicit ProceduralMeshCreator(Engine* engine);
    ~ProceduralMeshCreator() override;

    int32_t retain() override { return core::Object::retain(); }
    int32_t release() override { return core::Object::release(); }
    void destroy() override {}

    // The largest vertex count that 16-bit indices reach.
    static constexpr int64_t MAX_INDEXED_VERTICES = 65536;

protected:
    // Static, write-only buffers of the engine's buffer manager; null when the manager makes none or
    // the count is below 1 or beyond 32 bits.
    core::IntrusivePointer<render::VertexBuffer> createVertexBuffer(render::VertexFormat* format,
                                                                    int64_t count);
    core::IntrusivePointer<render::IndexBuffer> createIndexBuffer(render::IndexBuffer::IndexFormat format,
                                                                  int64_t count);
    // Lock the accessors for writing with the buffer's own layout; false (nothing locked) for a null
    // buffer, one of fewer than `needed` vertices or indices, or one that gives no memory.
    bool lockVertices(render::VertexBuffer* buffer, int64_t needed);
    bool lockIndices(render::IndexBuffer* buffer, int64_t needed);
    void unlock();
    // Both of the above, or neither: the vertices are unlocked again where the indices fail.
    bool lock(render::VertexBuffer* vertices, int64_t neededVertices, render::IndexBuffer* indices,
              int64_t neededIndices);

    // Where the position, normal and texture coordinate stand in a buffer's layout; -1 for one it
    // does not have.
    struct Elements
    {
        int position;
        int normal;
        int texCoord;
    };
    static Elements findElements(render::VertexBuffer* buffer);

    // Of a mesh in bands of rings + 1 rows of segments + 1 vertices, the seam's vertex twice in each
    // row, drawn as two triangles for each quad between two rows.
    static int64_t bandVertexCount(int segments, int rings)
    {
        return (int64_t(rings) + 1) * (int64_t(segments) + 1);
    }
    static int64_t bandIndexCount(int segments, int rings) { return 6 * int64_t(rings) * (int64_t(segments) + 1); }

    // Sine and cosine in double precision, rounded to float.
    static float sine(float angle);
    static float cosine(float angle);
    static constexpr float TWO_PI = 6.2831855f;

    // A mesh of one submesh drawing indexData from the static vertex data over vertexBuffer.
    static core::IntrusivePointer<Mesh>
    singleSubMeshMesh(core::IntrusivePointer<render::VertexBuffer> vertexBuffer,
                      core::IntrusivePointer<render::IndexData> indexData,
                      core::IntrusivePointer<Bound> bound);
    // The given material, or a new default diffuse material of the engine for a null one.
    core::IntrusivePointer<material::Material>
    materialOrDefault(core::IntrusivePointer<material::Material> material);
    // Sets the material of the mesh's first submesh; the mesh may be null.
    static void setFirstMaterial(Mesh* mesh, core::IntrusivePointer<material::Material> material);

    Engine* engine;
    render::VertexBufferAccessor vertexAccessor;
    render::IndexBufferAccessor indexAccessor;
};

} // namespace rezezaz::scene
