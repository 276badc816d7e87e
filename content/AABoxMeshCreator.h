#pragma once

#include "content/ProceduralMeshCreator.h"
#include "core/math/AABox.h"

namespace rezezaz::scene {

// Makes closed axis-aligned boxes: one submesh of twelve triangles, each face with four vertices of its
// own so that it carries a flat outward normal and a whole 0-to-1 texture square. Made by the engine
// while it installs its handlers and kept for its life.
class AABoxMeshCreator : public ProceduralMeshCreator
{
public:
    explicit AABoxMeshCreator(Engine* engine);

    // The box from (-1, -1, -1) to (1, 1, 1) with the default material, carrying the name.
    core::IntrusivePointer<core::Resource> create(const core::String& name, ResourceData* data,
                                                  ProgressListener* listener) override;

    // The corners are taken as given (not sorted). A null material becomes a new default diffuse one.
    // Null when the buffer manager makes no buffers.
    core::IntrusivePointer<Mesh> createAABoxMesh(const core::math::AABox& box,
                                                 core::IntrusivePointer<material::Material> material);
};

} // namespace rezezaz::scene
