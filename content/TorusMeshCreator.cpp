#include "content/TorusMeshCreator.h"

#include "scene/Engine.h"
#include "scene/Mesh.h"

#include <cmath>
#include <limits>

namespace rezezaz::scene {

namespace {

constexpr int POSITION = 0;
constexpr int NORMAL = 1;
constexpr int TEX_COORD = 2;

bool valid(float ringRadius, float tubeRadius, int ringSteps, int tubeSteps)
{
    // A tube radius of 0 leaves the normals' z / tubeRadius undefined; a negative tube or ring
    // radius turns the surface inside out.
    return ringSteps >= 1 && tubeSteps >= 1 && tubeRadius > 0.0f && ringRadius >= 0.0f &&
           TorusMeshCreator::vertexCount(ringSteps, tubeSteps) <= std::numeric_limits<int32_t>::max();
}

// The torus writes its first three elements as they come: a layout with fewer, or with less room than
// 3 + 3 + 2 components, would have writes reach past its vertices.
bool holdsPositionNormalTexCoord(render::VertexBuffer* buffer)
{
    if (buffer == nullptr || !buffer->getVertexFormat()) {
        return false;
    }
    const render::VertexFormat& format = *buffer->getVertexFormat();
    return format.getNumElements() >= 3 && format.getVertexSize() >= 8 * 4;
}

} // namespace

TorusMeshCreator::TorusMeshCreator(Engine* engine_) : ProceduralMeshCreator(engine_) {}

core::IntrusivePointer<core::Resource> TorusMeshCreator::create(const core::String& name, ResourceData*,
                                                                ProgressListener*)
{
    core::IntrusivePointer<Mesh> mesh = createTorusMesh(1.0f, 0.5f, 16, 16, nullptr);
    if (!mesh) {
        return nullptr;
    }
    mesh->setName(name);
    return mesh.get();
}

core::IntrusivePointer<Mesh>
TorusMeshCreator::createTorusMesh(float ringRadius, float tubeRadius, int ringSteps, int tubeSteps,
                                  core::IntrusivePointer<material::Material> material)
{
    if (!valid(ringRadius, tubeRadius, ringSteps, tubeSteps)) {
        return nullptr;
    }
    core::IntrusivePointer<Mesh> mesh =
        createTorusMesh(createVertexBuffer(engine->getVertexFormats().POSITION_NORMAL_TEX_COORD.get(),
                                           vertexCount(ringSteps, tubeSteps)),
                        ringRadius, tubeRadius, ringSteps, tubeSteps);
    if (mesh) {
        setFirstMaterial(mesh.get(), materialOrDefault(material));
    }
    return mesh;
}

core::IntrusivePointer<Mesh>
TorusMeshCreator::createTorusMesh(core::IntrusivePointer<render::VertexBuffer> vertexBuffer, float ringRadius,
                                  float tubeRadius, int ringSteps, int tubeSteps)
{
    if (!valid(ringRadius, tubeRadius, ringSteps, tubeSteps) || !holdsPositionNormalTexCoord(vertexBuffer.get()) ||
        !lockVertices(vertexBuffer.get(), vertexCount(ringSteps, tubeSteps))) {
        return nullptr;
    }
    const float ringStep = TWO_PI / float(ringSteps);
    const float tubeStep = TWO_PI / float(tubeSteps);
    for (int i = 0; i < ringSteps; ++i) {
        // The next ring angle as a sum, as the strip's shared circles are made from it.
        const float theta0 = ringStep * float(i);
        const float theta1 = ringStep + theta0;
        const float cos0 = cosine(theta0);
        const float sin0 = sine(theta0);
        const float cos1 = cosine(theta1);
        const float sin1 = sine(theta1);
        for (int j = 0; j <= tubeSteps; ++j) {
            const float phi = tubeStep * float(j);
            const float cosPhi = cosine(phi);
            const float d = cosPhi * tubeRadius + ringRadius;
            const float z = sine(phi) * tubeRadius;
            const float nz = z / tubeRadius;
            const float v = float(j) / float(tubeSteps);
            const int even = 2 * (i * (tubeSteps + 1) + j);
            const struct
            {
                float c, s, u;
            } sides[2] = {{cos0, sin0, float(i) / float(ringSteps)},
                          {cos1, sin1, float(i + 1) / float(ringSteps)}};
            for (int side = 0; side < 2; ++side) {
                const float nx = sides[side].c * cosPhi;
                const float ny = sides[side].s * cosPhi;
                const float length = std::sqrt(nx * nx + ny * ny + nz * nz);
                vertexAccessor.set3(even + side, POSITION, sides[side].c * d, sides[side].s * d, z);
                vertexAccessor.set3(even + side, NORMAL, nx / length, ny / length, nz / length);
                vertexAccessor.set2(even + side, TEX_COORD, sides[side].u, v);
            }
        }
    }
    unlock();

    const int count = static_cast<int>(vertexCount(ringSteps, tubeSteps));
    core::IntrusivePointer<Bound> bound = new Bound();
    bound->setSphere(core::math::Sphere(core::math::Vector3(0.0f, 0.0f, 0.0f),
                                        std::fabs(ringRadius) + std::fabs(tubeRadius)));
    return singleSubMeshMesh(
        vertexBuffer, new render::IndexData(render::IndexData::Primitive_TRIANGLE_STRIP, nullptr, 0, count),
        bound);
}

} // namespace rezezaz::scene
