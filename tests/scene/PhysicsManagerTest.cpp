#include "PhysicsSceneFixture.h"
#include "physics/Collision.h"
#include "physics/Shape.h"
#include "scene/sensor/BoundingVolumeSensor.h"

using namespace scenetest;
using rezezaz::physics::Collision;
using rezezaz::physics::Solid;
using rezezaz::scene::Node;
using rezezaz::scene::Scene;

namespace {

// The scene's manager with its simulator hooks counted.
class CountingPhysicsManager : public SimulatorPhysicsManager
{
public:
    using SimulatorPhysicsManager::SimulatorPhysicsManager;
    using SimulatorPhysicsManager::traceSegment;

    int findSolidsInAABox(const AABox& box, Solid** solids, int maxSolids) override
    {
        ++searches;
        return SimulatorPhysicsManager::findSolidsInAABox(box, solids, maxSolids);
    }
    void traceSegment(Collision& collision, const Segment& segment, int collideWithScope) override
    {
        ++worldTraces;
        SimulatorPhysicsManager::traceSegment(collision, segment, collideWithScope);
    }
    void traceSolid(Collision& collision, Solid* solid, const Segment& segment, int collideWithScope) override
    {
        ++worldTraces;
        SimulatorPhysicsManager::traceSolid(collision, solid, segment, collideWithScope);
    }
    void preUpdate(int dt, float) override { updates.push_back(dt); }

    int searches = 0;
    int worldTraces = 0;
    std::vector<int> updates;
};

class PhysicsManagerTest : public PhysicsSceneFixture
{
};

TEST_F(PhysicsManagerTest, TheManagerTakesTheScenesEpsilonAndTheBounceThresholdFollowsGravity)
{
    EXPECT_TRUE(near(physics()->getGravity(), Vector3(0, 0, -9.81f)));
    EXPECT_FLOAT_EQ(simulator()->getMicroCollisionThreshold(), 1.22625f);
    EXPECT_EQ(simulator()->getManager(), static_cast<rezezaz::physics::Manager*>(physics()));
    EXPECT_FLOAT_EQ(simulator()->getEpsilon(), 0.001f);

    physics()->setGravity(Vector3(0, 3, -4));
    EXPECT_FLOAT_EQ(simulator()->getMicroCollisionThreshold(), 0.625f);
    EXPECT_TRUE(near(simulator()->getGravity(), Vector3(0, 3, -4)));

    Pointer<Scene> coarse(new Scene(nullptr, 0.01f));
    EXPECT_FLOAT_EQ(
        static_cast<SimulatorPhysicsManager*>(coarse->getPhysicsManager())->getSimulator()->getEpsilon(),
        0.01f);
    coarse->destroy();

    // The world solid stands for the traceable: immovable, weightless, never simulated.
    Solid* world = physics()->getWorldSolid();
    EXPECT_TRUE(world->hasInfiniteMass());
    EXPECT_FLOAT_EQ(world->getGravityCoefficient(), 0.0f);
    EXPECT_EQ(world->getSimulator(), nullptr);
    EXPECT_EQ(physics()->getTraceableCollisionScope(), -1);
    physics()->setTraceableCollisionScope(6);
    EXPECT_EQ(world->getCollisionScope(), 6);
}

TEST_F(PhysicsManagerTest, AnEmptySceneStepsTheSimulatorAndReachesNoHook)
{
    Pointer<CountingPhysicsManager> counting(new CountingPhysicsManager(scene.get()));
    scene->setPhysicsManager(counting.get());
    newNode(root(), "still")->setTranslate(1, 2, 3);

    scene->update(33);
    scene->update(33);
    scene->update(120);
    EXPECT_EQ(counting->updates, (std::vector<int>{50, 50, 50}));
    EXPECT_EQ(counting->searches, 0);
    EXPECT_EQ(counting->worldTraces, 0);
    EXPECT_EQ(counting->getSimulator()->getNumSolids(), 0);
}

TEST_F(PhysicsManagerTest, ASceneAtRestStillStepsNewSolidsAndAManagerOfItsOwnClass)
{
    Pointer<Node> top = newNode(root(), "top");
    newNode(top.get(), "leaf");
    for (int i = 0; i < 200 && !top->getSettled(); ++i) {
        scene->update(50);
    }
    ASSERT_TRUE(top->getSettled());

    // A solid put straight into the scene's own simulator moves in the next step.
    Pointer<Solid> loose(new Solid());
    loose->addShape(Pointer<rezezaz::physics::Shape>(new rezezaz::physics::Shape(box(-1, -1, -1, 1, 1, 1))).get());
    loose->setVelocity(Vector3(1, 0, 0));
    simulator()->addSolid(loose.get());
    scene->update(50);
    EXPECT_GT(loose->getPosition().x, 0.0f);
    simulator()->removeSolid(loose.get());

    // A manager of a class of its own may do more in its hooks: it is stepped though it has no solid.
    Pointer<CountingPhysicsManager> counting(new CountingPhysicsManager(scene.get()));
    scene->setPhysicsManager(counting.get());
    scene->update(50);
    scene->update(50);
    EXPECT_EQ(counting->updates, (std::vector<int>{50, 50}));
}

TEST_F(PhysicsManagerTest, TheWorldIsTracedOnlyWithATraceableInScope)
{
    Collision collision;
    collision.time = 0.25f;
    collision.scope = 9;
    Pointer<Solid> moving(new Solid());
    moving->addShape(
        Pointer<rezezaz::physics::Shape>(new rezezaz::physics::Shape(box(-1, -2, -3, 1, 2, 3))).get());

    // No traceable: the record stays as it was.
    physics()->traceSegment(collision, Segment(Vector3(0, 0, 5), Vector3(0, 0, -10)), -1);
    physics()->traceSolid(collision, moving.get(), Segment(Vector3(0, 0, 5), Vector3(0, 0, -10)), -1);
    EXPECT_FLOAT_EQ(collision.time, 0.25f);
    EXPECT_EQ(collision.scope, 9);

    Pointer<ScriptedPhysicsTraceable> world(new ScriptedPhysicsTraceable());
    world->time = 0.5f;
    world->point = Vector3(0, 0, 0);
    world->normal = Vector3(0, 0, 1);
    world->scope = 4;
    physics()->setTraceable(world.get());
    physics()->setTraceableCollisionScope(2);

    // Outside its collision scope: untouched, not asked.
    physics()->traceSegment(collision, Segment(Vector3(0, 0, 5), Vector3(0, 0, -10)), 1);
    EXPECT_EQ(world->traces, 0);
    EXPECT_FLOAT_EQ(collision.time, 0.25f);

    // A point trace: position and size zero; the world solid is the collider.
    physics()->traceSegment(collision, Segment(Vector3(0, 0, 5), Vector3(0, 0, -10)), 3);
    EXPECT_EQ(world->traces, 1);
    EXPECT_TRUE(near(world->lastSize, Vector3()));
    EXPECT_FLOAT_EQ(collision.time, 0.5f);
    EXPECT_TRUE(near(collision.normal, Vector3(0, 0, 1)));
    EXPECT_EQ(collision.scope, 4);
    EXPECT_EQ(collision.hitSolid.get(), physics()->getWorldSolid());

    // A solid trace sweeps a box of the solid's size, with the solid as the source.
    Collision swept;
    physics()->traceSolid(swept, moving.get(), Segment(Vector3(0, 0, 5), Vector3(0, 0, -10)), 2);
    EXPECT_TRUE(near(world->lastSize, Vector3(2, 4, 6)));
    EXPECT_FLOAT_EQ(swept.time, 0.5f);
    EXPECT_EQ(swept.hitSolid.get(), physics()->getWorldSolid());
    EXPECT_EQ(swept.sourceSolid.get(), moving.get());

    // A solid whose shape is a traceable of its own is not traced against the world.
    SimulatorPhysicsComponent* traced = newBody(Vector3(), nullptr);
    traced->setTraceable(world.get());
    Collision skipped;
    physics()->traceSolid(skipped, traced->getSolid(), Segment(Vector3(0, 0, 5), Vector3(0, 0, -10)), 2);
    EXPECT_EQ(world->traces, 2);
    EXPECT_FLOAT_EQ(skipped.time, 1.0f);
    physics()->setTraceable(nullptr);
}

TEST_F(PhysicsManagerTest, TheSearchFillsTheRoomItIsGivenWithShapedPhysicsNodes)
{
    // Left out: a node without physics, a physics node without a shape, one two levels down.
    newNode(root(), "plain");
    newBody(Vector3(0, 0, 0), nullptr);
    Pointer<Node> holder = newNode(root(), "holder");
    std::vector<Solid*> shaped;
    for (int i = 0; i < 5; ++i) {
        shaped.push_back(newBall(Vector3(static_cast<float>(i), 0, 0))->getSolid());
    }
    newBody(Vector3(2, 0, 0), sphereBound(Vector3(), 0.5f).get(), holder.get(), "deep");

    Solid* found[4] = {nullptr, nullptr, nullptr, nullptr};
    EXPECT_EQ(physics()->findSolidsInAABox(box(-10, -10, -10, 10, 10, 10), found, 2), 2);
    EXPECT_EQ(found[0], shaped[0]);
    EXPECT_EQ(found[1], shaped[1]);
    EXPECT_EQ(found[2], nullptr);

    EXPECT_EQ(physics()->findSolidsInAABox(box(-10, -10, -10, 10, 10, 10), found, 4), 4);
    EXPECT_EQ(found[3], shaped[3]);
    // Only the bodies whose bounds meet the box.
    EXPECT_EQ(physics()->findSolidsInAABox(box(3.2f, -1, -1, 3.4f, 1, 1), found, 4), 1);
    EXPECT_EQ(found[0], shaped[3]);
    EXPECT_EQ(physics()->findSolidsInAABox(box(20, 20, 20, 21, 21, 21), found, 4), 0);
}

TEST_F(PhysicsManagerTest, TheSearchAnswersFromWhereTheSolidsAreInTheStepOverTheSimulatorsGrid)
{
    // First in the simulator's list, a body without a shape and a solid that is no node's; then
    // enough bodies for the simulator's grid, in a row one unit apart.
    newBody(Vector3(20, 0, 0), nullptr, nullptr, "shapeless");
    Pointer<Solid> stray(new Solid());
    stray->addShape(Pointer<rezezaz::physics::Shape>(new rezezaz::physics::Shape(Sphere(Vector3(), 0.25f))).get());
    stray->setPosition(Vector3(21, 0, 0));
    simulator()->addSolid(stray.get());
    std::vector<Solid*> row;
    for (int i = 0; i < 40; ++i) {
        row.push_back(newBall(Vector3(static_cast<float>(i), 0, 0), 0.25f)->getSolid());
    }
    ASSERT_GE(simulator()->getNumSolids(), simulator()->getGridThreshold());

    struct Case
    {
        AABox box;
        int room;
        std::vector<int> expected;
    };
    const Case cases[] = {
        {box(9.5f, -1, -1, 12.5f, 1, 1), 8, {10, 11, 12}},
        {box(9.5f, -1, -1, 12.5f, 1, 1), 2, {10, 11}},
        // The shapeless body and the stray solid meet the box but take no room.
        {box(19.5f, -1, -1, 22.5f, 1, 1), 8, {20, 21, 22}},
        {box(19.5f, -1, -1, 22.5f, 1, 1), 2, {20, 21}},
        {box(100, 100, 100, 101, 101, 101), 8, {}},
    };
    for (const Case& c : cases) {
        std::vector<Solid*> found(static_cast<size_t>(c.room), nullptr);
        const int count = physics()->findSolidsInAABox(c.box, found.data(), c.room);
        std::vector<Solid*> expected;
        for (int i : c.expected) {
            expected.push_back(row[static_cast<size_t>(i)]);
        }
        found.resize(static_cast<size_t>(count < 0 ? 0 : count));
        EXPECT_EQ(found, expected) << "box from " << describe(c.box.minimum) << ", room " << c.room;
    }

    // A solid the step has moved, before any frame shows its node there, is found where it is.
    row[30]->setPosition(Vector3(30, 5, 0));
    Solid* moved[2] = {nullptr, nullptr};
    EXPECT_EQ(physics()->findSolidsInAABox(box(29.9f, 4.9f, -0.1f, 30.1f, 5.1f, 0.1f), moved, 2), 1);
    EXPECT_EQ(moved[0], row[30]);
    EXPECT_EQ(physics()->findSolidsInAABox(box(29.9f, -0.1f, -0.1f, 30.1f, 0.1f, 0.1f), moved, 2), 0);
    simulator()->removeSolid(stray.get());
}

TEST_F(PhysicsManagerTest, TracesNameTheNodeStruckAndNoNodeForTheWorld)
{
    SimulatorPhysicsComponent* wall =
        newBody(Vector3(5, 0, 0), boxBound(box(-0.5f, -5, -5, 0.5f, 5, 5)).get(), nullptr, "wall");
    SimulatorPhysicsComponent* ball = newBall(Vector3(0, 0, 0));
    const Segment across(Vector3(0, 0, 0), Vector3(10, 0, 0));

    PhysicsCollision result;
    scene->traceSegment(result, across, -1, ball->getParent());
    EXPECT_NEAR(result.time, 0.45f, 1e-3f);
    EXPECT_EQ(result.collider, wall->getParent());

    // The ball swept along the same line stops half a radius sooner.
    physics()->traceNode(result, ball->getParent(), across, -1);
    EXPECT_NEAR(result.time, 0.4f, 1e-3f);
    EXPECT_EQ(result.collider, wall->getParent());
    physics()->testNode(result, ball->getParent(), across, wall->getParent());
    EXPECT_NEAR(result.time, 0.4f, 1e-3f);

    // Without a component on either node: the fresh record.
    Pointer<Node> plain = newNode(root(), "plain");
    physics()->traceNode(result, plain.get(), across, -1);
    EXPECT_FLOAT_EQ(result.time, 1.0f);
    EXPECT_EQ(result.collider, nullptr);
    physics()->testNode(result, ball->getParent(), across, plain.get());
    EXPECT_FLOAT_EQ(result.time, 1.0f);

    // A hit on the world geometry before the wall has no collider node.
    Pointer<ScriptedPhysicsTraceable> world(new ScriptedPhysicsTraceable());
    world->time = 0.2f;
    world->normal = Vector3(-1, 0, 0);
    physics()->setTraceable(world.get());
    result.collider = wall->getParent();
    scene->traceSegment(result, across, -1, ball->getParent());
    EXPECT_FLOAT_EQ(result.time, 0.2f);
    EXPECT_EQ(result.collider, nullptr);
    physics()->setTraceable(nullptr);
}

TEST_F(PhysicsManagerTest, RecordsConvertBothWays)
{
    SimulatorPhysicsComponent* ball = newBall(Vector3(0, 0, 0));
    Pointer<Node> previous = newNode(root(), "previous");

    Collision in;
    in.time = 0.5f;
    in.point = Vector3(1, 2, 3);
    in.normal = Vector3(0, 0, 1);
    in.velocity = Vector3(0, 0, -4);
    in.scope = 6;
    in.hitSolid = ball->getSolid();
    PhysicsCollision out;
    SimulatorPhysicsManager::set(out, in);
    EXPECT_FLOAT_EQ(out.time, 0.5f);
    EXPECT_TRUE(near(out.point, Vector3(1, 2, 3)));
    EXPECT_TRUE(near(out.normal, Vector3(0, 0, 1)));
    EXPECT_TRUE(near(out.velocity, Vector3(0, 0, -4)));
    EXPECT_EQ(out.scope, 6);
    EXPECT_EQ(out.collider, ball->getParent());

    // A solid of no component leaves the collider as it was.
    in.hitSolid = physics()->getWorldSolid();
    out.collider = previous.get();
    SimulatorPhysicsManager::set(out, in);
    EXPECT_EQ(out.collider, previous.get());

    PhysicsCollision record;
    record.time = 0.75f;
    record.point = Vector3(4, 5, 6);
    record.normal = Vector3(1, 0, 0);
    record.velocity = Vector3(2, 0, 0);
    record.scope = 3;
    Collision back;
    back.sourceSolid = physics()->getWorldSolid();
    SimulatorPhysicsManager::set(back, record, ball->getSolid(), nullptr);
    EXPECT_FLOAT_EQ(back.time, 0.75f);
    EXPECT_TRUE(near(back.point, Vector3(4, 5, 6)));
    EXPECT_TRUE(near(back.normal, Vector3(1, 0, 0)));
    EXPECT_TRUE(near(back.velocity, Vector3(2, 0, 0)));
    EXPECT_EQ(back.scope, 3);
    EXPECT_EQ(back.hitSolid.get(), ball->getSolid());
    EXPECT_EQ(back.sourceSolid.get(), physics()->getWorldSolid());
    SimulatorPhysicsManager::set(back, record, nullptr, ball->getSolid());
    EXPECT_EQ(back.hitSolid.get(), ball->getSolid());
    EXPECT_EQ(back.sourceSolid.get(), ball->getSolid());
}

} // namespace
