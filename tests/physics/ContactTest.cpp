// Contacts against closed forms: bounce heights against restitution, sliding distances against
// v^2 / 2 mu g, static friction holding a push, rest and sleep, and bodies that must not sink into
// what they rest on.

#include "PhysicsTestContext.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

namespace physicstest {
namespace {

constexpr float G = 9.81f;

const int32_t INTEGRATORS[] = {Simulator::INTEGRATOR_EULER, Simulator::INTEGRATOR_HEUN,
                               Simulator::INTEGRATOR_RALSTON, Simulator::INTEGRATOR_RUNGE_KUTTA};

// The heights above the rest position of the first apexes after each bounce of a ball dropped
// from the given height.
std::vector<float> apexes(World& world, Solid* ball, int dt, int bounces)
{
    std::vector<float> result;
    bool rising = false;
    float top = 0.0f;
    for (int step = 0; step < 100000 && static_cast<int>(result.size()) < bounces; ++step) {
        world.step(1, dt);
        const float z = ball->getPosition().z - 0.5f - world.simulator->getEpsilon();
        if (!rising && ball->getVelocity().z > 0.0f) {
            rising = true;
            top = z;
        } else if (rising) {
            top = std::fmax(top, z);
            if (ball->getVelocity().z <= 0.0f) {
                result.push_back(top);
                rising = false;
            }
        }
        if (!ball->getActive()) {
            break;
        }
    }
    return result;
}

} // namespace

// A ball dropped from 1 m bounces back to e^2 of the height, and with e = 1 keeps returning to it,
// at the scene's 50 ms step as at 16 ms; each bounce reflects the speed at the contact, so the
// bounces neither gain energy nor lose more than restitution takes.
TEST(ContactTest, BounceHeightFollowsRestitution)
{
    struct Case
    {
        float restitution;
        int dt;
        int bounces;
    };
    const Case cases[] = {{1.0f, 16, 20}, {1.0f, 50, 20}, {0.8f, 16, 3}, {0.8f, 50, 3}, {0.6f, 16, 2}};
    const float height = 1.0f;
    for (const Case& c : cases) {
        SCOPED_TRACE("e " + std::to_string(c.restitution) + ", " + std::to_string(c.dt) + " ms");
        World world;
        world.floor->setRestitutionCoefficient(c.restitution);
        Solid* ball = world.addBall(Vector3(0, 0, 0.5f + world.simulator->getEpsilon() + height));
        ball->setRestitutionCoefficient(c.restitution);
        const std::vector<float> tops = apexes(world, ball, c.dt, c.bounces);
        ASSERT_EQ(static_cast<int>(tops.size()), c.bounces);
        float expected = height;
        for (size_t i = 0; i < tops.size(); ++i) {
            expected *= c.restitution * c.restitution;
            // Sampling the apex at the step's times misses up to g (dt/2)^2 / 2.
            const float sampling = 0.5f * G * (c.dt / 2000.0f) * (c.dt / 2000.0f);
            EXPECT_NEAR(tops[i], expected, 0.01f * height + sampling) << "bounce " << i + 1;
        }
    }
}

// With e < 1 the bounces die away and the ball comes to rest on the floor and sleeps, even at the
// scene's 50 ms step and with a coefficient that kept it bouncing for ever.
TEST(ContactTest, BouncingBallComesToRest)
{
    for (float restitution : {0.65f, 0.8f, 0.95f}) {
        SCOPED_TRACE(restitution);
        World world;
        world.floor->setRestitutionCoefficient(restitution);
        Solid* ball = world.addBall(Vector3(0, 0, 2.5f));
        ball->setRestitutionCoefficient(restitution);
        int step = 0;
        while (ball->getActive() && step < 2000) {
            world.step(1, 50);
            ++step;
        }
        EXPECT_FALSE(ball->getActive()) << "still bouncing after " << step * 0.05f << " s";
        EXPECT_NEAR(ball->getPosition().z, 0.5f + world.simulator->getEpsilon(), 1e-3f);
    }
}

// A ball sent sliding at 5 m/s with dynamic friction 0.5 stops after v^2 / 2 mu g = 2.55 m, with
// every integrator: the contact lasts through the steps whose move does not reach the floor.
TEST(ContactTest, SlideStopsAfterTheClosedFormDistance)
{
    const float speed = 5.0f;
    const float mu = 0.5f;
    const float expected = speed * speed / (2.0f * mu * G);
    for (int32_t integrator : INTEGRATORS) {
        SCOPED_TRACE(integrator);
        World world;
        world.simulator->setIntegrator(integrator);
        Solid* ball = world.addBall(Vector3(-20, 0, 0.5f));
        ball->setDynamicFrictionCoefficient(mu);
        world.step(3);
        ball->setVelocity(Vector3(speed, 0, 0));
        for (int step = 0; step < 1000 && ball->getActive() && ball->getVelocity().x > 0.0f; ++step) {
            world.step();
        }
        // Each step moves by the speed at its start or its end: within v dt of the closed form.
        EXPECT_NEAR(ball->getPosition().x + 20.0f, expected, speed * 0.016f);
        EXPECT_NEAR(ball->getPosition().z, 0.5f, 2e-3f);
    }
}

// A block pushed sideways by less than mu_s m g stays where it is; pushed by more, it accelerates
// at (F - mu_d m g) / m and covers a t^2 / 2.
TEST(ContactTest, StaticFrictionHoldsAPushBelowItsLimit)
{
    const float mu = 0.5f;
    const float dt = 0.016f;
    for (int32_t integrator : INTEGRATORS) {
        SCOPED_TRACE(integrator);
        for (float share : {0.25f, 0.9f, 2.0f}) {
            SCOPED_TRACE(share);
            World world;
            world.simulator->setIntegrator(integrator);
            Solid* block = world.addBlock(Vector3(0, 0, 0.5f));
            world.step(3);
            const Vector3 start = block->getPosition();
            const float force = share * mu * G;
            const int steps = 60;
            for (int step = 0; step < steps; ++step) {
                block->addForce(Vector3(force, 0, 0));
                world.step();
            }
            const float moved = block->getPosition().x - start.x;
            if (share < 1.0f) {
                EXPECT_NEAR(moved, 0.0f, 1e-3f);
                EXPECT_NEAR(block->getVelocity().x, 0.0f, 1e-3f);
            } else {
                const float a = force - mu * G;
                const float t = steps * dt;
                EXPECT_NEAR(moved, 0.5f * a * t * t, 0.03f * 0.5f * a * t * t + a * t * dt);
            }
        }
    }
}

// A ball thrown up against a ceiling slides along it and falls away: friction there never makes it
// faster along its motion (it is not pressed into the ceiling at all).
TEST(ContactTest, FrictionNeverSpeedsUpUnderACeiling)
{
    for (int32_t integrator : INTEGRATORS) {
        SCOPED_TRACE(integrator);
        World world;
        world.simulator->setIntegrator(integrator);
        IntrusivePointer<Solid> ceiling(new Solid());
        ceiling->setInfiniteMass();
        ceiling->setGravityCoefficient(0.0f);
        ceiling->setCollideWithScope(0);
        ceiling->addShape(boxShape(Vector3(-50, -50, 3), Vector3(50, 50, 4)).get());
        world.simulator->addSolid(ceiling.get());
        Solid* ball = world.addBall(Vector3(0, 0, 2.4f));
        ball->setVelocity(Vector3(3, 0, 4));
        bool touched = false;
        for (int step = 0; step < 40; ++step) {
            world.step();
            touched = touched || ball->getTouching() == ceiling.get();
            ASSERT_LE(ball->getVelocity().x, 3.0f + 1e-4f) << "step " << step;
        }
        EXPECT_TRUE(touched);
    }
}

// A dropped ball does not fall asleep in mid-air however short the step, and sleeps once it rests
// on the floor.
TEST(ContactTest, DroppedBallSleepsOnlyOnTheFloor)
{
    for (int dt : {1, 2, 5, 16, 50}) {
        SCOPED_TRACE(std::to_string(dt) + " ms");
        World world;
        Solid* ball = world.addBall(Vector3(0, 0, 3));
        ball->setRestitutionCoefficient(0.0f);
        world.floor->setRestitutionCoefficient(0.0f);
        int step = 0;
        while (ball->getActive() && step < 20000) {
            world.step(1, dt);
            ++step;
        }
        EXPECT_FALSE(ball->getActive());
        EXPECT_NEAR(ball->getPosition().z, 0.5f + world.simulator->getEpsilon(), 1e-3f);
    }
}

// A body held by a heavily damped spring creeps toward the spring's rest point; it does not fall
// asleep on the way, under the spring's pull, but only close to the rest point.
TEST(ContactTest, SpringHeldBodySleepsOnlyNearItsRestPoint)
{
    World world;
    world.simulator->setGravity(Vector3());
    IntrusivePointer<Solid> body(new Solid());
    body->setPosition(Vector3(1, 0, 10));
    world.simulator->addSolid(body.get());
    IntrusivePointer<Constraint> spring(new Constraint(body.get(), Vector3(0, 0, 10)));
    spring->setSpringConstant(4.0f);
    spring->setDampingConstant(40.0f);
    world.simulator->addConstraint(spring.get());
    int step = 0;
    while (body->getActive() && step < 10000) {
        world.step();
        ++step;
    }
    EXPECT_FALSE(body->getActive());
    // Asleep only where the pull over a step, k d dt / m, no longer reaches the sleep speed.
    const float limit = world.simulator->getDeactivateSpeed() / (4.0f * 0.016f);
    EXPECT_LT(body->getPosition().x, limit);
}

// A body that its own response leaves alone (mass 0, a negative mass, an infinite mass) rests on the
// floor under gravity without gathering speed into it.
TEST(ContactTest, MasslessAndImmovableBodiesRestWithoutGatheringSpeed)
{
    for (float mass : {0.0f, -3.0f, Solid::INFINITE_MASS}) {
        SCOPED_TRACE(mass);
        World world;
        Solid* ball = world.addBall(Vector3(0, 0, 0.5f));
        ball->setMass(mass);
        ball->setStayActive(true);
        world.step(125);
        EXPECT_NEAR(ball->getVelocity().z, 0.0f, G * 0.016f + 1e-4f);
        EXPECT_NEAR(ball->getPosition().z, 0.5f, 2e-3f);
    }
}

// A hundred balls placed on, dropped onto or sent sliding over a block given as a convex solid, away
// from the origin: none ends inside the block (a ball that comes to stand a rounding error inside
// its top face must still be held by it).
TEST(ContactTest, BallsOnAConvexBlockDoNotSinkIntoIt)
{
    const float radius = 0.27f;
    const float half = 3.0f;
    const float top = 0.113f;
    const Vector3 where(1.37f, -0.73f, 0.41f);
    for (int dt : {16, 50}) {
        SCOPED_TRACE(std::to_string(dt) + " ms");
        IntrusivePointer<Simulator> simulator(new Simulator());
        IntrusivePointer<Solid> block(new Solid());
        block->setInfiniteMass();
        block->setGravityCoefficient(0.0f);
        block->setCollideWithScope(0);
        block->setCollisionScope(1);
        block->addShape(
            IntrusivePointer<Shape>(new Shape(boxPlanes(Vector3(-half, -half, -1), Vector3(half, half, top))))
                .get());
        block->setPosition(where);
        simulator->addSolid(block.get());
        std::mt19937 random(11);
        std::uniform_real_distribution<float> place(-half + 0.5f, half - 0.5f);
        std::uniform_real_distribution<float> lift(0.0f, 0.3f);
        std::uniform_real_distribution<float> push(-1.5f, 1.5f);
        const float surface = where.z + top + radius;
        std::vector<IntrusivePointer<Solid>> balls;
        for (int i = 0; i < 100; ++i) {
            IntrusivePointer<Solid> ball(new Solid());
            ball->addShape(sphereShape(Vector3(), radius).get());
            // The balls meet the block only, not each other.
            ball->setCollisionScope(2);
            ball->setCollideWithScope(1);
            const Vector3 at = where + Vector3(place(random), place(random), 0);
            switch (i % 3) {
            case 0:
                ball->setPosition(Vector3(at.x, at.y, surface));
                break;
            case 1:
                ball->setPosition(Vector3(at.x, at.y, surface + lift(random)));
                break;
            default:
                ball->setPosition(Vector3(at.x, at.y, surface));
                ball->setVelocity(Vector3(push(random), push(random), 0));
                break;
            }
            simulator->addSolid(ball.get());
            balls.push_back(ball);
        }
        for (int step = 0; step < 300; ++step) {
            simulator->update(dt, 0, nullptr);
        }
        int sunk = 0;
        for (const IntrusivePointer<Solid>& ball : balls) {
            const Vector3 p = ball->getPosition() - where;
            if (std::fabs(p.x) < half && std::fabs(p.y) < half && p.z + where.z < surface - 0.01f) {
                ++sunk;
            }
        }
        EXPECT_EQ(sunk, 0);
    }
}

// A standing capsule dropped onto a lying one, at offsets along it and crossed, comes to rest on it
// with its axis the two radii above the lying axis.
TEST(ContactTest, CapsuleRestsOnALyingCapsule)
{
    struct Case
    {
        const char* name;
        Capsule falling;
        float offset;
    };
    const float r = 0.25f;
    const Case cases[] = {
        {"standing, near one end", Capsule(Vector3(), Vector3(0, 0, 1), r), -0.9f},
        {"standing, left of the middle", Capsule(Vector3(), Vector3(0, 0, 1), r), -0.45f},
        {"standing, over the middle", Capsule(Vector3(), Vector3(0, 0, 1), r), 0.0f},
        {"standing, right of the middle", Capsule(Vector3(), Vector3(0, 0, 1), r), 0.3f},
        {"standing, near the other end", Capsule(Vector3(), Vector3(0, 0, 1), r), 0.85f},
        {"lying across", Capsule(Vector3(0, -1, 0), Vector3(0, 2, 0), r), 0.4f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        IntrusivePointer<Simulator> simulator(new Simulator());
        IntrusivePointer<Solid> lying(new Solid());
        lying->setInfiniteMass();
        lying->setGravityCoefficient(0.0f);
        lying->setCollideWithScope(0);
        lying->addShape(
            IntrusivePointer<Shape>(new Shape(Capsule(Vector3(-1, 0, 0), Vector3(2, 0, 0), r))).get());
        lying->setPosition(Vector3(0, 0, 1));
        simulator->addSolid(lying.get());
        IntrusivePointer<Solid> falling(new Solid());
        falling->addShape(IntrusivePointer<Shape>(new Shape(c.falling)).get());
        falling->setPosition(Vector3(c.offset, 0, 3));
        simulator->addSolid(falling.get());
        for (int step = 0; step < 150; ++step) {
            simulator->update(16, 0, nullptr);
        }
        EXPECT_NEAR(falling->getPosition().z, 1.0f + 2 * r, 2e-3f);
        EXPECT_NEAR(falling->getPosition().x, c.offset, 1e-3f);
        EXPECT_EQ(falling->getTouching(), lying.get());
    }
}

} // namespace physicstest
