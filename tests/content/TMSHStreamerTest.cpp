#include "content/TMSHStreamer.h"
#include "TMSHBytes.h"
#include "content/EngineHandlers.h"
#include "core/Exception.h"
#include "core/io/MemoryStream.h"
#include "render/BlendState.h"
#include "render/IndexData.h"
#include "render/MaterialState.h"
#include "render/RasterizerState.h"
#include "render/RenderState.h"
#include "render/VertexBufferAccessor.h"
#include "render/VertexData.h"
#include "scene/BufferManager.h"
#include "scene/Engine.h"
#include "scene/Mesh.h"
#include "scene/Sequence.h"
#include "scene/Skeleton.h"
#include "scene/Track.h"
#include "scene/material/Material.h"
#include "scene/material/RenderPass.h"
#include "support/LogCapture.h"
#include "support/RecordingRenderDevice.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

using contenttest::TMSHBytes;
using rezezaz::core::Exception;
using rezezaz::core::IntrusivePointer;
using rezezaz::core::io::MemoryStream;
using rezezaz::render::BlendState;
using rezezaz::render::IndexData;
using rezezaz::render::MaterialState;
using rezezaz::render::RasterizerState;
using rezezaz::render::VertexFormat;
using rezezaz::scene::Bound;
using rezezaz::scene::Engine;
using rezezaz::scene::Mesh;
using rezezaz::scene::Sequence;
using rezezaz::scene::Skeleton;
using rezezaz::scene::TMSHStreamer;
using rezezaz::scene::Track;
namespace math = rezezaz::core::math;

namespace {

constexpr int POSITION_FLOATS = VertexFormat::makeFormat(VertexFormat::Type_FLOAT32, 3);

// Shared vertex data of `count` positions (12 bytes each), then `lists` assignment lists.
TMSHBytes positions(uint32_t count, const std::vector<float>& values = {})
{
    TMSHBytes b;
    b.u32(1).u32(1).u32(6).u32(1).u32(0).u32(0).u32(POSITION_FLOATS).u32(count);
    for (uint32_t i = 0; i < count * 3; ++i) {
        b.f32(i < values.size() ? values[i] : float(i));
    }
    return b;
}

// A submesh drawing 16-bit triangles from the shared vertices.
TMSHBytes indexed(const std::vector<uint16_t>& indices, int32_t start = 0, int32_t count = INT32_MIN)
{
    TMSHBytes s;
    s.u32(0).u32(3).u32(1).u32(6).u32(2).u32(uint32_t(indices.size()));
    for (uint16_t i : indices) {
        s.u16(i);
    }
    s.i32(start).i32(count == INT32_MIN ? int32_t(indices.size()) : count);
    return s.str("").str("").u8(0).u8(0).i32(0);
}

// A material block of that name with all three records, each field at its stored offset.
TMSHBytes materialBlock(const std::string& name, float shininess, int32_t cull)
{
    TMSHBytes m;
    m.u8(1).str(name).u8(1);
    TMSHBytes state;
    state.u8(1).u8(0).u16(0).i32(2).i32(2).zeros(4);
    for (int c = 0; c < 3; ++c) {
        state.f32(0.25f).f32(0.5f).f32(0.75f).f32(1.0f);
    }
    state.f32(shininess).zeros(12).f32(0.0f).f32(0.0f).f32(0.0f).f32(1.0f).i32(4).f32(0.125f).zeros(8);
    m.raw(state.bytes).u8(1).i32(cull).i32(1).f32(2.0f).f32(3.0f).u8(1).u8(0).u16(0).f32(4.0f);
    m.u8(1).i32(7).i32(9).i32(5);
    return m;
}

// An engine with its handlers and device-independent buffers and render states, and no device.
class TMSHStreamerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        engine = new Engine(nullptr, nullptr);
        engine->setHasBackableFixed(true);
        installHandlers(*engine);
        streamer = new TMSHStreamer(engine.get());
    }

    void TearDown() override
    {
        streamer = nullptr;
        engine->destroy();
        engine = nullptr;
    }

    IntrusivePointer<Mesh> load(const TMSHBytes& file)
    {
        IntrusivePointer<rezezaz::core::Resource> resource = streamer->load(file.stream().get(), nullptr, nullptr);
        return IntrusivePointer<Mesh>(dynamic_cast<Mesh*>(resource.get()));
    }

    // The error text of a load that must fail; it leaves no buffer behind.
    std::string refusal(const TMSHBytes& file)
    {
        std::string text = "(loaded)";
        try {
            load(file);
        } catch (const Exception& e) {
            text = e.getDescription();
        }
        EXPECT_EQ(engine->getBufferManager()->getVertexBuffers().size(), 0);
        EXPECT_EQ(engine->getBufferManager()->getIndexBuffers().size(), 0);
        return text;
    }

    std::vector<unsigned char> save(Mesh* mesh, bool expected = true)
    {
        IntrusivePointer<MemoryStream> out(new MemoryStream());
        EXPECT_EQ(streamer->save(out.get(), mesh, nullptr, nullptr), expected);
        const unsigned char* data = out->getOriginalDataPointer();
        return data != nullptr ? std::vector<unsigned char>(data, data + out->length()) : std::vector<unsigned char>();
    }

    support::LogCapture log;
    IntrusivePointer<Engine> engine;
    IntrusivePointer<TMSHStreamer> streamer;
};

TEST_F(TMSHStreamerTest, BlocksAreReadInFileOrderAndUnknownOnesSkipped)
{
    // Just a header and an empty mesh block.
    IntrusivePointer<Mesh> empty = load(TMSHBytes().header().block(1, TMSHBytes::mesh({}, TMSHBytes::noVertices())));
    ASSERT_TRUE(empty);
    EXPECT_EQ(empty->getNumSubMeshes(), 0);
    EXPECT_FALSE(empty->staticVertexData);
    EXPECT_FALSE(empty->skeleton);
    EXPECT_FALSE(empty->transform);
    EXPECT_FALSE(empty->bound);

    // Without a mesh block there is no resource, and no error.
    EXPECT_FALSE(load(TMSHBytes().header()));
    EXPECT_FALSE(load(TMSHBytes().header().block(2, materialBlock("m", 1.0f, 2))));

    // A type-7 block of 10 bytes between two mesh blocks is skipped; the second mesh wins.
    TMSHBytes skipped;
    skipped.header()
        .block(1, TMSHBytes::mesh({TMSHBytes::subMesh("")}, TMSHBytes::noVertices()))
        .block(7, TMSHBytes().zeros(10))
        .block(1, TMSHBytes::mesh({TMSHBytes::subMesh("a"), TMSHBytes::subMesh("b")}, TMSHBytes::noVertices()));
    IntrusivePointer<Mesh> second = load(skipped);
    ASSERT_TRUE(second);
    ASSERT_EQ(second->getNumSubMeshes(), 2);
    EXPECT_STREQ(second->getSubMesh(1)->materialName.c_str(), "b");

    // An unknown block that runs past the end ends the blocks as a short stream does.
    TMSHBytes past;
    past.header().block(1, TMSHBytes::mesh({}, TMSHBytes::noVertices())).i32(9).i32(1000).zeros(4);
    EXPECT_TRUE(load(past));
}

TEST_F(TMSHStreamerTest, UnnamedSubmeshesTakeTheMaterialsInOrder)
{
    struct Case
    {
        int materialBlocks;
        std::vector<bool> expected; // per submesh: has a material
    };
    const Case cases[] = {{2, {true, false, true}}, {3, {true, false, true}}, {1, {true, false, false}}};
    for (const Case& c : cases) {
        TMSHBytes file;
        file.header().block(1, TMSHBytes::mesh({TMSHBytes::subMesh(""), TMSHBytes::subMesh("Named"),
                                                 TMSHBytes::subMesh("")},
                                                TMSHBytes::noVertices()));
        for (int i = 0; i < c.materialBlocks; ++i) {
            file.block(2, materialBlock("m" + std::to_string(i), float(i + 1), 2));
        }
        IntrusivePointer<Mesh> mesh = load(file);
        ASSERT_TRUE(mesh);
        for (int s = 0; s < 3; ++s) {
            EXPECT_EQ(bool(mesh->getSubMesh(s)->material), c.expected[s]) << c.materialBlocks << " blocks, " << s;
        }
        EXPECT_STREQ(mesh->getSubMesh(0)->material->getName().c_str(), "m0");
        if (c.materialBlocks >= 2) {
            EXPECT_STREQ(mesh->getSubMesh(2)->material->getName().c_str(), "m1");
        }
    }
}

TEST_F(TMSHStreamerTest, MaterialRecordsAreReadAtTheirOffsetsOntoThePassState)
{
    TMSHBytes file;
    file.header().block(1, TMSHBytes::mesh({TMSHBytes::subMesh("")}, TMSHBytes::noVertices()));
    file.block(2, materialBlock("Chrome", 24.0f, 1));
    IntrusivePointer<Mesh> mesh = load(file);
    ASSERT_TRUE(mesh);
    rezezaz::scene::material::Material* material = mesh->getSubMesh(0)->material.get();
    ASSERT_NE(material, nullptr);
    EXPECT_STREQ(material->getName().c_str(), "Chrome");
    rezezaz::render::RenderState* state = material->getPass(-1, -1)->getRenderState();
    ASSERT_NE(state, nullptr);
    MaterialState m;
    ASSERT_TRUE(state->getMaterialState(m));
    EXPECT_TRUE(m.light);
    EXPECT_FALSE(m.trackColor);
    EXPECT_EQ(m.shade, 2);
    EXPECT_EQ(m.normalize, 2);
    EXPECT_EQ(m.diffuse, math::Vector4(0.25f, 0.5f, 0.75f, 1.0f));
    EXPECT_EQ(m.shininess, 24.0f);
    EXPECT_EQ(m.emissive, math::Vector4(0.0f, 0.0f, 0.0f, 1.0f));
    EXPECT_EQ(m.alphaTest, 4);
    EXPECT_EQ(m.alphaCutoff, 0.125f);
    RasterizerState r;
    ASSERT_TRUE(state->getRasterizerState(r));
    EXPECT_EQ(r.cull, 1);
    EXPECT_EQ(r.fill, 1);
    EXPECT_EQ(r.depthBiasConstant, 2.0f);
    EXPECT_EQ(r.depthBiasSlope, 3.0f);
    EXPECT_TRUE(r.multisample);
    EXPECT_FALSE(r.dither);
    EXPECT_EQ(r.lineSize, 4.0f);
    BlendState b;
    ASSERT_TRUE(state->getBlendState(b));
    EXPECT_EQ(b.source, 7);
    EXPECT_EQ(b.dest, 9);
    EXPECT_EQ(b.colorWrite, 5);

    // Written back, the block is the same bytes, padding as zeros.
    const std::vector<unsigned char> saved = save(mesh.get());
    const std::vector<unsigned char>& expected = materialBlock("Chrome", 24.0f, 1).bytes;
    ASSERT_GE(saved.size(), expected.size());
    EXPECT_EQ(std::vector<unsigned char>(saved.end() - long(expected.size()), saved.end()), expected);
}

TEST_F(TMSHStreamerTest, ShortStateRecordsKeepTheDefaults)
{
    // The file ends inside the material record: the rest keeps the defaults.
    TMSHBytes file;
    file.header().block(1, TMSHBytes::mesh({TMSHBytes::subMesh("")}, TMSHBytes::noVertices()));
    file.i32(2).i32(100).u8(1).str("").u8(1).u8(0).u8(1);
    IntrusivePointer<Mesh> mesh = load(file);
    ASSERT_TRUE(mesh);
    MaterialState m;
    ASSERT_TRUE(mesh->getSubMesh(0)->material->getPass(-1, -1)->getRenderState()->getMaterialState(m));
    EXPECT_FALSE(m.light);
    EXPECT_TRUE(m.trackColor);
    EXPECT_EQ(m.shade, 1);
    EXPECT_EQ(m.normalize, 1);
    EXPECT_EQ(m.ambient, math::Vector4(1.0f, 1.0f, 1.0f, 1.0f));
    EXPECT_EQ(m.shininess, 1.0f);
    EXPECT_EQ(m.alphaCutoff, 0.5f);
}

TEST_F(TMSHStreamerTest, SequencesGoToTheSkeletonWhereverItIs)
{
    TMSHBytes bone;
    bone.i32(0).i32(-1);
    for (int i = 0; i < 23; ++i) {
        bone.f32(float(i));
    }
    bone.str("Root");
    const TMSHBytes skeleton = TMSHBytes().i32(1).raw(bone.bytes);
    auto sequence = [](float length) { return TMSHBytes().i32(0).f32(length); };

    TMSHBytes without;
    without.header().block(4, sequence(1.0f)).block(1, TMSHBytes::mesh({}, TMSHBytes::noVertices()));
    IntrusivePointer<Mesh> alone = load(without);
    ASSERT_TRUE(alone);
    EXPECT_FALSE(alone->skeleton);

    TMSHBytes with;
    with.header().block(4, sequence(1.0f)).block(1, TMSHBytes::mesh({}, TMSHBytes::noVertices()));
    with.block(4, sequence(2.0f)).block(3, skeleton).block(4, sequence(3.0f));
    IntrusivePointer<Mesh> mesh = load(with);
    ASSERT_TRUE(mesh);
    ASSERT_TRUE(mesh->skeleton);
    ASSERT_EQ(mesh->skeleton->getNumSequences(), 3);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(mesh->skeleton->sequences[i]->getLength(), float(i + 1));
    }
    ASSERT_EQ(mesh->skeleton->getNumBones(), 1);
    const Skeleton::Bone* root = mesh->skeleton->bones[0].get();
    EXPECT_STREQ(root->name.c_str(), "Root");
    EXPECT_EQ(root->parentIndex, -1);
    EXPECT_EQ(root->translate, math::Vector3(0.0f, 1.0f, 2.0f));
    EXPECT_EQ(root->rotate, math::Quaternion(3.0f, 4.0f, 5.0f, 6.0f));
    EXPECT_EQ(root->scale, math::Vector3(7.0f, 8.0f, 9.0f));
    EXPECT_EQ(root->worldToBoneTranslate, math::Vector3(10.0f, 11.0f, 12.0f));
    EXPECT_EQ(root->worldToBoneRotate, math::Quaternion(13.0f, 14.0f, 15.0f, 16.0f));
    EXPECT_EQ(root->bound, math::AABox(math::Vector3(17.0f, 18.0f, 19.0f), math::Vector3(20.0f, 21.0f, 22.0f)));
}

TEST_F(TMSHStreamerTest, BoundsKeepTheirAuthoritativeShape)
{
    auto withBound = [](int32_t kind) {
        TMSHBytes m;
        m.u8(0).i32(kind);
        m.f32(-9).f32(-9).f32(-9).f32(9).f32(9).f32(9); // box
        m.f32(1).f32(2).f32(3).f32(2);                  // sphere
        m.u32(0).raw(TMSHBytes::noVertices().bytes);
        return TMSHBytes().header().block(1, m);
    };
    IntrusivePointer<Mesh> sphere = load(withBound(2));
    ASSERT_TRUE(sphere && sphere->bound);
    EXPECT_EQ(sphere->bound->kind, Bound::Kind_SPHERE);
    EXPECT_EQ(sphere->bound->box, math::AABox(math::Vector3(-1, 0, 1), math::Vector3(3, 4, 5)));
    IntrusivePointer<Mesh> box = load(withBound(1));
    ASSERT_TRUE(box && box->bound);
    EXPECT_EQ(box->bound->sphere.origin, math::Vector3(0, 0, 0));
    EXPECT_FLOAT_EQ(box->bound->sphere.radius, std::sqrt(3.0f * 81.0f));
    IntrusivePointer<Mesh> infinite = load(withBound(3));
    ASSERT_TRUE(infinite && infinite->bound);
    EXPECT_EQ(infinite->bound->kind, Bound::Kind_INFINITE);
    EXPECT_EQ(infinite->bound->box, math::AABox());
    EXPECT_EQ(infinite->bound->sphere.radius, 0.0f);
}

TEST_F(TMSHStreamerTest, HeaderAndSubmeshCountErrors)
{
    EXPECT_EQ(refusal(TMSHBytes().u32(0x48534D54).u32(0x00010001)), "Not of TMSH format");
    EXPECT_EQ(refusal(TMSHBytes().u8(0x48)), "Not of TMSH format");
    EXPECT_EQ(refusal(TMSHBytes().header(0x00010002)), "Not TMSH version:65537");

    // 32767 submeshes read from a short stream are zeros: all absent, all kept.
    TMSHBytes most;
    most.header().i32(1).i32(9).u8(0).i32(0).i32(32767);
    IntrusivePointer<Mesh> mesh = load(most);
    ASSERT_TRUE(mesh);
    EXPECT_EQ(mesh->getNumSubMeshes(), 32767);
    TMSHBytes tooMany;
    tooMany.header().i32(1).i32(9).u8(0).i32(0).i32(32768);
    EXPECT_EQ(refusal(tooMany), "too many submeshes:32768");
}

TEST_F(TMSHStreamerTest, FilesThatWouldOverrunAreRefusedWholly)
{
    const TMSHBytes triangle = positions(3);
    const TMSHBytes noLists = TMSHBytes().u32(0);
    auto file = [](const TMSHBytes& mesh) { return TMSHBytes().header().block(1, mesh); };
    auto meshOf = [&](const std::vector<TMSHBytes>& subs, const TMSHBytes& vertices, const TMSHBytes& lists) {
        return TMSHBytes::mesh(subs, TMSHBytes(vertices).raw(lists.bytes));
    };
    // A good one first: the fixtures are right.
    ASSERT_TRUE(load(file(meshOf({indexed({0, 1, 2})}, triangle, noLists))));

    TMSHBytes manyVertices;
    manyVertices.u32(1).u32(1).u32(6).u32(1).u32(0).u32(0).u32(POSITION_FLOATS).u32(0x40000000).zeros(12);
    TMSHBytes unknownElement;
    unknownElement.u32(1).u32(1).u32(6).u32(1).u32(0).u32(0).u32(0x30009).u32(1).zeros(12);
    TMSHBytes noElements;
    noElements.u32(1).u32(1).u32(6).u32(0).u32(5).zeros(60);
    TMSHBytes manyIndices;
    manyIndices.u32(0).u32(3).u32(1).u32(6).u32(2).u32(0x7FFFFFFF).zeros(40);
    TMSHBytes oddWidth;
    oddWidth.u32(0).u32(3).u32(1).u32(6).u32(3).u32(3).zeros(9).i32(0).i32(3).str("").str("").u8(0).u8(0).i32(0);
    TMSHBytes manyLists;
    manyLists.u32(100000);
    TMSHBytes longList;
    longList.u32(1).u8(200).zeros(16);
    TMSHBytes badBound;
    badBound.u8(0).i32(4).zeros(40).u32(0).raw(TMSHBytes::noVertices().bytes);

    struct Case
    {
        const char* what;
        TMSHBytes file;
        std::string text;
    };
    const Case cases[] = {
        {"vertices past the end", file(meshOf({}, manyVertices, noLists)), "larger than the file"},
        {"element of unknown size", file(meshOf({}, unknownElement, noLists)), "of unknown size"},
        {"vertices without elements", file(meshOf({}, noElements, noLists)), "without a vertex size"},
        {"indices past the end", file(meshOf({manyIndices}, triangle, noLists)), "larger than the file"},
        {"index width 3", file(meshOf({oddWidth}, triangle, noLists)), "is not 1, 2 or 4"},
        {"index at the vertex count", file(meshOf({indexed({0, 1, 3})}, triangle, noLists)), "index 3 past the 3"},
        {"indices without vertices", file(meshOf({indexed({0, 0, 0})}, TMSHBytes().u32(0), noLists)),
         "index 0 past the 0"},
        {"range past the indices", file(meshOf({indexed({0, 1, 2}, 1, 3)}, triangle, noLists)), "index range 1+3"},
        {"negative range", file(meshOf({indexed({0, 1, 2}, 0, -5)}, triangle, noLists)), "index range"},
        {"assignment lists past the end", file(meshOf({}, TMSHBytes().u32(0), manyLists)), "larger than the file"},
        {"assignments past the end", file(meshOf({}, TMSHBytes().u32(0), longList)), "larger than the file"},
        {"bound kind 4", file(badBound), "unknown bound kind 4"},
        {"bones past the end",
         TMSHBytes().header().block(1, TMSHBytes::mesh({}, TMSHBytes::noVertices())).block(3, TMSHBytes().i32(1000)),
         "bone count"},
        {"tracks past the end",
         TMSHBytes().header().block(1, TMSHBytes::mesh({}, TMSHBytes::noVertices())).block(4, TMSHBytes().i32(1000)),
         "track count"},
        {"keys past the end",
         TMSHBytes().header().block(1, TMSHBytes::mesh({}, TMSHBytes::noVertices()))
             .block(4, TMSHBytes().i32(1).i32(0).f32(1.0f).i32(1000).zeros(40)),
         "key count"},
        {"negative block length", TMSHBytes().header().block(1, TMSHBytes::mesh({}, TMSHBytes::noVertices()))
                                      .i32(9).i32(-16).zeros(8),
         "negative length"},
    };
    for (const Case& c : cases) {
        EXPECT_NE(refusal(c.file).find(c.text), std::string::npos) << c.what << ": " << refusal(c.file);
    }
}

TEST_F(TMSHStreamerTest, WithoutARenderStateTheStoredStatesAreDropped)
{
    // An unbacked engine without a device has no render states for the material's pass.
    IntrusivePointer<Engine> bare(new Engine(nullptr, nullptr));
    installHandlers(*bare);
    IntrusivePointer<TMSHStreamer> reader(new TMSHStreamer(bare.get()));
    TMSHBytes file;
    file.header().block(1, TMSHBytes::mesh({TMSHBytes::subMesh("")}, TMSHBytes::noVertices()));
    file.block(2, materialBlock("Plain", 2.0f, 2));
    IntrusivePointer<rezezaz::core::Resource> resource = reader->load(file.stream().get(), nullptr, nullptr);
    auto* mesh = dynamic_cast<Mesh*>(resource.get());
    ASSERT_NE(mesh, nullptr);
    ASSERT_TRUE(mesh->getSubMesh(0)->material);
    EXPECT_STREQ(mesh->getSubMesh(0)->material->getName().c_str(), "Plain");
    resource = nullptr;
    bare->destroy();
}

// A device that makes no vertex or index buffers.
class BufferlessDevice : public support::RecordingRenderDevice
{
public:
    using RecordingRenderDevice::RecordingRenderDevice;
    rezezaz::render::VertexBuffer* createVertexBuffer() override { return nullptr; }
    rezezaz::render::IndexBuffer* createIndexBuffer() override { return nullptr; }
};

TEST_F(TMSHStreamerTest, BuffersTheDeviceCannotMakeAreSkipped)
{
    BufferlessDevice device{std::make_shared<support::CallLog>()};
    IntrusivePointer<Engine> unbacked(new Engine(nullptr, nullptr));
    unbacked->setRenderDevice(&device);
    installHandlers(*unbacked);
    IntrusivePointer<TMSHStreamer> reader(new TMSHStreamer(unbacked.get()));
    TMSHBytes named = TMSHBytes::subMesh("After");
    TMSHBytes file;
    file.header().block(1, TMSHBytes::mesh({indexed({0, 1, 2}), named}, TMSHBytes(positions(3)).u32(0)));
    {
        IntrusivePointer<rezezaz::core::Resource> resource = reader->load(file.stream().get(), nullptr, nullptr);
        auto* mesh = dynamic_cast<Mesh*>(resource.get());
        ASSERT_NE(mesh, nullptr);
        ASSERT_EQ(mesh->getNumSubMeshes(), 2);
        EXPECT_FALSE(mesh->getSubMesh(0)->indexData);
        EXPECT_STREQ(mesh->getSubMesh(1)->materialName.c_str(), "After");
        EXPECT_FALSE(mesh->staticVertexData);
    }
    unbacked->destroy();
    unbacked->setRenderDevice(nullptr);
}

// A mesh with every kind of record: two submeshes (one with its own vertices and a named
// material), transform, sphere bound, assignment lists, a skeleton with a sequence.
IntrusivePointer<Mesh> fullMesh(Engine* engine)
{
    rezezaz::scene::BufferManager* buffers = engine->getBufferManager();
    IntrusivePointer<VertexFormat> format = engine->getVertexFormats().POSITION_NORMAL;
    IntrusivePointer<rezezaz::render::VertexBuffer> vertices = buffers->createVertexBuffer(8, 7, format, 4);
    {
        rezezaz::render::VertexBufferAccessor accessor(vertices.get(), 2);
        for (int i = 0; i < 4; ++i) {
            accessor.set3(i, 0, 0.5f * i, -1.25f, 3.0f);
            accessor.set3(i, 1, 0.0f, 1.0f, 0.0f);
        }
    }
    IntrusivePointer<Mesh> mesh(new Mesh());
    mesh->setStaticVertexData(new rezezaz::render::VertexData(vertices));
    IntrusivePointer<rezezaz::scene::Transform> transform(new rezezaz::scene::Transform());
    transform->translate = math::Vector3(1, 2, 3);
    transform->scale = math::Vector3(2, 2, 2);
    transform->rotate = math::Quaternion(0.5f, 0.5f, 0.5f, 0.5f);
    mesh->setTransform(transform);
    IntrusivePointer<Bound> bound(new Bound());
    bound->setSphere(math::Sphere(math::Vector3(1, 1, 1), 4.0f));
    mesh->setBound(bound);
    for (int s = 0; s < 2; ++s) {
        IntrusivePointer<rezezaz::render::IndexBuffer> indices =
            buffers->createIndexBuffer(1, 6, rezezaz::render::IndexBuffer::IndexFormat_UINT16, 6);
        uint16_t values[6] = {0, 1, 2, 2, 1, 3};
        indices->update(reinterpret_cast<unsigned char*>(values), 0, 12);
        IntrusivePointer<Mesh::SubMesh> subMesh(new Mesh::SubMesh());
        subMesh->indexData = new IndexData(IndexData::Primitive_TRIANGLES, indices, 3, 3);
        subMesh->setName(s == 0 ? "first" : "second");
        if (s == 1) {
            subMesh->materialName = "Shared";
            IntrusivePointer<rezezaz::render::VertexBuffer> own = buffers->createVertexBuffer(1, 6, format, 4);
            subMesh->vertexData = new rezezaz::render::VertexData(own);
        } else {
            subMesh->material = engine->createDiffuseMaterial(nullptr, nullptr);
            subMesh->material->setName("Own");
        }
        mesh->addSubMesh(subMesh);
    }
    rezezaz::core::Collection<Mesh::BoneAssignmentList> lists;
    for (int v = 0; v < 4; ++v) {
        Mesh::BoneAssignmentList list;
        for (int a = 0; a < v; ++a) {
            list.add(Mesh::VertexBoneAssignment{uint16_t(a), 0.25f * a});
        }
        lists.add(list);
    }
    mesh->setVertexBoneAssignments(lists);

    IntrusivePointer<Skeleton> skeleton(new Skeleton());
    IntrusivePointer<Skeleton::Bone> bone(new Skeleton::Bone());
    bone->index = 0;
    bone->name = "Bone";
    bone->translate = math::Vector3(0.5f, 0, 0);
    skeleton->addBone(bone.get());
    IntrusivePointer<Sequence> sequence(new Sequence());
    IntrusivePointer<Track> track(new Track(engine->getVertexFormats().POSITION_SEMANTIC7_SEMANTIC6.get()));
    track->index = 0;
    const float keys[2][10] = {{1.5f, -0.25f, 2.0f, 0.0f, 0.0f, 0.0f, 1.0f, 1.0f, 1.0f, 1.0f},
                               {-3.0f, 0.125f, 7.5f, 0.5f, 0.5f, -0.5f, 0.5f, 2.0f, 0.75f, 1.0f}};
    for (int k = 0; k < 2; ++k) {
        const int key = track->addKeyFrame(0.5f + k, nullptr);
        const rezezaz::render::VertexBufferAccessor& accessor = track->getAccessor();
        const int offsets[3] = {accessor.elementOffsets[0], accessor.elementOffsets[1], accessor.elementOffsets[2]};
        const int counts[3] = {3, 4, 3};
        int v = 0;
        for (int e = 0; e < 3; ++e) {
            for (int c = 0; c < counts[e]; ++c, ++v) {
                const int word = key * accessor.vertexSize + offsets[e] + c;
                if (accessor.fixed) {
                    accessor.fixedData[word] = int32_t(keys[k][v] * 65536.0f);
                } else {
                    accessor.floatData[word] = keys[k][v];
                }
            }
        }
    }
    sequence->addTrack(track.get());
    skeleton->addSequence(sequence.get());
    mesh->setSkeleton(skeleton);
    return mesh;
}

void expectSameMesh(const Mesh& a, const Mesh& b)
{
    ASSERT_TRUE(b.transform);
    EXPECT_EQ(b.transform->translate, a.transform->translate);
    EXPECT_EQ(b.transform->scale, a.transform->scale);
    EXPECT_EQ(b.transform->rotate, a.transform->rotate);
    ASSERT_TRUE(b.bound);
    EXPECT_EQ(b.bound->kind, Bound::Kind_SPHERE);
    EXPECT_EQ(b.bound->sphere, a.bound->sphere);
    ASSERT_EQ(b.getNumSubMeshes(), 2);
    for (int s = 0; s < 2; ++s) {
        const Mesh::SubMesh* x = a.getSubMesh(s);
        const Mesh::SubMesh* y = b.getSubMesh(s);
        EXPECT_STREQ(y->getName().c_str(), x->getName().c_str());
        EXPECT_STREQ(y->materialName.c_str(), x->materialName.c_str());
        ASSERT_TRUE(y->indexData && y->indexData->indexBuffer);
        EXPECT_EQ(y->indexData->start, 3);
        EXPECT_EQ(y->indexData->count, 3);
        EXPECT_EQ(y->indexData->indexBuffer->getSize(), 6);
        EXPECT_EQ(std::memcmp(y->indexData->indexBuffer->lock(1), x->indexData->indexBuffer->lock(1), 12), 0);
        EXPECT_EQ(bool(y->vertexData), bool(x->vertexData));
    }
    EXPECT_TRUE(b.getSubMesh(0)->material);
    EXPECT_FALSE(b.getSubMesh(1)->material);
    ASSERT_TRUE(b.staticVertexData);
    rezezaz::render::VertexBuffer* vb = b.staticVertexData->vertexBuffers[0].get();
    EXPECT_EQ(vb->getUsage(), 8);
    EXPECT_EQ(vb->getAccess(), 7);
    EXPECT_EQ(vb->getSize(), 4);
    EXPECT_EQ(std::memcmp(vb->lock(1), a.staticVertexData->vertexBuffers[0]->lock(1), 4 * 24), 0);
    ASSERT_EQ(b.getVertexBoneAssignments().size(), 4);
    for (int v = 0; v < 4; ++v) {
        ASSERT_EQ(b.getVertexBoneAssignments()[v].size(), v);
        for (int i = 0; i < v; ++i) {
            EXPECT_EQ(b.getVertexBoneAssignments()[v][i].bone, i);
            EXPECT_EQ(b.getVertexBoneAssignments()[v][i].weight, 0.25f * i);
        }
    }
    ASSERT_TRUE(b.skeleton);
    ASSERT_EQ(b.skeleton->getNumBones(), 1);
    EXPECT_EQ(b.skeleton->bones[0]->translate, math::Vector3(0.5f, 0, 0));
    ASSERT_EQ(b.skeleton->getNumSequences(), 1);
    const Track* ta = a.skeleton->sequences[0]->getTrack(0);
    const Track* tb = b.skeleton->sequences[0]->getTrack(0);
    ASSERT_NE(tb, nullptr);
    ASSERT_EQ(tb->getNumKeyFrames(), 2);
    EXPECT_EQ(tb->getTime(1), 1.5f);
    EXPECT_EQ(tb->getLength(), ta->getLength());
    EXPECT_EQ(b.skeleton->sequences[0]->getLength(), a.skeleton->sequences[0]->getLength());
    EXPECT_EQ(tb->data.size(), ta->data.size());
    EXPECT_EQ(std::memcmp(&tb->data[0], &ta->data[0], size_t(ta->data.size())), 0);
}

TEST_F(TMSHStreamerTest, EveryRecordRoundTripsInFloats)
{
    IntrusivePointer<Mesh> mesh = fullMesh(engine.get());
    const std::vector<unsigned char> bytes = save(mesh.get());
    TMSHBytes file;
    file.bytes = bytes;
    IntrusivePointer<Mesh> back = load(file);
    ASSERT_TRUE(back);
    expectSameMesh(*mesh, *back);
    EXPECT_EQ(save(back.get()), bytes);
}

TEST_F(TMSHStreamerTest, KeyFramesRoundTripInFixedPoint)
{
    // A device of 16.16 vertices makes the engine's formats fixed point.
    support::SharedCallLog calls = std::make_shared<support::CallLog>();
    support::RecordingRenderDevice device{calls};
    device.caps.vertexElementType = VertexFormat::Type_FIXED32;
    IntrusivePointer<Engine> fixed(new Engine(nullptr, nullptr));
    fixed->setHasBackableFixed(true);
    installHandlers(*fixed);
    fixed->setRenderDevice(&device);
    fixed->updateVertexFormats();
    IntrusivePointer<TMSHStreamer> io(new TMSHStreamer(fixed.get()));
    {
        IntrusivePointer<Mesh> mesh = fullMesh(fixed.get());
        ASSERT_TRUE(mesh->skeleton->sequences[0]->getTrack(0)->getAccessor().fixed);
        IntrusivePointer<MemoryStream> out(new MemoryStream());
        ASSERT_TRUE(io->save(out.get(), mesh.get(), nullptr, nullptr));
        TMSHBytes file;
        file.bytes.assign(out->getOriginalDataPointer(), out->getOriginalDataPointer() + out->length());
        IntrusivePointer<Mesh> back(dynamic_cast<Mesh*>(io->load(file.stream().get(), nullptr, nullptr).get()));
        ASSERT_TRUE(back);
        const Track* track = back->skeleton->sequences[0]->getTrack(0);
        ASSERT_TRUE(track->getAccessor().fixed);
        EXPECT_EQ(track->getAccessor().fixedData[0], 0x18000);
        EXPECT_EQ(track->getAccessor().fixedData[1], -0x4000);
        expectSameMesh(*mesh, *back);
    }
    fixed->destroy();
    fixed->setRenderDevice(nullptr);
}

TEST_F(TMSHStreamerTest, TheWriterRefusesWhatTheFormatCannotHold)
{
    IntrusivePointer<Mesh> mesh = fullMesh(engine.get());
    mesh->getSubMesh(1)->indexData->primitive = IndexData::Primitive_POINTS;
    EXPECT_TRUE(save(mesh.get(), false).empty());

    IntrusivePointer<Mesh> crowded = fullMesh(engine.get());
    rezezaz::core::Collection<Mesh::BoneAssignmentList> lists = crowded->getVertexBoneAssignments();
    for (int i = 0; i < 256; ++i) {
        lists[0].add(Mesh::VertexBoneAssignment{0, 1.0f / 256});
    }
    crowded->setVertexBoneAssignments(lists);
    EXPECT_TRUE(save(crowded.get(), false).empty());
    lists[0].erase(lists[0].begin());
    crowded->setVertexBoneAssignments(lists);
    EXPECT_FALSE(save(crowded.get()).empty());

    EXPECT_FALSE(streamer->save(new MemoryStream(), nullptr, nullptr, nullptr));
    IntrusivePointer<Skeleton> notAMesh(new Skeleton());
    EXPECT_FALSE(streamer->save(new MemoryStream(), notAMesh.get(), nullptr, nullptr));
}

} // namespace
