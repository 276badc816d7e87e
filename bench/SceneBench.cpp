// The scene graph's frame update and the render queue.
//
// Update: nodes per millisecond for one frame of three tree shapes, built alike in our scene and in
// Ogre's (a headless root and generic scene manager, no render system): a still tree of 8 children a
// node (nothing moves; and the same tree moved at its top every frame), a fan-out whose children all
// turn every frame, and a chain turned at its top. Ours is the changes, one Scene::update of one
// logic and one frame step, and reading the scene's bound; Ogre's is the same changes and
// SceneNode::_update from its root scene node, which derives the transforms and bounds. Both are
// interleaved in every iteration, after both trees were checked to give the same world transforms and
// the same world box. Both are timed once the tree is placed and our idle tree has fallen asleep. A
// still tree's frame is a few tens of nanoseconds, about what a clock read costs: it is timed in
// batches of frames, one clock read on either side of each batch, and reported per frame.
//
// Queue: items per millisecond for one camera's render of N items over M materials, and of k items of
// one depth-sorted material, through the render manager onto a device that only counts its calls;
// with device calls per item. The queues' order and the draws are checked first. Beside it, the queue
// alone (filled, ordered, walked) interleaved with Ogre's queued-renderable collection on the same
// items, after both were checked to hold the same items in the same grouping or depth order.
#include <benchmark/benchmark.h>

#include "content/EngineHandlers.h"
#include "core/IntrusivePointer.h"
#include "core/Log.h"
#include "core/Logger.h"
#include "core/math/Vector3.h"
#include "scene/BaseComponent.h"
#include "scene/Bound.h"
#include "scene/Camera.h"
#include "scene/Engine.h"
#include "scene/Node.h"
#include "scene/Renderable.h"
#include "scene/RenderableSet.h"
#include "scene/RenderManager.h"
#include "scene/Scene.h"
#include "scene/SimpleRenderManager.h"
#include "scene/Transform.h"
#include "scene/Visible.h"
#include "scene/material/Material.h"
#include "scene/material/RenderPath.h"
#include "support/CountingRenderDevice.h"

#include <Ogre.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <memory>
#include <utility>
#include <vector>

using rezezaz::core::IntrusivePointer;
using rezezaz::core::math::Vector3;
namespace scene = rezezaz::scene;

namespace {

using Clock = std::chrono::steady_clock;

double nanoseconds(Clock::duration d)
{
    return std::chrono::duration<double, std::nano>(d).count();
}

// Runs ours and the peer's once each per iteration, timed apart; oursFirst() is asked at the start of
// each iteration, so that which goes first alternates and neither always finds the caches warm. The
// mean nanoseconds per iteration of ours, then of the peer's.
template <class OursFirst, class Ours, class Theirs>
std::pair<double, double> interleaved(benchmark::State& state, OursFirst oursFirst, Ours ours, Theirs theirs)
{
    Clock::duration ourTime{}, theirTime{};
    for (auto _ : state) {
        const bool first = oursFirst();
        for (int turn = 0; turn < 2; ++turn) {
            const bool mine = (turn == 0) == first;
            const Clock::time_point start = Clock::now();
            if (mine) {
                ours();
            } else {
                theirs();
            }
            (mine ? ourTime : theirTime) += Clock::now() - start;
        }
    }
    const double frames = static_cast<double>(state.iterations());
    return {nanoseconds(ourTime) / frames, nanoseconds(theirTime) / frames};
}

// ---------------------------------------------------------------------------------------------
// Update

// Ogre without a window: its log kept off the console and out of files, one scene manager.
struct OgreWorld
{
    Ogre::LogManager* logs = new Ogre::LogManager();
    Ogre::Root* root = nullptr;
    Ogre::SceneManager* manager = nullptr;

    OgreWorld()
    {
        logs->createLog("bench", true, false, true)->setLogDetail(Ogre::LL_LOW);
        root = new Ogre::Root("", "", "");
        manager = root->createSceneManager();
        // Without a render system the root makes no material manager; the queue's passes need one.
        if (Ogre::MaterialManager::getSingletonPtr() == nullptr) {
            new Ogre::MaterialManager();
            Ogre::MaterialManager::getSingleton().initialise();
        }
    }
};

OgreWorld& ogre()
{
    static OgreWorld* const world = new OgreWorld;
    return *world;
}

// The piece each Ogre node carries: a fixed box, as our nodes carry their own bound.
class BoxObject : public Ogre::MovableObject
{
public:
    explicit BoxObject(const Ogre::AxisAlignedBox& box) : box_(box) {}
    const Ogre::String& getMovableType() const override
    {
        static const Ogre::String type = "BenchBox";
        return type;
    }
    const Ogre::AxisAlignedBox& getBoundingBox() const override { return box_; }
    Ogre::Real getBoundingRadius() const override { return box_.getHalfSize().length(); }
    void _updateRenderQueue(Ogre::RenderQueue*) override {}
    void visitRenderables(Ogre::Renderable::Visitor*, bool) override {}

private:
    Ogre::AxisAlignedBox box_;
};

enum Shape
{
    Shape_STILL,
    Shape_MOVED,
    Shape_FAN_OUT,
    Shape_CHAIN,
};

constexpr int branching = 8;
constexpr float half = 0.25f;

// One tree built in both engines with the same local placements and boxes. Node 0 is the tree's
// top, under each scene's root.
struct Trees
{
    Shape shape;
    IntrusivePointer<scene::Scene> ours{new scene::Scene(nullptr, 0.001f)};
    std::vector<IntrusivePointer<scene::Node>> nodes;
    std::vector<Ogre::SceneNode*> theirs;
    std::vector<std::unique_ptr<BoxObject>> boxes;
    std::vector<int> depths;
    int frame = 0;

    Trees(Shape shape, int count) : shape(shape)
    {
        IntrusivePointer<scene::Bound> own(new scene::Bound());
        rezezaz::core::math::AABox box;
        box.minimum = Vector3(-half, -half, 0);
        box.maximum = Vector3(half, half, 2 * half);
        own->setBox(box);
        std::vector<int> parents;
        std::vector<Vector3> places;
        std::vector<float> angles;
        for (int i = 0; i < count; ++i) {
            const int parent = i == 0 ? -1 : shape == Shape_CHAIN ? i - 1 : shape == Shape_FAN_OUT ? 0 : (i - 1) / branching;
            parents.push_back(parent);
            depths.push_back(parent < 0 ? 0 : depths[static_cast<size_t>(parent)] + 1);
            // Placed around the parent and turned a little about z; unit scale, in which both engines
            // compose alike.
            places.push_back(shape == Shape_CHAIN ? Vector3(1, 0, 0.01f)
                                                  : Vector3(static_cast<float>(i % 5 - 2), static_cast<float>(i / 5 % 5 - 2), 1));
            // The chain's links are straight, so that the two engines' rounding does not grow with
            // the square of the depth through ever more turned links.
            angles.push_back(shape == Shape_CHAIN ? 0.0f : 0.001f * static_cast<float>(i % 97));
        }
        // Each engine's tree is built in one go, as a program builds its scene, so that neither finds
        // its nodes scattered among the other's in memory.
        nodes.reserve(static_cast<size_t>(count));
        for (int i = 0; i < count; ++i) {
            IntrusivePointer<scene::Node> node(new scene::Node(ours.get()));
            node->setTranslate(places[static_cast<size_t>(i)]);
            node->setRotate(Vector3(0, 0, 1), angles[static_cast<size_t>(i)]);
            node->setBound(own.get());
            const int parent = parents[static_cast<size_t>(i)];
            (parent < 0 ? ours->getRoot() : nodes[static_cast<size_t>(parent)].get())->attach(node.get());
            nodes.push_back(node);
        }
        Ogre::SceneNode* ogreRoot = ogre().manager->getRootSceneNode();
        theirs.reserve(static_cast<size_t>(count));
        boxes.reserve(static_cast<size_t>(count));
        for (int i = 0; i < count; ++i) {
            const int parent = parents[static_cast<size_t>(i)];
            const Vector3& at = places[static_cast<size_t>(i)];
            Ogre::SceneNode* ogreNode = (parent < 0 ? ogreRoot : theirs[static_cast<size_t>(parent)])->createChildSceneNode();
            ogreNode->setPosition(at.x, at.y, at.z);
            ogreNode->setOrientation(Ogre::Quaternion(Ogre::Radian(angles[static_cast<size_t>(i)]), Ogre::Vector3::UNIT_Z));
            boxes.push_back(std::make_unique<BoxObject>(
                Ogre::AxisAlignedBox(box.minimum.x, box.minimum.y, box.minimum.z, box.maximum.x, box.maximum.y, box.maximum.z)));
            ogreNode->attachObject(boxes.back().get());
            theirs.push_back(ogreNode);
        }
        // Both settle, so that the timed frames are those of a scene that has been running for a while:
        // ours until its idle tree has fallen asleep (five idle updates a level, from the leaves up, so
        // that a deep chain takes five updates a link), Ogre's as often up to 200 updates: later ones
        // find its tree as the earlier left it.
        const int deepest = *std::max_element(depths.begin(), depths.end());
        for (int update = 0; update < 5 * deepest + 200 && !nodes[0]->getSettled(); ++update) {
            ours->update(50);
            if (update < 200) {
                ogreRoot->_update(true, false);
            }
        }
    }

    ~Trees()
    {
        Ogre::SceneNode* top = theirs[0];
        for (Ogre::SceneNode* node : theirs) {
            node->detachAllObjects();
        }
        top->removeAndDestroyAllChildren();
        ogre().manager->destroySceneNode(top);
        ours->destroy();
    }

    float turn(size_t i) const { return 0.01f * static_cast<float>(frame) + 0.001f * static_cast<float>(i); }

    void ourFrame()
    {
        switch (shape) {
        case Shape_STILL:
            break;
        case Shape_MOVED:
            nodes[0]->setTranslate(0.001f * static_cast<float>(frame), 0, 0);
            break;
        case Shape_FAN_OUT:
            for (size_t i = 1; i < nodes.size(); ++i) {
                nodes[i]->setRotate(Vector3(0, 0, 1), turn(i));
            }
            break;
        case Shape_CHAIN:
            nodes[0]->setRotate(Vector3(0, 0, 1), turn(0));
            break;
        }
        ours->update(50);
        benchmark::DoNotOptimize(ours->getRoot()->getWorldBound()->box.maximum.x);
    }

    void ogreFrame()
    {
        switch (shape) {
        case Shape_STILL:
            break;
        case Shape_MOVED:
            theirs[0]->setPosition(0.001f * static_cast<float>(frame), 0, 0);
            break;
        case Shape_FAN_OUT:
            for (size_t i = 1; i < theirs.size(); ++i) {
                theirs[i]->setOrientation(Ogre::Quaternion(Ogre::Radian(turn(i)), Ogre::Vector3::UNIT_Z));
            }
            break;
        case Shape_CHAIN:
            theirs[0]->setOrientation(Ogre::Quaternion(Ogre::Radian(turn(0)), Ogre::Vector3::UNIT_Z));
            break;
        }
        ogre().manager->getRootSceneNode()->_update(true, false);
        benchmark::DoNotOptimize(theirs[0]->_getWorldAABB().getMaximum().x);
    }

    // The engines round apart, and their differences add up along a path from the top: the tolerance
    // grows with the node's depth and with the size of the coordinates.
    static bool near(float a, float b, float scale, int depth)
    {
        return std::fabs(a - b) <= 2e-6f * static_cast<float>(depth + 1) * (1.0f + scale);
    }

    // Every node at the same place and turn, and the same box around the whole tree.
    bool same() const
    {
        float reach = 0;
        int deepest = 0;
        for (size_t i = 0; i < nodes.size(); ++i) {
            const int depth = depths[i];
            deepest = std::max(deepest, depth);
            const scene::Transform* world = nodes[i]->getWorldTransform();
            const Ogre::Vector3 at = theirs[i]->_getDerivedPosition();
            const Ogre::Quaternion q = theirs[i]->_getDerivedOrientation();
            reach = std::fmax(reach, static_cast<float>(at.length()));
            const float sign = q.w * world->rotate.w >= 0 ? 1.0f : -1.0f;
            if (!near(world->translate.x, at.x, reach, depth) || !near(world->translate.y, at.y, reach, depth) ||
                !near(world->translate.z, at.z, reach, depth) || !near(world->rotate.x, sign * q.x, 1, depth) ||
                !near(world->rotate.y, sign * q.y, 1, depth) || !near(world->rotate.z, sign * q.z, 1, depth) ||
                !near(world->rotate.w, sign * q.w, 1, depth)) {
                return false;
            }
        }
        const scene::Bound* bound = nodes[0]->getWorldBound();
        const Ogre::AxisAlignedBox& box = theirs[0]->_getWorldAABB();
        const auto close = [&](float a, float b) { return near(a, b, reach, deepest); };
        return bound->kind == scene::Bound::Kind_BOX && close(bound->box.minimum.x, box.getMinimum().x) &&
               close(bound->box.minimum.y, box.getMinimum().y) && close(bound->box.minimum.z, box.getMinimum().z) &&
               close(bound->box.maximum.x, box.getMaximum().x) && close(bound->box.maximum.y, box.getMaximum().y) &&
               close(bound->box.maximum.z, box.getMaximum().z);
    }
};

void quiet()
{
    static const bool once = [] {
        rezezaz::core::Log::getInstance()->setMasterReportingLevel(rezezaz::core::Logger::ERROR);
        return true;
    }();
    (void)once;
}

void BM_Update(benchmark::State& state)
{
    quiet();
    const auto shape = static_cast<Shape>(state.range(0));
    const int count = static_cast<int>(state.range(1));
    Trees trees(shape, count);
    for (int check = 0; check < 3; ++check) {
        ++trees.frame;
        trees.ourFrame();
        trees.ogreFrame();
        if (!trees.same()) {
            state.SkipWithError("our tree and Ogre's differ after a frame");
            return;
        }
    }
    // Frames timed between two clock reads: a still frame does so little that one alone would time
    // the clock rather than the update.
    const int batch = shape == Shape_STILL ? 128 : 1;
    const auto [oursBatch, theirsBatch] = interleaved(
        state,
        [&] {
            ++trees.frame;
            return trees.frame % 2 == 0;
        },
        [&] {
            for (int i = 0; i < batch; ++i) {
                trees.ourFrame();
            }
        },
        [&] {
            for (int i = 0; i < batch; ++i) {
                trees.ogreFrame();
            }
        });
    const double ours = oursBatch / batch;
    const double theirs = theirsBatch / batch;
    state.counters["ours_us"] = ours / 1e3;
    state.counters["ogre_us"] = theirs / 1e3;
    state.counters["ours_nodes_per_ms"] = count * 1e6 / ours;
    state.counters["ogre_nodes_per_ms"] = count * 1e6 / theirs;
    state.counters["ratio"] = ours / theirs;
}

// ---------------------------------------------------------------------------------------------
// Queue

// One drawable piece: one draw call per render.
class Piece : public scene::Renderable
{
public:
    Piece(scene::material::Material* material, const Vector3& at) : material(material)
    {
        transform->translate = at;
        rezezaz::core::math::Sphere sphere(at, 0.5f);
        bound->setSphere(sphere);
    }
    scene::material::Material* getRenderMaterial() override { return material; }
    scene::Transform* getRenderTransform() override { return transform.get(); }
    scene::Bound* getRenderBound() override { return bound.get(); }
    void render(scene::RenderManager* manager) override { manager->getDevice()->renderPrimitive(nullptr, nullptr); }

    scene::material::Material* material;
    IntrusivePointer<scene::Transform> transform{new scene::Transform()};
    IntrusivePointer<scene::Bound> bound{new scene::Bound()};
};

// Queues its pieces when its node is gathered.
class Pieces : public scene::BaseComponent, public scene::Visible
{
public:
    void parentChanged(scene::Node* node) override
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
    void gatherRenderables(scene::Camera*, scene::RenderableSet* set) override
    {
        for (auto& piece : pieces) {
            set->queueRenderable(piece.get());
        }
    }

    std::vector<std::unique_ptr<Piece>> pieces;
};

// N items over M materials (each one path of one pass with its own render state), or, depth-sorted,
// N items of one material drawn back to front, in front of a camera looking down -z.
struct Queue
{
    support::CountingRenderDevice device;
    IntrusivePointer<scene::Engine> engine{new scene::Engine(nullptr, nullptr)};
    IntrusivePointer<scene::Scene> ours;
    IntrusivePointer<scene::Camera> camera;
    IntrusivePointer<scene::Node> holder;
    IntrusivePointer<Pieces> pieces{new Pieces()};
    std::vector<IntrusivePointer<scene::material::Material>> materials;
    int items;
    bool depthSorted;

    Queue(int items, int materialCount, bool depthSorted) : items(items), depthSorted(depthSorted)
    {
        device.caps.maxLights = 8;
        device.caps.maxTextureStages = 8;
        engine->setRenderDevice(&device);
        installHandlers(*engine);
        ours = new scene::Scene(engine.get(), 0.001f);
        camera = new scene::Camera(engine.get());
        camera->setLookAt(Vector3(0, 0, 0), Vector3(0, 0, -1), Vector3(0, 1, 0));
        holder = new scene::Node(ours.get());
        ours->getRoot()->attach(holder.get());
        IntrusivePointer<scene::Bound> everywhere(new scene::Bound());
        everywhere->setInfinite();
        holder->setBound(everywhere.get());
        holder->attach(pieces.get());
        for (int m = 0; m < materialCount; ++m) {
            IntrusivePointer<scene::material::Material> made(new scene::material::Material(engine->getMaterialManager()));
            made->setLayer(m % 3);
            made->setSort(depthSorted ? scene::material::Material::Sort_ALWAYS : scene::material::Material::Sort_NEVER);
            scene::material::RenderPath* path = made->addPath(rezezaz::core::String("main"));
            IntrusivePointer<rezezaz::render::RenderState> renderState = device.createRenderState();
            path->addPass(renderState.get(), nullptr);
            made->setBestPath(path);
            materials.push_back(made);
        }
        // Items of the materials in turn, at distances that arrive in no order.
        uint32_t random = 12345;
        for (int i = 0; i < items; ++i) {
            random = random * 1664525u + 1013904223u;
            const float depth = 1.0f + static_cast<float>(random >> 8) / static_cast<float>(1 << 24) * 100.0f;
            pieces->pieces.push_back(std::make_unique<Piece>(materials[static_cast<size_t>(i % materialCount)].get(),
                                                             Vector3(0, 0, -depth)));
        }
    }

    ~Queue() { ours->destroy(); }

    void frame() { camera->render(&device, ours.get(), nullptr); }

    // Every item drawn once, each material's state set once, and the queues in their order.
    bool check()
    {
        device.clearCounts();
        frame();
        // The camera's default state goes first, then each material's once.
        const int64_t states = static_cast<int64_t>(materials.size()) + (camera->getDefaultState() != nullptr ? 1 : 0);
        if (device.getCount(support::CountingRenderDevice::Call_RENDER_PRIMITIVE) != items ||
            device.getCount(support::CountingRenderDevice::Call_SET_RENDER_STATE) != states) {
            return false;
        }
        scene::RenderableSet* set = static_cast<scene::SimpleRenderManager*>(ours->getRenderManager())->getRenderableSet();
        int queued = 0;
        int lastLayer = -1;
        const auto& order = depthSorted ? set->getDepthSortedQueueOrder() : set->getMaterialQueueOrder();
        for (int q = 0; q < order.size(); ++q) {
            const scene::RenderableSet::RenderableQueue& queue = set->getQueue(order[q]);
            const int layer = set->getQueueLayer(order[q]);
            if (layer < lastLayer) {
                return false;
            }
            lastLayer = layer;
            for (int i = 0; i < queue.size(); ++i) {
                if (queue[i].material != queue[0].material || (i > 0 && queue[i].depth > queue[i - 1].depth)) {
                    return false;
                }
            }
            queued += queue.size();
        }
        return queued == items;
    }
};

void BM_Queue(benchmark::State& state)
{
    quiet();
    const int items = static_cast<int>(state.range(0));
    const int materialCount = static_cast<int>(state.range(1));
    const bool depthSorted = state.range(2) != 0;
    Queue queue(items, materialCount, depthSorted);
    if (!queue.check()) {
        state.SkipWithError("the queue drew another set or order than expected");
        return;
    }
    queue.device.clearCounts();
    const Clock::time_point start = Clock::now();
    for (auto _ : state) {
        queue.frame();
    }
    const double frames = static_cast<double>(state.iterations());
    const double perFrame = nanoseconds(Clock::now() - start) / frames;
    state.counters["items_per_ms"] = items * 1e6 / perFrame;
    state.counters["calls_per_item"] = static_cast<double>(queue.device.getTotal()) / (frames * items);
}

// The queue alone, beside Ogre's: our render queue filled with the N items, ordered and walked,
// against Ogre's queued-renderable collection (the per-pass grouping, or the depth sort, of its
// render queue) filled with the same items over as many passes, sorted for a camera at the same place
// and walked with a visitor. Both walks count the items and add up their depths; drawing is left out,
// as Ogre draws only through a render system.
class OgrePiece : public Ogre::Renderable
{
public:
    explicit OgrePiece(const Ogre::Vector3& at) : at(at) {}
    const Ogre::MaterialPtr& getMaterial() const override { return material; }
    void getRenderOperation(Ogre::RenderOperation&) override {}
    void getWorldTransforms(Ogre::Matrix4* transform) const override { transform->makeTrans(at); }
    // The camera stands at the origin, as ours does (an Ogre camera wants hardware buffers).
    Ogre::Real getSquaredViewDepth(const Ogre::Camera*) const override { return at.squaredLength(); }
    const Ogre::LightList& getLights() const override { return lights; }

    Ogre::Vector3 at;
    Ogre::MaterialPtr material;
    Ogre::LightList lights;
};

// Counts what it is shown, in the order shown.
class CountingVisitor : public Ogre::QueuedRenderableVisitor
{
public:
    void visit(Ogre::RenderablePass* pass) override { see(pass->renderable); }
    void visit(const Ogre::Pass*, Ogre::RenderableList& list) override
    {
        ++groups;
        for (Ogre::Renderable* renderable : list) {
            see(renderable);
        }
    }
    void see(Ogre::Renderable* renderable)
    {
        const Ogre::Real depth = static_cast<OgrePiece*>(renderable)->at.squaredLength();
        sorted = sorted && depth <= last;
        last = depth;
        ++items;
        sum += depth;
    }
    void reset()
    {
        items = 0;
        groups = 0;
        sum = 0;
        last = INFINITY;
        sorted = true;
    }

    int items = 0;
    int groups = 0;
    double sum = 0;
    Ogre::Real last = INFINITY;
    bool sorted = true;
};

struct QueueAgainstOgre
{
    Queue ours;
    Ogre::MaterialPtr ogreMaterial;
    std::vector<Ogre::Pass*> passes;
    std::vector<std::unique_ptr<OgrePiece>> pieces;
    Ogre::QueuedRenderableCollection collection;
    CountingVisitor visitor;
    int items = 0;
    int walked = 0;
    double sum = 0;
    bool inOrder = true;

    QueueAgainstOgre(int items, int materialCount, bool depthSorted)
        : ours(items, materialCount, depthSorted), items(items)
    {
        static int made = 0;
        (void)ogre();
        ogreMaterial = Ogre::MaterialManager::getSingleton().create("bench" + std::to_string(++made),
                                                                   Ogre::RGN_DEFAULT);
        Ogre::Technique* technique = ogreMaterial->getNumTechniques() > 0 ? ogreMaterial->getTechnique(0)
                                                                          : ogreMaterial->createTechnique();
        technique->removeAllPasses();
        for (int m = 0; m < materialCount; ++m) {
            passes.push_back(technique->createPass());
        }
        for (auto& piece : ours.pieces->pieces) {
            const Vector3& at = piece->transform->translate;
            pieces.push_back(std::make_unique<OgrePiece>(Ogre::Vector3(at.x, at.y, at.z)));
        }
        collection.resetOrganisationModes();
        collection.addOrganisationMode(depthSorted ? Ogre::QueuedRenderableCollection::OM_SORT_DESCENDING
                                                   : Ogre::QueuedRenderableCollection::OM_PASS_GROUP);
        mode = depthSorted ? Ogre::QueuedRenderableCollection::OM_SORT_DESCENDING
                           : Ogre::QueuedRenderableCollection::OM_PASS_GROUP;
        this->depthSorted = depthSorted;
    }

    ~QueueAgainstOgre()
    {
        Ogre::MaterialManager::getSingleton().remove(ogreMaterial);
    }

    void ourQueue()
    {
        scene::Camera* view = ours.camera.get();
        scene::RenderableSet* set =
            static_cast<scene::SimpleRenderManager*>(ours.ours->getRenderManager())->getRenderableSet();
        set->setCamera(view);
        set->startQueuing();
        for (auto& piece : ours.pieces->pieces) {
            set->queueRenderable(piece.get());
        }
        set->endQueuing();
        walked = 0;
        sum = 0;
        inOrder = true;
        float last = INFINITY;
        const auto& order = depthSorted ? set->getDepthSortedQueueOrder() : set->getMaterialQueueOrder();
        for (int q = 0; q < order.size(); ++q) {
            const scene::RenderableSet::RenderableQueue& queue = set->getQueue(order[q]);
            for (int i = 0; i < queue.size(); ++i) {
                const Vector3& at = static_cast<Piece*>(queue[i].renderable)->transform->translate;
                const float depth = at.x * at.x + at.y * at.y + at.z * at.z;
                inOrder = inOrder && (!depthSorted || depth <= last);
                last = depth;
                ++walked;
                sum += depth;
            }
        }
    }

    void ogreQueue()
    {
        collection.clear();
        for (size_t i = 0; i < pieces.size(); ++i) {
            collection.addRenderable(passes[i % passes.size()], pieces[i].get());
        }
        collection.sort(nullptr);
        visitor.reset();
        collection.acceptVisitor(&visitor, mode);
    }

    bool check()
    {
        ourQueue();
        ogreQueue();
        const bool grouped = depthSorted || visitor.groups == static_cast<int>(passes.size());
        return walked == items && visitor.items == items && inOrder && (visitor.sorted || !depthSorted) && grouped &&
               std::fabs(sum - visitor.sum) <= 1e-6 * sum;
    }

    Ogre::QueuedRenderableCollection::OrganisationMode mode;
    bool depthSorted = false;
};

void BM_QueueAgainstOgre(benchmark::State& state)
{
    quiet();
    const int items = static_cast<int>(state.range(0));
    QueueAgainstOgre both(items, static_cast<int>(state.range(1)), state.range(2) != 0);
    if (!both.check()) {
        state.SkipWithError("our queue and Ogre's hold other items or another order");
        return;
    }
    int64_t round = 0;
    const auto [ours, theirs] = interleaved(
        state, [&] { return ++round % 2 == 0; }, [&] { both.ourQueue(); }, [&] { both.ogreQueue(); });
    state.counters["ours_items_per_ms"] = items * 1e6 / ours;
    state.counters["ogre_items_per_ms"] = items * 1e6 / theirs;
    state.counters["ratio"] = ours / theirs;
}

} // namespace

BENCHMARK(BM_Update)
    ->ArgNames({"shape", "nodes"})
    ->Args({Shape_STILL, 1000})
    ->Args({Shape_STILL, 10000})
    ->Args({Shape_STILL, 100000})
    ->Args({Shape_MOVED, 1000})
    ->Args({Shape_MOVED, 10000})
    ->Args({Shape_MOVED, 100000})
    ->Args({Shape_FAN_OUT, 101})
    ->Args({Shape_FAN_OUT, 1001})
    ->Args({Shape_FAN_OUT, 10001})
    ->Args({Shape_CHAIN, 100})
    ->Args({Shape_CHAIN, 1000})
    ->Args({Shape_CHAIN, 10000})
    ->Unit(benchmark::kMicrosecond);

BENCHMARK(BM_Queue)
    ->ArgNames({"items", "materials", "sorted"})
    ->ArgsProduct({{100, 1000, 10000}, {1, 10, 100}, {0}})
    ->Args({100, 1, 1})
    ->Args({1000, 1, 1})
    ->Args({10000, 1, 1})
    ->Unit(benchmark::kMicrosecond);

BENCHMARK(BM_QueueAgainstOgre)
    ->ArgNames({"items", "materials", "sorted"})
    ->ArgsProduct({{100, 1000, 10000}, {1, 10, 100}, {0}})
    ->Args({100, 1, 1})
    ->Args({1000, 1, 1})
    ->Args({10000, 1, 1})
    ->Unit(benchmark::kMicrosecond);

namespace {

// ---------------------------------------------------------------------------------------------
// Attach
//
// Children per millisecond for building a flat tree: n children, each placed with its own box and
// attached one by one under one node of the scene, then the scene's bound read; beside Ogre's n child
// scene nodes made under one node, each placed with the same box, then its bounds updated from its
// root. Both builds are checked to hold n children and the same world box first. Building is linear
// when the time per child stays flat from 1k to 100k children. Only the builds are timed; the
// teardowns are not.

struct FlatBuild
{
    int count;
    IntrusivePointer<scene::Scene> ours;
    IntrusivePointer<scene::Node> hub;
    IntrusivePointer<scene::Bound> own{new scene::Bound()};
    Ogre::SceneNode* theirs = nullptr;
    std::vector<std::unique_ptr<BoxObject>> boxes;

    explicit FlatBuild(int count) : count(count)
    {
        rezezaz::core::math::AABox box;
        box.minimum = Vector3(-half, -half, 0);
        box.maximum = Vector3(half, half, 2 * half);
        own->setBox(box);
        for (int i = 0; i < count; ++i) {
            boxes.push_back(std::make_unique<BoxObject>(
                Ogre::AxisAlignedBox(box.minimum.x, box.minimum.y, box.minimum.z, box.maximum.x, box.maximum.y, box.maximum.z)));
        }
    }

    ~FlatBuild()
    {
        tearDownOurs();
        tearDownTheirs();
    }

    static Vector3 place(int i) { return Vector3(static_cast<float>(i % 317), static_cast<float>(i / 317), 1); }

    void prepareOurs()
    {
        ours = new scene::Scene(nullptr, 0.001f);
        hub = new scene::Node(ours.get());
        ours->getRoot()->attach(hub.get());
    }

    void buildOurs()
    {
        for (int i = 0; i < count; ++i) {
            IntrusivePointer<scene::Node> child(new scene::Node(ours.get()));
            child->setTranslate(place(i));
            child->setBound(own.get());
            hub->attach(child.get());
        }
        benchmark::DoNotOptimize(ours->getRoot()->getWorldBound()->box.maximum.x);
    }

    void tearDownOurs()
    {
        if (ours) {
            ours->destroy();
            ours = nullptr;
            hub = nullptr;
        }
    }

    void prepareTheirs() { theirs = ogre().manager->getRootSceneNode()->createChildSceneNode(); }

    void buildTheirs()
    {
        for (int i = 0; i < count; ++i) {
            const Vector3 at = place(i);
            Ogre::SceneNode* child = theirs->createChildSceneNode(Ogre::Vector3(at.x, at.y, at.z));
            child->attachObject(boxes[static_cast<size_t>(i)].get());
        }
        ogre().manager->getRootSceneNode()->_update(true, false);
        benchmark::DoNotOptimize(theirs->_getWorldAABB().getMaximum().x);
    }

    void tearDownTheirs()
    {
        if (theirs == nullptr) {
            return;
        }
        for (Ogre::Node* child : theirs->getChildren()) {
            static_cast<Ogre::SceneNode*>(child)->detachAllObjects();
        }
        theirs->removeAndDestroyAllChildren();
        ogre().manager->destroySceneNode(theirs);
        theirs = nullptr;
    }

    // n children in each, and the same box around them.
    bool same() const
    {
        const scene::Bound* bound = hub->getWorldBound();
        const Ogre::AxisAlignedBox& box = theirs->_getWorldAABB();
        const auto close = [](float a, float b) { return std::fabs(a - b) <= 1e-4f * (1.0f + std::fabs(b)); };
        return hub->getNodes().size() == count && static_cast<int>(theirs->getChildren().size()) == count &&
               bound->kind == scene::Bound::Kind_BOX && close(bound->box.minimum.x, box.getMinimum().x) &&
               close(bound->box.minimum.y, box.getMinimum().y) && close(bound->box.minimum.z, box.getMinimum().z) &&
               close(bound->box.maximum.x, box.getMaximum().x) && close(bound->box.maximum.y, box.getMaximum().y) &&
               close(bound->box.maximum.z, box.getMaximum().z);
    }
};

void BM_Attach(benchmark::State& state)
{
    quiet();
    const int count = static_cast<int>(state.range(0));
    FlatBuild build(count);
    // The first builds, on the process's fresh heap, timed apart: the later ones follow teardowns,
    // whose freed blocks the allocator has to sort through again.
    build.prepareOurs();
    const Clock::time_point ourFirst = Clock::now();
    build.buildOurs();
    const double ourFirstTime = nanoseconds(Clock::now() - ourFirst);
    build.prepareTheirs();
    const Clock::time_point theirFirst = Clock::now();
    build.buildTheirs();
    const double theirFirstTime = nanoseconds(Clock::now() - theirFirst);
    if (!build.same()) {
        state.SkipWithError("our flat tree and Ogre's differ after they were built");
        return;
    }
    build.tearDownOurs();
    build.tearDownTheirs();

    // As the interleaved helper does, with the teardowns left out of the timing.
    Clock::duration ourTime{}, theirTime{};
    int64_t round = 0;
    for (auto _ : state) {
        const bool oursFirst = ++round % 2 == 0;
        for (int turn = 0; turn < 2; ++turn) {
            const bool mine = (turn == 0) == oursFirst;
            // Only the build counts in the benchmark's own timing too, so that it settles on as many
            // iterations as builds fit in its time.
            state.PauseTiming();
            mine ? build.prepareOurs() : build.prepareTheirs();
            state.ResumeTiming();
            const Clock::time_point start = Clock::now();
            mine ? build.buildOurs() : build.buildTheirs();
            (mine ? ourTime : theirTime) += Clock::now() - start;
            state.PauseTiming();
            mine ? build.tearDownOurs() : build.tearDownTheirs();
            state.ResumeTiming();
        }
    }
    const double builds = static_cast<double>(state.iterations());
    const double ours = nanoseconds(ourTime) / builds;
    const double theirs = nanoseconds(theirTime) / builds;
    state.counters["ours_ms"] = ours / 1e6;
    state.counters["ogre_ms"] = theirs / 1e6;
    state.counters["ours_ns_per_child"] = ours / count;
    state.counters["ogre_ns_per_child"] = theirs / count;
    state.counters["ratio"] = ours / theirs;
    state.counters["ours_first_ns_per_child"] = ourFirstTime / count;
    state.counters["ogre_first_ns_per_child"] = theirFirstTime / count;
}

} // namespace

BENCHMARK(BM_Attach)->ArgName("children")->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
