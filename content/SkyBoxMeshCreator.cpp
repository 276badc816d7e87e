#include "content/SkyBoxMeshCreator.h"

#include "scene/Engine.h"
#include "scene/Mesh.h"

#include <cstring>

namespace rezezaz::scene {

namespace {

constexpr int VERTICES = 24;
constexpr int INDICES = 36;
constexpr int POSITION = 0;
constexpr int TEX_COORD = 1;

float fromBits(uint32_t bits)
{
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

// The rows of the cross are pulled 1/1024 towards the middle row, so that filtering never reaches
// into the neighbouring cells.
const float T1 = fromBits(0x3EAB2AABu);
const float T2 = fromBits(0x3F2A6AABu);

struct Vertex
{
    // Signs of the position.
    float x, y, z;
    // Separate faces, without flipping.
    float u, v;
    // Cross layout; 1 and 2 in cv stand for T1 and T2.
    float cu, cv;
};

// Faces -Z, +Z, -X, +X, -Y, +Y.
const Vertex VERTEX_TABLE[VERTICES] = {
    {-1, -1, -1, 1, 1, 0.25f, 3}, {1, -1, -1, 0, 1, 0.5f, 3},  {1, 1, -1, 0, 0, 0.5f, 2},
    {-1, 1, -1, 1, 0, 0.25f, 2},  {-1, -1, 1, 1, 0, 0.25f, 0}, {1, -1, 1, 0, 0, 0.5f, 0},
    {1, 1, 1, 0, 1, 0.5f, 1},     {-1, 1, 1, 1, 1, 0.25f, 1},  {-1, -1, -1, 0, 0, 0, 2},
    {-1, 1, -1, 1, 0, 0.25f, 2},  {-1, 1, 1, 1, 1, 0.25f, 1},  {-1, -1, 1, 0, 1, 0, 1},
    {1, -1, -1, 1, 0, 0.75f, 2},  {1, 1, -1, 0, 0, 0.5f, 2},   {1, 1, 1, 0, 1, 0.5f, 1},
    {1, -1, 1, 1, 1, 0.75f, 1},   {-1, -1, -1, 1, 0, 1, 2},    {1, -1, -1, 0, 0, 0.75f, 2},
    {1, -1, 1, 0, 1, 0.75f, 1},   {-1, -1, 1, 1, 1, 1, 1},     {-1, 1, -1, 0, 0, 0.25f, 2},
    {1, 1, -1, 1, 0, 0.5f, 2},    {1, 1, 1, 1, 1, 0.5f, 1},    {-1, 1, 1, 0, 1, 0.25f, 1},
};

// Two triangles per face, counter-clockwise seen from the centre.
const uint8_t INDEX_TABLE[INDICES] = {
    0,  1,  2,  2,  3,  0,  5,  4,  6,  7,  6,  4,  9,  10, 8,  8,  10, 11,
    14, 13, 12, 14, 12, 15, 18, 17, 16, 18, 16, 19, 21, 22, 20, 20, 22, 23,
};

float crossRow(float code)
{
    const float rows[4] = {0.0f, T1, T2, 1.0f};
    return rows[static_cast<int>(code)];
}

} // namespace

SkyBoxMeshCreator::SkyBoxMeshCreator(Engine* engine_) : ProceduralMeshCreator(engine_) {}

core::IntrusivePointer<core::Resource> SkyBoxMeshCreator::create(const core::String& name, ResourceData*,
                                                                 ProgressListener*)
{
    core::IntrusivePointer<Mesh> mesh =
        createSkyBoxMesh(1.0f, false, false, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
    if (!mesh) {
        return nullptr;
    }
    mesh->setName(name);
    return mesh.get();
}

core::IntrusivePointer<Mesh>
SkyBoxMeshCreator::createSkyBoxMesh(float size, bool crossLayout, bool flipV,
                                    core::IntrusivePointer<material::Material> material0,
                                    core::IntrusivePointer<material::Material> material1,
                                    core::IntrusivePointer<material::Material> material2,
                                    core::IntrusivePointer<material::Material> material3,
                                    core::IntrusivePointer<material::Material> material4,
                                    core::IntrusivePointer<material::Material> material5)
{
    core::IntrusivePointer<render::VertexBuffer> vertices =
        createVertexBuffer(engine->getVertexFormats().POSITION_TEX_COORD.get(), VERTICES);
    core::IntrusivePointer<render::IndexBuffer> indices =
        createIndexBuffer(render::IndexBuffer::IndexFormat_UINT8, INDICES);
    if (!lock(vertices.get(), VERTICES, indices.get(), INDICES)) {
        return nullptr;
    }
    for (int i = 0; i < VERTICES; ++i) {
        const Vertex& v = VERTEX_TABLE[i];
        vertexAccessor.set3(i, POSITION, v.x * size, v.y * size, v.z * size);
        if (crossLayout) {
            vertexAccessor.set2(i, TEX_COORD, v.cu, crossRow(v.cv));
        } else {
            vertexAccessor.set2(i, TEX_COORD, v.u, flipV ? 1.0f - v.v : v.v);
        }
    }
    for (int i = 0; i < INDICES; ++i) {
        indexAccessor.set(i, INDEX_TABLE[i]);
    }
    unlock();

    core::IntrusivePointer<Mesh> mesh = new Mesh();
    mesh->setStaticVertexData(new render::VertexData(vertices));
    core::IntrusivePointer<Bound> bound = new Bound();
    bound->setBox(
        core::math::AABox(core::math::Vector3(-size, -size, -size), core::math::Vector3(size, size, size)));
    mesh->setBound(bound);
    const core::IntrusivePointer<material::Material> materials[6] = {material0, material1, material2,
                                                                     material3, material4, material5};
    const int faces = crossLayout ? 1 : 6;
    for (int face = 0; face < faces; ++face) {
        core::IntrusivePointer<Mesh::SubMesh> subMesh = new Mesh::SubMesh();
        subMesh->indexData =
            crossLayout ? new render::IndexData(render::IndexData::Primitive_TRIANGLES, indices, 0, INDICES)
                        : new render::IndexData(render::IndexData::Primitive_TRIANGLES, indices, 6 * face, 6);
        subMesh->material = materials[face];
        mesh->addSubMesh(subMesh);
    }
    return mesh;
}

} // namespace rezezaz::scene
