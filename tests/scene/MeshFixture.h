#pragma once

#include "core/IntrusivePointer.h"
#include "core/ResourceDestroyedListener.h"
#include "core/math/Quaternion.h"
#include "core/math/Vector3.h"
#include "render/VertexBufferAccessor.h"
#include "render/VertexData.h"
#include "render/VertexFormat.h"
#include "scene/BufferManager.h"
#include "scene/Engine.h"
#include "scene/Mesh.h"
#include "scene/Skeleton.h"

#include <gtest/gtest.h>

#include <vector>

namespace scenetest {

// Keeps every resource it is told of.
struct DestroyedRecorder : rezezaz::core::ResourceDestroyedListener
{
    void resourceDestroyed(rezezaz::core::Resource* resource) override { destroyed.push_back(resource); }
    std::vector<rezezaz::core::Resource*> destroyed;
};

// A backed engine without a device, so buffers live in system memory and skinning runs on the CPU,
// with helpers that build vertex buffers, skeletons and meshes.
class MeshFixture : public ::testing::Test
{
protected:
    template <class T> using Pointer = rezezaz::core::IntrusivePointer<T>;
    using Vector3 = rezezaz::core::math::Vector3;
    using Quaternion = rezezaz::core::math::Quaternion;
    using VertexFormat = rezezaz::render::VertexFormat;

    MeshFixture() { engine->setHasBackableFixed(true); }
    ~MeshFixture() override { engine->destroy(); }

    rezezaz::scene::BufferManager* buffers() const { return engine->getBufferManager(); }

    // A format of position (and normal) with three components of type each.
    Pointer<VertexFormat> format(int type, bool normals)
    {
        Pointer<VertexFormat> f = buffers()->createVertexFormat();
        f->addElement(VertexFormat::Semantic_POSITION, 0, VertexFormat::makeFormat(type, 3));
        if (normals) {
            f->addElement(VertexFormat::Semantic_NORMAL, 0, VertexFormat::makeFormat(type, 3));
        }
        return f;
    }

    // Vertex data over one static buffer holding the positions (and normals).
    Pointer<rezezaz::render::VertexData> vertexData(const std::vector<Vector3>& positions,
                                                    const std::vector<Vector3>& normals = {},
                                                    int type = VertexFormat::Type_FLOAT32)
    {
        Pointer<VertexFormat> f = format(type, !normals.empty());
        Pointer<rezezaz::render::VertexBuffer> buffer =
            buffers()->createVertexBuffer(1, 3, f, static_cast<int>(positions.size()));
        {
            rezezaz::render::VertexBufferAccessor a(buffer.get(), 2);
            for (size_t i = 0; i < positions.size(); ++i) {
                a.set(static_cast<int>(i), 0, positions[i]);
                if (!normals.empty()) {
                    a.set(static_cast<int>(i), 1, normals[i]);
                }
            }
        }
        return new rezezaz::render::VertexData(buffer);
    }

    // Position (and normal) of vertex i of the first buffer of data.
    static Vector3 readVertex(rezezaz::render::VertexData* data, int i, int element = 0)
    {
        rezezaz::render::VertexBufferAccessor a(data->vertexBuffers[0].get(), 1);
        const int word = i * a.vertexSize + a.elementOffsets[element];
        if (a.fixed) {
            return Vector3(a.fixedData[word] / 65536.0f, a.fixedData[word + 1] / 65536.0f,
                           a.fixedData[word + 2] / 65536.0f);
        }
        return Vector3(a.floatData[word], a.floatData[word + 1], a.floatData[word + 2]);
    }

    static Pointer<rezezaz::scene::Skeleton::Bone> bone(int index, int parent, const Vector3& translate,
                                                        const Quaternion& rotate = Quaternion())
    {
        Pointer<rezezaz::scene::Skeleton::Bone> b(new rezezaz::scene::Skeleton::Bone());
        b->index = index;
        b->parentIndex = parent;
        b->translate = translate;
        b->rotate = rotate;
        return b;
    }

    using Assignments = rezezaz::core::Collection<rezezaz::scene::Mesh::BoneAssignmentList>;

    // One list per vertex, each of (bone, weight) pairs.
    static Assignments assignments(const std::vector<std::vector<std::pair<int, float>>>& lists)
    {
        Assignments result;
        for (const auto& list : lists) {
            rezezaz::scene::Mesh::BoneAssignmentList l;
            for (const auto& entry : list) {
                rezezaz::scene::Mesh::VertexBoneAssignment a;
                a.bone = static_cast<uint16_t>(entry.first);
                a.weight = entry.second;
                l.add(a);
            }
            result.add(l);
        }
        return result;
    }

    Pointer<rezezaz::scene::Engine> engine{new rezezaz::scene::Engine(nullptr, nullptr)};
};

inline void expectNear(const rezezaz::core::math::Vector3& actual, const rezezaz::core::math::Vector3& expected,
                       float tolerance = 1e-5f)
{
    EXPECT_NEAR(actual.x, expected.x, tolerance);
    EXPECT_NEAR(actual.y, expected.y, tolerance);
    EXPECT_NEAR(actual.z, expected.z, tolerance);
}

inline void expectNear(const rezezaz::core::math::Quaternion& actual, const rezezaz::core::math::Quaternion& expected,
                       float tolerance = 1e-5f)
{
    EXPECT_NEAR(actual.x, expected.x, tolerance);
    EXPECT_NEAR(actual.y, expected.y, tolerance);
    EXPECT_NEAR(actual.z, expected.z, tolerance);
    EXPECT_NEAR(actual.w, expected.w, tolerance);
}

} // namespace scenetest
