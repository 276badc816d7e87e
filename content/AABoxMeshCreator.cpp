#include "content/AABoxMeshCreator.h"

#include "scene/Engine.h"
#include "scene/Mesh.h"

namespace rezezaz::scene {

namespace {

constexpr int VERTICES = 24;
constexpr int INDICES = 36;
constexpr int POSITION = 0;
constexpr int NORMAL = 1;
constexpr int TEX_COORD = 2;

// Per vertex: which corner (0 minimum, 1 maximum) on x, y and z, and the face's normal. Faces -Z, +Z,
// -X, +X, -Y, +Y, each counter-clockwise seen from outside.
struct Corner
{
    int x, y, z;
    float nx, ny, nz;
};

const Corner CORNERS[VERTICES] = {
    {1, 0, 0, 0, 0, -1}, {0, 0, 0, 0, 0, -1}, {0, 1, 0, 0, 0, -1}, {1, 1, 0, 0, 0, -1}, {0, 0, 1, 0, 0, 1},
    {1, 0, 1, 0, 0, 1},  {1, 1, 1, 0, 0, 1},  {0, 1, 1, 0, 0, 1},  {0, 0, 0, -1, 0, 0}, {0, 0, 1, -1, 0, 0},
    {0, 1, 1, -1, 0, 0}, {0, 1, 0, -1, 0, 0}, {1, 0, 1, 1, 0, 0},  {1, 0, 0, 1, 0, 0},  {1, 1, 0, 1, 0, 0},
    {1, 1, 1, 1, 0, 0},  {0, 0, 0, 0, -1, 0}, {1, 0, 0, 0, -1, 0}, {1, 0, 1, 0, -1, 0}, {0, 0, 1, 0, -1, 0},
    {0, 1, 1, 0, 1, 0},  {1, 1, 1, 0, 1, 0},  {1, 1, 0, 0, 1, 0},  {0, 1, 0, 0, 1, 0},
};

// The texture square of every face, in the order of its four vertices.
const float FACE_TEX_COORDS[4][2] = {{0, 1}, {1, 1}, {1, 0}, {0, 0}};

} // namespace

AABoxMeshCreator::AABoxMeshCreator(Engine* engine_) : ProceduralMeshCreator(engine_) {}

core::IntrusivePointer<core::Resource> AABoxMeshCreator::create(const core::String& name, ResourceData*,
                                                                ProgressListener*)
{
    const core::math::AABox box(core::math::Vector3(-1.0f, -1.0f, -1.0f),
                                core::math::Vector3(1.0f, 1.0f, 1.0f));
    core::IntrusivePointer<Mesh> mesh = createAABoxMesh(box, nullptr);
    if (!mesh) {
        return nullptr;
    }
    mesh->setName(name);
    return mesh.get();
}

core::IntrusivePointer<Mesh>
AABoxMeshCreator::createAABoxMesh(const core::math::AABox& box,
                                  core::IntrusivePointer<material::Material> material)
{
    core::IntrusivePointer<render::VertexBuffer> vertices =
        createVertexBuffer(engine->getVertexFormats().POSITION_NORMAL_TEX_COORD.get(), VERTICES);
    if (!lockVertices(vertices.get(), VERTICES)) {
        return nullptr;
    }
    const core::math::Vector3* ends[2] = {&box.minimum, &box.maximum};
    for (int v = 0; v < VERTICES; ++v) {
        const Corner& c = CORNERS[v];
        vertexAccessor.set3(v, POSITION, ends[c.x]->x, ends[c.y]->y, ends[c.z]->z);
        vertexAccessor.set3(v, NORMAL, c.nx, c.ny, c.nz);
        vertexAccessor.set2(v, TEX_COORD, FACE_TEX_COORDS[v % 4][0], FACE_TEX_COORDS[v % 4][1]);
    }
    unlock();

    core::IntrusivePointer<render::IndexBuffer> indices =
        createIndexBuffer(render::IndexBuffer::IndexFormat_UINT8, INDICES);
    if (!lockIndices(indices.get(), INDICES)) {
        return nullptr;
    }
    for (int face = 0; face < 6; ++face) {
        const int b = 4 * face;
        const int triangles[6] = {b, b + 1, b + 2, b, b + 2, b + 3};
        for (int i = 0; i < 6; ++i) {
            indexAccessor.set(6 * face + i, static_cast<uint32_t>(triangles[i]));
        }
    }
    unlock();

    core::IntrusivePointer<Bound> bound = new Bound();
    bound->setBox(box);
    core::IntrusivePointer<Mesh> mesh = singleSubMeshMesh(
        vertices, new render::IndexData(render::IndexData::Primitive_TRIANGLES, indices, 0, INDICES), bound);
    setFirstMaterial(mesh.get(), materialOrDefault(material));
    return mesh;
}

} // namespace rezezaz::scene
