#pragma once

#include "core/Collection.h"
#include "core/IntrusivePointer.h"
#include "core/Object.h"
#include "core/String.h"
#include "render/IndexData.h"
#include "render/RenderState.h"
#include "render/VertexData.h"
#include "scene/Attachable.h"
#include "scene/BaseComponent.h"
#include "scene/Bound.h"
#include "scene/Mesh.h"
#include "scene/Renderable.h"
#include "scene/SkeletonComponent.h"
#include "scene/Spacial.h"
#include "scene/Transform.h"
#include "scene/TransformListener.h"
#include "scene/Visible.h"
#include "scene/material/Material.h"

#include <cstdint>
#include <vector>

namespace rezezaz::scene {

class Engine;

// Puts one mesh on a node: every submesh of the mesh becomes a renderable with its own material and
// vertex source, queued for the cameras that see it. When the mesh has a skeleton the component owns
// a skeleton component on the same node and skins the mesh's vertices in software into a vertex
// buffer of its own in every frame in which the skeleton moved. All its materials can share one
// render state (to fade a model as a whole). Owned by its node; holds the mesh, owns the rest.
class MeshComponent : public BaseComponent, public TransformListener, public Spacial, public Visible, public Attachable
{
public:
    // One draw of the component: a submesh of the mesh with the component's material and vertices.
    class SubMesh : public core::Object, public Renderable
    {
    public:
        SubMesh() = default;

        material::Material* getRenderMaterial() override { return material.get(); }
        Transform* getRenderTransform() override;
        Bound* getRenderBound() override;
        void render(RenderManager* manager) override;

        core::IntrusivePointer<material::Material> material;
        core::IntrusivePointer<render::IndexData> indexData;
        core::IntrusivePointer<render::VertexData> vertexData;
        MeshComponent* component = nullptr;
        // Kept alive by the owner's mesh.
        Mesh::SubMesh* meshSubMesh = nullptr;
        // Present only when the mesh submesh has a transform of its own.
        core::IntrusivePointer<Transform> transform;
        core::IntrusivePointer<Transform> worldTransform;
        core::IntrusivePointer<Bound> worldBound;
        int32_t scope = -1;
    };

    // One bone that moves a vertex, as skinning reads it.
    struct Influence
    {
        // The bone's entry in the columns, in bytes from their start.
        int32_t boneOffset;
        float weight;
    };
    // A bone's map v -> R v + T as four columns (R's three, then T), each of four floats: the first
    // three carry T's components in their fourth lanes, T's is 0.
    struct alignas(16) BoneColumns
    {
        float c[4][4];
    };

    explicit MeshComponent(Engine* engine);
    ~MeshComponent() override;

    void destroy() override;

    const core::Type<Component>* getType() const override;
    void parentChanged(Node* parent) override;
    void frameUpdate(int dt, int scope) override;
    // True while the component has a skeleton: it keeps its node awake.
    bool getActive() override { return skeleton.get() != nullptr; }

    // The mesh of that name from the engine's mesh manager; none when it is not found.
    void setMesh(const core::String& name);
    // Rebuilds the component for mesh (null: no mesh).
    void setMesh(Mesh* mesh);
    Mesh* getMesh() const { return mesh.get(); }
    // Copies the transform (the identity for null) and passes it on to the skeleton component.
    void setTransform(core::IntrusivePointer<Transform> transform);
    // Copies the bound (empty for null); nothing is recomputed.
    void setBound(core::IntrusivePointer<Bound> bound);
    // The first submesh whose mesh submesh has that name.
    SubMesh* getSubMesh(const core::String& name) const;
    int getNumSubMeshes() const { return subMeshes.size(); }
    SubMesh* getSubMesh(int index) const { return subMeshes[index].get(); }
    void setSkeleton(SkeletonComponent* skeleton) { this->skeleton = skeleton; }
    SkeletonComponent* getSkeleton() const { return skeleton.get(); }
    // The skinned copy of the static vertex data; null when the mesh is not skinned.
    render::VertexData* getDynamicVertexData() const { return dynamicVertexData.get(); }

    // Makes the buffer that skinning writes into, a copy of the static vertices.
    void createVertexBuffer();
    // Software skinning of the static vertices into the dynamic buffer.
    void updateVertexBuffer();

    Transform* getTransform() override { return transform.get(); }
    Bound* getBound() override { return bound.get(); }
    Transform* getWorldTransform() override { return worldTransform.get(); }
    Bound* getWorldBound() override { return worldBound.get(); }
    void transformChanged(Transform* changed) override;

    bool getRendered() override { return rendered; }
    void setRendered(bool rendered) override { this->rendered = rendered; }
    // Null makes a new state, starting as a copy of the first submesh's material states.
    void setSharedRenderState(render::RenderState* state) override;
    render::RenderState* getSharedRenderState() override { return sharedRenderState.get(); }
    void gatherRenderables(Camera* camera, RenderableSet* set) override;

    int getNumAttachments() override;
    core::String getAttachmentName(int index) override;
    int getAttachmentIndex(const core::String& name) override;
    bool getAttachmentTransform(Transform* transform, int index) override;

private:
    // Why the mesh cannot be skinned; empty when it can.
    core::String skinningProblem() const;
    void updateSubMeshWorld();

    Engine* engine;
    bool rendered = true;
    core::IntrusivePointer<Mesh> mesh;
    core::Collection<core::IntrusivePointer<SubMesh>> subMeshes;
    core::IntrusivePointer<render::RenderState> sharedRenderState;
    core::IntrusivePointer<SkeletonComponent> skeleton;
    core::IntrusivePointer<render::VertexData> dynamicVertexData;
    core::IntrusivePointer<Transform> transform;
    core::IntrusivePointer<Bound> bound;
    core::IntrusivePointer<Transform> worldTransform;
    core::IntrusivePointer<Bound> worldBound;
    // Gathers the mesh's assignment lists into influences, one run per vertex.
    void gatherInfluences();

    // One entry per bone and a zero one, rebuilt each time the vertices are skinned.
    std::vector<BoneColumns> boneColumns;
    // The mesh's assignment lists laid end to end: vertex i's run starts at influenceStarts[i]; gathered
    // again when the mesh's lists are set anew.
    std::vector<int32_t> influenceStarts;
    std::vector<Influence> influences;
    int influenceBoneCount = -1;
    // Vertices whose list is empty.
    int influenceGaps = 0;
    // The number of influences of every vertex when all have the same, else 0.
    int influenceUniform = 0;
    // Every weight is 1.
    bool influenceUnitWeights = false;
    uint32_t assignmentsVersion = 0;
};

} // namespace rezezaz::scene
