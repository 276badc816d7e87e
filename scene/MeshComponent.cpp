#include "scene/MeshComponent.h"

#include "core/Categories.h"
#include "core/DestroyHeld.h"
#include "core/Error.h"
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
#include <cstdint>
#include <cstring>
#include <type_traits>
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace rezezaz::scene {

using core::IntrusivePointer;
using core::String;
using core::math::Vector3;

namespace {

void warn(const String& text)
{
    core::Log::getInstance()->addLogEntry(core::Categories::REZEZAZ_SCENE, core::Logger::WARNING, text);
}

// Four floats, in one SSE register where there is SSE.
struct Lanes
{
#if defined(__SSE2__)
    __m128 v;
    static Lanes load(const float* p) { return {_mm_load_ps(p)}; }
    static Lanes all(float f) { return {_mm_set1_ps(f)}; }
    Lanes operator*(const Lanes& o) const { return {_mm_mul_ps(v, o.v)}; }
    Lanes operator+(const Lanes& o) const { return {_mm_add_ps(v, o.v)}; }
    Lanes lane0() const { return {_mm_shuffle_ps(v, v, 0x00)}; }
    Lanes lane1() const { return {_mm_shuffle_ps(v, v, 0x55)}; }
    Lanes lane2() const { return {_mm_shuffle_ps(v, v, 0xAA)}; }
    // The fourth lanes of a, b and c (and c's again).
    static Lanes fourths(const Lanes& a, const Lanes& b, const Lanes& c)
    {
        return {_mm_shuffle_ps(_mm_unpackhi_ps(a.v, b.v), c.v, _MM_SHUFFLE(3, 3, 3, 2))};
    }
#else
    float v[4];
    static Lanes load(const float* p) { return {{p[0], p[1], p[2], p[3]}}; }
    static Lanes all(float f) { return {{f, f, f, f}}; }
    Lanes operator*(const Lanes& o) const { return {{v[0] * o.v[0], v[1] * o.v[1], v[2] * o.v[2], v[3] * o.v[3]}}; }
    Lanes operator+(const Lanes& o) const { return {{v[0] + o.v[0], v[1] + o.v[1], v[2] + o.v[2], v[3] + o.v[3]}}; }
    Lanes lane0() const { return all(v[0]); }
    Lanes lane1() const { return all(v[1]); }
    Lanes lane2() const { return all(v[2]); }
    static Lanes fourths(const Lanes& a, const Lanes& b, const Lanes& c) { return {{a.v[3], b.v[3], c.v[3], c.v[3]}}; }
#endif
};

// Whether a 16.16 store, when stores do not clamp, may have left the 32-bit range (or been NaN): the
// smallest of the stored values' 16-bit halves. The plain conversion gives INT32_MIN for any value
// outside the range, whose upper half is the smallest there is; only values in [-32768, -32767) share
// it, and they only cost a second pass.
struct Overflow
{
#if defined(__SSE2__)
    __m128i lanes = _mm_setzero_si128();
    void add(__m128i bits) { lanes = _mm_min_epi16(lanes, bits); }
    bool any() const
    {
        // The upper halves of the three components (the fourth lane is not stored, or is stored over):
        // bytes 2, 3, 6, 7, 10 and 11.
        return (_mm_movemask_epi8(_mm_cmpeq_epi16(lanes, _mm_set1_epi16(INT16_MIN))) & 0x0CCC) != 0;
    }
#else
    bool any() const { return false; }
#endif
};

// The three components at `at`: floats, or 16.16 values as they stand (skinning works on 16.16 data
// in units of 2^-16, its bones' translations scaled to match, which gives the same numbers as scaling
// each value: the scales are powers of two). Wide: one 16-byte load, whose fourth lane (the four bytes
// after the components, inside the buffer's data) is not used.
template <bool Fixed, bool Wide> inline Lanes load(const unsigned char* at)
{
#if defined(__SSE2__)
    __m128i bits;
    if constexpr (Wide) {
        bits = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
    } else {
        int32_t z;
        std::memcpy(&z, at + 8, 4);
        bits = _mm_unpacklo_epi64(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(at)), _mm_cvtsi32_si128(z));
    }
    if constexpr (Fixed) {
        return {_mm_cvtepi32_ps(bits)};
    } else {
        return {_mm_castsi128_ps(bits)};
    }
#else
    Lanes lanes{{0.0f, 0.0f, 0.0f, 0.0f}};
    if constexpr (Fixed) {
        int32_t v[3];
        std::memcpy(v, at, 12);
        for (int k = 0; k < 3; ++k) {
            lanes.v[k] = float(v[k]);
        }
    } else {
        std::memcpy(lanes.v, at, 12);
    }
    return lanes;
#endif
}

// Writes three components at `at`: floats, or 16.16 values from values in units of 2^-16 (truncated
// toward zero). Clamp: values beyond the 32-bit range clamped, NaN written as 0. Without it the plain
// conversion is used, which gives the same bits for every value inside the range and the bits of
// INT32_MIN for any other; `overflow` collects the lanes that gave them, so that the caller can skin
// again with clamping.
// Wide: one 16-byte store, the four bytes after the components written with junk that a later store
// of the same pass overwrites.
template <bool Fixed, bool Clamp, bool Wide>
inline void store(unsigned char* at, const Lanes& lanes, Overflow& overflow)
{
#if defined(__SSE2__)
    __m128i bits;
    if constexpr (Fixed && Clamp) {
        __m128 scaled = lanes.v;
        scaled = _mm_and_ps(scaled, _mm_cmpord_ps(scaled, scaled));
        scaled = _mm_max_ps(_mm_min_ps(scaled, _mm_set1_ps(2147483520.0f)), _mm_set1_ps(-2147483648.0f));
        bits = _mm_cvttps_epi32(scaled);
    } else if constexpr (Fixed) {
        bits = _mm_cvttps_epi32(lanes.v);
        overflow.add(bits);
    } else {
        bits = _mm_castps_si128(lanes.v);
    }
    if constexpr (Wide) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(at), bits);
    } else {
        _mm_storel_epi64(reinterpret_cast<__m128i*>(at), bits);
        const int32_t z = _mm_cvtsi128_si32(_mm_srli_si128(bits, 8));
        std::memcpy(at + 8, &z, 4);
    }
#else
    (void)overflow;
    if constexpr (Fixed) {
        int32_t v[3];
        for (int k = 0; k < 3; ++k) {
            float scaled = lanes.v[k];
            scaled = scaled == scaled ? std::min(std::max(scaled, -2147483648.0f), 2147483520.0f) : 0.0f;
            v[k] = static_cast<int32_t>(scaled);
        }
        std::memcpy(at, v, 12);
    } else {
        std::memcpy(at, lanes.v, 12);
    }
#endif
}

// The uniform count of influences that stands for one of weight 1.
constexpr int RIGID = -1;

// How a pass reads and writes the vertices.
struct Pass
{
    const unsigned char* source;
    unsigned char* destination;
    size_t stride;
    int positionOffset;
    int normalOffset;
    const int32_t* starts;
    const MeshComponent::Influence* influences;
    const MeshComponent::BoneColumns* bones;
};

inline const MeshComponent::BoneColumns* bone(const unsigned char* bones, int32_t offset)
{
    return reinterpret_cast<const MeshComponent::BoneColumns*>(bones + offset);
}

// blend(1), ..., blend(K): the influences after the first of a vertex with K + 1.
template <typename Blend, int... K> inline void blendRest(Blend& blend, std::integer_sequence<int, K...>)
{
    (blend(K + 1), ...);
}

// The vertex at `in`, written at `out`: the weighted sum of its n bones' maps applied to its position
// (and, without the translation, to its normal), which is the sum of weight x (R p + T) over its
// influences, with the bones' columns blended first. One bone: its map applied, then weighted, which
// spares blending the columns; RIGID: one of weight 1, which needs no weighting (x 1 is exact).
// Uniform > 0: n is that constant and the blending is unrolled.
template <bool Fixed, bool Normals, int Uniform, bool Clamp, bool WideLoad, bool WideStore>
inline void skinVertex(const unsigned char* in, unsigned char* out, int positionOffset, int normalOffset,
                       const MeshComponent::Influence* influence, int n, const unsigned char* bones, Overflow& overflow)
{
    const MeshComponent::BoneColumns* first = bone(bones, influence->boneOffset);
    // Both read before anything is written: a load after a store to an address that matches it in its
    // low 12 bits waits for it, and the two buffers may lie a multiple of the page size apart.
    const Lanes p = load<Fixed, WideLoad>(in + positionOffset);
    const Lanes normal = Normals ? load<Fixed, WideLoad>(in + normalOffset) : p;
    if constexpr (Uniform == RIGID) {
        const Lanes c0 = Lanes::load(first->c[0]);
        const Lanes c1 = Lanes::load(first->c[1]);
        const Lanes c2 = Lanes::load(first->c[2]);
        const Lanes c3 = Lanes::load(first->c[3]);
        store<Fixed, Clamp, WideStore>(out + positionOffset, c0 * p.lane0() + c1 * p.lane1() + (c2 * p.lane2() + c3),
                                       overflow);
        if constexpr (Normals) {
            store<Fixed, Clamp, WideStore>(out + normalOffset,
                                           c0 * normal.lane0() + c1 * normal.lane1() + c2 * normal.lane2(), overflow);
        }
    } else if constexpr (Uniform == 1) {
        const Lanes w = Lanes::all(influence->weight);
        const Lanes c0 = Lanes::load(first->c[0]);
        const Lanes c1 = Lanes::load(first->c[1]);
        const Lanes c2 = Lanes::load(first->c[2]);
        const Lanes c3 = Lanes::load(first->c[3]);
        store<Fixed, Clamp, WideStore>(out + positionOffset,
                                       w * (c0 * p.lane0() + c1 * p.lane1() + (c2 * p.lane2() + c3)), overflow);
        if constexpr (Normals) {
            store<Fixed, Clamp, WideStore>(out + normalOffset,
                                           w * (c0 * normal.lane0() + c1 * normal.lane1() + c2 * normal.lane2()),
                                           overflow);
        }
    } else {
        const Lanes w = Lanes::all(influence->weight);
        Lanes c0 = w * Lanes::load(first->c[0]);
        Lanes c1 = w * Lanes::load(first->c[1]);
        Lanes c2 = w * Lanes::load(first->c[2]);
        auto blend = [&](int k) {
            const MeshComponent::BoneColumns* next = bone(bones, influence[k].boneOffset);
            const Lanes weight = Lanes::all(influence[k].weight);
            c0 = c0 + weight * Lanes::load(next->c[0]);
            c1 = c1 + weight * Lanes::load(next->c[1]);
            c2 = c2 + weight * Lanes::load(next->c[2]);
        };
        if constexpr (Uniform > 0) {
            // Spelled out: the compiler need not unroll it.
            blendRest(blend, std::make_integer_sequence<int, Uniform - 1>());
        } else {
            for (int k = 1; k < n; ++k) {
                blend(k);
            }
        }
        // The blended translation, from the fourth lanes.
        const Lanes c3 = Lanes::fourths(c0, c1, c2);
        store<Fixed, Clamp, WideStore>(out + positionOffset, c0 * p.lane0() + c1 * p.lane1() + (c2 * p.lane2() + c3),
                                       overflow);
        if constexpr (Normals) {
            store<Fixed, Clamp, WideStore>(out + normalOffset,
                                           c0 * normal.lane0() + c1 * normal.lane1() + c2 * normal.lane2(), overflow);
        }
    }
}

// Vertices [0, count): those before `wide` with 16-byte loads (and, Packed, stores), the rest three
// components at a time.
template <bool Fixed, bool Normals, int Uniform, bool Clamp, bool Packed>
void skin(const Pass& given, int count, int wide, Overflow& overflow)
{
    // Plain values, which the stores into the vertices cannot change, so that they stay in registers.
    const unsigned char* in = given.source;
    unsigned char* out = given.destination;
    const size_t stride = given.stride;
    const int positionOffset = given.positionOffset;
    const int normalOffset = given.normalOffset;
    const int32_t* starts = given.starts;
    const MeshComponent::Influence* influence = given.influences;
    const unsigned char* bones = reinterpret_cast<const unsigned char*>(given.bones);
    Overflow lanes = overflow;
    int i = 0;
    auto run = [&](auto wide, int end) {
        for (; i < end; ++i, in += stride, out += stride) {
            int n = Uniform > 0 ? Uniform : 1;
            const MeshComponent::Influence* first = influence;
            if constexpr (Uniform > 0) {
                influence += Uniform;
            } else if constexpr (Uniform == RIGID) {
                influence += 1;
            } else {
                first = influence + starts[i];
                n = starts[i + 1] - starts[i];
                if (n == 0) {
                    continue;
                }
            }
            skinVertex<Fixed, Normals, Uniform, Clamp, decltype(wide)::value, decltype(wide)::value && Packed>(
                in, out, positionOffset, normalOffset, first, n, bones, lanes);
        }
    };
    run(std::true_type(), wide);
    run(std::false_type(), count);
    overflow = lanes;
}

template <bool Fixed, bool Normals, int Uniform>
void skin(const Pass& pass, int count, int wide, bool packed)
{
    // 16.16 data is first converted without clamping; only when a value left the range (or was NaN)
    // are the vertices skinned again, clamping.
    Overflow overflow;
    packed ? skin<Fixed, Normals, Uniform, false, true>(pass, count, wide, overflow)
           : skin<Fixed, Normals, Uniform, false, false>(pass, count, wide, overflow);
    if constexpr (Fixed) {
        if (overflow.any()) {
            packed ? skin<Fixed, Normals, Uniform, true, true>(pass, count, wide, overflow)
                   : skin<Fixed, Normals, Uniform, true, false>(pass, count, wide, overflow);
        }
    }
}

template <bool Fixed, bool Normals>
void skin(int uniform, bool unitWeights, const Pass& pass, int count, int wide, bool packed)
{
    switch (uniform) {
    case 1:
        unitWeights ? skin<Fixed, Normals, RIGID>(pass, count, wide, packed)
                    : skin<Fixed, Normals, 1>(pass, count, wide, packed);
        break;
    case 2:
        skin<Fixed, Normals, 2>(pass, count, wide, packed);
        break;
    case 3:
        skin<Fixed, Normals, 3>(pass, count, wide, packed);
        break;
    case 4:
        skin<Fixed, Normals, 4>(pass, count, wide, packed);
        break;
    default:
        skin<Fixed, Normals, 0>(pass, count, wide, packed);
        break;
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
    core::destroyHeld(sharedRenderState);
    core::destroyHeld(dynamicVertexData);
    core::destroyHeld(skeleton);
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
    // Without an engine there is no mesh manager to look the name up in.
    if (engine == nullptr) {
        core::Error::nullPointer(core::Categories::REZEZAZ_SCENE, true, "MeshComponent::setMesh: null engine");
    }
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
    if (mesh->getVertexBoneAssignments().size() < source->getSize()) {
        return String("fewer bone assignment lists (") + mesh->getVertexBoneAssignments().size() + ") than vertices (" +
               source->getSize() + ")";
    }
    return String();
}

void MeshComponent::setMesh(Mesh* newMesh)
{
    subMeshes.clear();
    core::destroyHeld(dynamicVertexData);
    core::destroyHeld(skeleton);
    mesh = newMesh;
    // The gathered influences belong to the mesh they came from: another mesh may carry the same
    // version count.
    assignmentsVersion = 0;
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
    // 16.16 data is skinned in its own units of 2^-16: the translations are scaled to them.
    const float unit = layout.fixed ? 65536.0f : 1.0f;
    // One more bone, all zero, stands for the assignments that name no bone: they add nothing.
    boneColumns.resize(static_cast<size_t>(boneCount) + 1);
    int b = 0;
#if defined(__SSE2__)
    // Four bones at a time, lane k for bone b + k, by the same operations as one at a time below.
    for (; b + 4 <= boneCount; b += 4) {
        const SkeletonComponent::Bone* four[4] = {skeleton->getBone(b), skeleton->getBone(b + 1),
                                                  skeleton->getBone(b + 2), skeleton->getBone(b + 3)};
        __m128 x = _mm_load_ps(&four[0]->boneSpaceRotate.x);
        __m128 y = _mm_load_ps(&four[1]->boneSpaceRotate.x);
        __m128 z = _mm_load_ps(&four[2]->boneSpaceRotate.x);
        __m128 w = _mm_load_ps(&four[3]->boneSpaceRotate.x);
        _MM_TRANSPOSE4_PS(x, y, z, w);
        auto translate = [unit](const SkeletonComponent::Bone* bone) {
            const Vector3& t = bone->boneSpaceTranslate;
            const __m128 xy = _mm_loadl_pi(_mm_setzero_ps(), reinterpret_cast<const __m64*>(&t.x));
            return _mm_mul_ps(_mm_movelh_ps(xy, _mm_load_ss(&t.z)), _mm_set1_ps(unit));
        };
        __m128 tx = translate(four[0]), ty = translate(four[1]), tz = translate(four[2]), tw = translate(four[3]);
        BoneColumns* out = &boneColumns[static_cast<size_t>(b)];
        _mm_store_ps(out[0].c[3], tx);
        _mm_store_ps(out[1].c[3], ty);
        _mm_store_ps(out[2].c[3], tz);
        _mm_store_ps(out[3].c[3], tw);
        _MM_TRANSPOSE4_PS(tx, ty, tz, tw);
        const __m128 two = _mm_set1_ps(2.0f);
        const __m128 ww = _mm_mul_ps(w, w), xx = _mm_mul_ps(x, x), yy = _mm_mul_ps(y, y), zz = _mm_mul_ps(z, z);
        const __m128 xy = _mm_mul_ps(x, y), wz = _mm_mul_ps(w, z), xz = _mm_mul_ps(x, z), wy = _mm_mul_ps(w, y);
        const __m128 yz = _mm_mul_ps(y, z), wx = _mm_mul_ps(w, x);
        // Column j of the four bones from its entries over the four.
        auto store = [out](int j, __m128 e0, __m128 e1, __m128 e2, __m128 e3) {
            _MM_TRANSPOSE4_PS(e0, e1, e2, e3);
            _mm_store_ps(out[0].c[j], e0);
            _mm_store_ps(out[1].c[j], e1);
            _mm_store_ps(out[2].c[j], e2);
            _mm_store_ps(out[3].c[j], e3);
        };
        store(0, _mm_sub_ps(_mm_sub_ps(_mm_add_ps(ww, xx), yy), zz), _mm_mul_ps(two, _mm_add_ps(xy, wz)),
              _mm_mul_ps(two, _mm_sub_ps(xz, wy)), tx);
        store(1, _mm_mul_ps(two, _mm_sub_ps(xy, wz)), _mm_sub_ps(_mm_add_ps(_mm_sub_ps(ww, xx), yy), zz),
              _mm_mul_ps(two, _mm_add_ps(yz, wx)), ty);
        store(2, _mm_mul_ps(two, _mm_add_ps(xz, wy)), _mm_mul_ps(two, _mm_sub_ps(yz, wx)),
              _mm_add_ps(_mm_sub_ps(_mm_sub_ps(ww, xx), yy), zz), tz);
    }
#endif
    for (; b < boneCount; ++b) {
        const SkeletonComponent::Bone& bone = *skeleton->getBone(b);
        const float x = bone.boneSpaceRotate.x, y = bone.boneSpaceRotate.y, z = bone.boneSpaceRotate.z,
                    w = bone.boneSpaceRotate.w;
        // The map v -> q v q* + T by columns, exact for any q (not only unit ones).
        float (*c)[4] = boneColumns[static_cast<size_t>(b)].c;
        c[0][0] = w * w + x * x - y * y - z * z;
        c[0][1] = 2.0f * (x * y + w * z);
        c[0][2] = 2.0f * (x * z - w * y);
        c[1][0] = 2.0f * (x * y - w * z);
        c[1][1] = w * w - x * x + y * y - z * z;
        c[1][2] = 2.0f * (y * z + w * x);
        c[2][0] = 2.0f * (x * z + w * y);
        c[2][1] = 2.0f * (y * z - w * x);
        c[2][2] = w * w - x * x - y * y + z * z;
        c[3][0] = bone.boneSpaceTranslate.x * unit;
        c[3][1] = bone.boneSpaceTranslate.y * unit;
        c[3][2] = bone.boneSpaceTranslate.z * unit;
        // The translation again in the fourth lanes of the first three, so that blending three
        // columns blends it too.
        c[0][3] = c[3][0];
        c[1][3] = c[3][1];
        c[2][3] = c[3][2];
        c[3][3] = 0.0f;
    }
    std::memset(&boneColumns[static_cast<size_t>(boneCount)], 0, sizeof(BoneColumns));
    if (assignmentsVersion != mesh->getVertexBoneAssignmentsVersion() || influenceBoneCount != boneCount ||
        static_cast<int>(influenceStarts.size()) != mesh->getVertexBoneAssignments().size() + 1) {
        gatherInfluences();
    }

    render::VertexBufferAccessor from(source, render::Buffer::Access_READ);
    render::VertexBufferAccessor to(destination, render::Buffer::Access_WRITE);
    if (from.data != nullptr && to.data != nullptr) {
        const int count = std::min({layout.vertexCount, target.vertexCount, mesh->getVertexBoneAssignments().size()});
        // The copy keeps what skinning does not write. When skinning writes every byte (each vertex is
        // only a position and maybe a normal, and each is moved) there is nothing to keep.
        const int skinnedBytes = layout.normalOffset >= 0 ? 24 : 12;
        const bool allWritten = influenceGaps == 0 && layout.stride == skinnedBytes &&
                                int64_t(count) * layout.stride == source->getDataSize() &&
                                source->getDataSize() == destination->getDataSize();
        if (!allWritten) {
            std::memcpy(to.data, from.data, static_cast<size_t>(std::min(source->getDataSize(), destination->getDataSize())));
        }
        const bool normals = layout.normalOffset >= 0;
        const Pass pass{from.data,
                        to.data,
                        static_cast<size_t>(layout.stride),
                        layout.positionOffset,
                        layout.normalOffset,
                        influenceStarts.data(),
                        influences.data(),
                        boneColumns.data()};
        // The vertices read and written 16 bytes at a time: all but the last, as far as every such read
        // stays inside both buffers' data.
        const int64_t data = std::min(source->getDataSize(), destination->getDataSize());
        const int64_t reach = int64_t(std::max(layout.positionOffset, layout.normalOffset)) + 16;
        const int64_t reachable = data >= reach ? (data - reach) / layout.stride + 1 : 0;
        const int wide = int(std::max<int64_t>(0, std::min<int64_t>(count - 1, reachable)));
        // The 16-byte stores write four bytes past the position (and normal): kept only where the next
        // store of the pass covers them, that is when the vertex is the position then maybe the normal
        // and nothing else, and every vertex is skinned.
        const bool packed = influenceGaps == 0 && layout.positionOffset == 0 &&
                            (normals ? layout.normalOffset == 12 && layout.stride == 24 : layout.stride == 12);
        if (layout.fixed) {
            normals ? skin<true, true>(influenceUniform, influenceUnitWeights, pass, count, wide, packed)
                    : skin<true, false>(influenceUniform, influenceUnitWeights, pass, count, wide, packed);
        } else {
            normals ? skin<false, true>(influenceUniform, influenceUnitWeights, pass, count, wide, packed)
                    : skin<false, false>(influenceUniform, influenceUnitWeights, pass, count, wide, packed);
        }
    }
    from.unlock();
    to.unlock();
}

void MeshComponent::gatherInfluences()
{
    const auto& lists = mesh->getVertexBoneAssignments();
    const int boneCount = skeleton->getNumBones();
    influenceStarts.resize(static_cast<size_t>(lists.size()) + 1);
    influences.clear();
    bool unitWeights = true;
    for (int i = 0; i < lists.size(); ++i) {
        influenceStarts[static_cast<size_t>(i)] = static_cast<int32_t>(influences.size());
        for (int a = 0; a < lists[i].size(); ++a) {
            const Mesh::VertexBoneAssignment& assignment = lists[i][a];
            // A bone past the skeleton is skipped: it reads the zero bone.
            const int32_t entry = assignment.bone < boneCount ? int32_t(assignment.bone) : boneCount;
            influences.push_back({entry * int32_t(sizeof(BoneColumns)), assignment.weight});
            unitWeights = unitWeights && assignment.weight == 1.0f;
        }
    }
    influenceStarts[static_cast<size_t>(lists.size())] = static_cast<int32_t>(influences.size());
    influenceGaps = 0;
    influenceUniform = lists.size() > 0 ? lists[0].size() : 0;
    for (int i = 0; i < lists.size(); ++i) {
        influenceGaps += lists[i].size() == 0 ? 1 : 0;
        influenceUniform = lists[i].size() == influenceUniform ? influenceUniform : 0;
    }
    influenceUnitWeights = unitWeights;
    influenceBoneCount = boneCount;
    assignmentsVersion = mesh->getVertexBoneAssignmentsVersion();
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
