#pragma once

#include "content/ProceduralMeshCreator.h"
#include "core/math/Sphere.h"

namespace rezezaz::scene {

// Makes sky domes: the upper half of a sphere in a z-up world, seen from inside, textured by a planar
// projection centred on the zenith. Made by the engine while it installs its handlers and kept for its
// life.
class SkyDomeMeshCreator : public ProceduralMeshCreator
{
public:
    explicit SkyDomeMeshCreator(Engine* engine);

    // The unit dome of 16 segments and 16 rings, texture scale 0.5, with a sky-box material, carrying
    // the name.
    core::IntrusivePointer<core::Resource> create(const core::String& name, ResourceData* data,
                                                  ProgressListener* listener) override;

    // Fills buffers of (numSegments + 1) x (numRings + 1) vertices and numRings x (numSegments + 1) x 6
    // indices into a mesh of one submesh without a material. Null for counts below 1, more vertices
    // than 16-bit indices reach, a radius of 0 or less or a missing buffer.
    core::IntrusivePointer<Mesh> createSkyDomeMesh(core::IntrusivePointer<render::VertexBuffer> vertexBuffer,
                                                   core::IntrusivePointer<render::IndexBuffer> indexBuffer,
                                                   const core::math::Sphere& sphere, int numSegments,
                                                   int numRings, float textureScale);
    // Makes the buffers (none for the cases above) and gives the submesh the material, or without one
    // the engine's clamped, untextured sky-box material.
    core::IntrusivePointer<Mesh> createSkyDomeMesh(const core::math::Sphere& sphere, int numSegments,
                                                   int numRings, float textureScale,
                                                   core::IntrusivePointer<material::Material> material);

    static bool valid(const core::math::Sphere& sphere, int numSegments, int numRings);
};

} // namespace rezezaz::scene
