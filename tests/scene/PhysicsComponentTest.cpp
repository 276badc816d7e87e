#include "PhysicsSceneFixture.h"
#include "physics/Collision.h"
#include "physics/Shape.h"

#include <functional>
#include <memory>

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define PHYSICS_TEST_LEAK_CHECK 1
#endif
#elif defined(__SANITIZE_ADDRESS__)
#define PHYSICS_TEST_LEAK_CHECK 1
#endif
#ifdef PHYSICS_TEST_LEAK_CHECK
#include <sanitizer/lsan_interface.h>
#endif

using namespace scenetest;
using rezezaz::physics::Collision;
using rezezaz::physics::Shape;
using rezezaz::physics::Simulator;
using rezezaz::physics::Solid;
using rezezaz::scene::Bound;
using rezezaz::scene::Node;
using rezezaz::scene::Scene;

namespace {

class PhysicsComponentTest : public PhysicsSceneFixture
{
protected:
    // Logic steps of 50 ms, each followed by its frame (at fraction 0).
    void steps(int count)
    {
        for (int i = 0; i < count; ++i) {
            scene->update(50);
        }
    }

    static const Vector3& shown(SimulatorPhysicsComponent* component)
    {
        return component->getParent()->getTransform()->translate;
    }
};

TEST_F(PhysicsComponentTest, AMoveOfTheNodeFromOutsideIsPushedIntoTheSolidBeforeTheNextStep)
{
    SimulatorPhysicsComponent* ball = newBall(Vector3(0, 0, 0));
    ball->setGravity(0.0f);
    steps(1);
    EXPECT_FALSE(ball->getPositionChanged());

    ball->getParent()->setTranslate(5, 0, 0);
    EXPECT_TRUE(ball->getPositionChanged());
    EXPECT_TRUE(near(ball->getPosition(), Vector3(0, 0, 0)));
    steps(1);
    EXPECT_FALSE(ball->getPositionChanged());
    EXPECT_TRUE(near(ball->getPosition(), Vector3(5, 0, 0)));
    EXPECT_TRUE(near(shown(ball), Vector3(5, 0, 0)));
    EXPECT_TRUE(near(ball->getOldPosition(), Vector3(5, 0, 0)));
}

TEST_F(PhysicsComponentTest, ItsOwnWritesAreNoMoveYetAFallingBodyIsSensedWhereItIsShown)
{
    SimulatorPhysicsComponent* ball = newBall(Vector3(0, 0, 10));
    EXPECT_TRUE(near(shown(ball), Vector3(0, 0, 10)));
    for (int i = 0; i < 20; ++i) {
        scene->update(33);
        EXPECT_FALSE(ball->getPositionChanged()) << "update " << i;
        EXPECT_EQ(shown(ball).z, ball->getCurrentPosition().z);
    }
    const Vector3 place = shown(ball);
    ASSERT_LT(place.z, 8.5f);

    Solid* found[2] = {nullptr, nullptr};
    EXPECT_EQ(
        physics()->findSolidsInAABox(box(-0.1f, -0.1f, place.z - 0.1f, 0.1f, 0.1f, place.z + 0.1f), found, 2),
        1);
    EXPECT_EQ(found[0], ball->getSolid());
    EXPECT_EQ(physics()->findSolidsInAABox(box(-0.1f, -0.1f, 9.9f, 0.1f, 0.1f, 10.1f), found, 2), 0);
}

TEST_F(PhysicsComponentTest, OnlyDirectChildrenOfTheRootAreSimulated)
{
    Pointer<Node> holder = newNode(root(), "holder");
    SimulatorPhysicsComponent* deep =
        newBody(Vector3(0, 0, 10), sphereBound(Vector3(), 0.5f).get(), holder.get());
    EXPECT_EQ(deep->getSolid()->getSimulator(), nullptr);
    EXPECT_FALSE(deep->getActive());
    steps(4);
    EXPECT_TRUE(near(deep->getPosition(), Vector3(0, 0, 10)));
    EXPECT_TRUE(near(shown(deep), Vector3(0, 0, 10)));

    Pointer<Node> node(deep->getParent());
    root()->attach(node.get());
    EXPECT_EQ(deep->getSolid()->getSimulator(), simulator());
    steps(4);
    EXPECT_LT(deep->getPosition().z, 10.0f);

    // Back under the holder, within the same tree: out of the simulation again.
    holder->attach(node.get());
    EXPECT_EQ(deep->getSolid()->getSimulator(), nullptr);
    root()->attach(node.get());
    EXPECT_EQ(deep->getSolid()->getSimulator(), simulator());

    root()->remove(node.get());
    EXPECT_EQ(deep->getSolid()->getSimulator(), nullptr);
    EXPECT_EQ(simulator()->getNumSolids(), 0);
}

TEST_F(PhysicsComponentTest, ABodyKeepsTheManagerThatMadeItWhenTheSceneTakesAnother)
{
    SimulatorPhysicsComponent* ball = newBall(Vector3(0, 0, 10));
    Pointer<rezezaz::physics::Simulator> first(simulator());
    scene->setPhysicsManager(
        Pointer<SimulatorPhysicsManager>(new SimulatorPhysicsManager(scene.get())).get());
    EXPECT_EQ(ball->getManager()->getSimulator(), first.get());
    EXPECT_EQ(simulator()->getNumSolids(), 0);

    // Leaving and joining the root goes to the simulator the solid lives in.
    Pointer<Node> node(ball->getParent());
    root()->remove(node.get());
    EXPECT_EQ(first->getNumSolids(), 0);
    root()->attach(node.get());
    EXPECT_EQ(first->getNumSolids(), 1);
}

TEST_F(PhysicsComponentTest, ABoxOrASphereBoundBecomesTheShapeAndAnyOtherNone)
{
    struct Case
    {
        const char* name;
        int kind;
        int shapeTypes;
        AABox localBound;
    };
    const Case cases[] = {
        {"box", Bound::Kind_BOX, Shape::Type_AABOX, box(-1, -2, -3, 1, 2, 3)},
        {"sphere", Bound::Kind_SPHERE, Shape::Type_SPHERE, box(-1, -2, -2, 3, 2, 2)},
        {"empty", Bound::Kind_EMPTY, 0, AABox()},
        {"infinite", Bound::Kind_INFINITE, 0, AABox()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SimulatorPhysicsComponent* body = newBody(Vector3(), boxBound(box(-9, -9, -9, 9, 9, 9)).get());
        Pointer<Bound> bound(new Bound());
        if (c.kind == Bound::Kind_BOX) {
            bound->setBox(box(-1, -2, -3, 1, 2, 3));
        } else if (c.kind == Bound::Kind_SPHERE) {
            bound->setSphere(Sphere(Vector3(1, 0, 0), 2));
        } else if (c.kind == Bound::Kind_INFINITE) {
            bound->setInfinite();
        }
        body->setBound(bound.get());
        EXPECT_EQ(body->getSolid()->getNumShapes(), c.shapeTypes != 0 ? 1 : 0);
        EXPECT_EQ(body->getSolid()->getShapeTypes(), c.shapeTypes);
        EXPECT_EQ(body->getBound()->kind, Bound::Kind_BOX);
        EXPECT_TRUE(near(body->getBound()->box.minimum, c.localBound.minimum));
        EXPECT_TRUE(near(body->getBound()->box.maximum, c.localBound.maximum));
    }
}

TEST_F(PhysicsComponentTest, ListenersHearEachCollisionOncePerTimeTheyWereAdded)
{
    SimulatorPhysicsComponent* floor = newFloor();
    SimulatorPhysicsComponent* ball = newBall(Vector3(0, 0, 1));
    RecordingCollisionListener twice;
    RecordingCollisionListener once;
    ball->addCollisionListener(&twice);
    ball->addCollisionListener(&once);
    ball->addCollisionListener(&twice);

    // The ball strikes the floor: the collider is the floor's node.
    for (int i = 0; i < 20 && once.received.empty(); ++i) {
        steps(1);
    }
    ASSERT_FALSE(once.received.empty());
    EXPECT_EQ(once.received[0].collider, floor->getParent());
    EXPECT_TRUE(near(once.received[0].normal, Vector3(0, 0, 1)));
    EXPECT_EQ(twice.received.size(), 2 * once.received.size());

    ball->removeCollisionListener(&twice);
    once.received.clear();
    twice.received.clear();
    Collision struck;
    struck.time = 0.5f;
    struck.hitSolid = floor->getSolid();
    struck.sourceSolid = ball->getSolid();
    ball->collision(struck);
    EXPECT_EQ(once.received.size(), 1u);
    EXPECT_EQ(twice.received.size(), 1u);
    EXPECT_FLOAT_EQ(twice.received[0].time, 0.5f);
}

// A listener that, when told, runs what the test gave it.
class ActingCollisionListener : public RecordingCollisionListener
{
public:
    void collision(const PhysicsCollision& collision) override
    {
        RecordingCollisionListener::collision(collision);
        if (act) {
            act();
        }
    }
    std::function<void()> act;
};

TEST_F(PhysicsComponentTest, AListenerRemovedDuringACollisionIsNotToldAndOneAddedWaitsForTheNext)
{
    SimulatorPhysicsComponent* floor = newFloor();
    SimulatorPhysicsComponent* ball = newBall(Vector3(0, 0, 1));
    Collision struck;
    struck.time = 0.5f;
    struck.hitSolid = floor->getSolid();
    struck.sourceSolid = ball->getSolid();

    // The first listener removes and frees the second, which was due after it, and adds a third.
    ActingCollisionListener first;
    auto second = std::make_unique<RecordingCollisionListener>();
    RecordingCollisionListener third;
    RecordingCollisionListener last;
    first.act = [&] {
        ball->removeCollisionListener(second.get());
        second.reset();
        ball->addCollisionListener(&third);
        first.act = nullptr;
    };
    ball->addCollisionListener(&first);
    ball->addCollisionListener(second.get());
    ball->addCollisionListener(&last);

    ball->collision(struck);
    EXPECT_EQ(first.received.size(), 1u);
    EXPECT_EQ(third.received.size(), 0u);
    EXPECT_EQ(last.received.size(), 1u);

    ball->collision(struck);
    EXPECT_EQ(first.received.size(), 2u);
    EXPECT_EQ(third.received.size(), 1u);
    EXPECT_EQ(last.received.size(), 2u);

    // A listener that removes itself and one already told: the rest are told once each.
    ActingCollisionListener leaving;
    leaving.act = [&] {
        ball->removeCollisionListener(&leaving);
        ball->removeCollisionListener(&first);
    };
    ball->addCollisionListener(&leaving);
    ball->addCollisionListener(&last);
    first.received.clear();
    last.received.clear();
    third.received.clear();
    ball->collision(struck);
    EXPECT_EQ(first.received.size(), 1u);
    EXPECT_EQ(leaving.received.size(), 1u);
    EXPECT_EQ(third.received.size(), 1u);
    EXPECT_EQ(last.received.size(), 2u);
}

TEST_F(PhysicsComponentTest, ASleepingSolidKeepsItsNodeWhereItIs)
{
    newFloor();
    SimulatorPhysicsComponent* ball = newBall(Vector3(0, 0, 0.5f));
    for (int i = 0; i < 200 && ball->getActive(); ++i) {
        steps(1);
    }
    ASSERT_FALSE(ball->getActive());
    const Vector3 place = shown(ball);
    const Vector3 latest = ball->getNewPosition();

    // Moved behind the bridge's back while asleep: nothing of it reaches the node.
    ball->getSolid()->setPositionDirect(Vector3(7, 7, 7));
    steps(3);
    EXPECT_FALSE(ball->getActive());
    EXPECT_TRUE(near(shown(ball), place, 0.0f));
    EXPECT_TRUE(near(ball->getNewPosition(), latest, 0.0f));
}

TEST_F(PhysicsComponentTest, BetweenStepsTheNodeIsShownAtTheLogicFraction)
{
    SimulatorPhysicsComponent* ball = newBall(Vector3(0, 0, 0));
    ball->setGravity(0.0f);
    ball->setVelocity(Vector3(10, 0, 0));
    struct Step
    {
        int dt;
        float oldX;
        float newX;
        float shownX;
    };
    const Step updates[] = {
        {50, 0.0f, 0.5f, 0.0f},
        {25, 0.0f, 0.5f, 0.25f},
        {25, 0.5f, 1.0f, 0.5f},
        {10, 0.5f, 1.0f, 0.6f},
    };
    for (const Step& u : updates) {
        scene->update(u.dt);
        EXPECT_NEAR(ball->getOldPosition().x, u.oldX, 1e-5f);
        EXPECT_NEAR(ball->getNewPosition().x, u.newX, 1e-5f);
        EXPECT_NEAR(shown(ball).x, u.shownX, 1e-5f);
        EXPECT_FALSE(ball->getPositionChanged());
    }
}

TEST_F(PhysicsComponentTest, ABodyFallingOntoAFloorFollowsTheBareSimulatorStepForStep)
{
    SimulatorPhysicsComponent* ball = newBall(Vector3(0.25f, 0, 3));
    newFloor();

    Pointer<Simulator> bare(new Simulator());
    bare->setMicroCollisionThreshold(9.81f / 8.0f);
    Pointer<Solid> bareBall(new Solid());
    bareBall->addShape(Pointer<Shape>(new Shape(Sphere(Vector3(), 0.5f))).get());
    bareBall->setPosition(Vector3(0.25f, 0, 3));
    bare->addSolid(bareBall.get());
    Pointer<Solid> bareFloor(new Solid());
    bareFloor->addShape(Pointer<Shape>(new Shape(box(-50, -50, -1, 50, 50, 0))).get());
    bareFloor->setMass(Solid::INFINITE_MASS);
    bareFloor->setGravityCoefficient(0.0f);
    bareFloor->setCollideWithScope(0);
    bare->addSolid(bareFloor.get());

    Vector3 previous = bareBall->getPosition();
    bool slept = false;
    for (int i = 0; i < 100 && !slept; ++i) {
        SCOPED_TRACE(i);
        steps(1);
        bare->update(50, -1, nullptr);
        ASSERT_TRUE(near(ball->getPosition(), bareBall->getPosition(), 0.0f));
        ASSERT_EQ(ball->getActive(), bareBall->getActive());
        // The frame after a step shows the place before it.
        if (ball->getActive()) {
            ASSERT_TRUE(near(shown(ball), previous, 0.0f));
        }
        previous = bareBall->getPosition();
        slept = !bareBall->getActive();
    }
    EXPECT_TRUE(slept);
    EXPECT_NEAR(ball->getPosition().z, 0.5f, 0.01f);
}

TEST_F(PhysicsComponentTest, ATraceableServesAsTheShape)
{
    SimulatorPhysicsComponent* body = newBody(Vector3(), boxBound(box(-1, -1, -1, 1, 1, 1)).get());
    Pointer<ScriptedPhysicsTraceable> traceable(new ScriptedPhysicsTraceable());
    traceable->bound = boxBound(box(-3, -3, -1, 3, 3, 0));
    body->setTraceable(traceable.get());
    body->setTraceable(traceable.get());
    EXPECT_EQ(body->getSolid()->getNumShapes(), 2);
    EXPECT_EQ(body->getSolid()->getShapeTypes(), Shape::Type_AABOX | Shape::Type_TRACEABLE);
    EXPECT_TRUE(near(body->getBound()->box.minimum, Vector3(-3, -3, -1)));

    // Another solid's box is traced from its centre and the hit handed back at its origin.
    Pointer<Solid> other(new Solid());
    other->addShape(Pointer<Shape>(new Shape(box(0, 0, 0, 2, 2, 4))).get());
    traceable->time = 0.5f;
    traceable->point = Vector3(5, 5, 5);
    Collision collision;
    body->traceSolid(collision, other.get(), Vector3(1, 0, 0),
                     Segment(Vector3(0, 0, 10), Vector3(0, 0, -10)));
    EXPECT_TRUE(near(traceable->lastSize, Vector3(2, 2, 4)));
    EXPECT_TRUE(near(traceable->lastSegment.origin, Vector3(1, 1, 12)));
    EXPECT_TRUE(near(traceable->lastPosition, Vector3(1, 0, 0)));
    EXPECT_TRUE(near(collision.point, Vector3(4, 4, 3)));
    EXPECT_EQ(collision.hitSolid.get(), body->getSolid());
    EXPECT_EQ(collision.sourceSolid.get(), other.get());

    Collision point;
    body->traceSegment(point, Vector3(), Segment(Vector3(0, 0, 10), Vector3(0, 0, -10)));
    EXPECT_TRUE(near(traceable->lastSize, Vector3()));
    EXPECT_EQ(point.hitSolid.get(), body->getSolid());
    EXPECT_EQ(point.sourceSolid.get(), nullptr);

    body->setTraceable(nullptr);
    EXPECT_EQ(body->getSolid()->getShapeTypes(), Shape::Type_AABOX);
    AABox untouched = box(1, 2, 3, 4, 5, 6);
    body->getBound(untouched);
    EXPECT_TRUE(near(untouched.minimum, Vector3(1, 2, 3)));
}

// A component that counts its deletion, and a manager that does the same.
class ObservedComponent : public SimulatorPhysicsComponent
{
public:
    ObservedComponent(SimulatorPhysicsManager* manager, int* deleted)
        : SimulatorPhysicsComponent(manager), deleted(deleted)
    {}
    ~ObservedComponent() override { ++*deleted; }

    int* deleted;
};

class ObservedManager : public SimulatorPhysicsManager
{
public:
    ObservedManager(Scene* scene, int* deleted) : SimulatorPhysicsManager(scene), deleted(deleted) {}
    ~ObservedManager() override { ++*deleted; }

    int* deleted;
};

class ObservedTraceable : public ScriptedPhysicsTraceable
{
public:
    explicit ObservedTraceable(int* deleted) : deleted(deleted) {}
    ~ObservedTraceable() override { ++*deleted; }

    int* deleted;
};

// Builds a scene with a floor, falling balls, listeners and traceables, steps it through their
// collisions and destroys it. Apart from the test, so that nothing of it is left in the test's frame
// when the leak check scans the stack.
__attribute__((noinline)) void buildStepAndDestroy(int* components, int* managers, int* traceables)
{
    Pointer<Scene> scene(new Scene(nullptr, 0.001f));
    auto* manager = new ObservedManager(scene.get(), managers);
    scene->setPhysicsManager(manager);
    RecordingCollisionListener listener;
    Pointer<ObservedTraceable> world(new ObservedTraceable(traceables));
    manager->setTraceable(world.get());
    for (int i = 0; i < 6; ++i) {
        Pointer<Node> node(new Node(scene.get()));
        Pointer<ObservedComponent> body(new ObservedComponent(manager, components));
        if (i == 0) {
            body->setBound(boxBound(box(-50, -50, -1, 50, 50, 0)).get());
            body->setMass(Solid::INFINITE_MASS);
            body->setGravity(0.0f);
        } else {
            body->setBound(sphereBound(Vector3(), 0.5f).get());
            body->setPosition(Vector3(static_cast<float>(i) * 0.8f, 0, static_cast<float>(i)));
            body->addCollisionListener(&listener);
        }
        if (i == 5) {
            body->setTraceable(Pointer<ObservedTraceable>(new ObservedTraceable(traceables)).get());
        }
        node->attach(body->componentThis());
        scene->getRoot()->attach(node.get());
    }
    for (int i = 0; i < 40; ++i) {
        scene->update(33);
    }
    EXPECT_FALSE(listener.received.empty());
    manager->setTraceable(nullptr);
    scene->destroy();
    EXPECT_EQ(manager->getSimulator()->getNumSolids(), 0);
}

TEST(PhysicsSceneLifetimeTest, ASceneWithPhysicsBuiltAndDestroyedLeavesNothingBehind)
{
    int components = 0;
    int managers = 0;
    int traceables = 0;
    buildStepAndDestroy(&components, &managers, &traceables);
    EXPECT_EQ(components, 6);
    EXPECT_EQ(managers, 1);
    EXPECT_EQ(traceables, 2);
#ifdef PHYSICS_TEST_LEAK_CHECK
    EXPECT_EQ(__lsan_do_recoverable_leak_check(), 0);
#endif
}

} // namespace
