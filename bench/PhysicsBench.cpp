// The physics step and the segment trace beside ODE (QuickStep, its hash space) and Bullet (one
// step per call, its dynamic bounding-volume tree) on the same scene: N balls of radius 0.5, mass 1,
// on a grid 1.5 apart, dropped from 1 to 2.5 onto an infinite floor at z = 0, gravity -9.81, 16 ms
// steps, restitution 0.5 and friction 0.5. The engines differ in what they do (ODE and Bullet rotate
// the balls, solve contacts as constraints and sleep by their own rules; ours sweeps without
// rotation and bounces by impulse), so each scene is first checked to end the same way: every ball
// resting on the floor where it was dropped. One iteration is one whole drop of 200 steps (3.2 s),
// from the fall through the bounces to rest; "s_per_step" is its time divided by the steps.
// The trace benchmark casts 256 vertical segments onto the resting balls and the floor; the hit
// heights of all three are compared before timing (Bullet's within its ray-cast tolerance).

#include "DropPoints.h"
#include "core/math/Math.h"
#include "physics/Collision.h"
#include "physics/Shape.h"
#include "physics/Simulator.h"
#include "physics/Solid.h"

#include <benchmark/benchmark.h>
#include <BulletCollision/NarrowPhaseCollision/btRaycastCallback.h>
#include <btBulletDynamicsCommon.h>
#include <ode/ode.h>

#include <cmath>
#include <map>
#include <memory>
#include <random>
#include <vector>

namespace {

using rezezaz::core::IntrusivePointer;
using rezezaz::core::math::AABox;
using rezezaz::core::math::Segment;
using rezezaz::core::math::Sphere;
using rezezaz::core::math::Vector3;
using rezezaz::physics::Collision;
using rezezaz::physics::Shape;
using rezezaz::physics::Simulator;
using rezezaz::physics::Solid;

constexpr int STEPS = 200;
constexpr int STEP_MS = 16;
constexpr float STEP_S = 0.016f;
constexpr float RADIUS = 0.5f;
constexpr int RAYS = 256;
// Bullet casts a ray at a sphere by its convex cast, which stops within a few thousandths of the
// surface near the rim.
constexpr float BULLET_RAY_TOLERANCE = 0.01f;

using benchdata::dropPoint;

// Vertical segments from z = 5 down to z = -1 over the grid, the same for every engine. None grazes
// a ball: each passes either well inside a ball's outline or well clear of it, where the engines'
// different ray tests cannot tip a hit into a miss.
std::vector<Vector3> rayOrigins(int count)
{
    const int side = static_cast<int>(std::ceil(std::sqrt(static_cast<double>(count))));
    const float half = 0.75f * static_cast<float>(side);
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> coordinate(-half, half);
    std::vector<Vector3> origins;
    while (static_cast<int>(origins.size()) < RAYS) {
        const float x = coordinate(rng);
        const float y = coordinate(rng);
        float nearest = 1e30f;
        for (int i = 0; i < count; ++i) {
            const Vector3 centre = dropPoint(i, count);
            nearest = std::fmin(nearest, std::hypot(x - centre.x, y - centre.y));
        }
        if (nearest < 0.4f || nearest > 0.6f) {
            origins.push_back(Vector3(x, y, 5.0f));
        }
    }
    return origins;
}

// Every ball at rest on the floor under where it was dropped.
bool restingWhereDropped(const std::vector<Vector3>& positions)
{
    for (size_t i = 0; i < positions.size(); ++i) {
        const Vector3 start = dropPoint(static_cast<int>(i), static_cast<int>(positions.size()));
        const Vector3& p = positions[i];
        if (std::fabs(p.z - RADIUS) > 0.05f || std::fabs(p.x - start.x) > 0.05f || std::fabs(p.y - start.y) > 0.05f) {
            return false;
        }
    }
    return true;
}

void reportSteps(benchmark::State& state)
{
    state.counters["s_per_step"] =
        benchmark::Counter(static_cast<double>(STEPS), benchmark::Counter::kIsIterationInvariantRate |
                                                           benchmark::Counter::kInvert);
}

// ---- ours -------------------------------------------------------------------------------

struct OurScene
{
    OurScene(int count, int integrator, bool resting) : simulator(new Simulator())
    {
        simulator->setIntegrator(integrator);
        IntrusivePointer<Solid> floor(new Solid());
        floor->setInfiniteMass();
        floor->setGravityCoefficient(0.0f);
        floor->setCollideWithScope(0);
        floor->addShape(IntrusivePointer<Shape>(new Shape(AABox(Vector3(-1000, -1000, -10), Vector3(1000, 1000, 0)))).get());
        simulator->addSolid(floor.get());
        for (int i = 0; i < count; ++i) {
            IntrusivePointer<Solid> ball(new Solid());
            ball->addShape(IntrusivePointer<Shape>(new Shape(Sphere(Vector3(), RADIUS))).get());
            Vector3 p = dropPoint(i, count);
            if (resting) {
                p.z = RADIUS;
            }
            ball->setPosition(p);
            simulator->addSolid(ball.get());
            balls.push_back(ball);
        }
    }

    std::vector<Vector3> positions() const
    {
        std::vector<Vector3> result;
        for (const auto& ball : balls) {
            result.push_back(ball->getPosition());
        }
        return result;
    }

    IntrusivePointer<Simulator> simulator;
    std::vector<IntrusivePointer<Solid>> balls;
};

void Step_Ours(benchmark::State& state, int integrator)
{
    const int count = static_cast<int>(state.range(0));
    std::unique_ptr<OurScene> scene;
    for (auto _ : state) {
        state.PauseTiming();
        scene = std::make_unique<OurScene>(count, integrator, false);
        state.ResumeTiming();
        for (int step = 0; step < STEPS; ++step) {
            scene->simulator->update(STEP_MS, 0, nullptr);
        }
    }
    if (!restingWhereDropped(scene->positions())) {
        state.SkipWithError("the balls did not come to rest where they were dropped");
    }
    reportSteps(state);
}

void Step_Ours_Euler(benchmark::State& state)
{
    Step_Ours(state, Simulator::INTEGRATOR_EULER);
}
void Step_Ours_Heun(benchmark::State& state)
{
    Step_Ours(state, Simulator::INTEGRATOR_HEUN);
}
void Step_Ours_Ralston(benchmark::State& state)
{
    Step_Ours(state, Simulator::INTEGRATOR_RALSTON);
}
void Step_Ours_RungeKutta(benchmark::State& state)
{
    Step_Ours(state, Simulator::INTEGRATOR_RUNGE_KUTTA);
}

std::vector<float> ourHits(OurScene& scene, const std::vector<Vector3>& origins)
{
    std::vector<float> hits;
    Collision result;
    for (const Vector3& origin : origins) {
        scene.simulator->traceSegment(result, Segment(origin, Vector3(0, 0, -6)), -1, nullptr);
        hits.push_back(result.point.z);
    }
    return hits;
}

// ---- ODE --------------------------------------------------------------------------------

struct OdeLibrary
{
    OdeLibrary() { dInitODE2(0); }
    ~OdeLibrary() { dCloseODE(); }
};

void useOde()
{
    static OdeLibrary library;
}

struct OdeScene
{
    OdeScene(int count, bool resting)
    {
        useOde();
        world = dWorldCreate();
        dWorldSetGravity(world, 0, 0, -9.81);
        dWorldSetQuickStepNumIterations(world, 20);
        dWorldSetAutoDisableFlag(world, 1);
        space = dHashSpaceCreate(nullptr);
        contacts = dJointGroupCreate(0);
        dCreatePlane(space, 0, 0, 1, 0);
        for (int i = 0; i < count; ++i) {
            dBodyID body = dBodyCreate(world);
            dMass mass;
            dMassSetSphereTotal(&mass, 1.0, RADIUS);
            dBodySetMass(body, &mass);
            dGeomID geom = dCreateSphere(space, RADIUS);
            dGeomSetBody(geom, body);
            const Vector3 p = dropPoint(i, count);
            dBodySetPosition(body, p.x, p.y, resting ? RADIUS : p.z);
            bodies.push_back(body);
        }
        ray = dCreateRay(nullptr, 6.0);
    }

    ~OdeScene()
    {
        dGeomDestroy(ray);
        dJointGroupDestroy(contacts);
        dSpaceDestroy(space);
        dWorldDestroy(world);
    }

    static void near(void* data, dGeomID a, dGeomID b)
    {
        OdeScene* scene = static_cast<OdeScene*>(data);
        dContact contact[4];
        const int n = dCollide(a, b, 4, &contact[0].geom, sizeof(dContact));
        for (int i = 0; i < n; ++i) {
            contact[i].surface.mode = dContactBounce;
            contact[i].surface.mu = 0.5;
            contact[i].surface.bounce = 0.5;
            contact[i].surface.bounce_vel = 1.0;
            dJointID joint = dJointCreateContact(scene->world, scene->contacts, &contact[i]);
            dJointAttach(joint, dGeomGetBody(a), dGeomGetBody(b));
        }
    }

    void step()
    {
        dSpaceCollide(space, this, &OdeScene::near);
        dWorldQuickStep(world, STEP_S);
        dJointGroupEmpty(contacts);
    }

    static void rayNear(void* data, dGeomID a, dGeomID b)
    {
        double* nearest = static_cast<double*>(data);
        dContactGeom contact;
        if (dCollide(a, b, 1, &contact, sizeof(dContactGeom)) > 0 && contact.depth < nearest[0]) {
            nearest[0] = contact.depth;
            nearest[1] = contact.pos[2];
        }
    }

    float trace(const Vector3& origin)
    {
        dGeomRaySet(ray, origin.x, origin.y, origin.z, 0, 0, -1);
        double nearest[2] = {1e30, origin.z - 6.0};
        dSpaceCollide2(ray, reinterpret_cast<dGeomID>(space), nearest, &OdeScene::rayNear);
        return static_cast<float>(nearest[1]);
    }

    std::vector<Vector3> positions() const
    {
        std::vector<Vector3> result;
        for (dBodyID body : bodies) {
            const dReal* p = dBodyGetPosition(body);
            result.push_back(Vector3(static_cast<float>(p[0]), static_cast<float>(p[1]), static_cast<float>(p[2])));
        }
        return result;
    }

    dWorldID world;
    dSpaceID space;
    dJointGroupID contacts;
    dGeomID ray;
    std::vector<dBodyID> bodies;
};

void Step_Ode(benchmark::State& state)
{
    const int count = static_cast<int>(state.range(0));
    std::unique_ptr<OdeScene> scene;
    for (auto _ : state) {
        state.PauseTiming();
        scene.reset();
        scene = std::make_unique<OdeScene>(count, false);
        state.ResumeTiming();
        for (int step = 0; step < STEPS; ++step) {
            scene->step();
        }
    }
    if (!restingWhereDropped(scene->positions())) {
        state.SkipWithError("the balls did not come to rest where they were dropped");
    }
    reportSteps(state);
}

// ---- Bullet -----------------------------------------------------------------------------

struct BulletScene
{
    BulletScene(int count, bool resting)
        : dispatcher(&configuration), world(&dispatcher, &broadphase, &solver, &configuration),
          floorShape(btVector3(0, 0, 1), 0), ballShape(RADIUS)
    {
        world.setGravity(btVector3(0, 0, -9.81f));
        floor = std::make_unique<btRigidBody>(0.0f, nullptr, &floorShape);
        floor->setRestitution(0.5f);
        floor->setFriction(0.5f);
        world.addRigidBody(floor.get());
        btVector3 inertia;
        ballShape.calculateLocalInertia(1.0f, inertia);
        for (int i = 0; i < count; ++i) {
            const Vector3 p = dropPoint(i, count);
            btTransform place;
            place.setIdentity();
            place.setOrigin(btVector3(p.x, p.y, resting ? RADIUS : p.z));
            states.push_back(std::make_unique<btDefaultMotionState>(place));
            btRigidBody::btRigidBodyConstructionInfo info(1.0f, states.back().get(), &ballShape, inertia);
            info.m_restitution = 0.5f;
            info.m_friction = 0.5f;
            bodies.push_back(std::make_unique<btRigidBody>(info));
            world.addRigidBody(bodies.back().get());
        }
    }

    ~BulletScene()
    {
        for (auto& body : bodies) {
            world.removeRigidBody(body.get());
        }
        world.removeRigidBody(floor.get());
    }

    void step() { world.stepSimulation(STEP_S, 0); }

    float trace(const Vector3& origin)
    {
        const btVector3 from(origin.x, origin.y, origin.z);
        const btVector3 to(origin.x, origin.y, origin.z - 6.0f);
        btCollisionWorld::ClosestRayResultCallback closest(from, to);
        closest.m_flags |= btTriangleRaycastCallback::kF_UseGjkConvexCastRaytest;
        world.rayTest(from, to, closest);
        return closest.hasHit() ? closest.m_hitPointWorld.z() : to.z();
    }

    std::vector<Vector3> positions() const
    {
        std::vector<Vector3> result;
        for (const auto& body : bodies) {
            const btVector3& p = body->getCenterOfMassPosition();
            result.push_back(Vector3(p.x(), p.y(), p.z()));
        }
        return result;
    }

    btDefaultCollisionConfiguration configuration;
    btCollisionDispatcher dispatcher;
    btDbvtBroadphase broadphase;
    btSequentialImpulseConstraintSolver solver;
    btDiscreteDynamicsWorld world;
    btStaticPlaneShape floorShape;
    btSphereShape ballShape;
    std::unique_ptr<btRigidBody> floor;
    std::vector<std::unique_ptr<btDefaultMotionState>> states;
    std::vector<std::unique_ptr<btRigidBody>> bodies;
};

void Step_Bullet(benchmark::State& state)
{
    const int count = static_cast<int>(state.range(0));
    std::unique_ptr<BulletScene> scene;
    for (auto _ : state) {
        state.PauseTiming();
        scene.reset();
        scene = std::make_unique<BulletScene>(count, false);
        state.ResumeTiming();
        for (int step = 0; step < STEPS; ++step) {
            scene->step();
        }
    }
    if (!restingWhereDropped(scene->positions())) {
        state.SkipWithError("the balls did not come to rest where they were dropped");
    }
    reportSteps(state);
}

// ---- traces -----------------------------------------------------------------------------

// The three engines' hit heights for the same segments, compared once per N.
bool tracesAgree(int count)
{
    const std::vector<Vector3> origins = rayOrigins(count);
    OurScene ours(count, Simulator::INTEGRATOR_RALSTON, true);
    OdeScene ode(count, true);
    BulletScene bullet(count, true);
    bullet.world.updateAabbs();
    const std::vector<float> expected = ourHits(ours, origins);
    for (size_t i = 0; i < origins.size(); ++i) {
        if (std::fabs(ode.trace(origins[i]) - expected[i]) > 1e-3f ||
            std::fabs(bullet.trace(origins[i]) - expected[i]) > BULLET_RAY_TOLERANCE) {
            return false;
        }
    }
    return true;
}

void checkTraces(benchmark::State& state)
{
    // Once per N: the benchmark functions are entered several times while their runs are sized.
    static std::map<int, bool> agreed;
    const int count = static_cast<int>(state.range(0));
    if (agreed.find(count) == agreed.end()) {
        agreed[count] = tracesAgree(count);
    }
    if (!agreed[count]) {
        state.SkipWithError("the engines disagree on where the segments hit");
    }
}

void Trace_Ours(benchmark::State& state)
{
    checkTraces(state);
    const int count = static_cast<int>(state.range(0));
    OurScene scene(count, Simulator::INTEGRATOR_RALSTON, true);
    const std::vector<Vector3> origins = rayOrigins(count);
    Collision result;
    for (auto _ : state) {
        for (const Vector3& origin : origins) {
            scene.simulator->traceSegment(result, Segment(origin, Vector3(0, 0, -6)), -1, nullptr);
            benchmark::DoNotOptimize(result.time);
        }
    }
    state.SetItemsProcessed(state.iterations() * RAYS);
}

void Trace_Ode(benchmark::State& state)
{
    checkTraces(state);
    const int count = static_cast<int>(state.range(0));
    OdeScene scene(count, true);
    const std::vector<Vector3> origins = rayOrigins(count);
    for (auto _ : state) {
        for (const Vector3& origin : origins) {
            benchmark::DoNotOptimize(scene.trace(origin));
        }
    }
    state.SetItemsProcessed(state.iterations() * RAYS);
}

void Trace_Bullet(benchmark::State& state)
{
    checkTraces(state);
    const int count = static_cast<int>(state.range(0));
    BulletScene scene(count, true);
    scene.world.updateAabbs();
    const std::vector<Vector3> origins = rayOrigins(count);
    for (auto _ : state) {
        for (const Vector3& origin : origins) {
            benchmark::DoNotOptimize(scene.trace(origin));
        }
    }
    state.SetItemsProcessed(state.iterations() * RAYS);
}

} // namespace

#define PHYSICS_SIZES Arg(10)->Arg(100)->Arg(300)->Arg(1000)->Arg(3000)->Unit(benchmark::kMillisecond)
BENCHMARK(Step_Ours_Euler)->PHYSICS_SIZES;
BENCHMARK(Step_Ours_Heun)->PHYSICS_SIZES;
BENCHMARK(Step_Ours_Ralston)->PHYSICS_SIZES;
BENCHMARK(Step_Ours_RungeKutta)->PHYSICS_SIZES;
BENCHMARK(Step_Ode)->PHYSICS_SIZES;
BENCHMARK(Step_Bullet)->PHYSICS_SIZES;
BENCHMARK(Trace_Ours)->Arg(10)->Arg(100)->Arg(1000)->Unit(benchmark::kMicrosecond);
BENCHMARK(Trace_Ode)->Arg(10)->Arg(100)->Arg(1000)->Unit(benchmark::kMicrosecond);
BENCHMARK(Trace_Bullet)->Arg(10)->Arg(100)->Arg(1000)->Unit(benchmark::kMicrosecond);
