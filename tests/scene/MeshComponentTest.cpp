#include "MeshFixture.h"

#include "content/EngineHandlers.h"
#include "core/Logger.h"
#include "render/BlendState.h"
#include "scene/Camera.h"
#include "scene/MaterialManager.h"
#include "scene/MeshComponent.h"
#include "scene/Node.h"
#include "scene/RenderableSet.h"
#include "scene/ResourceManager.h"
#include "scene/Scene.h"
#include "scene/material/RenderPass.h"
#include "support/LogRecorder.h"

#include <cmath>
#include <string>

using namespace scenetest;
using rezezaz::core::String;
using rezezaz::core::math::Quaternion;
using rezezaz::core::math::Vector3;
using rezezaz::render::IndexData;
using rezezaz::render::VertexData;
using rezezaz::scene::Bound;
using rezezaz::scene::Camera;
using rezezaz::scene::Mesh;
using rezezaz::scene::MeshComponent;
using rezezaz::scene::Node;
using rezezaz::scene::Renderable;
using rezezaz::scene::RenderableSet;
using rezezaz::scene::Scene;
using rezezaz::scene::Skeleton;
using rezezaz::scene::SkeletonComponent;
using rezezaz::scene::Transform;
using rezezaz::scene::material::Material;

namespace {

rezezaz::core::math::AABox box(float x0, float y0, float z0, float x1, float y1, float z1)
{
    return rezezaz::core::math::AABox(Vector3(x0, y0, z0), Vector3(x1, y1, z1));
}

const Quaternion QUARTER_Z(0.0f, 0.0f, std::sqrt(0.5f), std::sqrt(0.5f));

// Keeps what it is asked to queue.
class RecordingSet : public RenderableSet
{
public:
    using RenderableSet::RenderableSet;
    void queueRenderable(Renderable* renderable) override { queued.push_back(renderable); }
    std::vector<Renderable*> queued;
};

class MeshComponentTest : public MeshFixture
{
protected:
    MeshComponentTest()
    {
        installHandlers(*engine);
        camera->setProjectionFovY(1.5f, 1.0f, 1.0f, 100.0f);
        camera->setLookAt(Vector3(0, 0, 10), Vector3(0, 0, 0), Vector3(0, 1, 0));
    }
    ~MeshComponentTest() override { scene->destroy(); }

    // Two roots at the origin, bone 0 moved by +2 along x once posed, bone 1 staying; compiled so
    // that the bind pose skins every vertex onto itself.
    Pointer<Skeleton> skeleton()
    {
        Pointer<Skeleton> s(new Skeleton());
        s->addBone(bone(0, -1, Vector3()).get());
        s->addBone(bone(1, -1, Vector3()).get());
        s->bones[0]->name = "mover";
        s->compile();
        return s;
    }

    // A mesh of one submesh over the vertices; with a skeleton and one assignment list per entry.
    Pointer<Mesh> mesh(Pointer<VertexData> vertices, Pointer<Skeleton> s = nullptr, const Assignments& lists = {})
    {
        Pointer<Mesh> m(new Mesh());
        Pointer<Mesh::SubMesh> sub(new Mesh::SubMesh());
        sub->setName(String("body"));
        sub->indexData = new IndexData(IndexData::Primitive_TRIANGLES, nullptr, 0, vertices->vertexBuffers[0]->getSize());
        m->addSubMesh(sub);
        m->setStaticVertexData(vertices);
        m->setVertexBoneAssignments(lists);
        m->setSkeleton(s);
        return m;
    }

    // Poses bone 0 two units along x and skins.
    static void moveAndSkin(MeshComponent& component, const Vector3& by = Vector3(2, 0, 0))
    {
        SkeletonComponent::Bone& mover = *component.getSkeleton()->getBone(0);
        mover.keepFlags = 1;
        mover.localTranslate = by;
        component.getSkeleton()->updateBones();
        component.updateVertexBuffer();
    }

    std::vector<Renderable*> gather(MeshComponent& component)
    {
        RecordingSet set(scene.get());
        component.gatherRenderables(camera.get(), &set);
        return set.queued;
    }

    std::vector<std::string> warnings() const
    {
        std::vector<std::string> texts;
        for (const auto& entry : logs.entries.snapshot()) {
            if (entry.level == rezezaz::core::Logger::WARNING) {
                texts.push_back(entry.text);
            }
        }
        return texts;
    }

    Pointer<Scene> scene{new Scene(engine.get(), 0.001f)};
    Pointer<Camera> camera{new Camera(engine.get())};
    support::LogRecorder logs;
};

TEST_F(MeshComponentTest, AnUnknownNameLeavesNothingToDraw)
{
    Pointer<MeshComponent> component(new MeshComponent(engine.get()));
    component->setMesh(String("nothing.tmsh"));
    EXPECT_EQ(component->getMesh(), nullptr);
    EXPECT_EQ(component->getNumSubMeshes(), 0);
    EXPECT_EQ(component->getSubMesh(String("body")), nullptr);
    EXPECT_TRUE(gather(*component).empty());
    EXPECT_EQ(component->getAttachmentIndex(String("mover")), 0);
    EXPECT_EQ(component->getNumAttachments(), 0);
}

TEST_F(MeshComponentTest, AMeshWithoutSkeletonDrawsItsStaticVertices)
{
    Pointer<Mesh> m = mesh(vertexData({Vector3(1, 2, 3)}));
    engine->getMeshManager()->manage(m.get(), String("plain"));
    Pointer<MeshComponent> component(new MeshComponent(engine.get()));
    component->setMesh(String("plain"));
    ASSERT_EQ(component->getMesh(), m.get());
    EXPECT_EQ(component->getSkeleton(), nullptr);
    EXPECT_EQ(component->getDynamicVertexData(), nullptr);
    EXPECT_FALSE(component->getActive());
    ASSERT_EQ(component->getNumSubMeshes(), 1);
    EXPECT_EQ(component->getSubMesh(String("body")), component->getSubMesh(0));
    EXPECT_EQ(component->getSubMesh(0)->vertexData, m->staticVertexData);
    EXPECT_EQ(component->getSubMesh(0)->getRenderTransform(), component->getWorldTransform());
    component->frameUpdate(33, -1);
}

TEST_F(MeshComponentTest, SkinningMovesVerticesByTheirWeightedBones)
{
    const std::vector<Vector3> positions = {Vector3(1, 0, 0), Vector3(0, 1, 0), Vector3(0, 0, 1), Vector3(5, 5, 5)};
    // Both bones half each; bone 0 alone; an empty list; a bone past the skeleton is skipped.
    Pointer<Mesh> m = mesh(vertexData(positions), skeleton(),
                           assignments({{{0, 0.5f}, {1, 0.5f}}, {{0, 1.0f}}, {}, {{1, 1.0f}, {9, 1.0f}}}));
    Pointer<MeshComponent> component(new MeshComponent(engine.get()));
    component->setMesh(m.get());
    ASSERT_NE(component->getSkeleton(), nullptr);
    ASSERT_NE(component->getDynamicVertexData(), nullptr);
    EXPECT_TRUE(component->getActive());
    EXPECT_EQ(component->getSubMesh(0)->vertexData.get(), component->getDynamicVertexData());
    EXPECT_EQ(component->getAttachmentIndex(String("mover")), 0);

    // The bind pose skins every vertex onto its stored place.
    component->updateVertexBuffer();
    for (int i = 0; i < 4; ++i) {
        expectNear(readVertex(component->getDynamicVertexData(), i), positions[i]);
    }

    moveAndSkin(*component);
    expectNear(readVertex(component->getDynamicVertexData(), 0), Vector3(2, 0, 0));
    expectNear(readVertex(component->getDynamicVertexData(), 1), Vector3(2, 1, 0));
    expectNear(readVertex(component->getDynamicVertexData(), 2), Vector3(0, 0, 1));
    expectNear(readVertex(component->getDynamicVertexData(), 3), Vector3(5, 5, 5));
    // The mesh itself is not changed.
    expectNear(readVertex(m->staticVertexData.get(), 0), Vector3(1, 0, 0));
}

TEST_F(MeshComponentTest, EveryNumberOfBonesPerVertexBlendsTheSame)
{
    // Each vertex A bones of weight 1/A, bone 0 among them moved by +2: every vertex moves 2/A.
    for (int a : {1, 2, 3, 4}) {
        SCOPED_TRACE(a);
        Pointer<Skeleton> s(new Skeleton());
        for (int b = 0; b < 4; ++b) {
            s->addBone(bone(b, -1, Vector3()).get());
        }
        std::vector<std::pair<int, float>> list;
        for (int k = 0; k < a; ++k) {
            list.push_back({k, 1.0f / float(a)});
        }
        Pointer<Mesh> m = mesh(vertexData({Vector3(0, 1, 0), Vector3(0, 0, 1)}), s, assignments({list, list}));
        Pointer<MeshComponent> component(new MeshComponent(engine.get()));
        component->setMesh(m.get());
        moveAndSkin(*component);
        expectNear(readVertex(component->getDynamicVertexData(), 0), Vector3(2.0f / float(a), 1, 0));
        expectNear(readVertex(component->getDynamicVertexData(), 1), Vector3(2.0f / float(a), 0, 1));
    }
}

TEST_F(MeshComponentTest, ElementsThatAreNotSkinnedKeepTheirValues)
{
    Pointer<VertexFormat> f = engine->getVertexFormats().POSITION_NORMAL_TEX_COORD;
    Pointer<rezezaz::render::VertexBuffer> buffer = buffers()->createVertexBuffer(1, 3, f, 2);
    {
        rezezaz::render::VertexBufferAccessor a(buffer.get(), 2);
        for (int i = 0; i < 2; ++i) {
            a.set(i, 0, Vector3(1, 0, 0));
            a.set(i, 1, Vector3(0, 0, 1));
            a.set2(i, 2, 0.25f, 0.75f);
        }
    }
    Pointer<Mesh> m = mesh(new VertexData(buffer), skeleton(), assignments({{{0, 1.0f}}, {{0, 1.0f}}}));
    Pointer<MeshComponent> component(new MeshComponent(engine.get()));
    component->setMesh(m.get());
    moveAndSkin(*component);
    rezezaz::render::VertexBufferAccessor a(component->getDynamicVertexData()->vertexBuffers[0].get(), 1);
    for (int i = 0; i < 2; ++i) {
        const int word = i * a.vertexSize + a.elementOffsets[2];
        EXPECT_EQ(a.floatData[word], 0.25f);
        EXPECT_EQ(a.floatData[word + 1], 0.75f);
    }
    a.unlock();
    expectNear(readVertex(component->getDynamicVertexData(), 1), Vector3(3, 0, 0));

    // Lists set anew are the ones skinned from then on.
    m->setVertexBoneAssignments(assignments({{{1, 1.0f}}, {}}));
    component->updateVertexBuffer();
    expectNear(readVertex(component->getDynamicVertexData(), 0), Vector3(1, 0, 0));
    expectNear(readVertex(component->getDynamicVertexData(), 1), Vector3(1, 0, 0));
}

TEST_F(MeshComponentTest, NormalsAreRotatedNotTranslatedAndFixedPointIsSkinnedToo)
{
    for (int type : {VertexFormat::Type_FLOAT32, VertexFormat::Type_FIXED32}) {
        SCOPED_TRACE(type);
        Pointer<Mesh> m = mesh(vertexData({Vector3(1, 0, 0)}, {Vector3(0, 0.5f, 0)}, type), skeleton(),
                               assignments({{{0, 1.0f}}}));
        Pointer<MeshComponent> component(new MeshComponent(engine.get()));
        component->setMesh(m.get());
        ASSERT_NE(component->getDynamicVertexData(), nullptr);
        SkeletonComponent::Bone& mover = *component->getSkeleton()->getBone(0);
        mover.keepFlags = 3;
        mover.localRotate = QUARTER_Z;
        mover.localTranslate = Vector3(0, 0, 3);
        component->getSkeleton()->updateBones();
        component->updateVertexBuffer();
        // 16.16 holds the result to within one unit of its last place.
        const float tolerance = type == VertexFormat::Type_FIXED32 ? 1.0f / 32768.0f : 1e-5f;
        expectNear(readVertex(component->getDynamicVertexData(), 0), Vector3(0, 1, 3), tolerance);
        // Not renormalised: the half-length normal stays half length.
        expectNear(readVertex(component->getDynamicVertexData(), 0, 1), Vector3(-0.5f, 0, 0), tolerance);
    }
}

TEST_F(MeshComponentTest, FixedPointThatLeavesTheRangeIsClampedAndTheRestOfTheFrameIsExact)
{
    // Bone 0 moves (2, -2, 0): vertex 0 is carried past both ends of 16.16, vertex 1 stays inside,
    // vertex 2's NaN weight gives NaN, written as 0.
    Pointer<Mesh> m = mesh(vertexData({Vector3(32767, -32767, 0), Vector3(1, 0.5f, 0), Vector3(1, 1, 1)}, {},
                                      VertexFormat::Type_FIXED32),
                           skeleton(), assignments({{{0, 1.0f}}, {{0, 1.0f}}, {{0, std::nanf("")}}}));
    Pointer<MeshComponent> component(new MeshComponent(engine.get()));
    component->setMesh(m.get());
    moveAndSkin(*component, Vector3(2, -2, 0));
    rezezaz::render::VertexBufferAccessor a(component->getDynamicVertexData()->vertexBuffers[0].get(), 1);
    const std::vector<int32_t> expected = {2147483520, INT32_MIN, 0, 3 * 65536, -65536 - 32768, 0, 0, 0, 0};
    for (int i = 0; i < 3; ++i) {
        for (int k = 0; k < 3; ++k) {
            EXPECT_EQ(a.fixedData[i * a.vertexSize + k], expected[static_cast<size_t>(i * 3 + k)]) << i << " " << k;
        }
    }
}

TEST_F(MeshComponentTest, SkinningRunsOnlyInFramesInWhichTheSkeletonMoved)
{
    Pointer<Mesh> m = mesh(vertexData({Vector3(1, 0, 0)}), skeleton(), assignments({{{0, 1.0f}}}));
    // A node of the scene that the scene does not update, so frames pass without a pose.
    Pointer<Node> node(new Node(scene.get()));
    Pointer<MeshComponent> component(new MeshComponent(engine.get()));
    node->attach(component.get());
    component->setMesh(m.get());
    ASSERT_EQ(node->getNumAnimatables(), 1);
    SkeletonComponent::Bone& mover = *component->getSkeleton()->getBone(0);
    mover.keepFlags = 1;
    mover.localTranslate = Vector3(2, 0, 0);
    component->getSkeleton()->updateBones();
    EXPECT_EQ(component->getSkeleton()->getLastUpdateFrame(), 0);
    scene->update(33);
    component->frameUpdate(33, -1);
    expectNear(readVertex(component->getDynamicVertexData(), 0), Vector3(3, 0, 0));

    // Two frames on without a pose: skipped.
    mover.localTranslate = Vector3(4, 0, 0);
    scene->update(33);
    scene->update(33);
    component->getSkeleton()->getBone(0)->boneSpaceTranslate = Vector3(9, 0, 0);
    component->frameUpdate(33, -1);
    expectNear(readVertex(component->getDynamicVertexData(), 0), Vector3(3, 0, 0));
    // Posed in this frame: skinned.
    component->getSkeleton()->updateBones();
    component->frameUpdate(33, -1);
    expectNear(readVertex(component->getDynamicVertexData(), 0), Vector3(5, 0, 0));

    // On a node outside any scene the frame counts as -1: skinned every frame.
    Pointer<Node> loose(new Node());
    Pointer<MeshComponent> other(new MeshComponent(engine.get()));
    loose->attach(other.get());
    other->setMesh(m.get());
    other->getSkeleton()->getBone(0)->boneSpaceTranslate = Vector3(1, 0, 0);
    EXPECT_EQ(other->getSkeleton()->getLastUpdateFrame(), -1);
    other->frameUpdate(33, -1);
    expectNear(readVertex(other->getDynamicVertexData(), 0), Vector3(2, 0, 0));
    loose->destroy();
    node->destroy();
}

TEST_F(MeshComponentTest, MeshesThatCannotBeSkinnedAreDrawnUnskinnedWithAWarning)
{
    Pointer<VertexFormat> twoComponents = buffers()->createVertexFormat();
    twoComponents->addElement(VertexFormat::Semantic_POSITION, 0, VertexFormat::makeFormat(VertexFormat::Type_FLOAT32, 2));
    Pointer<VertexFormat> intNormals = buffers()->createVertexFormat();
    intNormals->addElement(VertexFormat::Semantic_POSITION, 0, VertexFormat::makeFormat(VertexFormat::Type_FLOAT32, 3));
    intNormals->addElement(VertexFormat::Semantic_NORMAL, 0, VertexFormat::makeFormat(VertexFormat::Type_INT32, 3));
    Pointer<VertexFormat> noPosition = buffers()->createVertexFormat();
    noPosition->addElement(VertexFormat::Semantic_NORMAL, 0, VertexFormat::makeFormat(VertexFormat::Type_FLOAT32, 3));
    auto over = [&](Pointer<VertexFormat> f) {
        return Pointer<VertexData>(new VertexData(buffers()->createVertexBuffer(1, 3, f, 2)));
    };
    struct Case
    {
        const char* name;
        Pointer<VertexData> vertices;
        Assignments lists;
        std::string warning;
    };
    const std::vector<Case> cases = {
        {"fewer lists than vertices", vertexData({Vector3(), Vector3()}), assignments({{{0, 1.0f}}}),
         "MeshComponent: mesh m is drawn unskinned: fewer bone assignment lists (1) than vertices (2)"},
        {"a two-component position", over(twoComponents), assignments({{}, {}}),
         "MeshComponent: mesh m is drawn unskinned: the position is not three float or 16.16 components"},
        {"integer normals", over(intNormals), assignments({{}, {}}),
         "MeshComponent: mesh m is drawn unskinned: the normal is not three float or 16.16 components"},
        {"no position", over(noPosition), assignments({{}, {}}), "MeshComponent: mesh m is drawn unskinned: no position"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        logs.entries.clear();
        Pointer<Mesh> m = mesh(c.vertices, skeleton(), c.lists);
        m->setName(String("m"));
        Pointer<MeshComponent> component(new MeshComponent(engine.get()));
        component->setMesh(m.get());
        EXPECT_NE(component->getSkeleton(), nullptr);
        EXPECT_EQ(component->getDynamicVertexData(), nullptr);
        EXPECT_EQ(component->getSubMesh(0)->vertexData, m->staticVertexData);
        component->frameUpdate(33, -1);
        EXPECT_EQ(warnings(), std::vector<std::string>{c.warning});
    }
}

TEST_F(MeshComponentTest, SkinningFollowsTheAssignmentListsOfTheMeshShownNow)
{
    // Two meshes alike but for their lists, each set once: their lists carry the same change count.
    Pointer<Mesh> moved = mesh(vertexData({Vector3(1, 0, 0)}), skeleton(), assignments({{{0, 1.0f}}}));
    Pointer<Mesh> still = mesh(vertexData({Vector3(1, 0, 0)}), skeleton(), assignments({{{1, 1.0f}}}));
    Pointer<MeshComponent> component(new MeshComponent(engine.get()));
    component->setMesh(moved.get());
    moveAndSkin(*component);
    expectNear(readVertex(component->getDynamicVertexData(), 0), Vector3(3, 0, 0));

    component->setMesh(still.get());
    moveAndSkin(*component);
    expectNear(readVertex(component->getDynamicVertexData(), 0), Vector3(1, 0, 0));

    component->setMesh(moved.get());
    moveAndSkin(*component);
    expectNear(readVertex(component->getDynamicVertexData(), 0), Vector3(3, 0, 0));
    component->setMesh(nullptr);
}

TEST_F(MeshComponentTest, SettingTheMeshAgainRebuildsTheSkinning)
{
    Pointer<Mesh> m = mesh(vertexData({Vector3(1, 0, 0)}), skeleton(), assignments({{{0, 1.0f}}}));
    Pointer<Node> node(new Node(scene.get()));
    Pointer<MeshComponent> component(new MeshComponent(engine.get()));
    node->attach(component.get());
    component->setMesh(m.get());
    Pointer<SkeletonComponent> first = component->getSkeleton();
    Pointer<VertexData> firstData = component->getDynamicVertexData();
    Pointer<rezezaz::render::VertexBuffer> firstBuffer = firstData->vertexBuffers[0];

    component->setMesh(m.get());
    EXPECT_NE(component->getSkeleton(), first.get());
    EXPECT_NE(component->getDynamicVertexData(), firstData.get());
    EXPECT_EQ(first->getParent(), nullptr);
    EXPECT_EQ(firstData->vertexBuffers.size(), 0);
    EXPECT_EQ(buffers()->getVertexBuffers().findIndex(firstBuffer.get()), -1);
    EXPECT_EQ(node->getNumAnimatables(), 1);
    EXPECT_EQ(component->getSkeleton()->getParent(), node.get());
    moveAndSkin(*component);
    expectNear(readVertex(component->getDynamicVertexData(), 0), Vector3(3, 0, 0));

    // Off the node, the skeleton component leaves with it; null drops everything.
    node->remove(component.get());
    EXPECT_EQ(node->getNumAnimatables(), 0);
    component->setMesh(nullptr);
    EXPECT_EQ(component->getSkeleton(), nullptr);
    EXPECT_EQ(component->getNumSubMeshes(), 0);
    node->destroy();
}

TEST_F(MeshComponentTest, QueuingFollowsRenderedScopeAndOwnTransforms)
{
    Pointer<Mesh> m = mesh(vertexData({Vector3()}), skeleton(), assignments({{}}));
    // A second submesh placed far outside the view by a transform of its own, a third in view.
    for (float x : {1000.0f, 0.0f}) {
        Pointer<Mesh::SubMesh> placed(new Mesh::SubMesh());
        placed->indexData = new IndexData(IndexData::Primitive_TRIANGLES, nullptr, 0, 1);
        placed->transform = new Transform();
        placed->transform->translate = Vector3(x, 0, 0);
        placed->bound = new Bound();
        placed->bound->setBox(box(-1, -1, -1, 1, 1, 1));
        m->addSubMesh(placed);
    }
    Pointer<Node> node(new Node(scene.get()));
    Pointer<MeshComponent> component(new MeshComponent(engine.get()));
    node->attach(component.get());
    component->setMesh(m.get());
    // The placed submeshes are in place at once.
    expectNear(component->getSubMesh(1)->getRenderTransform()->translate, Vector3(1000, 0, 0));
    expectNear(component->getSubMesh(2)->getRenderBound()->box.maximum, Vector3(1, 1, 1));

    // The first (without a transform) is not culled here, though the component's bound is empty.
    EXPECT_EQ(gather(*component), (std::vector<Renderable*>{component->getSubMesh(0), component->getSubMesh(2)}));

    component->getSubMesh(0)->scope = 2;
    camera->setScope(1);
    EXPECT_EQ(gather(*component), (std::vector<Renderable*>{component->getSubMesh(2)}));
    camera->setScope(-1);

    component->getSkeleton()->setRenderSkeleton(true);
    EXPECT_EQ(gather(*component).size(), 3u);
    EXPECT_EQ(gather(*component).back(), static_cast<Renderable*>(component->getSkeleton()));

    component->setRendered(false);
    EXPECT_TRUE(gather(*component).empty());
    node->destroy();
}

TEST_F(MeshComponentTest, TheSharedRenderStateStartsFromTheFirstSubMesh)
{
    Pointer<Mesh> m = mesh(vertexData({Vector3()}));
    Pointer<Material> first = engine->getMaterialManager()->createMaterial();
    rezezaz::render::BlendState blend;
    blend.source = rezezaz::render::BlendState::Operation_SRC_ALPHA;
    Pointer<rezezaz::render::RenderState> firstState = engine->getMaterialManager()->createRenderState();
    firstState->setBlendState(blend);
    first->getPass(-1, -1)->setRenderState(firstState.get());
    m->getSubMesh(0)->material = first;
    Pointer<Material> second = engine->getMaterialManager()->createMaterial();
    second->getPass(-1, -1);
    Pointer<Mesh::SubMesh> other(new Mesh::SubMesh());
    other->material = second;
    m->addSubMesh(other);
    // A submesh that names its material carries none: it keeps its own (none).
    m->addSubMesh(new Mesh::SubMesh());

    Pointer<MeshComponent> component(new MeshComponent(engine.get()));
    component->setMesh(m.get());
    component->setSharedRenderState(nullptr);
    rezezaz::render::RenderState* shared = component->getSharedRenderState();
    ASSERT_NE(shared, nullptr);
    rezezaz::render::BlendState copied;
    ASSERT_TRUE(shared->getBlendState(copied));
    EXPECT_EQ(copied.source, rezezaz::render::BlendState::Operation_SRC_ALPHA);
    for (int i = 0; i < 2; ++i) {
        Material* material = component->getSubMesh(i)->material.get();
        ASSERT_NE(material, nullptr);
        EXPECT_NE(material, i == 0 ? first.get() : second.get());
        EXPECT_EQ(material->getPass(-1, -1)->getRenderState(), shared);
    }
    EXPECT_EQ(component->getSubMesh(2)->material, nullptr);

    // A later mesh takes the stored state.
    component->setMesh(m.get());
    EXPECT_EQ(component->getSubMesh(1)->material->getPass(-1, -1)->getRenderState(), shared);

    // A first submesh without a material gives a fresh state to share.
    Pointer<Mesh> bare = mesh(vertexData({Vector3()}));
    bare->getSubMesh(0)->materialName = "named.mat";
    Pointer<MeshComponent> plain(new MeshComponent(engine.get()));
    plain->setMesh(bare.get());
    plain->setSharedRenderState(nullptr);
    ASSERT_NE(plain->getSharedRenderState(), nullptr);
    EXPECT_FALSE(plain->getSharedRenderState()->getBlendState(copied));
    component->destroy();
    plain->destroy();
}

TEST_F(MeshComponentTest, WithoutARenderStateToMakeNothingIsShared)
{
    Pointer<rezezaz::scene::Engine> unbacked(new rezezaz::scene::Engine(nullptr, nullptr));
    Pointer<MeshComponent> component(new MeshComponent(unbacked.get()));
    component->setSharedRenderState(nullptr);
    EXPECT_EQ(component->getSharedRenderState(), nullptr);
    unbacked->destroy();
}

TEST_F(MeshComponentTest, TransformAndBoundComeFromTheMesh)
{
    Pointer<Mesh> m = mesh(vertexData({Vector3()}), skeleton(), assignments({{}}));
    m->setTransform(new Transform());
    m->transform->translate = Vector3(0, 0, 2);
    m->setBound(new Bound());
    m->bound->setBox(box(0, 0, 0, 1, 1, 1));
    Pointer<Node> node(new Node(scene.get()));
    node->setTranslate(5, 0, 0);
    Pointer<MeshComponent> component(new MeshComponent(engine.get()));
    node->attach(component.get());
    component->setMesh(m.get());
    expectNear(component->getWorldTransform()->translate, Vector3(5, 0, 2));
    expectNear(component->getWorldBound()->box.minimum, Vector3(5, 0, 2));
    expectNear(component->getSkeleton()->getWorldTransform()->translate, Vector3(5, 0, 2));

    component->setTransform(nullptr);
    expectNear(component->getWorldTransform()->translate, Vector3(5, 0, 0));
    component->setBound(nullptr);
    EXPECT_EQ(component->getBound()->kind, Bound::Kind_EMPTY);
    node->destroy();
}

} // namespace
