#pragma once

#include "content/ProceduralMeshCreator.h"

namespace rezezaz::scene {

// Makes tori lying in the XY plane around the z axis as one non-indexed triangle strip that runs
// through the ring steps in order, facing outward. Made by the engine while it installs its handlers
// and kept for its life. It uses no index accessor.
class TorusMeshCreator : public ProceduralMeshCreator
{
public:
    explicit TorusMeshCreator(Engine* engine);

    // Ring radius 1, tube radius 0.5, 16 steps around each, with the default material, carrying the name.
    core::IntrusivePointer<core::Resource> create(const core::String& name, ResourceData* data,
                                                  ProgressListener* listener) override;

    // Null, with no buffer made, for steps below 1, a vertex count beyond 32 bits, a tube radius of 0
    // or less or a negative ring radius; a null material becomes a new default diffuse one. The
    // bound's radius is ring radius plus tube radius, so that it holds the whole tube.
    core::IntrusivePointer<Mesh> createTorusMesh(float ringRadius, float tubeRadius, int ringSteps,
                                                 int tubeSteps,
                                                 core::IntrusivePointer<material::Material> material);
    // Fills a buffer of 2 x ringSteps x (tubeSteps + 1) vertices; null as above and for a missing buffer.
    core::IntrusivePointer<Mesh> createTorusMesh(core::IntrusivePointer<render::VertexBuffer> vertexBuffer,
                                                 float ringRadius, float tubeRadius, int ringSteps,
                                                 int tubeSteps);

    static int64_t vertexCount(int ringSteps, int tubeSteps)
    {
        return 2 * int64_t(ringSteps) * (int64_t(tubeSteps) + 1);
    }
};

} // namespace rezezaz::scene
