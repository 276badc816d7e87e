#pragma once

#include "content/ProceduralMeshCreator.h"

namespace rezezaz::scene {

// Makes flat grids in the XY plane, centred on the origin and facing +z: nx by ny vertices drawn as
// one triangle strip that snakes back and forth over the rows. Made by the engine while it installs
// its handlers and kept for its life.
class GridMeshCreator : public ProceduralMeshCreator
{
public:
    explicit GridMeshCreator(Engine* engine);

    // A 1 by 1 grid of 4 by 4 vertices with the default material, carrying the name.
    core::IntrusivePointer<core::Resource> create(const core::String& name, ResourceData* data,
                                                  ProgressListener* listener) override;

    // Null, with no buffer made, for nx or ny below 2 or more than 65536 vertices, or a negative
    // width or height; a null material
    // becomes a new default diffuse one.
    core::IntrusivePointer<Mesh> createGridMesh(float width, float height, int nx, int ny,
                                                core::IntrusivePointer<material::Material> material);
    // Fills buffers of nx x ny vertices and 2 nx (ny - 1) + ny - 2 indices; null for counts as above
    // and for a missing buffer.
    core::IntrusivePointer<Mesh> createGridMesh(core::IntrusivePointer<render::VertexBuffer> vertexBuffer,
                                                core::IntrusivePointer<render::IndexBuffer> indexBuffer,
                                                float width, float height, int nx, int ny);

    static bool countsValid(int nx, int ny);
    // Neither side negative (nor not a number).
    static bool sizesValid(float width, float height);
    static int64_t indexCount(int nx, int ny) { return 2 * int64_t(nx) * (ny - 1) + (ny - 2); }
};

} // namespace rezezaz::scene
