#include "MaterialFixture.h"
#include "SceneFixture.h"

#include "content/EngineHandlers.h"
#include "scene/Camera.h"
#include "scene/LightComponent.h"
#include "scene/Renderable.h"
#include "scene/RenderableSet.h"
#include "scene/SimpleRenderManager.h"
#include "scene/Visible.h"
#include "scene/material/Material.h"
#include "scene/material/RenderPass.h"
#include "scene/material/RenderPath.h"
#include "support/AllocationCounter.h"
#include "support/RecordingRenderState.h"
#include "support/RecordingTexture.h"

#include <algorithm>
#include <cmath>

using namespace scenetest;
using rezezaz::core::math::Matrix4x4;
using rezezaz::core::math::Sphere;
using rezezaz::core::math::Vector3;
using rezezaz::core::math::Vector4;
using rezezaz::render::GeometryState;
using rezezaz::scene::Bound;
using rezezaz::scene::Camera;
using rezezaz::scene::LightComponent;
using rezezaz::scene::Node;
using rezezaz::scene::RenderableSet;
using rezezaz::scene::Scene;
using rezezaz::scene::SimpleRenderManager;
using rezezaz::scene::Transform;
using rezezaz::scene::material::Material;
using rezezaz::scene::material::RenderPass;
using rezezaz::scene::material::RenderPath;

namespace {

// A drawable piece that logs its draw and keeps the model matrix it was drawn with.
class RecordingRenderable : public rezezaz::scene::Renderable
{
public:
    RecordingRenderable(support::SharedCallLog log, std::string name, Material* material, const Vector3& at)
        : log(std::move(log)), name(std::move(name)), material(material)
    {
        transform->translate = at;
        bound->setSphere(Sphere(at, 0.5f));
    }

    Material* getRenderMaterial() override { return material.get(); }
    Transform* getRenderTransform() override { return transform.get(); }
    Bound* getRenderBound() override { return bound.get(); }
    void render(rezezaz::scene::RenderManager* manager) override
    {
        log->add("draw " + name);
        drawnWith = static_cast<SimpleRenderManager*>(manager)->getSceneParameters()->modelMatrix;
    }

    support::SharedCallLog log;
    std::string name;
    Pointer<Material> material;
    Pointer<Transform> transform{new Transform()};
    Pointer<Bound> bound{new Bound()};
    Matrix4x4 drawnWith;
};

// Puts its pieces into the queue when its node is gathered.
class PieceComponent : public rezezaz::scene::BaseComponent, public rezezaz::scene::Visible
{
public:
    void parentChanged(Node* node) override
    {
        if (parent != nullptr) {
            parent->visibleRemoved(this);
        }
        BaseComponent::parentChanged(node);
        if (parent != nullptr) {
            parent->visibleAttached(this);
        }
    }
    bool getRendered() override { return true; }
    void setRendered(bool) override {}
    void setSharedRenderState(rezezaz::render::RenderState*) override {}
    rezezaz::render::RenderState* getSharedRenderState() override { return nullptr; }
    void gatherRenderables(Camera*, RenderableSet* set) override
    {
        for (auto& piece : pieces) {
            set->queueRenderable(piece.get());
        }
    }

    std::vector<std::unique_ptr<RecordingRenderable>> pieces;
};

// Marks the hook between ordinary and remaining depth-sorted queues in the log.
class MarkingRenderManager : public SimpleRenderManager
{
public:
    MarkingRenderManager(Scene* scene, support::SharedCallLog log)
        : SimpleRenderManager(scene), log(std::move(log))
    {}
    void interRenderRenderables(RenderableSet*, rezezaz::render::RenderDevice*, Camera*, bool) override
    {
        log->add("inter");
    }
    support::SharedCallLog log;
};

class RenderManagerTest : public MaterialFixture
{
protected:
    RenderManagerTest()
    {
        device.caps.maxLights = 8;
        attachDevice();
        installHandlers(*engine);
        scene = new Scene(engine.get(), 0.001f);
        manager = new MarkingRenderManager(scene.get(), calls);
        scene->setRenderManager(manager.get());
        camera = new Camera(engine.get());
        camera->setLookAt(Vector3(0, 0, 0), Vector3(0, 0, -1), Vector3(0, 1, 0));
        holder = new Node(scene.get());
        scene->getRoot()->attach(holder.get());
        // The pieces carry no bound of their own: the holder reaches everywhere, so it is never culled.
        Pointer<Bound> everywhere(new Bound());
        everywhere->setInfinite();
        holder->setBound(everywhere.get());
        pieces = new PieceComponent();
        holder->attach(pieces.get());
        calls->take();
    }

    ~RenderManagerTest() override { scene->destroy(); }

    // A material with one path of one pass drawing with its own render state.
    Pointer<Material> material(const std::string& state, int layer, bool depthSorted = false)
    {
        Pointer<Material> made(new Material(materials()));
        made->setLayer(layer);
        made->setSort(depthSorted ? Material::Sort_ALWAYS : Material::Sort_NEVER);
        RenderPath* path = made->addPath(rezezaz::core::String("main"));
        Pointer<support::RecordingRenderState> renderState(new support::RecordingRenderState(calls, state));
        renderState->setName(rezezaz::core::String(state.c_str()));
        path->addPass(renderState.get(), nullptr);
        made->setBestPath(path);
        return made;
    }

    RecordingRenderable* piece(const std::string& name, Material* with, const Vector3& at = Vector3(0, 0, -5))
    {
        pieces->pieces.push_back(std::make_unique<RecordingRenderable>(calls, name, with, at));
        return pieces->pieces.back().get();
    }

    std::vector<std::string> render()
    {
        camera->render(&device, scene.get(), nullptr);
        return calls->take();
    }

    static std::vector<std::string> only(const std::vector<std::string>& log, const std::string& prefix)
    {
        std::vector<std::string> kept;
        for (const auto& entry : log) {
            if (entry.rfind(prefix, 0) == 0 || entry == "inter") {
                kept.push_back(entry);
            }
        }
        return kept;
    }

    Pointer<Scene> scene;
    Pointer<MarkingRenderManager> manager;
    Pointer<Camera> camera;
    Pointer<Node> holder;
    Pointer<PieceComponent> pieces;
};

TEST_F(RenderManagerTest, QueuesDrawByLayerThenDepth)
{
    Pointer<Material> upper = material("upper", 1);
    Pointer<Material> lower = material("lower", 0);
    Pointer<Material> glass = material("glass", 0, true);
    piece("upper", upper.get());
    piece("plain", nullptr);
    piece("lower", lower.get());
    // Squared distances 4, 9 and 1, then a second at 4.
    piece("glass4", glass.get(), Vector3(0, 0, -2));
    piece("glass9", glass.get(), Vector3(0, 0, -3));
    piece("glass1", glass.get(), Vector3(0, 0, -1));
    piece("glass4b", glass.get(), Vector3(0, 2, 0));
    piece("lower2", lower.get());

    EXPECT_EQ(only(render(), "draw"), (std::vector<std::string>{"draw plain", "draw lower", "draw lower2",
                                                                "draw glass9", "draw glass4", "draw glass4b",
                                                                "draw glass1", "draw upper", "inter"}));

    // The piece without a material sits in the queue keyed by null, in layer 0.
    RenderableSet* set = manager->getRenderableSet();
    const int first = set->getMaterialQueueOrder()[0];
    EXPECT_EQ(set->getQueue(first)[0].material, nullptr);
    EXPECT_EQ(set->getQueueLayer(first), 0);
    EXPECT_EQ(set->getNumQueues(), 4);
    EXPECT_FLOAT_EQ(set->getQueue(set->getDepthSortedQueueOrder()[0])[0].depth, 9.0f);
    // Ambient colour comes from the scene.
    EXPECT_EQ(set->getQueue(first)[0].ambient.x, scene->getAmbient().x);
}

TEST_F(RenderManagerTest, ManyDepthSortedItemsInNoOrderAreDrawnFarToNearTiesInArrivalOrder)
{
    // Few distinct distances, so that many items tie, and fractions that differ in their lowest bits.
    Pointer<Material> glass = material("glass", 0, true);
    std::vector<std::pair<float, std::string>> expected;
    uint32_t random = 7;
    for (int i = 0; i < 1003; ++i) {
        random = random * 1664525u + 1013904223u;
        const float distance = i % 2 == 0 ? 1.0f + static_cast<float>(random >> 28)
                                          : 0.001f + static_cast<float>(random >> 8) / 4096.0f;
        const std::string name = "glass" + std::to_string(i);
        piece(name, glass.get(), Vector3(0, 0, -distance));
        expected.emplace_back(distance * distance, "draw " + name);
    }
    std::stable_sort(expected.begin(), expected.end(),
                     [](const auto& a, const auto& b) { return a.first > b.first; });
    std::vector<std::string> drawn = only(render(), "draw");
    ASSERT_EQ(drawn.size(), expected.size() + 1);
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(drawn[i + 1], expected[i].second) << i;
    }
    const RenderableSet::RenderableQueue& queue =
        manager->getRenderableSet()->getQueue(manager->getRenderableSet()->getDepthSortedQueueOrder()[0]);
    EXPECT_FLOAT_EQ(queue[0].depth, expected[0].first);
}

TEST_F(RenderManagerTest, ManyMaterialsAreDrawnByLayerEqualLayersInFirstArrivalOrder)
{
    std::vector<Pointer<Material>> made;
    std::vector<std::pair<int, std::string>> expected;
    for (int m = 0; m < 40; ++m) {
        const int layer = m * 7 % 5 - 1;
        made.push_back(material("m" + std::to_string(m), layer));
        piece("m" + std::to_string(m), made.back().get());
        expected.emplace_back(layer, "draw m" + std::to_string(m));
    }
    // A second item of an early material joins its queue, not the end.
    piece("m3 again", made[3].get());
    expected.insert(std::find(expected.begin(), expected.end(), std::make_pair(made[3]->getLayer(), std::string("draw m3"))) + 1,
                    std::make_pair(made[3]->getLayer(), std::string("draw m3 again")));
    std::stable_sort(expected.begin(), expected.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<std::string> drawn = only(render(), "draw");
    ASSERT_EQ(drawn.size(), expected.size() + 1);
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(drawn[i], expected[i].second) << i;
    }
}

TEST_F(RenderManagerTest, DepthSortedQueuesAloneAreDrawnAfterTheHook)
{
    Pointer<Material> glass = material("glass", 0, true);
    Pointer<Material> smoke = material("smoke", 2, true);
    piece("smoke", smoke.get());
    piece("glass", glass.get());
    EXPECT_EQ(only(render(), "draw"), (std::vector<std::string>{"inter", "draw glass", "draw smoke"}));
}

TEST_F(RenderManagerTest, FrameSetsTargetViewportClearMatricesAndStatesOnce)
{
    Pointer<Material> shared = material("shared", 0);
    piece("a", shared.get());
    piece("b", shared.get());
    const std::vector<std::string> first = render();
    ASSERT_GE(first.size(), 6u);
    EXPECT_EQ(first[0].rfind("device.setRenderTarget(", 0), 0u);
    EXPECT_EQ(first[1], "device.setViewport(0,0,640,480)");
    EXPECT_EQ(first[2], "device.clear(3)");
    EXPECT_EQ(std::count(first.begin(), first.end(), "device.setRenderState(shared)"), 1);
    EXPECT_EQ(only(first, "draw"), (std::vector<std::string>{"draw a", "draw b", "inter"}));

    // The viewport only goes to the device again when it changes.
    const std::vector<std::string> second = render();
    EXPECT_EQ(std::count_if(second.begin(), second.end(),
                            [](const std::string& c) { return c.rfind("device.setViewport", 0) == 0; }),
              0);
    // (An automatic projection would take the whole target again.)
    camera->setProjectionFovY(1.0f, 1.0f, 1, 100);
    camera->setViewport(rezezaz::render::Viewport{10, 0, 100, 100, false});
    const std::vector<std::string> third = render();
    EXPECT_EQ(std::count(third.begin(), third.end(), "device.setViewport(10,0,100,100)"), 1);

    // Nothing to clear, nothing cleared.
    camera->setClearFlags(0);
    const std::vector<std::string> fourth = render();
    EXPECT_EQ(std::count(fourth.begin(), fourth.end(), "device.clear(3)"), 0);
}

TEST_F(RenderManagerTest, TheFarthestLightsFillTheSlots)
{
    std::vector<Pointer<LightComponent>> lights;
    for (int i = 0; i < 10; ++i) {
        Pointer<Node> node(new Node(scene.get()));
        node->setTranslate(0, 0, -1.0f - i);
        Pointer<LightComponent> light(new LightComponent());
        node->attach(light.get());
        holder->attach(node.get());
        lights.push_back(light);
    }
    lights[9]->setEnabled(false);
    const std::vector<std::string> log = render();
    const auto& queued = manager->getRenderableSet()->getLights();
    ASSERT_EQ(queued.size(), 9);
    EXPECT_EQ(queued[0].light, lights[8].get());
    EXPECT_EQ(queued[8].light, lights[0].get());
    for (int slot = 0; slot < 8; ++slot) {
        EXPECT_EQ(
            std::count(log.begin(), log.end(), "device.setLightEnabled(" + std::to_string(slot) + ",1)"), 1);
    }

    // Fewer lights than slots: the rest are switched off.
    for (int i = 2; i < 10; ++i) {
        lights[i]->destroy();
    }
    const std::vector<std::string> fewer = render();
    EXPECT_EQ(std::count(fewer.begin(), fewer.end(), "device.setLightEnabled(1,1)"), 1);
    EXPECT_EQ(std::count(fewer.begin(), fewer.end(), "device.setLightEnabled(2,0)"), 1);
    EXPECT_EQ(std::count(fewer.begin(), fewer.end(), "device.setLightEnabled(7,0)"), 1);
}

TEST_F(RenderManagerTest, TexturesOfAnEarlierPassAreUnboundWhenTheNextHasFewer)
{
    Pointer<Material> textured = material("textured", 0);
    RenderPass* pass = textured->getBestPath()->getPass(0);
    Pointer<support::RecordingTexture> image(new support::RecordingTexture(calls, "image"));
    Pointer<support::RecordingTexture> detail(new support::RecordingTexture(calls, "detail"));
    image->setName(rezezaz::core::String("image"));
    detail->setName(rezezaz::core::String("detail"));
    const rezezaz::render::SamplerState sampler;
    const rezezaz::render::TextureState textureState;
    pass->setTexture(rezezaz::render::Shader::ShaderType_VERTEX, 0, image.get(), sampler, textureState);
    pass->setTexture(rezezaz::render::Shader::ShaderType_VERTEX, 1, detail.get(), sampler, textureState);
    Pointer<Material> bare = material("bare", 1);
    piece("textured", textured.get());
    piece("bare", bare.get());
    const std::vector<std::string> log = render();
    const auto at = [&log](const std::string& call) {
        return std::find(log.begin(), log.end(), call) - log.begin();
    };
    EXPECT_LT(at("device.setTexture(0,0,image)"), at("draw textured"));
    EXPECT_LT(at("device.setTexture(0,1,detail)"), at("draw textured"));
    EXPECT_GT(at("device.setTexture(0,0,null)"), at("draw textured"));
    EXPECT_LT(at("device.setTexture(0,1,null)"), at("draw bare"));
}

TEST_F(RenderManagerTest, GeometryFlagsTurnAndStretchThePiece)
{
    Pointer<Material> facing = material("facing", 0);
    RenderPass* pass = facing->getBestPath()->getPass(0);
    GeometryState geometry;
    geometry.matrixFlags = GeometryState::MatrixFlag_FACE_CAMERA | GeometryState::MatrixFlag_ASPECT_CORRECT;
    geometry.alignmentAxis = Vector3(0, 1, 0);
    pass->getRenderState()->setGeometryState(geometry);
    RecordingRenderable* side = piece("side", facing.get(), Vector3(5, 0, 0));
    // Straight above along the axis: nothing to face, the rotation stays.
    RecordingRenderable* above = piece("above", facing.get(), Vector3(0, -5, 0));
    render();

    // Turned about +y so that its z axis points back at the camera; x squeezed by 480 / 640.
    const Matrix4x4& m = side->drawnWith;
    EXPECT_NEAR(m.data[8], -1.0f, 1e-5f);
    EXPECT_NEAR(m.data[10], 0.0f, 1e-5f);
    EXPECT_NEAR(m.data[2], 0.75f, 1e-5f);
    EXPECT_NEAR(m.data[5], 1.0f, 1e-5f);
    EXPECT_EQ(m.data[12], 5.0f);
    for (float value : above->drawnWith.data) {
        EXPECT_TRUE(std::isfinite(value));
    }
    EXPECT_NEAR(above->drawnWith.data[0], 0.75f, 1e-5f);
    EXPECT_NEAR(above->drawnWith.data[10], 1.0f, 1e-5f);
}

TEST_F(RenderManagerTest, ASecondFrameAllocatesNothing)
{
    Pointer<Material> lower = material("lower", 0);
    Pointer<Material> glass = material("glass", 1, true);
    for (int i = 0; i < 20; ++i) {
        piece("lower", lower.get());
        piece("glass", glass.get(), Vector3(0, 0, -1.0f - i));
    }
    Pointer<Node> lamp(new Node(scene.get()));
    lamp->attach(new LightComponent());
    holder->attach(lamp.get());
    render();
    render();
    // The queues keep their storage: filling them again takes no memory.
    RenderableSet* set = manager->getRenderableSet();
    const int64_t before = support::allocationCount();
    manager->gatherRenderables(set, scene->getRoot(), camera.get());
    EXPECT_EQ(support::allocationCount() - before, 0);
    EXPECT_EQ(set->getNumQueues(), 2);
    EXPECT_EQ(set->getLights().size(), 1);
}

} // namespace

namespace {

TEST(RenderManagerWithoutEngineTest, PiecesWithoutAUsableMaterialAreNotDrawn)
{
    support::SharedCallLog calls = std::make_shared<support::CallLog>();
    support::RecordingRenderDevice device{calls};
    device.caps.maxLights = 2;
    Pointer<Scene> scene(new Scene(nullptr, 0.001f));
    auto* manager = static_cast<SimpleRenderManager*>(scene->getRenderManager());
    EXPECT_EQ(manager->getDefaultMaterial(), nullptr);

    Pointer<Camera> camera(new Camera(nullptr));
    EXPECT_EQ(camera->getDefaultState(), nullptr);
    Pointer<Node> holder(new Node(scene.get()));
    Pointer<Bound> everywhere(new Bound());
    everywhere->setInfinite();
    holder->setBound(everywhere.get());
    scene->getRoot()->attach(holder.get());
    Pointer<PieceComponent> pieces(new PieceComponent());
    holder->attach(pieces.get());

    Pointer<Material> usable(new Material(nullptr));
    RenderPath* path = usable->addPath(rezezaz::core::String("main"));
    Pointer<support::RecordingRenderState> state(new support::RecordingRenderState(calls, "usable"));
    path->addPass(state.get(), nullptr);
    usable->setBestPath(path);
    Pointer<Material> pathless(new Material(nullptr));
    pieces->pieces.push_back(
        std::make_unique<RecordingRenderable>(calls, "bare", nullptr, Vector3(0, 0, -5)));
    pieces->pieces.push_back(
        std::make_unique<RecordingRenderable>(calls, "pathless", pathless.get(), Vector3(0, 0, -5)));
    pieces->pieces.push_back(
        std::make_unique<RecordingRenderable>(calls, "usable", usable.get(), Vector3(0, 0, -5)));

    camera->render(&device, scene.get(), nullptr);
    std::vector<std::string> drawn;
    for (const auto& call : calls->take()) {
        if (call.rfind("draw", 0) == 0) {
            drawn.push_back(call);
        }
    }
    EXPECT_EQ(drawn, std::vector<std::string>{"draw usable"});
    scene->destroy();
}

} // namespace
