// The candidate grid against the plain scan of the solids: the same candidates in the same order,
// hence bit-identical steps, traces and reports, however solids move, grow, leave or arrive; and a
// step through the grid allocates nothing.

#include "support/AllocationCounter.h"
#include "PhysicsTestContext.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

namespace physicstest {
namespace {

// Keeps what each report said, by the solids' places in the scene.
class ReportLog : public CollisionListener
{
public:
    void collision(const Collision& collision) override { received.push_back(collision); }

    std::vector<Collision> received;
};

// A crowded scene of balls, blocks and capsules of several sizes, thrown onto a floor, a raised
// platform and each other, two of them tied by a spring, all reporting. Built the same way every
// time; gridThreshold chooses the scan or the grid.
struct CrowdedScene
{
    explicit CrowdedScene(int gridThreshold, int count = 90)
    {
        world.simulator->setGridThreshold(gridThreshold);
        world.simulator->setIntegrator(Simulator::INTEGRATOR_RUNGE_KUTTA);
        IntrusivePointer<Solid> platform(new Solid());
        platform->setInfiniteMass();
        platform->setGravityCoefficient(0.0f);
        platform->setCollideWithScope(0);
        platform->addShape(boxShape(Vector3(-3, -3, 0), Vector3(3, 3, 1.5f)).get());
        platform->setPosition(Vector3(4, 4, 0));
        world.simulator->addSolid(platform.get());
        world.bodies.push_back(platform);

        std::mt19937 random(3);
        std::uniform_real_distribution<float> spread(-8.0f, 8.0f);
        std::uniform_real_distribution<float> height(1.0f, 9.0f);
        std::uniform_real_distribution<float> speed(-3.0f, 3.0f);
        std::uniform_real_distribution<float> size(0.2f, 0.7f);
        for (int i = 0; i < count; ++i) {
            const Vector3 at(spread(random), spread(random), height(random));
            const float r = size(random);
            Solid* body = nullptr;
            switch (i % 3) {
            case 0:
                body = world.addBall(at, r);
                break;
            case 1:
                body = world.addBlock(at, r);
                break;
            default: {
                IntrusivePointer<Solid> capsule(new Solid());
                capsule->addShape(
                    IntrusivePointer<Shape>(new Shape(Capsule(Vector3(), Vector3(2 * r, 0, r), r / 2)))
                        .get());
                capsule->setPosition(at);
                world.simulator->addSolid(capsule.get());
                world.bodies.push_back(capsule);
                body = capsule.get();
                break;
            }
            }
            body->setVelocity(Vector3(speed(random), speed(random), speed(random)));
            body->setRestitutionCoefficient(0.1f * static_cast<float>(i % 10));
            body->setCollisionListener(&reports);
        }
        spring = new Constraint(world.bodies[1].get(), world.bodies[2].get());
        world.simulator->addConstraint(spring.get());
    }

    // What happens to the scene besides stepping, at the given step: a solid leaves, another
    // arrives, one grows past any cell, one is thrown far and one is sent through the whole crowd.
    void disturb(int step)
    {
        switch (step) {
        case 40:
            world.simulator->removeSolid(world.bodies[10].get());
            break;
        case 60:
            world.addBall(Vector3(0, 0, 12), 0.4f)->setCollisionListener(&reports);
            break;
        case 80:
            world.bodies[20]->getShape(0)->setSphere(Sphere(Vector3(), 6.0f));
            world.bodies[20]->updateLocalBound();
            break;
        case 100:
            world.bodies[30]->setPosition(Vector3(40, -40, 3));
            break;
        case 120:
            world.bodies[33]->setVelocity(Vector3(300, 0, 0));
            break;
        default:
            break;
        }
    }

    int indexOf(const Solid* solid) const
    {
        for (size_t i = 0; i < world.bodies.size(); ++i) {
            if (world.bodies[i].get() == solid) {
                return static_cast<int>(i);
            }
        }
        return solid == world.floor.get() ? -2 : -1;
    }

    World world;
    ReportLog reports;
    IntrusivePointer<Constraint> spring;
};

::testing::AssertionResult sameBits(const Vector3& a, const Vector3& b)
{
    if (std::memcmp(&a, &b, sizeof(Vector3)) == 0) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << describe(a) << " differs from " << describe(b);
}

} // namespace

// The scene stepped with the scan and with the grid: every solid's position, velocity, activity and
// contacts are bit-identical at every step, and so are segment traces through the crowd and the
// collisions reported.
TEST(SolidGridTest, GridReplaysTheScanBitForBit)
{
    CrowdedScene scan(INT_MAX);
    CrowdedScene grid(1);
    std::mt19937 random(9);
    std::uniform_real_distribution<float> spread(-9.0f, 9.0f);
    for (int step = 0; step < 300; ++step) {
        SCOPED_TRACE("step " + std::to_string(step));
        scan.disturb(step);
        grid.disturb(step);
        scan.world.step(1, 16, Simulator::SCOPE_REPORT_COLLISIONS);
        grid.world.step(1, 16, Simulator::SCOPE_REPORT_COLLISIONS);
        ASSERT_EQ(scan.world.bodies.size(), grid.world.bodies.size());
        for (size_t i = 0; i < scan.world.bodies.size(); ++i) {
            const Solid& a = *scan.world.bodies[i];
            const Solid& b = *grid.world.bodies[i];
            ASSERT_TRUE(sameBits(a.getPosition(), b.getPosition())) << "body " << i;
            ASSERT_TRUE(sameBits(a.getVelocity(), b.getVelocity())) << "body " << i;
            ASSERT_EQ(a.getActive(), b.getActive()) << "body " << i;
            ASSERT_EQ(scan.indexOf(a.getTouching()), grid.indexOf(b.getTouching())) << "body " << i;
        }
        const Segment ray(Vector3(spread(random), spread(random), 15),
                          Vector3(spread(random), spread(random), -16));
        Collision a;
        Collision b;
        scan.world.simulator->traceSegment(a, ray, -1, nullptr);
        grid.world.simulator->traceSegment(b, ray, -1, nullptr);
        ASSERT_EQ(std::memcmp(&a.time, &b.time, sizeof(float)), 0);
        ASSERT_TRUE(sameBits(a.point, b.point));
        ASSERT_EQ(scan.indexOf(a.hitSolid.get()), grid.indexOf(b.hitSolid.get()));
    }
    ASSERT_EQ(scan.reports.received.size(), grid.reports.received.size());
    for (size_t i = 0; i < scan.reports.received.size(); ++i) {
        const Collision& a = scan.reports.received[i];
        const Collision& b = grid.reports.received[i];
        ASSERT_EQ(scan.indexOf(a.sourceSolid.get()), grid.indexOf(b.sourceSolid.get())) << "report " << i;
        ASSERT_EQ(scan.indexOf(a.hitSolid.get()), grid.indexOf(b.hitSolid.get())) << "report " << i;
        ASSERT_EQ(std::memcmp(&a.time, &b.time, sizeof(float)), 0) << "report " << i;
        ASSERT_TRUE(sameBits(a.normal, b.normal)) << "report " << i;
    }
    EXPECT_GT(scan.reports.received.size(), 200u);
}

// The candidate search over boxes of every kind (small, spanning the crowd, far away, inverted, of
// no size, not finite) finds the same solids in the same order with the grid as with the scan, and
// counts them all when the array is too short.
TEST(SolidGridTest, SearchFindsWhatTheScanFinds)
{
    CrowdedScene scan(INT_MAX);
    CrowdedScene grid(1);
    for (int step = 0; step < 30; ++step) {
        scan.world.step();
        grid.world.step();
    }
    // A solid whose bound is not finite is met by every box, as by the scan.
    scan.world.bodies[5]->setPositionDirect(Vector3(std::nanf(""), 0, 0));
    grid.world.bodies[5]->setPositionDirect(Vector3(std::nanf(""), 0, 0));
    std::mt19937 random(4);
    std::uniform_real_distribution<float> centre(-10.0f, 10.0f);
    std::uniform_real_distribution<float> extent(0.0f, 3.0f);
    std::vector<AABox> boxes = {
        AABox(Vector3(-100, -100, -100), Vector3(100, 100, 100)),
        AABox(Vector3(500, 500, 500), Vector3(501, 501, 501)),
        AABox(Vector3(1, 1, 1), Vector3(-1, -1, -1)),
        AABox(Vector3(2, 2, 0.5f), Vector3(2, 2, 0.5f)),
        AABox(Vector3(-std::numeric_limits<float>::infinity(), 0, 0), Vector3(0, 1, 1)),
    };
    for (int i = 0; i < 300; ++i) {
        const Vector3 c(centre(random), centre(random), centre(random) / 2 + 3);
        const Vector3 e(extent(random), extent(random), extent(random));
        boxes.push_back(AABox(c - e, c + e));
    }
    for (const AABox& box : boxes) {
        SCOPED_TRACE(describe(box.minimum) + " to " + describe(box.maximum));
        for (int room : {200, 3}) {
            std::vector<Solid*> a(static_cast<size_t>(room));
            std::vector<Solid*> b(static_cast<size_t>(room));
            const int countA = scan.world.simulator->findSolidsInAABox(box, a.data(), room);
            const int countB = grid.world.simulator->findSolidsInAABox(box, b.data(), room);
            ASSERT_EQ(countA, countB);
            for (int k = 0; k < countA && k < room; ++k) {
                ASSERT_EQ(scan.indexOf(a[static_cast<size_t>(k)]), grid.indexOf(b[static_cast<size_t>(k)]))
                    << k;
            }
        }
    }
}

// Once the crowded scene is built and stepped once, stepping it through the grid allocates nothing,
// removals and moves included.
TEST(SolidGridTest, StepThroughTheGridMakesNoHeapAllocation)
{
    CrowdedScene scene(1);
    scene.reports.received.reserve(200000);
    scene.world.step(1, 16, Simulator::SCOPE_REPORT_COLLISIONS);
    const int64_t before = support::allocationCount();
    for (int step = 0; step < 200; ++step) {
        if (step == 50) {
            scene.world.simulator->removeSolid(scene.world.bodies[10].get());
        }
        if (step == 70) {
            scene.world.bodies[30]->setPosition(Vector3(40, -40, 3));
        }
        scene.world.step(1, 16, Simulator::SCOPE_REPORT_COLLISIONS);
    }
    EXPECT_EQ(support::allocationCount() - before, 0);
    EXPECT_GT(scene.reports.received.size(), 100u);
}

} // namespace physicstest
