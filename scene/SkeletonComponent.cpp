#include "scene/SkeletonComponent.h"

#include "core/DestroyHeld.h"
#include "core/NonInstantiableType.h"
#include "core/math/Math.h"
#include "render/DepthState.h"
#include "render/GeometryState.h"
#include "render/IndexBufferAccessor.h"
#include "render/RenderDevice.h"
#include "render/RenderState.h"
#include "render/VertexBufferAccessor.h"
#include "scene/BufferManager.h"
#include "scene/Engine.h"
#include "scene/MaterialManager.h"
#include "scene/Node.h"
#include "scene/RenderManager.h"
#include "scene/Scene.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace rezezaz::scene {

using core::IntrusivePointer;
using core::math::AABox;
using core::math::Math;
using core::math::Quaternion;
using core::math::Vector3;
using render::VertexFormat;

namespace {

// Reads count components of element `element` of key `key` of track into out, as floats. False
// when the element does not hold that many float or 16.16 components inside the key's record.
bool readKey(const Track& track, int element, int count, int key, float* out)
{
    const VertexFormat& format = *track.format;
    const int code = format.getElementFormat(element);
    const int type = VertexFormat::getFormatType(code);
    if (VertexFormat::getFormatCount(code) < count ||
        (type != VertexFormat::Type_FLOAT32 && type != VertexFormat::Type_FIXED32)) {
        return false;
    }
    const int stride = format.getVertexSize();
    const int offset = format.getElementOffset(element);
    if (offset < 0 || offset + count * 4 > stride ||
        int64_t(key + 1) * stride > int64_t(track.data.size())) {
        return false;
    }
    const unsigned char* at = &track.data[0] + int64_t(key) * stride + offset;
    if (type == VertexFormat::Type_FIXED32) {
        for (int i = 0; i < count; ++i) {
            int32_t v;
            std::memcpy(&v, at + 4 * i, 4);
            out[i] = float(v) / 65536.0f;
        }
    } else {
        std::memcpy(out, at, size_t(count) * 4);
    }
    return true;
}

AABox widen(const AABox& a, const AABox& b)
{
    return AABox(Vector3(std::min(a.minimum.x, b.minimum.x), std::min(a.minimum.y, b.minimum.y),
                         std::min(a.minimum.z, b.minimum.z)),
                 Vector3(std::max(a.maximum.x, b.maximum.x), std::max(a.maximum.y, b.maximum.y),
                         std::max(a.maximum.z, b.maximum.z)));
}

} // namespace

SkeletonComponent::SequenceAnimation::SequenceAnimation(Sequence* sequence, int boneCount) : sequence(sequence)
{
    keyHints.resize(boneCount, 0);
}

const core::String& SkeletonComponent::SequenceAnimation::getName() const
{
    return sequence ? sequence->getName() : name;
}

SkeletonComponent::SkeletonComponent(Engine* engine, Skeleton* skeleton)
    : engine(engine), skeleton(skeleton), transform(new Transform(this)), bound(new Bound()),
      worldTransform(new Transform()), worldBound(new Bound())
{
    const int boneCount = skeleton != nullptr ? skeleton->bones.size() : 0;
    bones.reserve(boneCount);
    parents.reserve(boneCount);
    for (int i = 0; i < boneCount; ++i) {
        core::SharedPointer<Bone> b(new Bone());
        b->index = i;
        bones.add(b);
        parents.add(skeleton->getParentIndex(i));
    }
    const int sequenceCount = skeleton != nullptr ? skeleton->sequences.size() : 0;
    for (int i = 0; i < sequenceCount; ++i) {
        animations.add(new SequenceAnimation(skeleton->sequences[i].get(), boneCount));
    }
    updateBones();
}

SkeletonComponent::~SkeletonComponent() = default;

void SkeletonComponent::destroy()
{
    debugMaterial = nullptr;
    destroySkeletonBuffers();
    BaseComponent::destroy();
}

const core::Type<Component>* SkeletonComponent::getType() const
{
    static const core::NonInstantiableType<SkeletonComponent, Component> type{core::String("SkeletonComponent")};
    return &type;
}

const Skeleton::Bone& SkeletonComponent::skeletonBone(int index) const
{
    static const Skeleton::Bone bindAtOrigin;
    const Skeleton::Bone* b = skeleton && index < skeleton->bones.size() ? skeleton->bones[index].get() : nullptr;
    return b != nullptr ? *b : bindAtOrigin;
}

void SkeletonComponent::parentChanged(Node* node)
{
    if (parent != nullptr) {
        parent->spacialRemoved(this);
        parent->animatableRemoved(this);
    }
    BaseComponent::parentChanged(node);
    if (parent != nullptr) {
        parent->spacialAttached(this);
        parent->animatableAttached(this);
    } else {
        lastUpdateFrame = -1;
    }
}

void SkeletonComponent::frameUpdate(int, int)
{
    updateBones();
}

void SkeletonComponent::updateBones()
{
    for (int i = 0; i < bones.size(); ++i) {
        updateBone(*bones[i]);
    }
    AABox box;
    if (bones.size() > 0) {
        box = bones[0]->worldBox;
        for (int i = 1; i < bones.size(); ++i) {
            box = widen(box, bones[i]->worldBox);
        }
    }
    bound->setBox(box);
    if (debugMaterial) {
        updateSkeletonBuffers();
    }
    if (parent != nullptr) {
        parent->activate();
        Scene* scene = parent->getScene();
        // Without a scene there is no frame to count: the mesh then skins every frame.
        lastUpdateFrame = scene != nullptr ? scene->getFrame() : -1;
    } else {
        lastUpdateFrame = -1;
    }
}

void SkeletonComponent::updateBone(Bone& bone)
{
    const Skeleton::Bone& s = skeletonBone(bone.index);
    const Bone* p = parents[bone.index] >= 0 ? bones[parents[bone.index]].get() : nullptr;
    const int flags = bone.controller != nullptr ? bone.controller->updateBoneTransformation(&bone)
                                                 : updateBoneTransformation(bone);
    const bool keepTranslate = (flags & Bone::Keep_TRANSLATE) != 0;
    const bool keepRotate = (flags & Bone::Keep_ROTATE) != 0;
    if ((flags & Bone::Keep_WORLD) == 0) {
        if (!keepRotate) {
            bone.localRotate = s.rotate;
        }
        if (!keepTranslate) {
            bone.localTranslate = s.translate;
        }
        if (p != nullptr) {
            bone.worldRotate = p->worldRotate * bone.localRotate;
            bone.worldTranslate = p->worldRotate * bone.localTranslate + p->worldTranslate;
        } else {
            bone.worldRotate = bone.localRotate;
            bone.worldTranslate = bone.localTranslate;
        }
    } else if (p != nullptr) {
        if (!keepRotate) {
            bone.worldRotate = p->worldRotate * s.rotate;
        }
        if (!keepTranslate) {
            bone.worldTranslate = p->worldRotate * s.translate + p->worldTranslate;
        }
    } else {
        if (!keepRotate) {
            bone.worldRotate = s.rotate;
        }
        if (!keepTranslate) {
            bone.worldTranslate = s.translate;
        }
    }
    bone.boneSpaceRotate = bone.worldRotate * s.worldToBoneRotate;
    bone.boneSpaceTranslate = bone.worldRotate * s.worldToBoneTranslate + bone.worldTranslate;
    Vector3 corners[8];
    Math::transformAABox(bone.worldBox, bone.worldRotate, s.bound, corners);
    bone.worldBox.minimum += bone.worldTranslate;
    bone.worldBox.maximum += bone.worldTranslate;
}

int SkeletonComponent::updateBoneTransformation(Bone& bone)
{
    int result = bone.keepFlags;
    for (int a = 0; a < animations.size(); ++a) {
        SequenceAnimation& animation = *animations[a];
        Track* track = animation.sequence ? animation.sequence->getTrack(bone.index) : nullptr;
        if (track == nullptr || !track->format || (animation.scope & bone.scope) == 0 || !(animation.weight > 0.0f)) {
            continue;
        }
        // A play time that is no number (NaN, or infinite) places the bone nowhere: the bone keeps its
        // bind pose, as with a track without keys, rather than turning every vertex it moves into NaN.
        if (!std::isfinite(animation.value)) {
            continue;
        }
        int key1 = -1;
        int key2 = -1;
        const float f = track->getKeyFramesAtTime(animation.value, key1, key2, animation.keyHints[bone.index]);
        if (key1 < 0 || key2 < 0 || !std::isfinite(f)) {
            continue;
        }
        const int translate = track->format->findElement(static_cast<int>(VertexFormat::Semantic_POSITION));
        if (translate >= 0 && (bone.keepFlags & Bone::Keep_TRANSLATE) == 0) {
            float a3[3];
            float b3[3];
            if (readKey(*track, translate, 3, key1, a3) && readKey(*track, translate, 3, key2, b3)) {
                const Vector3 sampled(a3[0] + (b3[0] - a3[0]) * f, a3[1] + (b3[1] - a3[1]) * f,
                                      a3[2] + (b3[2] - a3[2]) * f);
                // A time far before the first key reaches past what a float holds.
                if (std::isfinite(sampled.x) && std::isfinite(sampled.y) && std::isfinite(sampled.z)) {
                    bone.localTranslate = sampled;
                }
            }
        }
        const int rotate = track->format->findElement(7);
        if (rotate >= 0 && (bone.keepFlags & Bone::Keep_ROTATE) == 0) {
            float a4[4];
            float b4[4];
            if (readKey(*track, rotate, 4, key1, a4) && readKey(*track, rotate, 4, key2, b4)) {
                Quaternion q;
                Math::lerp(q, Quaternion(a4[0], a4[1], a4[2], a4[3]), Quaternion(b4[0], b4[1], b4[2], b4[3]), f);
                const float length = Math::length(q);
                if (length > 0.0f && std::isfinite(length)) {
                    bone.localRotate = q * (1.0f / length);
                } else if (length == 0.0f) {
                    bone.localRotate = q;
                }
            }
        }
        result = Bone::Keep_TRANSLATE | Bone::Keep_ROTATE;
    }
    return result;
}

int SkeletonComponent::getBoneIndex(const core::String& boneName) const
{
    for (int i = 0; i < bones.size(); ++i) {
        if (skeletonBone(i).name.equals(boneName)) {
            return i;
        }
    }
    return -1;
}

core::String SkeletonComponent::getBoneName(int index) const
{
    if (index < 0 || index >= bones.size()) {
        return core::String();
    }
    return skeletonBone(index).name;
}

void SkeletonComponent::setBoneScope(int index, int scope, bool recurse)
{
    if (index < -1 || index >= bones.size()) {
        return;
    }
    // Parents come before their children, so one pass in index order reaches every descendant.
    core::Collection<bool> chosen;
    chosen.resize(bones.size(), false);
    for (int i = std::max(index, 0); i < bones.size(); ++i) {
        const int p = parents[i];
        const bool start = index == -1 ? p < 0 : i == index;
        if (start || (recurse && p >= 0 && chosen[p])) {
            chosen[i] = true;
            bones[i]->scope = scope;
        }
    }
}

void SkeletonComponent::setTransform(Transform* source)
{
    transform->translate = source != nullptr ? source->translate : Vector3(0.0f, 0.0f, 0.0f);
    transform->scale = source != nullptr ? source->scale : Vector3(1.0f, 1.0f, 1.0f);
    transform->rotate = source != nullptr ? source->rotate : Math::IDENTITY_QUATERNION;
    transform->notify();
}

void SkeletonComponent::transformChanged(Transform* changed)
{
    if (parent == nullptr) {
        return;
    }
    worldTransform->setTransform(*parent->getWorldTransform(), *transform);
    worldBound->transform(*bound, *worldTransform);
    if (changed == transform.get()) {
        parent->boundChanged();
    }
}

void SkeletonComponent::render(RenderManager* manager)
{
    render::RenderDevice* device = manager != nullptr ? manager->getDevice() : nullptr;
    if (device == nullptr) {
        return;
    }
    if (pointVertexData && lineIndexData) {
        device->renderPrimitive(pointVertexData.get(), lineIndexData.get());
    }
    if (boxVertexData && boxIndexData) {
        device->renderPrimitive(boxVertexData.get(), boxIndexData.get());
    }
}

bool SkeletonComponent::getAttachmentTransform(Transform* t, int index)
{
    if (t == nullptr || index < 0 || index >= bones.size()) {
        return false;
    }
    t->setTranslate(bones[index]->worldTranslate);
    t->setRotate(bones[index]->worldRotate);
    return true;
}

action::Animation* SkeletonComponent::getAnimation(const core::String& animationName)
{
    for (int i = 0; i < animations.size(); ++i) {
        if (animations[i]->getName().equals(animationName)) {
            return animations[i].get();
        }
    }
    return nullptr;
}

action::Animation* SkeletonComponent::getAnimation(int index)
{
    return index >= 0 && index < animations.size() ? animations[index].get() : nullptr;
}

void SkeletonComponent::setRenderSkeleton(bool on)
{
    if (on && !debugMaterial) {
        IntrusivePointer<render::RenderState> state = engine->getMaterialManager()->createRenderState();
        if (state) {
            render::DepthState depth;
            depth.test = 0;
            depth.write = false;
            state->setDepthState(depth);
            render::GeometryState geometry;
            geometry.sprite = true;
            geometry.size = 8.0f;
            geometry.minSize = 0.0f;
            geometry.maxSize = 0.0f;
            state->setGeometryState(geometry);
            debugMaterial = engine->createDiffuseMaterial(nullptr, state.get());
        }
    } else if (!on) {
        core::destroyHeld(debugMaterial);
    }
    destroySkeletonBuffers();
    if (debugMaterial) {
        createSkeletonBuffers();
    }
}

void SkeletonComponent::createSkeletonBuffers()
{
    BufferManager* buffers = engine->getBufferManager();
    const int count = bones.size();
    if (count >= 2) {
        IntrusivePointer<render::IndexBuffer> lines =
            buffers->createIndexBuffer(1, 2, render::IndexBuffer::IndexFormat_UINT16, 2 * (count - 1));
        if (lines) {
            unsigned char* data = lines->lock(render::Buffer::Access_WRITE);
            if (data != nullptr) {
                for (int i = 1; i < count; ++i) {
                    const uint16_t pair[2] = {uint16_t(std::max(parents[i], 0)), uint16_t(i)};
                    std::memcpy(data + 4 * (i - 1), pair, sizeof(pair));
                }
            }
            lines->unlock();
            lineIndexData = new render::IndexData(render::IndexData::Primitive_LINES, lines);
        }
    }
    IntrusivePointer<VertexFormat> position = engine->getVertexFormats().POSITION;
    pointVertexBuffer = buffers->createVertexBuffer(4, 2, position, count);
    if (pointVertexBuffer) {
        pointVertexData = new render::VertexData(pointVertexBuffer);
    }
    boxVertexBuffer = buffers->createVertexBuffer(2, 2, position, 8 * count);
    if (boxVertexBuffer) {
        boxVertexData = new render::VertexData(boxVertexBuffer);
        boxIndexData = new render::IndexData(render::IndexData::Primitive_LINES, nullptr, 0, boxVertexBuffer->getSize());
    }
    updateSkeletonBuffers();
}

void SkeletonComponent::updateSkeletonBuffers()
{
    if (pointVertexBuffer) {
        render::VertexBufferAccessor points(pointVertexBuffer.get(), render::Buffer::Access_WRITE);
        if (points.data != nullptr) {
            const int count = std::min(bones.size(), pointVertexBuffer->getSize());
            for (int i = 0; i < count; ++i) {
                points.set(i, 0, bones[i]->worldTranslate);
            }
        }
    }
    if (boxVertexBuffer) {
        render::VertexBufferAccessor boxes(boxVertexBuffer.get(), render::Buffer::Access_WRITE);
        if (boxes.data != nullptr) {
            const int count = std::min(bones.size(), boxVertexBuffer->getSize() / 8);
            for (int i = 0; i < count; ++i) {
                const AABox& b = bones[i]->worldBox;
                for (int corner = 0; corner < 8; ++corner) {
                    boxes.set3(8 * i + corner, 0, (corner & 1) ? b.maximum.x : b.minimum.x,
                               (corner & 2) ? b.maximum.y : b.minimum.y, (corner & 4) ? b.maximum.z : b.minimum.z);
                }
            }
        }
    }
}

void SkeletonComponent::destroySkeletonBuffers()
{
    // Each is let go of before it is destroyed, so a destroy that reaches back here finds it gone.
    core::destroyHeld(pointVertexBuffer);
    core::destroyHeld(lineIndexData);
    core::destroyHeld(pointVertexData);
    core::destroyHeld(boxVertexBuffer);
    core::destroyHeld(boxVertexData);
    core::destroyHeld(boxIndexData);
}

} // namespace rezezaz::scene
