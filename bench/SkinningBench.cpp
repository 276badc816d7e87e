// Software skinning beside Ogre's OptimisedUtil::softwareVertexSkinning on the same vertices, weights
// and bone transforms: V in {1k, 10k, 100k} vertices, A in {1, 2, 4} bones per vertex, float and 16.16
// positions, with and without normals. Ours runs on a backed engine without a device; the skinning
// step (the mesh component's buffer update) and the skeleton's frame update (posing the bones from a
// sequence) are timed apart. Ours and Ogre's skinning run interleaved in every iteration, with their
// times, vertex-assignments (V x A) per second and ratio as counters; the posing reports bones as items.
// Ogre has no 16.16 path: beside our 16.16 runs it skins the same vertices as floats; each case's label
// says where Ogre does other work than ours.
//
// Before anything is timed each case's skinned positions are compared with Ogre's within 1e-5 (plus
// one 16.16 step for 16.16 data), and its normals by direction (Ogre renormalises its normals, ours
// are left as the weights make them; Ogre's SIMD path renormalises with the approximate reciprocal
// square root, so directions agree to about 5e-4); a mismatch reports an error instead of a time.

#include "core/Collection.h"
#include "core/IntrusivePointer.h"
#include "core/Log.h"
#include "render/IndexData.h"
#include "render/VertexBufferAccessor.h"
#include "render/VertexData.h"
#include "render/VertexFormat.h"
#include "scene/BufferManager.h"
#include "scene/Engine.h"
#include "scene/Mesh.h"
#include "scene/MeshComponent.h"
#include "scene/Sequence.h"
#include "scene/Skeleton.h"
#include "scene/SkeletonComponent.h"
#include "scene/Track.h"

#include <OGRE/OgreMatrix4.h>
#include <OGRE/OgreOptimisedUtil.h>
#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <tuple>
#include <vector>

namespace {

using rezezaz::core::IntrusivePointer;
using rezezaz::core::math::Quaternion;
using rezezaz::core::math::Vector3;
using rezezaz::render::VertexFormat;
using namespace rezezaz::scene;

constexpr int BONES = 32;
// Ogre's SIMD path renormalises normals with the approximate reciprocal square root (about 12 bits).
constexpr float NORMAL_TOLERANCE = 5e-4f;

rezezaz::scene::Engine& engine()
{
    static Engine* const instance = [] {
        rezezaz::core::Log::getInstance()->setMasterReportingLevel(0);
        Engine* e = new Engine(nullptr, nullptr);
        e->retain();
        e->setHasBackableFixed(true);
        return e;
    }();
    return *instance;
}

struct Config
{
    int vertices;
    int weights;
    bool fixed;
    bool normals;

    std::string name() const
    {
        return "V" + std::to_string(vertices / 1000) + "k/A" + std::to_string(weights) + (fixed ? "/fixed" : "/float") +
               (normals ? "/normals" : "/positions");
    }
    bool operator<(const Config& o) const
    {
        return std::tie(vertices, weights, fixed, normals) < std::tie(o.vertices, o.weights, o.fixed, o.normals);
    }
};

// One case: a skinned mesh on a mesh component with its bones posed, and the same data laid out for
// Ogre.
struct Case
{
    IntrusivePointer<Mesh> mesh;
    IntrusivePointer<MeshComponent> component;

    std::vector<float> ogreSource;
    std::vector<float> ogreDestination;
    std::vector<float> ogreWeights;
    std::vector<unsigned char> ogreIndices;
    // Ogre wants its matrices on SIMD boundaries.
    struct alignas(16) AlignedAffine
    {
        Ogre::Affine3 m;
    };
    std::vector<AlignedAffine> ogreMatrices;
    std::vector<const Ogre::Affine3*> ogreMatrixPointers;
    std::string error;

    explicit Case(const Config& c)
    {
        std::mt19937 rng(7);
        std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
        const int stride = c.normals ? 6 : 3;

        // The source vertices, in [-1, 1], normals of unit length.
        ogreSource.resize(static_cast<size_t>(c.vertices) * stride);
        for (int v = 0; v < c.vertices; ++v) {
            float* at = &ogreSource[static_cast<size_t>(v) * stride];
            for (int k = 0; k < 3; ++k) {
                at[k] = unit(rng);
            }
            if (c.fixed) {
                // Exactly what 16.16 holds, so both sides start from the same numbers.
                for (int k = 0; k < 3; ++k) {
                    at[k] = std::trunc(at[k] * 65536.0f) / 65536.0f;
                }
            }
            if (c.normals) {
                Vector3 n(unit(rng), unit(rng), unit(rng) + 2.0f);
                n = n / std::sqrt(n.x * n.x + n.y * n.y + n.z * n.z);
                at[3] = n.x;
                at[4] = n.y;
                at[5] = n.z;
                if (c.fixed) {
                    for (int k = 3; k < 6; ++k) {
                        at[k] = std::trunc(at[k] * 65536.0f) / 65536.0f;
                    }
                }
            }
        }
        ogreDestination.resize(ogreSource.size());

        BufferManager* buffers = engine().getBufferManager();
        const int type = c.fixed ? VertexFormat::Type_FIXED32 : VertexFormat::Type_FLOAT32;
        IntrusivePointer<VertexFormat> format = buffers->createVertexFormat();
        format->addElement(VertexFormat::Semantic_POSITION, 0, VertexFormat::makeFormat(type, 3));
        if (c.normals) {
            format->addElement(VertexFormat::Semantic_NORMAL, 0, VertexFormat::makeFormat(type, 3));
        }
        IntrusivePointer<rezezaz::render::VertexBuffer> buffer = buffers->createVertexBuffer(1, 3, format, c.vertices);
        {
            rezezaz::render::VertexBufferAccessor a(buffer.get(), 2);
            for (int v = 0; v < c.vertices; ++v) {
                const float* at = &ogreSource[static_cast<size_t>(v) * stride];
                a.set3(v, 0, at[0], at[1], at[2]);
                if (c.normals) {
                    a.set3(v, 1, at[3], at[4], at[5]);
                }
            }
        }

        // Each vertex moved by `weights` different bones, the weights summing to 1.
        rezezaz::core::Collection<Mesh::BoneAssignmentList> lists;
        lists.resize(c.vertices);
        ogreWeights.resize(static_cast<size_t>(c.vertices) * c.weights);
        ogreIndices.resize(ogreWeights.size());
        std::uniform_int_distribution<int> pick(0, BONES - 1);
        for (int v = 0; v < c.vertices; ++v) {
            float left = 1.0f;
            const int first = pick(rng);
            for (int k = 0; k < c.weights; ++k) {
                Mesh::VertexBoneAssignment a;
                a.bone = static_cast<uint16_t>((first + 7 * k) % BONES);
                a.weight = k + 1 == c.weights ? left : left * 0.5f;
                left -= a.weight;
                lists[v].add(a);
                ogreWeights[static_cast<size_t>(v) * c.weights + k] = a.weight;
                ogreIndices[static_cast<size_t>(v) * c.weights + k] = static_cast<unsigned char>(a.bone);
            }
        }

        // Roots in their bind pose at the origin, posed by a sequence that turns and moves each.
        IntrusivePointer<Skeleton> skeleton(new Skeleton());
        IntrusivePointer<Sequence> sequence(new Sequence());
        sequence->setName(rezezaz::core::String("sway"));
        for (int b = 0; b < BONES; ++b) {
            IntrusivePointer<Skeleton::Bone> bone(new Skeleton::Bone());
            bone->index = b;
            skeleton->addBone(bone.get());
            IntrusivePointer<Track> track(new Track(engine().getVertexFormats().POSITION_SEMANTIC7_SEMANTIC6.get()));
            for (int key = 0; key < 2; ++key) {
                Quaternion q(unit(rng), unit(rng), unit(rng), unit(rng) + 2.0f);
                const float l = std::sqrt(q.x * q.x + q.y * q.y + q.z * q.z + q.w * q.w);
                const float record[10] = {unit(rng) * 0.5f, unit(rng) * 0.5f, unit(rng) * 0.5f, q.x / l, q.y / l, q.z / l,
                                          q.w / l, 1, 1, 1};
                track->addKeyFrame(float(key), record);
            }
            sequence->addTrack(track.get());
        }
        skeleton->addSequence(sequence.get());
        skeleton->compile();

        mesh = new Mesh();
        IntrusivePointer<Mesh::SubMesh> sub(new Mesh::SubMesh());
        sub->indexData = new rezezaz::render::IndexData(rezezaz::render::IndexData::Primitive_TRIANGLES, nullptr, 0, c.vertices);
        mesh->addSubMesh(sub);
        mesh->setStaticVertexData(new rezezaz::render::VertexData(buffer));
        mesh->setVertexBoneAssignments(lists);
        mesh->setSkeleton(skeleton);
        component = new MeshComponent(&engine());
        component->setMesh(mesh.get());
        SkeletonComponent* posed = component->getSkeleton();
        posed->getAnimation(0)->setWeight(1.0f);
        posed->getAnimation(0)->setValue(0.4f);
        posed->updateBones();

        // Ogre's matrices: the same map q v q* + T.
        ogreMatrices.resize(BONES);
        for (int b = 0; b < BONES; ++b) {
            const SkeletonComponent::Bone& bone = *posed->getBone(b);
            const float x = bone.boneSpaceRotate.x, y = bone.boneSpaceRotate.y, z = bone.boneSpaceRotate.z,
                        w = bone.boneSpaceRotate.w;
            const float m[12] = {w * w + x * x - y * y - z * z, 2 * (x * y - w * z), 2 * (x * z + w * y), bone.boneSpaceTranslate.x,
                                 2 * (x * y + w * z), w * w - x * x + y * y - z * z, 2 * (y * z - w * x), bone.boneSpaceTranslate.y,
                                 2 * (x * z - w * y), 2 * (y * z + w * x), w * w - x * x - y * y + z * z, bone.boneSpaceTranslate.z};
            ogreMatrices[b].m = Ogre::Affine3(m);
        }
        for (int b = 0; b < BONES; ++b) {
            ogreMatrixPointers.push_back(&ogreMatrices[b].m);
        }
        check(c);
    }

    void ogre(const Config& c)
    {
        const int stride = (c.normals ? 6 : 3) * 4;
        Ogre::OptimisedUtil::getImplementation()->softwareVertexSkinning(
            ogreSource.data(), ogreDestination.data(), c.normals ? ogreSource.data() + 3 : nullptr,
            c.normals ? ogreDestination.data() + 3 : nullptr, ogreWeights.data(), ogreIndices.data(),
            ogreMatrixPointers.data(), stride, stride, stride, stride, c.weights * 4, c.weights, c.weights, c.vertices);
    }

    void check(const Config& c)
    {
        component->updateVertexBuffer();
        ogre(c);
        const int stride = c.normals ? 6 : 3;
        const float tolerance = 1e-5f + (c.fixed ? 1.0f / 65536.0f : 0.0f);
        rezezaz::render::VertexBufferAccessor a(component->getDynamicVertexData()->vertexBuffers[0].get(), 1);
        auto read = [&](int v, int k) {
            const int word = v * a.vertexSize + k;
            return a.fixed ? float(a.fixedData[word]) / 65536.0f : a.floatData[word];
        };
        for (int v = 0; v < c.vertices && error.empty(); ++v) {
            const float* theirs = &ogreDestination[static_cast<size_t>(v) * stride];
            for (int k = 0; k < 3; ++k) {
                if (std::fabs(read(v, k) - theirs[k]) > tolerance) {
                    error = "position " + std::to_string(v) + " differs from Ogre's";
                }
            }
            if (c.normals) {
                const Vector3 ours(read(v, 3), read(v, 4), read(v, 5));
                const float l = std::sqrt(ours.x * ours.x + ours.y * ours.y + ours.z * ours.z);
                for (int k = 0; k < 3; ++k) {
                    const float o = (k == 0 ? ours.x : k == 1 ? ours.y : ours.z) / l;
                    if (std::fabs(o - theirs[3 + k]) > NORMAL_TOLERANCE + (c.fixed ? 4.0f / 65536.0f : 0.0f)) {
                        error = "normal " + std::to_string(v) + " points elsewhere than Ogre's";
                    }
                }
            }
        }
    }
};

Case& getCase(const Config& c)
{
    static std::map<Config, std::unique_ptr<Case>> cases;
    std::unique_ptr<Case>& entry = cases[c];
    if (!entry) {
        entry = std::make_unique<Case>(c);
    }
    return *entry;
}

using Clock = std::chrono::steady_clock;

// Ours and Ogre's skinning of the same case, once each per iteration, timed apart; which goes first
// alternates, so that neither always finds the caches warm and the load of the machine falls on both
// alike. Per-skinning times of each, their ratio (ours / Ogre's), and what Ogre does differently.
void skinning(benchmark::State& state, Config c)
{
    Case& k = getCase(c);
    if (!k.error.empty()) {
        state.SkipWithError(k.error.c_str());
        return;
    }
    Clock::duration ourTime{}, ogreTime{};
    int64_t round = 0;
    for (auto _ : state) {
        const bool oursFirst = ++round % 2 == 0;
        for (int turn = 0; turn < 2; ++turn) {
            const bool mine = (turn == 0) == oursFirst;
            const Clock::time_point start = Clock::now();
            if (mine) {
                k.component->updateVertexBuffer();
            } else {
                k.ogre(c);
            }
            benchmark::ClobberMemory();
            (mine ? ourTime : ogreTime) += Clock::now() - start;
        }
    }
    const double rounds = static_cast<double>(state.iterations());
    const double ours = std::chrono::duration<double, std::micro>(ourTime).count() / rounds;
    const double ogre = std::chrono::duration<double, std::micro>(ogreTime).count() / rounds;
    const double assignments = static_cast<double>(c.vertices) * c.weights;
    state.counters["ours_us"] = ours;
    state.counters["ogre_us"] = ogre;
    state.counters["ours_Mitems_per_s"] = assignments / ours;
    state.counters["ogre_Mitems_per_s"] = assignments / ogre;
    state.counters["ratio"] = ogre > 0 ? ours / ogre : 0;
    std::string differs;
    if (c.fixed) {
        differs = "Ogre skins floats (no 16.16 path)";
    }
    if (c.normals) {
        differs += std::string(differs.empty() ? "" : "; ") + "Ogre renormalises normals";
    }
    state.SetLabel(differs);
}

// The skeleton's frame update: every bone sampled from the sequence, then posed and bounded.
void oursFrameUpdate(benchmark::State& state)
{
    Case& k = getCase(Config{1000, 1, false, false});
    SkeletonComponent* posed = k.component->getSkeleton();
    float time = 0.0f;
    for (auto _ : state) {
        time = time > 1.0f ? 0.0f : time + 0.01f;
        posed->getAnimation(0)->setValue(time);
        posed->frameUpdate(33, -1);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * BONES);
}

// Ours and Ogre's interleaved in one benchmark for each case.
const bool registered = [] {
    for (int vertices : {1000, 10000, 100000}) {
        for (int weights : {1, 2, 4}) {
            for (bool fixed : {false, true}) {
                for (bool normals : {false, true}) {
                    const Config c{vertices, weights, fixed, normals};
                    benchmark::RegisterBenchmark(("Skinning/" + c.name()).c_str(), skinning, c);
                }
            }
        }
    }
    benchmark::RegisterBenchmark("SkeletonFrameUpdate/32bones", oursFrameUpdate);
    return true;
}();

} // namespace
