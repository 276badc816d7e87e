#include "scene/MeshComponent.h"

#include "core/Categories.h"
#include "core/Exception.h"
#include "core/Log.h"
#include "core/NonInstantiableType.h"
#include "render/RenderDevice.h"
#include "render/VertexBufferAccessor.h"
#include "scene/BufferManager.h"
#include "scene/Camera.h"
#include "scene/Engine.h"
#include "scene/MaterialManager.h"
#include "scene/Node.h"
#include "scene/RenderManager.h"
#include "scene/RenderableSet.h"
#include "scene/ResourceManager.h"
#include "scene/Scene.h"
#include "scene/SkinningLayout.h"

#include <algorithm>
#include <cstring>

namespace rezezaz::scene {

using core::IntrusivePointer;
using core::String;
using core::math::Vector3;

namespace {

void warn(const String& text)
{
    core::Log::getInstance()->addLogEntry(core::Categories::REZEZAZ_SCENE, core::Logger::WARNING, text);
}

// value x 65536 truncated toward zero; beyond the 32-bit range it saturates, NaN gives 0.
inline int32_t toFixed(float value)
{
    const float scaled = value * 65536.0f;
    if (!(scaled == scaled)) {
        return 0;
    }
    if (scaled >= 2147483520.0f) {
        return INT32_MAX;
    }
    if (scaled <= -2147483648.0f) {
        return INT32_MIN;
    }
    return static_cast<int32_t>(scaled);
}

template <bool Fixed> inline void load(const unsigned char* at, float& x, float& y, float& z)
{
    if constexpr (Fixed) {
        int32_t v[3];
        std::memcpy(v, at, sizeof(v));
        const float scale = 1.0f / 65536.0f;
        x = float(v[0]) * scale;
        y = float(v[1]) * scale;
        z = float(v[2]) * scale;
    } else {
        float v[3];
        std::memcpy(v, at, sizeof(v));
        x = v[0];
        y = v[1];
        z = v[2];
    }
}

template <bool Fixed> inline void store(unsigned char* at, float x, float y, float z)
{
    if constexpr (Fixed) {
        const int32_t v[3] = {toFixed(x), toFixed(y), toFixed(z)};
        std::memcpy(at, v, sizeof(v));
    } else {
        const float v[3] = {x, y, z};
        std::memcpy(at, v, sizeof(v));
    }
}

// The weighted sum over each vertex's assignments of the bone matrices applied to its position (and,
// without the translation, to its normal). Vertices with no assignment keep the copied values.
template <bool Fixed, bool Normals>
void skin(const unsigned char* source, unsigned char* destination, const SkinningLayout& layout, int count,
          const core::Collection<Mesh::BoneAssignmentList>& lists, const float* matrices, int boneCount)
{
    const size_t stride = static_cast<size_t>(layout.stride);
    for (int i = 0; i < count; ++i) {
        const Mesh::BoneAssignmentList& list = lists[i];
        const int n = list.size();
        if (n == 0) {
            continue;
        }
        const Mesh::VertexBoneAssignment* assignment = &list[0];
        const unsigned char* in = source + stride * static_cast<size_t>(i);
        unsigned char* out = destination + stride * static_cast<size_t>(i);
        float px, py, pz;
        load<Fixed>(in + layout.positionOffset, px, py, pz);
        float nx = 0.0f, ny = 0.0f, nz = 0.0f;
        if constexpr (Normals) {
            load<Fixed>(in + layout.normalOffset, nx, ny, nz);
        }
        float sx = 0.0f, sy = 0.0f, sz = 0.0f;
        float tx = 0.0f, ty = 0.0f, tz = 0.0f;
        for (int k = 0; k < n; ++k) {
            const int bone = assignment[k].bone;
            if (bone >= boneCount) {
                continue;
            }
            const float w = assignment[k].weight;
            const float* m = matrices + 12 * bone;
            sx += w * (m[0] * px + m[1] * py + m[2] * pz + m[3]);
            sy += w * (m[4] * px + m[5] * py + m[6] * pz + m[7]);
            sz += w * (m[8] * px + m[9] * py + m[10] * pz + m[11]);
            if constexpr (Normals) {
                tx += w * (m[0] * nx + m[1] * ny + m[2] * nz);
                ty += w * (m[4] * nx + m[5] * ny + m[6] * nz);
                tz += w * (m[8] * nx + m[9] * ny + m[10] * nz);
            }
        }
        store<Fixed>(out + layout.positionOffset, sx, sy, sz);
        if constexpr (Normals) {
            store<Fixed>(out + layout.normalOffset, tx, ty, tz);
        }
    }
}

} // namespace

Transform* MeshComponent::SubMesh::getRenderTransform()
{
    return worldTransform ? worldTransform.get() : component->getWorldTransform();
}

Bound* MeshComponent::SubMesh::getRenderBound()
{
    return worldBound ? worldBound.get() : component->getWorldBound();
}

void MeshComponent::SubMesh::render(RenderManager* manager)
{
    render::RenderDevice* device = manager != nullptr ? manager->getDevice() : nullptr;
    if (device != nullptr && indexData) {
        device->renderPrimitive(vertexData.get(), indexData.get());
    }
}

MeshComponent::MeshComponent(Engine* engine)
    : engine(engine), transform(new Transform(this)), bound(new Bound()), worldTransform(new Transform()),
      worldBound(new Bound())
{}

MeshComponent::~MeshComponent() = default;

void MeshComponent::destroy()
{
    subMeshes.clear();
    auto destroyHeld = [](auto& pointer) {
        auto held = pointer;
        pointer = nullptr;
        if (held) {
            held->destroy();
        }
    };
    destroyHeld(sharedRenderState);
    destroyHeld(dynamicVertexData);
    destroyHeld(skeleton);
    mesh = nullptr;
    BaseComponent::destroy();
}

const core::Type<Component>* MeshComponent::getType() const
{
    static const core::NonInstantiableType<MeshComponent, Component> type{String("MeshComponent")};
    return &type;
}

void MeshComponent::parentChanged(Node* node)
{
    if (parent != nullptr) {
        parent->spacialRemoved(this);
        parent->visibleRemoved(this);
        if (skeleton) {
            parent->remove(skeleton.get());
        }
    }
    BaseComponent::parentChanged(node);
    if (parent != nullptr) {
        parent->spacialAttached(this);
        parent->visibleAttached(this);
        if (skeleton) {
            parent->attach(skeleton.get());
        }
    }
}

void MeshComponent::frameUpdate(int, int)
{
    if (!skeleton) {
        return;
    }
    const int last = skeleton->getLastUpdateFrame();
    Scene* scene = parent != nullptr ? parent->getScene() : nullptr;
    if (last == -1 || scene == nullptr || last >= scene->getFrame() - 1 || scene->getResetFrame()) {
        updateVertexBuffer();
    }
}

void MeshComponent::setMesh(const String& name)
{
    IntrusivePointer<core::Resource> found = engine->getMeshManager()->find(name, nullptr);
    setMesh(dynamic_cast<Mesh*>(found.get()));
}

String MeshComponent::skinningProblem() const
{
    if (!mesh->staticVertexData || mesh->staticVertexData->vertexBuffers.size() == 0 ||
        !mesh->staticVertexData->vertexBuffers[0]) {
        return "no static vertex buffer";
    }
    render::VertexBuffer* source = mesh->staticVertexData->vertexBuffers[0].get();
    const SkinningLayout layout = SkinningLayout::describe(source);
    if (!layout.hasPosition()) {
        return layout.positionProblem;
    }
    if (layout.normalProblem.length() > 0) {
        return layout.normalProblem;
    }
    if (mesh->vertexBoneAssignments.size() < source->getSize()) {
        return String("fewer bone assignment lists (") + mesh->vertexBoneAssignments.size() + ") than vertices (" +
               source->getSize() + ")";
    }
    return String();
}

void MeshComponent::setMesh(Mesh* newMesh)
{
    subMeshes.clear();
    if (dynamicVertexData) {
        IntrusivePointer<render::VertexData> held = dynamicVertexData;
        dynamicVertexData = nullptr;
        held->destroy();
    }
    if (skeleton) {
        IntrusivePointer<SkeletonComponent> held = skeleton;
        skeleton = nullptr;
        held->destroy();
    }
    mesh = newMesh;
    if (!mesh) {
        return;
    }
    setBound(mesh->bound);
    setTransform(mesh->transform);
    if (mesh->skeleton) {
        skeleton = new SkeletonComponent(engine, mesh->skeleton.get());
        skeleton->setTransform(transform.get());
        if (parent != nullptr) {
            parent->attach(skeleton.get());
        }
        const String problem = skinningProblem();
        if (problem.length() == 0) {
            createVertexBuffer();
        } else {
            warn(String("MeshComponent: mesh ") + mesh->getName() + " is drawn unskinned: " + problem);
        }
    }
    subMeshes.reserve(mesh->subMeshes.size());
    for (int i = 0; i < mesh->subMeshes.size(); ++i) {
        Mesh::SubMesh* source = mesh->subMeshes[i].get();
        if (source == nullptr) {
            continue;
        }
        IntrusivePointer<SubMesh> sub(new SubMesh());
        sub->component = this;
        sub->meshSubMesh = source;
        sub->material = source->material;
        sub->indexData = source->indexData;
        if (source->vertexData) {
            sub->vertexData = source->vertexData;
        } else if (dynamicVertexData) {
            sub->vertexData = dynamicVertexData;
        } else {
            sub->vertexData = mesh->staticVertexData;
        }
        if (source->transform) {
            sub->transform = new Transform();
            sub->transform->translate = source->transform->translate;
            sub->transform->scale = source->transform->scale;
            sub->transform->rotate = source->transform->rotate;
            sub->worldTransform = new Transform();
            sub->worldBound = new Bound();
        }
        if (sharedRenderState) {
            IntrusivePointer<material::Material> shared =
                engine->getMaterialManager()->createSharedMaterial(source->material, sharedRenderState);
            if (shared) {
                sub->material = shared;
            }
        }
        subMeshes.add(sub);
    }
    // The submeshes with a transform of their own are placed at once, not only when the node next
    // moves: until then their world bound would be empty and cull them.
    if (parent != nullptr) {
        updateSubMeshWorld();
    }
}

void MeshComponent::setTransform(IntrusivePointer<Transform> source)
{
    transform->set(source.get());
    if (skeleton) {
        skeleton->setTransform(source.get());
    }
}

void MeshComponent::setBound(IntrusivePointer<Bound> source)
{
    if (source) {
        bound->set(*source);
    } else {
        bound->setEmpty();
    }
}

MeshComponent::SubMesh* MeshComponent::getSubMesh(const String& name) const
{
    if (!mesh) {
        return nullptr;
    }
    for (int i = 0; i < subMeshes.size(); ++i) {
        if (subMeshes[i]->meshSubMesh != nullptr && subMeshes[i]->meshSubMesh->getName().equals(name)) {
            return subMeshes[i].get();
        }
    }
    return nullptr;
}

void MeshComponent::createVertexBuffer()
{
    if (dynamicVertexData || !skeleton || !mesh || !mesh->staticVertexData ||
        mesh->staticVertexData->vertexBuffers.size() == 0) {
        return;
    }
    render::VertexBuffer* source = mesh->staticVertexData->vertexBuffers[0].get();
    if (source == nullptr) {
        return;
    }
    IntrusivePointer<render::VertexBuffer> buffer;
    try {
        buffer = engine->getBufferManager()->createVertexBuffer(render::Buffer::Usage_DYNAMIC, render::Buffer::Access_WRITE,
                                                                source->getVertexFormat(), source->getSize());
    } catch (const core::Exception&) {
        // Logged by the buffer manager; the mesh is drawn unskinned.
        buffer = nullptr;
    }
    if (!buffer) {
        return;
    }
    const unsigned char* from = source->lock(render::Buffer::Access_READ);
    unsigned char* to = buffer->lock(render::Buffer::Access_WRITE);
    if (from != nullptr && to != nullptr) {
        std::memcpy(to, from, static_cast<size_t>(std::min(source->getDataSize(), buffer->getDataSize())));
    }
    buffer->unlock();
    source->unlock();
    dynamicVertexData = new render::VertexData(buffer);
}

void MeshComponent::updateVertexBuffer()
{
    if (!dynamicVertexData || !mesh || !mesh->staticVertexData || mesh->staticVertexData->vertexBuffers.size() == 0 ||
        dynamicVertexData->vertexBuffers.size() == 0 || !skeleton) {
        return;
    }
    render::VertexBuffer* source = mesh->staticVertexData->vertexBuffers[0].get();
    render::VertexBuffer* destination = dynamicVertexData->vertexBuffers[0].get();
    if (source == nullptr || destination == nullptr) {
        return;
    }
    const SkinningLayout layout = SkinningLayout::describe(source);
    const SkinningLayout target = SkinningLayout::describe(destination);
    if (!layout.hasPosition() || layout.normalProblem.length() > 0 || target.stride != layout.stride) {
        return;
    }

    const int boneCount = skeleton->getNumBones();
    boneMatrices.resize(static_cast<size_t>(boneCount) * 12);
    for (int b = 0; b < boneCount; ++b) {
        const SkeletonComponent::Bone& bone = *skeleton->getBone(b);
        const float x = bone.boneSpaceRotate.x, y = bone.boneSpaceRotate.y, z = bone.boneSpaceRotate.z,
                    w = bone.boneSpaceRotate.w;
        // The map v -> q v q* + T as a matrix, exact for any q (not only unit ones).
        float* m = &boneMatrices[static_cast<size_t>(b) * 12];
        m[0] = w * w + x * x - y * y - z * z;
        m[1] = 2.0f * (x * y - w * z);
        m[2] = 2.0f * (x * z + w * y);
        m[3] = bone.boneSpaceTranslate.x;
        m[4] = 2.0f * (x * y + w * z);
        m[5] = w * w - x * x + y * y - z * z;
        m[6] = 2.0f * (y * z - w * x);
        m[7] = bone.boneSpaceTranslate.y;
        m[8] = 2.0f * (x * z - w * y);
        m[9] = 2.0f * (y * z + w * x);
        m[10] = w * w - x * x - y * y + z * z;
        m[11] = bone.boneSpaceTranslate.z;
    }

    render::VertexBufferAccessor from(source, render::Buffer::Access_READ);
    render::VertexBufferAccessor to(destination, render::Buffer::Access_WRITE);
    if (from.data != nullptr && to.data != nullptr) {
        std::memcpy(to.data, from.data, static_cast<size_t>(std::min(source->getDataSize(), destination->getDataSize())));
        const int count = std::min({layout.vertexCount, target.vertexCount, mesh->vertexBoneAssignments.size()});
        const float* matrices = boneMatrices.data();
        const auto& lists = mesh->vertexBoneAssignments;
        const bool normals = layout.normalOffset >= 0;
        if (layout.fixed) {
            normals ? skin<true, true>(from.data, to.data, layout, count, lists, matrices, boneCount)
                    : skin<true, false>(from.data, to.data, layout, count, lists, matrices, boneCount);
        } else {
            normals ? skin<false, true>(from.data, to.data, layout, count, lists, matrices, boneCount)
                    : skin<false, false>(from.data, to.data, layout, count, lists, matrices, boneCount);
        }
    }
    from.unlock();
    to.unlock();
}

void MeshComponent::transformChanged(Transform* changed)
{
    if (parent == nullptr) {
        return;
    }
    worldTransform->setTransform(*parent->getWorldTransform(), *transform);
    worldBound->transform(*bound, *worldTransform);
    updateSubMeshWorld();
    if (changed == transform.get()) {
        parent->boundChanged();
    }
}

void MeshComponent::updateSubMeshWorld()
{
    for (int i = 0; i < subMeshes.size(); ++i) {
        SubMesh& sub = *subMeshes[i];
        if (!sub.transform) {
            continue;
        }
        sub.worldTransform->setTransform(*worldTransform, *sub.transform);
        Bound empty;
        const Bound* local = sub.meshSubMesh != nullptr && sub.meshSubMesh->bound ? sub.meshSubMesh->bound.get() : &empty;
        sub.worldBound->transform(*local, *sub.worldTransform);
    }
}

void MeshComponent::gatherRenderables(Camera* camera, RenderableSet* set)
{
    if (!rendered) {
        return;
    }
    for (int i = 0; i < subMeshes.size(); ++i) {
        SubMesh* sub = subMeshes[i].get();
        if ((sub->scope & camera->getScope()) == 0) {
            continue;
        }
        if (sub->transform && camera->culled(sub->getRenderBound())) {
            continue;
        }
        set->queueRenderable(sub);
    }
    if (skeleton && skeleton->getRenderMaterial() != nullptr) {
        set->queueRenderable(skeleton.get());
    }
}

void MeshComponent::setSharedRenderState(render::RenderState* given)
{
    MaterialManager* materials = engine->getMaterialManager();
    IntrusivePointer<render::RenderState> state = given;
    if (!state) {
        state = materials->createRenderState();
        if (!state) {
            return;
        }
        // The first submesh's states are the start; a submesh without a material (one that names its
        // material) has none to give.
        material::Material* first =
            subMeshes.size() > 0 && subMeshes[0]->meshSubMesh != nullptr ? subMeshes[0]->meshSubMesh->material.get() : nullptr;
        material::RenderPass* pass = first != nullptr ? first->getPass(-1, -1) : nullptr;
        if (pass != nullptr && pass->getRenderState() != nullptr) {
            materials->modifyRenderState(state, pass->getRenderState());
        }
    }
    sharedRenderState = state;
    for (int i = 0; i < subMeshes.size(); ++i) {
        SubMesh& sub = *subMeshes[i];
        material::Material* source = sub.meshSubMesh != nullptr ? sub.meshSubMesh->material.get() : nullptr;
        IntrusivePointer<material::Material> shared = materials->createSharedMaterial(source, sharedRenderState);
        if (shared) {
            sub.material = shared;
        }
    }
}

int MeshComponent::getNumAttachments()
{
    return skeleton ? skeleton->getNumAttachments() : 0;
}

String MeshComponent::getAttachmentName(int index)
{
    return skeleton ? skeleton->getAttachmentName(index) : String();
}

int MeshComponent::getAttachmentIndex(const String& name)
{
    return skeleton ? skeleton->getAttachmentIndex(name) : 0;
}

bool MeshComponent::getAttachmentTransform(Transform* t, int index)
{
    return skeleton ? skeleton->getAttachmentTransform(t, index) : false;
}

} // namespace rezezaz::scene
