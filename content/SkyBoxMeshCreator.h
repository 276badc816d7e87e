#pragma once

#include "content/ProceduralMeshCreator.h"

namespace rezezaz::scene {

// Makes the cube that surrounds the viewer as a sky, centred on the origin and facing inward, without
// normals: six submeshes of one face each for six face textures, or one submesh for one texture that
// holds the faces in a cross of 4 by 3 cells. Made by the engine while it installs its handlers and
// kept for its life.
class SkyBoxMeshCreator : public ProceduralMeshCreator
{
public:
    explicit SkyBoxMeshCreator(Engine* engine);

    // Size 1, separate faces, no flip and no materials, carrying the name.
    core::IntrusivePointer<core::Resource> create(const core::String& name, ResourceData* data,
                                                  ProgressListener* listener) override;

    // size is half the edge. The materials are set as given, null ones included; with the cross layout
    // only the first is used and flipV has no effect. Null when the buffer manager makes no buffers.
    core::IntrusivePointer<Mesh> createSkyBoxMesh(float size, bool crossLayout, bool flipV,
                                                  core::IntrusivePointer<material::Material> material0,
                                                  core::IntrusivePointer<material::Material> material1,
                                                  core::IntrusivePointer<material::Material> material2,
                                                  core::IntrusivePointer<material::Material> material3,
                                                  core::IntrusivePointer<material::Material> material4,
                                                  core::IntrusivePointer<material::Material> material5);
};

} // namespace rezezaz::scene
