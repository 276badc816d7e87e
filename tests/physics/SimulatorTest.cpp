#include "support/AllocationCounter.h"
#include "PhysicsTestContext.h"

#include "support/LogCapture.h"

#include <algorithm>
#include <cstring>
#include <limits>

using namespace physicstest;
using support::allocationCount;

namespace {

const int32_t INTEGRATORS[] = {Simulator::INTEGRATOR_EULER, Simulator::INTEGRATOR_HEUN,
                               Simulator::INTEGRATOR_RALSTON, Simulator::INTEGRATOR_RUNGE_KUTTA};

const Vector3 GRAVITY(0.0f, 0.0f, -9.81f);

} // namespace

// One step of a whole second for a free body at rest: the two-stage and fourth-order integrators
// land on x0 + g/2, Euler stays at x0; all reach v = g.
TEST(SimulatorTest, FreeBodyOneSecondStepPerIntegrator)
{
    for (int32_t integrator : INTEGRATORS) {
        SCOPED_TRACE(integrator);
        IntrusivePointer<Simulator> simulator(new Simulator());
        EXPECT_EQ(simulator->getGravity(), GRAVITY);
        simulator->setIntegrator(integrator);
        IntrusivePointer<Solid> body(new Solid());
        body->addShape(sphereShape(Vector3(), 0.5f).get());
        body->setPosition(Vector3(1, 2, 3));
        simulator->addSolid(body.get());

        simulator->update(1000, 0, nullptr);
        const Vector3 expected = integrator == Simulator::INTEGRATOR_EULER ? Vector3(1, 2, 3)
                                                                            : Vector3(1, 2, 3) + GRAVITY * 0.5f;
        EXPECT_TRUE(near(body->getPosition(), expected, 1e-5f));
        EXPECT_TRUE(near(body->getVelocity(), GRAVITY, 1e-5f));
        EXPECT_EQ(body->getLastDt(), 1000);
    }
}

// A ballistic flight of two seconds in 10 ms steps against the closed form x0 + v0 t + g t^2 / 2.
// The other integrators are exact for a constant acceleration; Euler trails by g h t / 2.
TEST(SimulatorTest, BallisticFlightFollowsTheClosedForm)
{
    const Vector3 start(-5, 0, 2);
    const Vector3 launch(3, 1, 10);
    const float h = 0.01f;
    for (int32_t integrator : INTEGRATORS) {
        SCOPED_TRACE(integrator);
        IntrusivePointer<Simulator> simulator(new Simulator());
        simulator->setIntegrator(integrator);
        IntrusivePointer<Solid> body(new Solid());
        body->addShape(sphereShape(Vector3(), 0.25f).get());
        body->setPosition(start);
        body->setVelocity(launch);
        simulator->addSolid(body.get());
        for (int step = 1; step <= 200; ++step) {
            simulator->update(10, 0, nullptr);
            const float t = step * h;
            Vector3 expected = start + launch * t + GRAVITY * (t * t / 2.0f);
            if (integrator == Simulator::INTEGRATOR_EULER) {
                expected -= GRAVITY * (h * t / 2.0f);
            }
            ASSERT_TRUE(near(body->getPosition(), expected, 1e-3f)) << "step " << step;
            ASSERT_TRUE(near(body->getVelocity(), launch + GRAVITY * t, 1e-3f)) << "step " << step;
        }
    }
}

// Resting on the floor: the body does not move, names the floor as touched, and falls asleep at the
// end of its fifth still step.
TEST(SimulatorTest, RestingBodyStaysAndSleepsAfterFiveStillSteps)
{
    World world;
    Solid* ball = world.addBall(Vector3(0, 0, 0.5f));
    for (int step = 1; step <= 5; ++step) {
        EXPECT_TRUE(ball->getActive()) << "before step " << step;
        world.step();
        EXPECT_EQ(ball->getPosition(), Vector3(0, 0, 0.5f)) << "step " << step;
        EXPECT_EQ(ball->getVelocity(), Vector3()) << "step " << step;
    }
    EXPECT_FALSE(ball->getActive());
    EXPECT_EQ(ball->getDeactivateCount(), 0);
    EXPECT_EQ(ball->getTouching(), world.floor.get());
    EXPECT_EQ(ball->getTouchingNormal(), Vector3(0, 0, 1));
    // The floor, never moving, sleeps as well.
    EXPECT_EQ(world.simulator->countActiveSolids(), 0);

    world.step(10);
    EXPECT_EQ(ball->getPosition(), Vector3(0, 0, 0.5f));
    EXPECT_FALSE(ball->getActive());
    // The floor itself is never pushed.
    EXPECT_EQ(world.floor->getVelocity(), Vector3());
    EXPECT_EQ(world.floor->getPosition(), Vector3());
}

// A dropped body comes to rest on the floor's surface and then sleeps.
TEST(SimulatorTest, DroppedBodySettlesOnTheFloor)
{
    World world;
    Solid* ball = world.addBall(Vector3(0, 0, 3));
    world.step(400);
    EXPECT_FALSE(ball->getActive());
    EXPECT_NEAR(ball->getPosition().z, 0.5f, 0.005f);
    EXPECT_GE(ball->getPosition().z, 0.5f);
}

// A still body tied to an awake partner stays awake; once the partner sleeps, it sleeps too.
TEST(SimulatorTest, AwakePartnerKeepsAStillBodyAwake)
{
    World world;
    Solid* ball = world.addBall(Vector3(0, 0, 0.5f));
    Solid* partner = world.addBall(Vector3(0, 0, 20));
    partner->setCollideWithScope(0);
    // Not added to the simulator: it ties the two without pulling.
    IntrusivePointer<Constraint> tie(new Constraint(ball, partner));

    world.step(12);
    EXPECT_EQ(ball->getPosition(), Vector3(0, 0, 0.5f));
    EXPECT_TRUE(ball->getActive());
    EXPECT_GT(ball->getDeactivateCount(), 5);

    partner->deactivate();
    world.step();
    EXPECT_FALSE(ball->getActive());
}

namespace {

struct AccelerationCase
{
    const char* name;
    float mass;
    float gravityCoefficient;
    Vector3 force;
    float drag;
    Vector3 velocity;
    Vector3 velocityAfter;
};

} // namespace

// One 100 ms Euler step in a gravity of 10 down, a fluid flowing at 2 along X: forces and drag act
// through the inverse mass, gravity through the gravity coefficient alone, so an infinite mass still
// falls and a massless body feels nothing but gravity. The force is used up by the step.
TEST(SimulatorTest, AccelerationFromGravityForcesAndDrag)
{
    const AccelerationCase cases[] = {
        {"force over mass", 2.0f, 1.0f, Vector3(4, 0, 0), 0.0f, Vector3(), Vector3(0.2f, 0, -1)},
        {"half gravity", 1.0f, 0.5f, Vector3(), 0.0f, Vector3(), Vector3(0, 0, -0.5f)},
        {"drag toward the fluid", 2.0f, 1.0f, Vector3(), 0.5f, Vector3(1, 0, 0), Vector3(1.025f, 0, -1)},
        {"drag and force together", 2.0f, 0.0f, Vector3(0, 6, 0), 0.5f, Vector3(), Vector3(0.05f, 0.3f, 0)},
        {"infinite mass: gravity only", Solid::INFINITE_MASS, 1.0f, Vector3(4, 0, 0), 0.5f, Vector3(),
         Vector3(0, 0, -1)},
        {"massless: gravity only", 0.0f, 2.0f, Vector3(4, 0, 0), 0.5f, Vector3(), Vector3(0, 0, -2)},
    };
    for (const AccelerationCase& c : cases) {
        SCOPED_TRACE(c.name);
        IntrusivePointer<Simulator> simulator(new Simulator());
        simulator->setIntegrator(Simulator::INTEGRATOR_EULER);
        simulator->setGravity(Vector3(0, 0, -10));
        simulator->setFluidVelocity(Vector3(2, 0, 0));
        IntrusivePointer<Solid> body(new Solid());
        body->addShape(sphereShape(Vector3(), 0.5f).get());
        body->setPosition(Vector3(1, 2, 3));
        body->setMass(c.mass);
        body->setGravityCoefficient(c.gravityCoefficient);
        body->setDragCoefficient(c.drag);
        body->setVelocity(c.velocity);
        body->addForce(c.force);
        simulator->addSolid(body.get());

        simulator->update(100, 0, nullptr);
        EXPECT_TRUE(near(body->getVelocity(), c.velocityAfter, 1e-5f));
        EXPECT_TRUE(near(body->getPosition(), Vector3(1, 2, 3) + c.velocity * 0.1f, 1e-5f));
        EXPECT_EQ(body->getForce(), Vector3());
    }
}

// A spring to a fixed point, in the simulator, pulls the body; outside it the body falls freely.
TEST(SimulatorTest, ConstraintPullsOnlyInsideTheSimulator)
{
    IntrusivePointer<Simulator> simulator(new Simulator());
    simulator->setGravity(Vector3());
    simulator->setIntegrator(Simulator::INTEGRATOR_EULER);
    IntrusivePointer<Solid> body(new Solid());
    simulator->addSolid(body.get());
    IntrusivePointer<Constraint> spring(new Constraint(body.get(), Vector3(10, 0, 0)));
    spring->setSpringConstant(2.0f);
    spring->setDampingConstant(0.5f);

    simulator->update(100, 0, nullptr);
    EXPECT_EQ(body->getVelocity(), Vector3());

    simulator->addConstraint(spring.get());
    body->setVelocity(Vector3(1, 0, 0));
    simulator->update(100, 0, nullptr);
    // a = (10 - 0) * 2 + (0 - 1) * 0.5 = 19.5 over 0.1 s.
    EXPECT_TRUE(near(body->getVelocity(), Vector3(1 + 1.95f, 0, 0), 1e-5f));
    EXPECT_TRUE(near(body->getPosition(), Vector3(0.1f, 0, 0), 1e-5f));

    simulator->removeConstraint(spring.get());
    EXPECT_EQ(spring->getSimulator(), nullptr);
    EXPECT_EQ(body->getNumConstraints(), 1);
}

namespace {

struct ResponseCase
{
    const char* name;
    float approachSpeed;
    float restitution;
    bool restitutionOverride;
    // Struck: the floor (infinite mass), or a ball of partnerMass.
    bool floor;
    float partnerMass;
    float partnerRestitution;
    float bodyAfter;
    float partnerAfter;
};

} // namespace

// A body moving straight down onto what lies below, gravity off, for every response rule.
TEST(SimulatorTest, CollisionResponse)
{
    const ResponseCase cases[] = {
        {"micro-collision below the threshold: no bounce", 0.5f, 0.5f, false, true, 0, 0.5f, 0.0f, 0},
        {"bounce with the mean restitution", 10, 0.5f, false, true, 0, 0.5f, 5.0f, 0},
        {"mean of differing coefficients", 10, 1.0f, false, true, 0, 0.0f, 5.0f, 0},
        {"override: the body's coefficient alone", 10, 1.0f, true, true, 0, 0.0f, 10.0f, 0},
        {"override with a low coefficient", 10, 0.2f, true, true, 0, 0.8f, 2.0f, 0},
        {"movable partner of equal mass", 10, 0.5f, false, false, 1, 0.5f, -2.5f, -7.5f},
        {"heavier partner", 10, 0.5f, false, false, 3, 0.5f, 1.25f, -3.75f},
        {"massless partner takes the whole impulse", 10, 0.5f, false, false, 0, 0.5f, -10.0f, -15.0f},
    };
    for (const ResponseCase& c : cases) {
        SCOPED_TRACE(c.name);
        World world;
        world.simulator->setGravity(Vector3());
        world.floor->setRestitutionCoefficient(c.partnerRestitution);
        Solid* partner = nullptr;
        float top = 0.0f;
        if (!c.floor) {
            partner = world.addBall(Vector3(0, 0, 10));
            partner->setMass(c.partnerMass);
            partner->setRestitutionCoefficient(c.partnerRestitution);
            top = 10.5f;
        }
        // 0.05 above the contact, moving 0.1 in the step.
        Solid* body = world.addBall(Vector3(0, 0, top + 0.55f));
        body->setRestitutionCoefficient(c.restitution);
        body->setRestitutionOverride(c.restitutionOverride);
        body->setVelocity(Vector3(0, 0, -c.approachSpeed));
        world.simulator->update(static_cast<int>(100.0f / c.approachSpeed), 0, body);

        EXPECT_NEAR(body->getVelocity().z, c.bodyAfter, 1e-4f);
        EXPECT_EQ(body->getTouching(), c.floor ? world.floor.get() : partner);
        EXPECT_NEAR(body->getPosition().z, top + 0.5f + world.simulator->getEpsilon(), 1e-4f);
        if (partner != nullptr) {
            EXPECT_NEAR(partner->getVelocity().z, c.partnerAfter, 1e-4f);
        }
        EXPECT_EQ(world.floor->getVelocity(), Vector3());
    }
}

// An infinite-mass mover pushes what it strikes by half their closing speed, but only when a
// component of the push reaches the deactivation speed; a smaller push neither moves nor wakes.
TEST(SimulatorTest, InfiniteMassMoverPushesAboveTheFloorSpeed)
{
    struct Case
    {
        float speed;
        bool pushed;
    };
    const Case cases[] = {{2.0f, true}, {0.004f, true}, {0.003f, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.speed);
        World world;
        world.simulator->setGravity(Vector3());
        Solid* platform = world.addBlock(Vector3(0, 0, 10));
        platform->setInfiniteMass();
        Solid* ball = world.addBall(Vector3(0, 0, 11));
        ball->deactivate();
        platform->setVelocity(Vector3(0, 0, c.speed));
        world.simulator->update(16, 0, platform);

        EXPECT_EQ(ball->getActive(), c.pushed);
        EXPECT_NEAR(ball->getVelocity().z, c.pushed ? c.speed / 2 : 0.0f, 1e-6f);
        EXPECT_EQ(platform->getVelocity(), Vector3(0, 0, c.speed));
        EXPECT_EQ(platform->getTouching(), ball);
    }
}

// A massless body keeps its own velocity and hands the whole impulse, (1 + e) times the closing
// speed, to what it strikes, unless that has an infinite mass: nothing moves an infinite mass, even
// when its collide-with scope lets pushes through, and a body that neither gives way itself nor
// moves what it strikes loses its speed into the surface.
TEST(SimulatorTest, MasslessBodyPushesAllButAnInfiniteMass)
{
    struct Case
    {
        const char* name;
        float bodyMass;
        bool ontoFloor;
        float bodyAfter;
        float struckAfter;
    };
    const Case cases[] = {
        {"massless onto the floor", 0.0f, true, 0.0f, 0.0f},
        {"massless onto a ball", 0.0f, false, -10.0f, -15.0f},
        {"unit mass onto the floor", 1.0f, true, 5.0f, 0.0f},
        {"infinite mass onto the floor", Solid::INFINITE_MASS, true, 0.0f, 0.0f},
        {"non-positive mass onto the floor", -3.0f, true, 0.0f, 0.0f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        World world;
        world.simulator->setGravity(Vector3());
        world.floor->setCollideWithScope(-1);
        Solid* struck = world.floor.get();
        float top = 0.0f;
        if (!c.ontoFloor) {
            struck = world.addBall(Vector3(0, 0, 10));
            top = 10.5f;
        }
        Solid* body = world.addBall(Vector3(0, 0, top + 0.55f));
        body->setMass(c.bodyMass);
        body->setVelocity(Vector3(0, 0, -10));
        world.simulator->update(10, 0, body);

        EXPECT_EQ(body->getTouching(), struck);
        EXPECT_NEAR(body->getVelocity().z, c.bodyAfter, 1e-4f);
        EXPECT_NEAR(struck->getVelocity().z, c.struckAfter, 1e-4f);
        EXPECT_EQ(struck->getVelocity().x, 0.0f);
    }
}

// Resting contact: the first contact names the floor as touched, the second as repeated; from then
// on contacts with the floor are no longer recorded. Lifted clear, the contacts are forgotten.
TEST(SimulatorTest, TouchingAndRepeatTouching)
{
    World world;
    RecordingListener listener;
    Solid* ball = world.addBall(Vector3(0, 0, 0.5f));
    ball->setStayActive(true);
    ball->setCollisionListener(&listener);

    world.step(1, 16, Simulator::SCOPE_REPORT_COLLISIONS);
    EXPECT_EQ(ball->getTouching(), world.floor.get());
    EXPECT_EQ(ball->getLastTouching(), nullptr);
    EXPECT_EQ(ball->getRepeatTouching(), nullptr);
    world.step(1, 16, Simulator::SCOPE_REPORT_COLLISIONS);
    EXPECT_EQ(ball->getTouching(), world.floor.get());
    EXPECT_EQ(ball->getLastTouching(), world.floor.get());
    EXPECT_EQ(ball->getRepeatTouching(), world.floor.get());
    EXPECT_EQ(ball->getRepeatTouchingNormal(), Vector3(0, 0, 1));
    world.step(6, 16, Simulator::SCOPE_REPORT_COLLISIONS);
    EXPECT_EQ(listener.received.size(), 2u);
    EXPECT_TRUE(ball->getActive());

    ball->setPosition(Vector3(0, 0, 5));
    world.step();
    EXPECT_EQ(ball->getTouching(), nullptr);
    EXPECT_EQ(ball->getLastTouching(), nullptr);
    EXPECT_EQ(ball->getRepeatTouching(), nullptr);
}

// A solid that collides with nothing moves freely through the floor and forgets its contacts.
TEST(SimulatorTest, SolidThatNeverCollidesFallsThrough)
{
    World world;
    Solid* ball = world.addBall(Vector3(0, 0, 0.5f));
    world.step(2);
    ASSERT_EQ(ball->getTouching(), world.floor.get());
    ball->setCollideWithScope(0);
    world.step(10);
    EXPECT_LT(ball->getPosition().z, 0.4f);
    EXPECT_EQ(ball->getTouching(), nullptr);
    EXPECT_EQ(ball->getRepeatTouching(), nullptr);
}

namespace {

struct ReportCase
{
    const char* name;
    int32_t aCollisionScope;
    int32_t aCollideWithScope;
    int32_t bCollisionScope;
    int32_t bCollideWithScope;
    bool aTold;
    bool bTold;
};

} // namespace

// Ball a falls onto ball b. Each listener sees its own solid as the source: b's copy has the solids
// swapped and the normal and velocity negated. Each side is told only when the other side's
// collision scope meets its own collide-with scope.
TEST(SimulatorTest, ReportsReachBothSides)
{
    const ReportCase cases[] = {
        {"all scopes", -1, -1, -1, -1, true, true},
        {"b does not collide with a", 1, 3, 2, 4, true, false},
        {"each collides with the other", 1, 2, 2, 1, true, true},
    };
    for (const ReportCase& c : cases) {
        SCOPED_TRACE(c.name);
        World world;
        world.simulator->setGravity(Vector3());
        RecordingListener aListener;
        RecordingListener bListener;
        Solid* b = world.addBall(Vector3(0, 0, 4.5f));
        Solid* a = world.addBall(Vector3(0, 0, 5.55f));
        a->setVelocity(Vector3(0, 0, -10));
        a->setCollisionScope(c.aCollisionScope);
        a->setCollideWithScope(c.aCollideWithScope);
        b->setCollisionScope(c.bCollisionScope);
        b->setCollideWithScope(c.bCollideWithScope);
        a->setCollisionListener(&aListener);
        b->setCollisionListener(&bListener);

        world.simulator->update(10, 0, a);
        ASSERT_EQ(world.simulator->getNumCollisions(), 1);
        world.simulator->update(0, Simulator::SCOPE_REPORT_COLLISIONS, b);
        EXPECT_EQ(world.simulator->getNumCollisions(), 0);

        ASSERT_EQ(aListener.received.size(), c.aTold ? 1u : 0u);
        ASSERT_EQ(bListener.received.size(), c.bTold ? 1u : 0u);
        if (c.aTold) {
            const Collision& seen = aListener.received[0];
            EXPECT_EQ(seen.sourceSolid, a);
            EXPECT_EQ(seen.hitSolid, b);
            EXPECT_TRUE(near(seen.normal, Vector3(0, 0, 1)));
            EXPECT_TRUE(near(seen.velocity, Vector3(0, 0, -10)));
            EXPECT_TRUE(near(seen.point, Vector3(0, 0, 5.5f)));
            EXPECT_NEAR(seen.time, 0.5f, 1e-4f);
        }
        if (c.bTold) {
            const Collision& seen = bListener.received[0];
            EXPECT_EQ(seen.sourceSolid, b);
            EXPECT_EQ(seen.hitSolid, a);
            EXPECT_TRUE(near(seen.normal, Vector3(0, 0, -1)));
            EXPECT_TRUE(near(seen.velocity, Vector3(0, 0, 10)));
        }
    }
}

// Up to 64 collisions wait for a report; the 65th is dropped.
TEST(SimulatorTest, SixtyFifthCollisionIsDropped)
{
    World world;
    std::vector<RecordingListener> listeners(65);
    for (int i = 0; i < 65; ++i) {
        Solid* ball = world.addBall(Vector3(-48.0f + 1.5f * static_cast<float>(i), 0, 0.5f));
        ball->setCollisionListener(&listeners[static_cast<size_t>(i)]);
    }
    world.step();
    EXPECT_EQ(world.simulator->getNumCollisions(), Simulator::MAX_COLLISIONS);
    world.simulator->reportCollisions();
    for (int i = 0; i < 64; ++i) {
        EXPECT_EQ(listeners[static_cast<size_t>(i)].received.size(), 1u) << i;
    }
    EXPECT_TRUE(listeners[64].received.empty());
}

// A solid removed between updates is still reported with its pending collisions (the records hold
// it), so the other party hears of them; one removed by a listener during the report leaves the
// remaining records, and the side it was on is not told.
TEST(SimulatorTest, RemovedSolidBetweenUpdatesIsStillReported)
{
    World world;
    world.simulator->setGravity(Vector3());
    RecordingListener survivorListener;
    Solid* survivor = world.addBall(Vector3(0, 0, 0.5f));
    survivor->setCollisionListener(&survivorListener);
    IntrusivePointer<Solid> removed(world.addBall(Vector3(0, 0, 1.55f)));
    removed->setVelocity(Vector3(0, 0, -10));
    world.simulator->update(10, 0, removed.get());
    ASSERT_EQ(world.simulator->getNumCollisions(), 1);
    world.bodies.pop_back();
    world.simulator->removeSolid(removed.get());
    EXPECT_EQ(removed->getSimulator(), nullptr);
    world.simulator->reportCollisions();
    ASSERT_EQ(survivorListener.received.size(), 1u);
    EXPECT_EQ(survivorListener.received[0].sourceSolid, survivor);
    EXPECT_EQ(survivorListener.received[0].hitSolid, removed.get());
    EXPECT_EQ(survivorListener.received[0].normal, Vector3(0, 0, -1));

    World other;
    other.simulator->setGravity(Vector3());
    RecordingListener aListener;
    RecordingListener bListener;
    Solid* b = other.addBall(Vector3(0, 0, 4.5f));
    Solid* a = other.addBall(Vector3(0, 0, 5.55f));
    a->setVelocity(Vector3(0, 0, -10));
    a->setCollisionListener(&aListener);
    b->setCollisionListener(&bListener);
    aListener.onCollision = [&](const Collision&) { other.simulator->removeSolid(b); };
    other.bodies.clear();
    other.simulator->update(10, Simulator::SCOPE_REPORT_COLLISIONS, a);
    EXPECT_EQ(aListener.received.size(), 1u);
    EXPECT_TRUE(bListener.received.empty());
    EXPECT_EQ(other.simulator->getNumSolids(), 2);
}

// Scope 0 steps every active solid and reports nothing; the report bit steps only the solids whose
// update scope has it, and reports.
TEST(SimulatorTest, UpdateScopeChoosesTheSolids)
{
    World world;
    RecordingListener listener;
    Solid* plain = world.addBall(Vector3(-5, 0, 0.5f));
    plain->setUpdateScope(1);
    plain->setCollisionListener(&listener);
    Solid* reporting = world.addBall(Vector3(5, 0, 3));
    reporting->setUpdateScope(Simulator::SCOPE_REPORT_COLLISIONS);

    world.step(1, 16, 0);
    EXPECT_EQ(plain->getLastDt(), 16);
    EXPECT_LT(reporting->getPosition().z, 3.0f);
    EXPECT_EQ(world.simulator->getNumCollisions(), 1);
    EXPECT_TRUE(listener.received.empty());

    const Vector3 before = reporting->getPosition();
    world.step(1, 20, Simulator::SCOPE_REPORT_COLLISIONS);
    EXPECT_EQ(plain->getLastDt(), 16);
    EXPECT_NE(reporting->getPosition(), before);
    EXPECT_EQ(listener.received.size(), 1u);
    EXPECT_EQ(world.simulator->getNumCollisions(), 0);
}

namespace {

// A world that stops every sweep halfway with a wall parallel to the movement: no bounce, only
// ever shorter slides.
class HalfwayWall : public RecordingManager
{
public:
    void traceSolid(Collision& result, Solid*, const Segment& segment, int) override
    {
        ++sweeps;
        result.time = 0.5f;
        result.point = segment.origin + segment.direction * 0.5f;
        result.normal = Vector3(0, 1, 0);
    }

    int sweeps = 0;
};

} // namespace

// A sweep that is stopped again and again ends after its sixth pass: the solid stays where that
// pass left it, short of its goal, and loses its velocity.
TEST(SimulatorTest, SweepGivesUpAfterSixPasses)
{
    IntrusivePointer<Simulator> simulator(new Simulator());
    simulator->setGravity(Vector3());
    HalfwayWall wall;
    simulator->setManager(&wall);
    IntrusivePointer<Solid> body(new Solid());
    body->addShape(sphereShape(Vector3(), 0.5f).get());
    simulator->addSolid(body.get());
    body->setVelocity(Vector3(10, 0, 0));

    simulator->update(100, 0, nullptr);
    EXPECT_EQ(wall.sweeps, 6);
    EXPECT_EQ(body->getVelocity(), Vector3());
    // Each pass covers half of what is left (less the step back): after six, 1/64 remains.
    EXPECT_NEAR(body->getPosition().x, 1.0f - 1.0f / 64.0f, 0.01f);
    EXPECT_LT(body->getPosition().x, 1.0f);
    EXPECT_EQ(body->getPosition().y, 0.0f);
    simulator->setManager(nullptr);
}

// The manager's hooks, in order; a response it handles replaces the built-in one.
TEST(SimulatorTest, ManagerHooks)
{
    for (bool handled : {false, true}) {
        SCOPED_TRACE(handled);
        World world;
        RecordingManager manager;
        manager.handleResponse = handled;
        world.simulator->setManager(&manager);
        Solid* ball = world.addBall(Vector3(0, 0, 0.5f));
        ball->setUseManagerHooks(true);
        world.step();
        const std::vector<std::string> expected = {"preUpdate 16",      "preUpdate solid",  "intraUpdate solid",
                                                   "collisionResponse", "postUpdate solid", "postUpdate 16"};
        EXPECT_EQ(manager.events, expected);
        EXPECT_NEAR(ball->getVelocity().z, handled ? -9.81f * 0.016f : 0.0f, 1e-5f);
        world.simulator->setManager(nullptr);
    }
}

// Friction on the floor: a fast slider loses dynamic friction's share of its speed (mu g dt); a
// slow one is held by static friction and stops (or falls asleep) without turning back. Under Euler
// a body set down at rest first meets the floor in a sweep of no length, whose contact has no
// normal; the next touch supplies it.
TEST(SimulatorTest, FrictionOnTheFloor)
{
    for (int32_t integrator : {Simulator::INTEGRATOR_EULER, Simulator::INTEGRATOR_HEUN,
                               Simulator::INTEGRATOR_RALSTON, Simulator::INTEGRATOR_RUNGE_KUTTA}) {
        SCOPED_TRACE(integrator);
        World world;
        world.simulator->setIntegrator(integrator);
        Solid* fast = world.addBall(Vector3(-10, 0, 0.5f));
        Solid* slow = world.addBall(Vector3(10, 0, 0.5f));
        world.step(2);
        ASSERT_EQ(fast->getTouchingNormal(), Vector3(0, 0, 1));
        fast->setVelocity(Vector3(1, 0, 0));
        slow->setVelocity(Vector3(0.05f, 0, 0));
        world.step();
        EXPECT_NEAR(fast->getVelocity().x, 1.0f - 0.5f * 9.81f * 0.016f, 1e-4f);
        EXPECT_EQ(fast->getPosition().z, 0.5f);
        float last = 0.05f;
        for (int step = 0; step < 30; ++step) {
            ASSERT_GE(slow->getVelocity().x, -1e-6f) << "step " << step;
            ASSERT_LE(slow->getVelocity().x, last + 1e-7f) << "step " << step;
            last = slow->getVelocity().x;
            world.step();
        }
        EXPECT_TRUE(!slow->getActive() || slow->getVelocity().x < 1e-3f);
        EXPECT_LT(slow->getPosition().x, 10.01f);
    }
}

TEST(SimulatorTest, VectorHelpers)
{
    IntrusivePointer<Simulator> simulator(new Simulator());
    Vector3 v(std::nanf(""), 2000.0f, -std::numeric_limits<float>::infinity());
    simulator->capVector3(v, 1000.0f);
    EXPECT_EQ(v, Vector3(0, 1000.0f, -1000.0f));

    Vector3 snapped(1.23456f, -1.23456f, 0.0004f);
    simulator->snapToGrid(snapped);
    EXPECT_EQ(snapped, Vector3(1.23456f, -1.23456f, 0.0004f));
    simulator->setSnapToGridEnabled(true);
    simulator->snapToGrid(snapped);
    EXPECT_TRUE(near(snapped, Vector3(1.234f, -1.235f, 0.0f), 1e-6f));

    EXPECT_TRUE(simulator->tooSmall(Vector3(0.0009f, -0.0009f, 0), 0.001f));
    EXPECT_FALSE(simulator->tooSmall(Vector3(0.001f, 0, 0), 0.001f));

    simulator->setEpsilon(0.01f);
    EXPECT_EQ(simulator->getEpsilon(), 0.01f);
}

// A solid whose position, velocity or force stops being a finite number is put to sleep where it
// last stood, told once in the log, and reaches no other solid: neither the body tied to it by a
// spring nor the ball that lands on it, and no body is thrown to the origin.
TEST(SimulatorTest, NonFiniteSolidSleepsWhereItStoodAndReachesNoOne)
{
    struct Case
    {
        const char* name;
        Vector3 position;
        Vector3 velocity;
        Vector3 force;
    };
    const float nan = std::nanf("");
    const float infinity = std::numeric_limits<float>::infinity();
    const Case cases[] = {
        {"velocity not a number", Vector3(3, 0, 0.5f), Vector3(nan, 1, 0), Vector3()},
        {"infinite velocity", Vector3(3, 0, 0.5f), Vector3(0, 0, -infinity), Vector3()},
        {"force not a number", Vector3(3, 0, 0.5f), Vector3(), Vector3(0, nan, 0)},
        {"position not a number", Vector3(nan, 0, 0.5f), Vector3(), Vector3()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        support::LogCapture log;
        World world;
        // Stepped before the broken solid, so both meet its broken state.
        Solid* falling = world.addBall(Vector3(3, 0, 1.6f));
        falling->setVelocity(Vector3(0, 0, -10));
        Solid* tied = world.addBall(Vector3(-3, 0, 0.5f));
        Solid* broken = world.addBall(Vector3(3, 0, 0.5f));
        world.step(2);
        IntrusivePointer<Constraint> spring(new Constraint(tied, broken));
        world.simulator->addConstraint(spring.get());

        broken->setPositionDirect(c.position);
        broken->setVelocity(c.velocity);
        broken->addForce(c.force);
        world.step(3);
        for (Solid* healthy : {falling, tied}) {
            EXPECT_TRUE(std::isfinite(healthy->getVelocity().x) && std::isfinite(healthy->getVelocity().y) &&
                        std::isfinite(healthy->getVelocity().z));
            EXPECT_GT(std::fabs(healthy->getPosition().x), 1.0f) << describe(healthy->getPosition());
        }
        EXPECT_FALSE(broken->getActive());
        EXPECT_EQ(broken->getPosition(), Vector3(3, 0, 0.5f));
        EXPECT_EQ(broken->getVelocity(), Vector3());
        EXPECT_EQ(broken->getForce(), Vector3());

        // Woken with the same broken state, it sleeps again without a second line in the log.
        broken->setVelocity(Vector3(nan, 0, 0));
        world.step();
        EXPECT_FALSE(broken->getActive());
        int lines = 0;
        for (const auto& entry : log.listener.entries) {
            lines += entry.text.find("not a finite number") != std::string::npos ? 1 : 0;
        }
        EXPECT_EQ(lines, 1);
    }
}

// A negative epsilon is refused and logged, the old one staying; zero is taken.
TEST(SimulatorTest, NegativeEpsilonIsRefused)
{
    support::LogCapture log;
    World world;
    Solid* ball = world.addBall(Vector3(0, 0, 2));
    world.simulator->setEpsilon(-0.01f);
    EXPECT_EQ(world.simulator->getEpsilon(), 0.001f);
    world.simulator->setEpsilon(std::nanf(""));
    EXPECT_EQ(world.simulator->getEpsilon(), 0.001f);
    ASSERT_EQ(log.listener.entries.size(), 2u);
    EXPECT_EQ(log.listener.entries[0].text, "Simulator::setEpsilon refused -0.01; the epsilon stays 0.001");
    world.step(100);
    EXPECT_NEAR(ball->getPosition().z, 0.5f, 2e-3f);
    world.simulator->setEpsilon(0.0f);
    EXPECT_EQ(world.simulator->getEpsilon(), 0.0f);
}

// A listener that asks for an update while it is told of a collision gets none: that update returns
// at once, and each collision is reported once.
TEST(SimulatorTest, UpdateFromAListenerReturnsAtOnce)
{
    World world;
    RecordingListener listener;
    Solid* ball = world.addBall(Vector3(0, 0, 0.51f));
    ball->setCollisionListener(&listener);
    ball->setVelocity(Vector3(1, 0, -1));
    const Vector3 before = ball->getPosition();
    int nested = 0;
    listener.onCollision = [&](const Collision&) {
        ++nested;
        world.simulator->update(16, Simulator::SCOPE_REPORT_COLLISIONS, nullptr);
    };
    world.step(1, 16, Simulator::SCOPE_REPORT_COLLISIONS);
    EXPECT_EQ(nested, 1);
    EXPECT_EQ(listener.received.size(), 1u);
    EXPECT_EQ(world.simulator->getNumCollisions(), 0);
    // Stepped once: about 16 ms at 1 m/s, not twice that.
    EXPECT_GT(ball->getPosition().x, before.x + 0.01f);
    EXPECT_LT(ball->getPosition().x, before.x + 0.025f);
}

// A null shape is refused, as a null solid is.
TEST(SimulatorTest, NullShapeAndSolidAreRefused)
{
    World world;
    IntrusivePointer<Solid> solid(new Solid());
    solid->addShape(nullptr);
    EXPECT_EQ(solid->getNumShapes(), 0);
    EXPECT_EQ(solid->getShapeTypes(), 0);
    world.simulator->addSolid(nullptr);
    EXPECT_EQ(world.simulator->getNumSolids(), 1);
}

namespace {

// Removes the given solids from its simulator after the step of the trigger solid.
class RemovingManager : public RecordingManager
{
public:
    void postUpdate(Solid* solid, int dt, float fdt) override
    {
        RecordingManager::postUpdate(solid, dt, fdt);
        if (solid == trigger) {
            for (Solid* removed : removals) {
                simulator->removeSolid(removed);
            }
        }
    }

    Simulator* simulator = nullptr;
    Solid* trigger = nullptr;
    std::vector<Solid*> removals;
};

} // namespace

// Hooks may remove any number of solids during an update, stepped ones or not: every solid that
// stays is stepped exactly once.
TEST(SimulatorTest, UpdateFollowsRemovalsByHooks)
{
    struct Case
    {
        const char* name;
        std::vector<int> removed;
    };
    const Case cases[] = {
        {"two already stepped", {0, 1}},
        {"itself and one stepped", {2, 0}},
        {"one stepped, one to come", {1, 4}},
        {"all that are to come", {3, 4, 5}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        World world;
        world.simulator->setGravity(Vector3());
        world.simulator->removeSolid(world.floor.get());
        RemovingManager manager;
        manager.simulator = world.simulator.get();
        world.simulator->setManager(&manager);
        std::vector<Solid*> balls;
        for (int i = 0; i < 6; ++i) {
            balls.push_back(world.addBall(Vector3(3.0f * i, 0, 5)));
            balls.back()->setUseManagerHooks(true);
            balls.back()->setVelocity(Vector3(0, 0, 1));
        }
        manager.trigger = balls[2];
        for (int index : c.removed) {
            manager.removals.push_back(balls[static_cast<size_t>(index)]);
        }
        world.simulator->update(100, 0, nullptr);
        for (int i = 0; i < 6; ++i) {
            const bool removedBeforeItsTurn =
                i > 2 && std::find(c.removed.begin(), c.removed.end(), i) != c.removed.end();
            EXPECT_NEAR(balls[static_cast<size_t>(i)]->getPosition().z, removedBeforeItsTurn ? 5.0f : 5.1f, 1e-5f)
                << "ball " << i;
        }
    }
}

namespace {

// A busy scene: bodies of every shape dropped and thrown onto the floor and onto each other, two
// of them tied by a spring, all reporting.
struct BusyScene
{
    BusyScene()
    {
        world.simulator->setIntegrator(Simulator::INTEGRATOR_RUNGE_KUTTA);
        for (int i = 0; i < 12; ++i) {
            const float f = static_cast<float>(i);
            Solid* body = (i % 2 == 0) ? world.addBall(Vector3(f * 0.3f - 2.0f, 0.1f * f, 1.0f + f))
                                       : world.addBlock(Vector3(f * 0.3f - 2.0f, -0.1f * f, 1.0f + f));
            body->setVelocity(Vector3(0.5f - 0.1f * f, 0.2f, 0));
            body->setRestitutionCoefficient(0.1f * f);
            body->setCollisionListener(&listener);
        }
        IntrusivePointer<Solid> capsule(new Solid());
        capsule->addShape(IntrusivePointer<Shape>(new Shape(Capsule(Vector3(), Vector3(1, 0, 0), 0.3f))).get());
        capsule->setPosition(Vector3(0, 2, 4));
        world.simulator->addSolid(capsule.get());
        world.bodies.push_back(capsule);
        spring = new Constraint(world.bodies[0].get(), world.bodies[3].get());
        world.simulator->addConstraint(spring.get());
    }

    void step() { world.step(1, 16, Simulator::SCOPE_REPORT_COLLISIONS); }

    World world;
    RecordingListener listener;
    IntrusivePointer<Constraint> spring;
};

} // namespace

// The same scene stepped twice from the same start gives bit-identical states at every step.
TEST(SimulatorTest, ReplayIsBitIdentical)
{
    BusyScene first;
    BusyScene second;
    for (int step = 0; step < 400; ++step) {
        first.step();
        second.step();
        ASSERT_EQ(first.world.bodies.size(), second.world.bodies.size());
        for (size_t i = 0; i < first.world.bodies.size(); ++i) {
            const Solid& a = *first.world.bodies[i];
            const Solid& b = *second.world.bodies[i];
            ASSERT_EQ(std::memcmp(&a.getPosition(), &b.getPosition(), sizeof(Vector3)), 0)
                << "step " << step << " body " << i;
            ASSERT_EQ(std::memcmp(&a.getVelocity(), &b.getVelocity(), sizeof(Vector3)), 0)
                << "step " << step << " body " << i;
            ASSERT_EQ(a.getActive(), b.getActive());
        }
    }
    EXPECT_EQ(first.listener.received.size(), second.listener.received.size());
    EXPECT_GT(first.listener.received.size(), 12u);
}

// Once the scene is built, stepping it allocates nothing.
TEST(SimulatorTest, StepMakesNoHeapAllocation)
{
    BusyScene scene;
    scene.listener.received.reserve(100000);
    scene.step();
    const int64_t before = allocationCount();
    for (int step = 0; step < 200; ++step) {
        scene.step();
    }
    EXPECT_EQ(allocationCount() - before, 0);
    EXPECT_GT(scene.listener.received.size(), 12u);
}
