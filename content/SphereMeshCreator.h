#pragma once

#include "content/ProceduralMeshCreator.h"
#include "core/math/Sphere.h"

namespace rezezaz::scene {

// Makes UV spheres: rings of latitude from the pole at +y to the pole at -y, segments of longitude
// around the y axis, as one indexed triangle list facing outward. Made by the engine while it installs
// its handlers and kept for its life.
class SphereMeshCreator : public ProceduralMeshCreator
{
public:
    explicit SphereMeshCreator(Engine* engine);

    // The unit sphere of 8 segments and 8 rings with the default material, carrying the name.
    core::IntrusivePointer<core::Resource> create(const core::String& name, ResourceData* data,
                                                  ProgressListener* listener) override;

    // Null, with no buffer made, when the counts are not valid (see countsValid) or the radius is 0
    // or less; a null material becomes a new default diffuse one.
    core::IntrusivePointer<Mesh> createSphereMesh(const core::math::Sphere& sphere, int segments, int rings,
                                                  core::IntrusivePointer<material::Material> material);
    // Fills buffers of (rings + 1) x (segments + 1) vertices and 6 x rings x (segments + 1) indices; null
    // as above and for a missing buffer.
    core::IntrusivePointer<Mesh> createSphereMesh(core::IntrusivePointer<render::VertexBuffer> vertexBuffer,
                                                  core::IntrusivePointer<render::IndexBuffer> indexBuffer,
                                                  const core::math::Sphere& sphere, int segments, int rings);

    // At least one segment and one ring, and no more vertices than 16-bit indices reach.
    static bool countsValid(int segments, int rings);
};

} // namespace rezezaz::scene
