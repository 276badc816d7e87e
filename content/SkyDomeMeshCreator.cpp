#include "content/SkyDomeMeshCreator.h"

#include "scene/Engine.h"
#include "scene/Mesh.h"

#include <algorithm>
#include <cmath>

namespace rezezaz::scene {

namespace {

constexpr float HALF_PI = 1.5707964f;

} // namespace

SkyDomeMeshCreator::SkyDomeMeshCreator(Engine* engine_) : ProceduralMeshCreator(engine_) {}

core::IntrusivePointer<core::Resource> SkyDomeMeshCreator::create(const core::String& name, ResourceData*,
                                                                  ProgressListener*)
{
    const core::math::Sphere unit(core::math::Vector3(0.0f, 0.0f, 0.0f), 1.0f);
    core::IntrusivePointer<Mesh> mesh = createSkyDomeMesh(unit, 16, 16, 0.5f, nullptr);
    if (!mesh) {
        return nullptr;
    }
    mesh->setName(name);
    return mesh.get();
}

bool SkyDomeMeshCreator::valid(const core::math::Sphere& sphere, int numSegments, int numRings)
{
    // Counts of 0 divide by zero, a radius of 0 has no normals, a negative one turns the dome inside
    // out under a bound of negative radius.
    return numSegments >= 1 && numRings >= 1 && bandVertexCount(numSegments, numRings) <= MAX_INDEXED_VERTICES &&
           sphere.radius > 0.0f;
}

core::IntrusivePointer<Mesh>
SkyDomeMeshCreator::createSkyDomeMesh(core::IntrusivePointer<render::VertexBuffer> vertexBuffer,
                                      core::IntrusivePointer<render::IndexBuffer> indexBuffer,
                                      const core::math::Sphere& sphere, int numSegments, int numRings,
                                      float textureScale)
{
    if (!valid(sphere, numSegments, numRings)) {
        return nullptr;
    }
    const int indices = static_cast<int>(bandIndexCount(numSegments, numRings));
    if (!lock(vertexBuffer.get(), bandVertexCount(numSegments, numRings), indexBuffer.get(), indices)) {
        return nullptr;
    }

    const auto [position, normal, texCoord] = findElements(vertexBuffer.get());
    const core::math::Vector3& centre = sphere.origin;
    const float ringStep = HALF_PI / float(numRings);
    const float segmentStep = TWO_PI / float(numSegments);
    int n = 0;
    for (int i = 0; i <= numRings; ++i) {
        const float theta = float(i) * ringStep;
        const float rho = sphere.radius * sine(theta);
        const float h = sphere.radius * cosine(theta);
        for (int k = 0; k <= numSegments; ++k) {
            const float phi = float(k) * segmentStep;
            const float x = rho * cosine(phi);
            const float y = rho * sine(phi);
            const float z = h;
            const int v = i * (numSegments + 1) + k;
            const float length = std::sqrt(x * x + y * y + z * z);
            const float nx = x / length;
            const float ny = y / length;
            const float nz = z / length;
            if (position >= 0) {
                vertexAccessor.set3(v, position, centre.x + x, centre.y + y, centre.z + z);
            }
            if (normal >= 0) {
                vertexAccessor.set3(v, normal, nx, ny, nz);
            }
            if (texCoord >= 0) {
                // The chord from the zenith, laid out along the vertex's azimuth.
                const float d = std::sqrt(nx * nx + ny * ny + (1.0f - nz) * (1.0f - nz));
                const float planar = std::sqrt(nx * nx + ny * ny);
                const float a = planar > 0.0f ? nx / planar : 0.0f;
                const float b = planar > 0.0f ? ny / planar : 0.0f;
                vertexAccessor.set2(v, texCoord, std::clamp(a * d * textureScale + 0.5f, 0.0f, 1.0f),
                                    std::clamp(b * d * textureScale + 0.5f, 0.0f, 1.0f));
            }
            // Two triangles towards the next ring; at the seam one of them has no area.
            if (i < numRings) {
                const int s = v + numSegments;
                const int triangles[6] = {s, v, s + 1, v, v + 1, s + 1};
                for (int index : triangles) {
                    indexAccessor.set(n++, static_cast<uint32_t>(index));
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

core::IntrusivePointer<Mesh>
SkyDomeMeshCreator::createSkyDomeMesh(const core::math::Sphere& sphere, int numSegments, int numRings,
                                      float textureScale, core::IntrusivePointer<material::Material> material)
{
    if (!valid(sphere, numSegments, numRings)) {
        return nullptr;
    }
    core::IntrusivePointer<Mesh> mesh = createSkyDomeMesh(
        createVertexBuffer(engine->getVertexFormats().POSITION_NORMAL_TEX_COORD.get(),
                           bandVertexCount(numSegments, numRings)),
        createIndexBuffer(render::IndexBuffer::IndexFormat_UINT16, bandIndexCount(numSegments, numRings)), sphere,
        numSegments, numRings, textureScale);
    if (!mesh) {
        return nullptr;
    }
    if (!material) {
        material = engine->createSkyBoxMaterial(nullptr, true, nullptr);
    }
    setFirstMaterial(mesh.get(), material);
    return mesh;
}

} // namespace rezezaz::scene
