#pragma once

#include "core/Collection.h"
#include "core/IntrusivePointer.h"
#include "core/SharedPointer.h"
#include "core/String.h"
#include "core/math/AABox.h"
#include "core/math/Quaternion.h"
#include "core/math/Vector3.h"
#include "render/IndexData.h"
#include "render/VertexBuffer.h"
#include "render/VertexData.h"
#include "scene/Animatable.h"
#include "scene/Attachable.h"
#include "scene/BaseComponent.h"
#include "scene/Bound.h"
#include "scene/Renderable.h"
#include "scene/Sequence.h"
#include "scene/Skeleton.h"
#include "scene/Spacial.h"
#include "scene/Transform.h"
#include "scene/TransformListener.h"
#include "scene/action/BaseAnimation.h"
#include "scene/material/Material.h"

#include <cstdint>

namespace rezezaz::scene {

class Engine;

// The per-node instance of a skeleton: one pose record per bone, one animation per sequence of the
// skeleton, and every frame the bone-space transforms that software skinning applies to the bind-pose
// vertices. It offers its bones as attachment points, bounds all bones, and can draw the skeleton for
// debugging. Made and owned by a mesh component (or an application), attached to the same node; it
// owns its bones, animations and debug resources and holds the skeleton.
class SkeletonComponent : public BaseComponent,
                          public TransformListener,
                          public Spacial,
                          public Renderable,
                          public Attachable,
                          public Animatable
{
public:
    class BoneController;

    // The pose of one bone in the component's space.
    struct alignas(16) Bone
    {
        enum KeepFlag : int32_t
        {
            // The sampled or bind translate no longer overwrites the bone's.
            Keep_TRANSLATE = 1,
            Keep_ROTATE = 2,
            // World values come from the bind pose on the parent's world values.
            Keep_WORLD = 4,
        };

        int32_t index = 0;
        core::math::Vector3 localTranslate;
        core::math::Quaternion localRotate;
        core::math::Vector3 worldTranslate;
        core::math::Quaternion worldRotate;
        core::math::AABox worldBox;
        core::math::Vector3 boneSpaceTranslate;
        core::math::Quaternion boneSpaceRotate;
        // Matched against each animation's scope.
        int32_t scope = -1;
        // Not owned; when set it replaces the sequence sampling for this bone.
        BoneController* controller = nullptr;
        int32_t keepFlags = 0;
    };

    // Poses a bone instead of the sequences; returns the keep flags the sampling would return.
    class BoneController
    {
    public:
        virtual ~BoneController() = default;
        virtual int updateBoneTransformation(Bone* bone) = 0;
    };

    // Plays one sequence of the skeleton on the component's bones. Its value is the play time in the
    // sequence's key-time units; setters only store, the next frame update poses the bones.
    class SequenceAnimation : public action::BaseAnimation
    {
    public:
        SequenceAnimation(Sequence* sequence, int boneCount);

        const core::String& getName() const override;
        void setValue(float value) override { this->value = value; }
        float getMinValue() const override { return 0.0f; }
        float getMaxValue() const override { return sequence ? sequence->length : 0.0f; }
        float getValue() const override { return value; }
        void setWeight(float weight) override { this->weight = weight; }
        float getWeight() const override { return weight; }
        void setScope(int scope) override { this->scope = scope; }
        int getScope() const override { return scope; }

        core::IntrusivePointer<Sequence> sequence;
        float value = 0.0f;
        float weight = 0.0f;
        int32_t scope = -1;
        // One search hint per bone.
        core::Collection<int32_t> keyHints;
    };

    SkeletonComponent(Engine* engine, Skeleton* skeleton);
    ~SkeletonComponent() override;

    // Lets go of the debug drawing, then leaves the node.
    void destroy() override;

    const core::Type<Component>* getType() const override;
    void parentChanged(Node* parent) override;
    void frameUpdate(int dt, int scope) override;
    bool getActive() override { return true; }

    // Poses every bone from its controller or the sequences, then bounds them.
    void updateBones();

    int getBoneIndex(const core::String& name) const;
    core::String getBoneName(int index) const;
    // index -1 stands for every root bone; recurse carries the scope down to the descendants.
    void setBoneScope(int index, int scope, bool recurse);
    // Debug drawing of bone points, parent lines and bone boxes.
    void setRenderSkeleton(bool on);
    // Copies translate, scale and rotate (the identity for null) into the own transform.
    void setTransform(Transform* transform);

    Transform* getTransform() override { return transform.get(); }
    Bound* getBound() override { return bound.get(); }
    Transform* getWorldTransform() override { return worldTransform.get(); }
    Bound* getWorldBound() override { return worldBound.get(); }
    void transformChanged(Transform* changed) override;

    // The debug material: null while the debug drawing is off.
    material::Material* getRenderMaterial() override { return debugMaterial.get(); }
    Transform* getRenderTransform() override { return worldTransform.get(); }
    Bound* getRenderBound() override { return worldBound.get(); }
    void render(RenderManager* manager) override;

    int getNumAttachments() override { return bones.size(); }
    core::String getAttachmentName(int index) override { return getBoneName(index); }
    int getAttachmentIndex(const core::String& name) override { return getBoneIndex(name); }
    bool getAttachmentTransform(Transform* transform, int index) override;

    int getNumAnimations() override { return animations.size(); }
    action::Animation* getAnimation(const core::String& name) override;
    action::Animation* getAnimation(int index) override;

    Skeleton* getSkeleton() const { return skeleton.get(); }
    int getNumBones() const { return bones.size(); }
    Bone* getBone(int index) const { return index >= 0 && index < bones.size() ? bones[index].get() : nullptr; }
    // The scene frame of the last pose; -1 without a node or a scene.
    int getLastUpdateFrame() const { return lastUpdateFrame; }

    render::VertexData* getBonePointVertexData() const { return pointVertexData.get(); }
    render::IndexData* getBoneLineIndexData() const { return lineIndexData.get(); }
    render::VertexData* getBoneBoxVertexData() const { return boxVertexData.get(); }
    render::IndexData* getBoneBoxIndexData() const { return boxIndexData.get(); }

protected:
    void updateBone(Bone& bone);
    // The sequence sampling; returns the bone's keep flags, or 3 once an animation reached the bone.
    int updateBoneTransformation(Bone& bone);
    void createSkeletonBuffers();
    void updateSkeletonBuffers();
    void destroySkeletonBuffers();

private:
    // The skeleton's bone at index, or a bind pose at the origin when the skeleton holds none there.
    const Skeleton::Bone& skeletonBone(int index) const;

    Engine* engine;
    core::IntrusivePointer<Skeleton> skeleton;
    core::Collection<core::SharedPointer<Bone>> bones;
    core::IntrusivePointer<Transform> transform;
    core::IntrusivePointer<Bound> bound;
    core::IntrusivePointer<Transform> worldTransform;
    core::IntrusivePointer<Bound> worldBound;
    int32_t lastUpdateFrame = -1;
    core::Collection<core::IntrusivePointer<SequenceAnimation>> animations;
    // Each bone's parent as posing uses it (-1 for a root).
    core::Collection<int32_t> parents;

    core::IntrusivePointer<material::Material> debugMaterial;
    core::IntrusivePointer<render::VertexBuffer> pointVertexBuffer;
    core::IntrusivePointer<render::IndexData> lineIndexData;
    core::IntrusivePointer<render::VertexData> pointVertexData;
    core::IntrusivePointer<render::VertexBuffer> boxVertexBuffer;
    core::IntrusivePointer<render::VertexData> boxVertexData;
    core::IntrusivePointer<render::IndexData> boxIndexData;
};

} // namespace rezezaz::scene
