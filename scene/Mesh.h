#pragma once

#include "core/BaseResource.h"
#include "core/Collection.h"
#include "core/IntrusivePointer.h"
#include "core/String.h"
#include "render/IndexData.h"
#include "render/VertexData.h"
#include "scene/Bound.h"
#include "scene/Skeleton.h"
#include "scene/Transform.h"
#include "scene/material/Material.h"

#include <cstdint>

namespace rezezaz::scene {

// The shareable description of a renderable model: submeshes, each one draw with its own index data
// and material, over one static vertex data, with an optional skeleton and the bones that move each
// vertex. A resource of the engine's mesh manager, built by the TMSH reader and the mesh creators and
// shown by mesh components; rendering never changes it (skinned vertices and world bounds live in the
// component). Owns what it holds.
class Mesh : public core::BaseResource
{
public:
    // One bone that moves a vertex, and how much; stored raw by the TMSH format.
    struct VertexBoneAssignment
    {
        uint16_t bone = 0;
        float weight = 1.0f;
    };
    static_assert(sizeof(VertexBoneAssignment) == 8, "a bone assignment is stored raw: u16 bone, 2 pad bytes, f32 weight");

    // One draw of the mesh. Its resource name is the submesh name.
    class SubMesh : public core::BaseResource
    {
    public:
        SubMesh() = default;

        // Null: the submesh draws from the mesh's static vertex data.
        core::IntrusivePointer<render::VertexData> vertexData;
        core::IntrusivePointer<render::IndexData> indexData;
        core::IntrusivePointer<material::Material> material;
        // The material the submesh refers to by name; empty when the material came with the mesh.
        core::String materialName;
        core::IntrusivePointer<Transform> transform;
        core::IntrusivePointer<Bound> bound;
    };

    using BoneAssignmentList = core::Collection<VertexBoneAssignment>;

    Mesh() = default;

    // Destroys the static vertex data and the submeshes' index data, drops the submeshes, the skeleton
    // and the bone assignments, then tells the destroyed-listener. Transform and bound stay.
    void destroy() override;

    // Shared, not copied; null is allowed.
    virtual void setTransform(core::IntrusivePointer<Transform> transform);
    virtual void setBound(core::IntrusivePointer<Bound> bound);
    virtual void addSubMesh(core::IntrusivePointer<SubMesh> subMesh);
    // Removes the first entry that is subMesh; nothing when it is absent.
    virtual void removeSubMesh(core::IntrusivePointer<SubMesh> subMesh);
    // A different vertex data held before is destroyed; the one already held is kept as it is.
    virtual void setStaticVertexData(core::IntrusivePointer<render::VertexData> vertexData);
    // The old skeleton is released, not destroyed.
    virtual void setSkeleton(core::IntrusivePointer<Skeleton> skeleton);
    // List i holds the bones that move vertex i of the static vertex data. The lists are changed only
    // through here, so that a component skinning the mesh always works from the lists as they are.
    virtual void setVertexBoneAssignments(const core::Collection<BoneAssignmentList>& assignments);
    const core::Collection<BoneAssignmentList>& getVertexBoneAssignments() const { return vertexBoneAssignments; }

    // The builder's last step: compileBoneBounds.
    void compile();
    // Each bone's box becomes the smallest box around the bone-space positions of the vertices
    // assigned to it; a bone that no vertex names keeps its box. Assignments naming no bone of the
    // skeleton are skipped, and lists beyond the vertex count are not read.
    void compileBoneBounds();

    // Counts the changes of the assignment lists (each setVertexBoneAssignments, and destroy), so that
    // a component knows its copy of the lists is stale.
    uint32_t getVertexBoneAssignmentsVersion() const { return vertexBoneAssignmentsVersion; }

    int getNumSubMeshes() const { return subMeshes.size(); }
    SubMesh* getSubMesh(int index) const { return subMeshes[index].get(); }

    core::IntrusivePointer<Transform> transform;
    core::IntrusivePointer<Bound> bound;
    core::Collection<core::IntrusivePointer<SubMesh>> subMeshes;
    core::IntrusivePointer<render::VertexData> staticVertexData;
    core::IntrusivePointer<Skeleton> skeleton;

private:
    core::Collection<BoneAssignmentList> vertexBoneAssignments;
    uint32_t vertexBoneAssignmentsVersion = 1;
};

} // namespace rezezaz::scene
