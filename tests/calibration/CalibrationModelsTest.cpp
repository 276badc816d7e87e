// The calibration view's five compiled-in meshes, read through the engine's mesh manager, and the
// tool that makes them.
#include "content/EngineHandlers.h"
#include "content/TMSHStreamer.h"
#include "render/BlendState.h"
#include "render/IndexData.h"
#include "render/MaterialState.h"
#include "render/RasterizerState.h"
#include "render/RenderState.h"
#include "render/VertexData.h"
#include "scene/Engine.h"
#include "scene/Mesh.h"
#include "scene/MeshComponent.h"
#include "scene/ResourceManager.h"
#include "scene/Skeleton.h"
#include "scene/material/Material.h"
#include "scene/material/RenderPass.h"
#include "support/LogCapture.h"
#include "support/TemporaryFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

using rezezaz::core::IntrusivePointer;
using rezezaz::scene::Engine;
using rezezaz::scene::Mesh;
namespace math = rezezaz::core::math;
namespace render = rezezaz::render;

namespace {

const std::string MODELS = std::string(PELOTUNE_RESOURCES) + "/tmsh/";
const char* const NAMES[] = {"crank", "bigChain", "smallChain", "backArrow", "frontArrow"};

struct Vertex
{
    math::Vector3 position;
    math::Vector3 normal;
};

std::vector<Vertex> verticesOf(const Mesh& mesh)
{
    render::VertexBuffer* buffer = mesh.staticVertexData->vertexBuffers[0].get();
    const auto* floats = reinterpret_cast<const float*>(buffer->lock(render::Buffer::Access_READ));
    std::vector<Vertex> result;
    for (int i = 0; i < buffer->getSize(); ++i) {
        const float* v = floats + 6 * i;
        result.push_back({math::Vector3(v[0], v[1], v[2]), math::Vector3(v[3], v[4], v[5])});
    }
    buffer->unlock();
    return result;
}

std::vector<uint16_t> indicesOf(const Mesh::SubMesh& subMesh)
{
    render::IndexBuffer* buffer = subMesh.indexData->indexBuffer.get();
    const auto* data = reinterpret_cast<const uint16_t*>(buffer->lock(render::Buffer::Access_READ));
    std::vector<uint16_t> result(data, data + buffer->getSize());
    buffer->unlock();
    return result;
}

double dot(const math::Vector3& a, const math::Vector3& b)
{
    return double(a.x) * b.x + double(a.y) * b.y + double(a.z) * b.z;
}

math::Vector3 cross(const math::Vector3& a, const math::Vector3& b)
{
    return math::Vector3(a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x);
}

class CalibrationModelsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        engine = new Engine(nullptr, nullptr);
        engine->setHasBackableFixed(true);
        installHandlers(*engine);
    }

    void TearDown() override
    {
        engine->destroy();
        engine = nullptr;
    }

    IntrusivePointer<Mesh> find(const std::string& name)
    {
        auto resource = engine->getMeshManager()->find((MODELS + name + ".tmsh").c_str(), nullptr);
        return IntrusivePointer<Mesh>(dynamic_cast<Mesh*>(resource.get()));
    }

    support::LogCapture log;
    IntrusivePointer<Engine> engine;
};

TEST_F(CalibrationModelsTest, TheFiveModelsHoldWhatTheViewExpects)
{
    struct Model
    {
        const char* name;
        std::vector<int> indexCounts;
        int vertices;
        int usage;
        int access;
        std::vector<const char*> materials;
        int fileSize;
    };
    const Model models[] = {
        {"crank", {1920, 4560}, 1966, 8, 7, {"Material", "Material.002"}, 78599},
        {"bigChain", {681}, 339, 1, 6, {"Chain"}, 9817},
        {"smallChain", {681}, 339, 1, 6, {"Chain"}, 9817},
        {"backArrow", {216}, 88, 1, 6, {"Arrow"}, 2863},
        {"frontArrow", {216}, 74, 1, 6, {"Arrow"}, 2527},
    };
    for (const Model& m : models) {
        SCOPED_TRACE(m.name);
        EXPECT_EQ(int(support::readFile(MODELS + m.name + ".tmsh").size()), m.fileSize);
        IntrusivePointer<Mesh> mesh = find(m.name);
        ASSERT_TRUE(mesh);
        EXPECT_FALSE(mesh->transform);

        ASSERT_TRUE(mesh->staticVertexData);
        ASSERT_EQ(mesh->staticVertexData->vertexBuffers.size(), 1);
        render::VertexBuffer* buffer = mesh->staticVertexData->vertexBuffers[0].get();
        EXPECT_EQ(buffer->getSize(), m.vertices);
        EXPECT_EQ(buffer->getUsage(), m.usage);
        EXPECT_EQ(buffer->getAccess(), m.access);
        render::VertexFormat* format = buffer->getVertexFormat().get();
        ASSERT_EQ(format->getNumElements(), 2);
        EXPECT_EQ(format->getVertexSize(), 24);
        for (int e = 0; e < 2; ++e) {
            EXPECT_EQ(format->getElementSemantic(e), e == 0 ? 0 : 3);
            EXPECT_EQ(format->getElementIndex(e), 0);
            EXPECT_EQ(format->getElementFormat(e), 0x30006);
        }
        const std::vector<Vertex> vertices = verticesOf(*mesh);

        // The box bound holds every vertex.
        ASSERT_TRUE(mesh->bound);
        EXPECT_EQ(mesh->bound->kind, rezezaz::scene::Bound::Kind_BOX);
        for (const Vertex& v : vertices) {
            const math::AABox& box = mesh->bound->box;
            ASSERT_TRUE(v.position.x >= box.minimum.x && v.position.y >= box.minimum.y &&
                        v.position.z >= box.minimum.z && v.position.x <= box.maximum.x &&
                        v.position.y <= box.maximum.y && v.position.z <= box.maximum.z);
        }

        ASSERT_EQ(mesh->getNumSubMeshes(), int(m.indexCounts.size()));
        for (int s = 0; s < mesh->getNumSubMeshes(); ++s) {
            const Mesh::SubMesh* subMesh = mesh->getSubMesh(s);
            EXPECT_FALSE(subMesh->vertexData);
            EXPECT_FALSE(subMesh->transform);
            EXPECT_FALSE(subMesh->bound);
            EXPECT_EQ(subMesh->materialName.length(), 0);
            EXPECT_EQ(subMesh->getName().length(), 0);
            ASSERT_TRUE(subMesh->indexData && subMesh->indexData->indexBuffer);
            const render::IndexData& indexData = *subMesh->indexData;
            EXPECT_EQ(indexData.primitive, render::IndexData::Primitive_TRIANGLES);
            EXPECT_EQ(indexData.start, 0);
            EXPECT_EQ(indexData.count, m.indexCounts[s]);
            EXPECT_EQ(indexData.indexBuffer->getSize(), m.indexCounts[s]);
            EXPECT_EQ(indexData.indexBuffer->getIndexFormat(), 2);
            EXPECT_EQ(indexData.indexBuffer->getUsage(), 1);
            EXPECT_EQ(indexData.indexBuffer->getAccess(), 6);

            // Every triangle is counter-clockwise seen from where its normals point.
            const std::vector<uint16_t> indices = indicesOf(*subMesh);
            int wrong = 0;
            for (size_t t = 0; t + 2 < indices.size(); t += 3) {
                ASSERT_LT(std::max({indices[t], indices[t + 1], indices[t + 2]}), m.vertices);
                const Vertex& a = vertices[indices[t]];
                const Vertex& b = vertices[indices[t + 1]];
                const Vertex& c = vertices[indices[t + 2]];
                const math::Vector3 face = cross(b.position - a.position, c.position - a.position);
                if (dot(face, a.normal + b.normal + c.normal) <= 0.0) {
                    ++wrong;
                }
            }
            EXPECT_EQ(wrong, 0);

            ASSERT_TRUE(subMesh->material);
            EXPECT_STREQ(subMesh->material->getName().c_str(), m.materials[s]);
            render::RenderState* state = subMesh->material->getPass(-1, -1)->getRenderState();
            ASSERT_NE(state, nullptr);
            render::MaterialState material;
            ASSERT_TRUE(state->getMaterialState(material));
            EXPECT_TRUE(material.light);
            EXPECT_EQ(material.diffuse.w, 1.0f);
            render::RasterizerState rasterizer;
            ASSERT_TRUE(state->getRasterizerState(rasterizer));
            EXPECT_EQ(rasterizer.cull, 2);
            EXPECT_EQ(rasterizer.fill, 2);
            render::BlendState blend;
            ASSERT_TRUE(state->getBlendState(blend));
            EXPECT_FALSE(blend.blends());
        }

        const bool crank = std::string(m.name) == "crank";
        EXPECT_EQ(bool(mesh->skeleton), crank);
        EXPECT_EQ(mesh->getVertexBoneAssignments().size(), crank ? m.vertices : 0);
    }
}

TEST_F(CalibrationModelsTest, TheCrankHasTwoRootBonesThatGiveBackItsVertices)
{
    IntrusivePointer<Mesh> mesh = find("crank");
    ASSERT_TRUE(mesh && mesh->skeleton);
    const rezezaz::scene::Skeleton& skeleton = *mesh->skeleton;
    ASSERT_EQ(skeleton.getNumBones(), 2);
    EXPECT_EQ(skeleton.getNumSequences(), 0);
    const char* names[] = {"Bone", "Bone.001"};
    for (int b = 0; b < 2; ++b) {
        const auto& bone = *skeleton.bones[b];
        EXPECT_STREQ(bone.name.c_str(), names[b]);
        EXPECT_EQ(bone.index, b);
        EXPECT_EQ(bone.parentIndex, -1);
        EXPECT_EQ(bone.translate, math::Vector3(0, 0, 0));
        EXPECT_EQ(bone.worldToBoneTranslate, math::Vector3(0, 0, 0));
        EXPECT_EQ(bone.scale, math::Vector3(1, 1, 1));
        const math::Quaternion& q = bone.rotate;
        EXPECT_EQ(bone.worldToBoneRotate, math::Quaternion(-q.x, -q.y, -q.z, q.w));
    }
    int onBone[2] = {0, 0};
    const std::vector<Vertex> vertices = verticesOf(*mesh);
    float leftArmEnd = 0.0f;
    for (int v = 0; v < mesh->getVertexBoneAssignments().size(); ++v) {
        const Mesh::BoneAssignmentList& list = mesh->getVertexBoneAssignments()[v];
        ASSERT_EQ(list.size(), 1);
        ASSERT_LT(list[0].bone, 2);
        EXPECT_EQ(list[0].weight, 1.0f);
        ++onBone[list[0].bone];
        if (list[0].bone == 1) {
            // The left arm lies at -x, on the far side of the axle.
            EXPECT_GT(vertices[v].position.y, 0.5f);
            leftArmEnd = std::min(leftArmEnd, vertices[v].position.x);
        }
    }
    EXPECT_EQ(onBone[0], 1804);
    EXPECT_EQ(onBone[1], 162);
    EXPECT_NEAR(leftArmEnd, -1.7f, 1e-3f);
}

TEST_F(CalibrationModelsTest, TheCrankSkinnedByTheMeshComponentEqualsItsStoredVertices)
{
    IntrusivePointer<Mesh> mesh = find("crank");
    ASSERT_TRUE(mesh);
    IntrusivePointer<rezezaz::scene::MeshComponent> component(new rezezaz::scene::MeshComponent(engine.get()));
    component->setMesh(mesh.get());
    ASSERT_TRUE(component->getSkeleton());
    ASSERT_NE(component->getDynamicVertexData(), nullptr);
    render::VertexBuffer* skinned = component->getDynamicVertexData()->vertexBuffers[0].get();
    ASSERT_EQ(skinned->getSize(), 1966);
    // Spoilt first, so that only skinning can put the vertices back.
    unsigned char* bytes = skinned->lock(render::Buffer::Access_WRITE);
    ASSERT_NE(bytes, nullptr);
    std::fill(bytes, bytes + 1966 * 24, static_cast<unsigned char>(0x7F));
    skinned->unlock();

    component->updateVertexBuffer();

    const std::vector<Vertex> stored = verticesOf(*mesh);
    const auto* floats = reinterpret_cast<const float*>(skinned->lock(render::Buffer::Access_READ));
    int different = 0;
    for (int v = 0; v < 1966; ++v) {
        const float* s = floats + 6 * v;
        const Vertex& w = stored[size_t(v)];
        if (!(s[0] == w.position.x && s[1] == w.position.y && s[2] == w.position.z && s[3] == w.normal.x &&
              s[4] == w.normal.y && s[5] == w.normal.z)) {
            ++different;
        }
    }
    skinned->unlock();
    EXPECT_EQ(different, 0);
    component->destroy();
}

TEST_F(CalibrationModelsTest, TheArrowsPointDownUnderTheLoadedArmEnds)
{
    const std::vector<Vertex> crank = verticesOf(*find("crank"));
    struct Case
    {
        const char* name;
        float side;
    };
    for (const Case c : {Case{"frontArrow", -1.0f}, Case{"backArrow", 1.0f}}) {
        SCOPED_TRACE(c.name);
        // The arm on this side of the crank at +x: the right arm as it is, the left one turned by pi
        // about the axle (x and z change sign).
        float armBottom = 10.0f;
        for (const Vertex& v : crank) {
            const float x = c.side < 0 ? v.position.x : -v.position.x;
            const float z = c.side < 0 ? v.position.z : -v.position.z;
            if (v.position.y * c.side > 0.5f && x > 1.5f) {
                armBottom = std::min(armBottom, z);
            }
        }
        ASSERT_LT(armBottom, 10.0f);
        const std::vector<Vertex> arrow = verticesOf(*find(c.name));
        float top = -10.0f;
        float tip = 10.0f;
        for (const Vertex& v : arrow) {
            EXPECT_NEAR(v.position.x, 1.6f, 0.11f);
            EXPECT_NEAR(v.position.y, 0.58f * c.side, 0.11f);
            top = std::max(top, v.position.z);
            tip = std::min(tip, v.position.z);
        }
        EXPECT_LT(top, armBottom);
        EXPECT_NEAR(top, -0.25f, 1e-3f);
        EXPECT_NEAR(tip, -1.15f, 1e-3f);
    }
}

TEST(CalibrationModelsToolTest, TheToolMakesTheCommittedFilesByteForByte)
{
    support::TemporaryFolder folder;
    const std::string command = std::string("'") + PELOTUNE_MODEL_TOOL + "' '" + folder.path() + "' >/dev/null 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0);
    for (const char* name : NAMES) {
        const std::string made = support::readFile(folder.file(std::string(name) + ".tmsh"));
        const std::string committed = support::readFile(MODELS + name + ".tmsh");
        ASSERT_FALSE(committed.empty()) << name;
        EXPECT_TRUE(made == committed) << name << ": " << made.size() << " bytes made, " << committed.size()
                                       << " committed";
    }
}

} // namespace
