#include "content/SphereMeshCreator.h"

#include "scene/Engine.h"
#include "scene/Mesh.h"

#include <cmath>

namespace rezezaz::scene {

namespace {

constexpr float PI = 3.1415927f;

} // namespace

SphereMeshCreator::SphereMeshCreator(Engine* engine_) : ProceduralMeshCreator(engine_) {}

core::IntrusivePointer<core::Resource> SphereMeshCreator::create(const core::String& name, ResourceData*,
                                                                 ProgressListener*)
{
    const core::math::Sphere unit(core::math::Vector3(0.0f, 0.0f, 0.0f), 1.0f);
    core::IntrusivePointer<Mesh> mesh = createSphereMesh(unit, 8, 8, nullptr);
    if (!mesh) {
        return nullptr;
    }
    mesh->setName(name);
    return mesh.get();
}

bool SphereMeshCreator::countsValid(int segments, int rings)
{
    return segments >= 1 && rings >= 1 && bandVertexCount(segments, rings) <= MAX_INDEXED_VERTICES;
}

core::IntrusivePointer<Mesh>
SphereMeshCreator::createSphereMesh(const core::math::Sphere& sphere, int segments, int rings,
                                    core::IntrusivePointer<material::Material> material)
{
    if (!countsValid(segments, rings) || !(sphere.radius > 0.0f)) {
        return nullptr;
    }
    core::IntrusivePointer<Mesh> mesh = createSphereMesh(
        createVertexBuffer(engine->getVertexFormats().POSITION_NORMAL_TEX_COORD.get(),
                           bandVertexCount(segments, rings)),
        createIndexBuffer(render::IndexBuffer::IndexFormat_UINT16, bandIndexCount(segments, rings)), sphere,
        segments, rings);
    if (mesh) {
        setFirstMaterial(mesh.get(), materialOrDefault(material));
    }
    return mesh;
}

core::IntrusivePointer<Mesh>
SphereMeshCreator::createSphereMesh(core::IntrusivePointer<render::VertexBuffer> vertexBuffer,
                                    core::IntrusivePointer<render::IndexBuffer> indexBuffer,
                                    const core::math::Sphere& sphere, int segments, int rings)
{
    // A radius of 0 has no normals (every offset is 0 / 0), a negative one turns the sphere inside
    // out under a bound of negative radius.
    if (!countsValid(segments, rings) || !(sphere.radius > 0.0f)) {
        return nullptr;
    }
    const int indices = static_cast<int>(bandIndexCount(segments, rings));
    if (!lock(vertexBuffer.get(), bandVertexCount(segments, rings), indexBuffer.get(), indices)) {
        return nullptr;
    }

    const auto [position, normal, texCoord] = findElements(vertexBuffer.get());
    const core::math::Vector3& centre = sphere.origin;
    const float ringStep = PI / float(rings);
    const float segmentStep = TWO_PI / float(segments);
    const int s = segments;
    int n = 0;
    for (int i = 0; i <= rings; ++i) {
        const float theta = ringStep * float(i);
        const float h = sine(theta) * sphere.radius;
        const float y = cosine(theta) * sphere.radius;
        const float v = float(i) / float(rings);
        for (int j = 0; j <= segments; ++j) {
            const float phi = segmentStep * float(j);
            const float x = sine(phi) * h;
            const float z = cosine(phi) * h;
            const int k = i * (s + 1) + j;
            if (position >= 0) {
                vertexAccessor.set3(k, position, centre.x + x, centre.y + y, centre.z + z);
            }
            if (normal >= 0) {
                const float length = std::sqrt(x * x + y * y + z * z);
                vertexAccessor.set3(k, normal, x / length, y / length, z / length);
            }
            if (texCoord >= 0) {
                vertexAccessor.set2(k, texCoord, float(j) / float(s), v);
            }
            // Two triangles per quad of the band below, the seam vertex included: at the seam they
            // have no area.
            if (i < rings) {
                const uint32_t quad[6] = {uint32_t(k + s + 1), uint32_t(k),     uint32_t(k + s),
                                          uint32_t(k + s + 1), uint32_t(k + 1), uint32_t(k)};
                for (uint32_t index : quad) {
                    indexAccessor.set(n++, index);
                }
            }
        }
    }
    unlock();

    core::IntrusivePointer<Bound> bound = new Bound();
    bound->setSphere(sphere);
    return singleSubMeshMesh(
        vertexBuffer, new render::IndexData(render::IndexData::Primitive_TRIANGLES, indexBuffer, 0, indices),
        bound);
}

} // namespace rezezaz::scene
