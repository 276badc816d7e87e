#include "scene/Mesh.h"

#include "core/DestroyHeld.h"
#include "render/VertexBufferAccessor.h"
#include "scene/SkinningLayout.h"

#include <algorithm>

namespace rezezaz::scene {

using core::IntrusivePointer;
using core::math::Vector3;

void Mesh::destroy()
{
    core::destroyHeld(staticVertexData);
    for (int i = 0; i < subMeshes.size(); ++i) {
        if (subMeshes[i] && subMeshes[i]->indexData) {
            subMeshes[i]->indexData->destroy();
        }
    }
    subMeshes.clear();
    skeleton = nullptr;
    for (int i = 0; i < vertexBoneAssignments.size(); ++i) {
        vertexBoneAssignments[i].clear();
    }
    vertexBoneAssignments.clear();
    ++vertexBoneAssignmentsVersion;
    core::BaseResource::destroy();
}

void Mesh::setTransform(IntrusivePointer<Transform> transform)
{
    this->transform = transform;
}

void Mesh::setBound(IntrusivePointer<Bound> bound)
{
    this->bound = bound;
}

void Mesh::addSubMesh(IntrusivePointer<SubMesh> subMesh)
{
    subMeshes.add(subMesh);
}

void Mesh::removeSubMesh(IntrusivePointer<SubMesh> subMesh)
{
    subMeshes.remove(subMesh);
}

void Mesh::setStaticVertexData(IntrusivePointer<render::VertexData> vertexData)
{
    // Destroying the data held already would destroy the caller's own.
    if (vertexData == staticVertexData) {
        return;
    }
    IntrusivePointer<render::VertexData> old = staticVertexData;
    staticVertexData = vertexData;
    if (old) {
        old->destroy();
    }
}

void Mesh::setSkeleton(IntrusivePointer<Skeleton> skeleton)
{
    this->skeleton = skeleton;
}

void Mesh::setVertexBoneAssignments(const core::Collection<BoneAssignmentList>& assignments)
{
    vertexBoneAssignments = assignments;
    ++vertexBoneAssignmentsVersion;
}

void Mesh::compile()
{
    compileBoneBounds();
}

void Mesh::compileBoneBounds()
{
    if (!skeleton || !staticVertexData || staticVertexData->vertexBuffers.size() == 0) {
        return;
    }
    render::VertexBuffer* buffer = staticVertexData->vertexBuffers[0].get();
    const SkinningLayout layout = SkinningLayout::describe(buffer);
    if (!layout.hasPosition()) {
        return;
    }
    render::VertexBufferAccessor accessor(buffer, render::Buffer::Access_READ);
    if (accessor.data == nullptr) {
        return;
    }
    const int boneCount = skeleton->bones.size();
    core::Collection<bool> seen;
    seen.resize(boneCount, false);
    const int vertices = std::min(vertexBoneAssignments.size(), layout.vertexCount);
    for (int v = 0; v < vertices; ++v) {
        const BoneAssignmentList& list = vertexBoneAssignments[v];
        if (list.size() == 0) {
            continue;
        }
        const Vector3 p = layout.read(accessor.data, v, layout.positionOffset);
        for (int a = 0; a < list.size(); ++a) {
            const int index = list[a].bone;
            if (index >= boneCount || !skeleton->bones[index]) {
                continue;
            }
            Skeleton::Bone& bone = *skeleton->bones[index];
            const Vector3 q = bone.worldToBoneRotate * p + bone.worldToBoneTranslate;
            if (!seen[index]) {
                seen[index] = true;
                bone.bound.minimum = q;
                bone.bound.maximum = q;
            } else {
                core::math::AABox& box = bone.bound;
                box.minimum = Vector3(std::min(box.minimum.x, q.x), std::min(box.minimum.y, q.y),
                                      std::min(box.minimum.z, q.z));
                box.maximum = Vector3(std::max(box.maximum.x, q.x), std::max(box.maximum.y, q.y),
                                      std::max(box.maximum.z, q.z));
            }
        }
    }
}

} // namespace rezezaz::scene
