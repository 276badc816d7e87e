// The physics step and the segment trace beside ODE (QuickStep, its hash space) and Bullet (one
// step per call, its dynamic bounding-volume tree) on the same scene: N balls of radius 0.5, mass 1,
// on a grid 1.5 apart, dropped from 1 to 2.5 onto an infinite floor at z = 0, gravity -9.81, 16 ms
// steps, restitution 0.5 and friction 0.5. The engines differ in what they do (ODE and Bullet rotate
// the balls, solve contacts as constraints and sleep by their own rules; ours sweeps without
// rotation and bounces by impulse), so each scene is first run once untimed and checked to end the
// same way: every ball resting on the floor where it was dropped. One iteration is one whole drop of
// 200 steps (3.2 s), from the fall through the bounces to rest; "s_per_step" is its time divided by
// the steps.
// In the drop the balls never touch each other. The pile does: N balls in layers above a box (floor
// and four walls) about three balls deep, dropped into it so that they strike each other and the walls
// and settle in a heap, 500 steps (8 s). A heap's exact shape depends on every engine's contact
// rules, so the untimed run before timing checks what must hold for each: every ball inside the box
// and at rest (moved less than PILE_REST_MOVE in the last second), none sunk into another or the box
// by more than PILE_OVERLAP, and the heap's mean height within PILE_HEIGHT of ours. Each peer's label
// says what it does differently.
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
#include <string>
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
constexpr int PILE_STEPS = 500;
// What the pile's check allows every engine: how deep a ball may sink into another or the box, how fast
// a settled ball may still move, and how far the heap's mean height may lie from ours.
constexpr float PILE_OVERLAP = 0.05f;
constexpr float PILE_REST_MOVE = 0.05f;
constexpr int PILE_REST_STEPS = 62; // about a second: a settled ball moved less than PILE_REST_MOVE in it
constexpr float PILE_HEIGHT = 0.25f;
// The share of its turn and of its speed an ODE ball of the pile loses each step.
constexpr double PILE_ODE_ANGULAR_DAMPING = 0.2;
constexpr double PILE_ODE_LINEAR_DAMPING = 0.02;
// Where ODE's random order of constraints starts in every scene.
constexpr unsigned long PILE_ODE_SEED = 2;
constexpr int STEP_MS = 16;
constexpr float STEP_S = 0.016f;
constexpr float RADIUS = 0.5f;
constexpr int RAYS = 256;
// Bullet casts a ray at a sphere by its convex cast, which stops within a few thousandths of the
// surface near the rim.
constexpr float BULLET_RAY_TOLERANCE = 0.01f;

// ---- the scenes: a drop onto the floor, or a pile in a box ------------------------------

enum class Layout
{
    Drop,
    Pile
};

// What each engine's scene is built from: where the balls start, and the box's walls (none for the
// drop; the floor is the plane z = 0 in both).
struct Setup
{
    Layout layout;
    int count;
    float wall = 0; // the walls stand at x, y = +-wall

    int steps() const { return layout == Layout::Pile ? PILE_STEPS : STEPS; }

    // About three balls deep once settled: a square floor of count / 3 balls, rounded up.
    static float pileWall(int count)
    {
        return 0.5f * std::ceil(std::sqrt(static_cast<float>(count) / 3.0f)) * 2.0f * RADIUS;
    }

    // The pile starts as layers of a square grid 1.1 diameters apart that fits between the walls,
    // every other layer shifted by a quarter diameter so that no ball sits straight on another.
    Vector3 start(int i) const
    {
        if (layout == Layout::Drop) {
            return benchdata::dropPoint(i, count);
        }
        const float spacing = 2.2f * RADIUS;
        const int row = static_cast<int>((2.0f * (wall - RADIUS)) / spacing) + 1;
        const int perLayer = row * row;
        const int layer = i / perLayer;
        const int at = i % perLayer;
        const float shift = layer % 2 == 0 ? -0.25f * RADIUS : 0.25f * RADIUS;
        const float first = -0.5f * spacing * static_cast<float>(row - 1);
        return Vector3(first + spacing * static_cast<float>(at % row) + shift,
                       first + spacing * static_cast<float>(at / row) - shift,
                       2.0f * RADIUS + spacing * static_cast<float>(layer));
    }

    static Setup drop(int count) { return Setup{Layout::Drop, count, 0}; }
    static Setup pile(int count) { return Setup{Layout::Pile, count, pileWall(count)}; }
};

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

void reportSteps(benchmark::State& state, int steps)
{
    state.counters["s_per_step"] =
        benchmark::Counter(static_cast<double>(steps), benchmark::Counter::kIsIterationInvariantRate |
                                                           benchmark::Counter::kInvert);
}

float meanHeight(const std::vector<Vector3>& positions)
{
    double sum = 0;
    for (const Vector3& p : positions) {
        sum += p.z;
    }
    return positions.empty() ? 0.0f : static_cast<float>(sum / static_cast<double>(positions.size()));
}

// Empty when the balls lie as the layout demands; otherwise what is wrong.
std::string outcomeError(const Setup& setup, const std::vector<Vector3>& positions,
                         const std::vector<Vector3>& earlier)
{
    if (setup.layout == Layout::Drop) {
        return restingWhereDropped(positions) ? std::string()
                                              : "the balls did not come to rest where they were dropped";
    }
    for (size_t i = 0; i < positions.size(); ++i) {
        const Vector3& p = positions[i];
        const Vector3 v = p - earlier[i];
        const float inside = setup.wall - RADIUS + PILE_OVERLAP;
        if (!(std::fabs(p.x) <= inside && std::fabs(p.y) <= inside && p.z >= RADIUS - PILE_OVERLAP)) {
            return "a ball left the box or sank into its floor";
        }
        if (std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z) > PILE_REST_MOVE) {
            return "the pile did not settle";
        }
        for (size_t j = 0; j < i; ++j) {
            const Vector3 d = p - positions[j];
            if (std::sqrt(d.x * d.x + d.y * d.y + d.z * d.z) < 2 * RADIUS - PILE_OVERLAP) {
                return "two balls of the pile sank into each other";
            }
        }
    }
    return std::string();
}

// One benchmark of an engine's scene: one untimed run checked first (a wrong outcome reports an error
// instead of a time), then whole runs, each from a new scene made outside the timed part.
template <class Make> void stepScene(benchmark::State& state, const Setup& setup, Make make)
{
    {
        auto scene = make();
        std::vector<Vector3> earlier;
        for (int step = 0; step < setup.steps(); ++step) {
            if (step == setup.steps() - PILE_REST_STEPS) {
                earlier = scene->positions();
            }
            scene->step();
        }
        const std::string error = outcomeError(setup, scene->positions(), earlier);
        if (!error.empty()) {
            state.SkipWithError(error.c_str());
            return;
        }
    }
    decltype(make()) scene;
    for (auto _ : state) {
        state.PauseTiming();
        scene.reset();
        scene = make();
        state.ResumeTiming();
        for (int step = 0; step < setup.steps(); ++step) {
            scene->step();
        }
    }
    reportSteps(state, setup.steps());
}

// ---- ours -------------------------------------------------------------------------------

struct OurScene
{
    OurScene(int count, int integrator, bool resting) : OurScene(Setup::drop(count), integrator, resting) {}

    OurScene(const Setup& setup, int integrator, bool resting = false) : simulator(new Simulator())
    {
        simulator->setIntegrator(integrator);
        IntrusivePointer<Solid> floor(new Solid());
        floor->setInfiniteMass();
        floor->setGravityCoefficient(0.0f);
        floor->setCollideWithScope(0);
        floor->addShape(IntrusivePointer<Shape>(new Shape(AABox(Vector3(-1000, -1000, -10), Vector3(1000, 1000, 0)))).get());
        if (setup.wall > 0) {
            const float w = setup.wall;
            const float far = w + 10;
            for (const AABox& wall : {AABox(Vector3(w, -far, -10), Vector3(far, far, 100)),
                                      AABox(Vector3(-far, -far, -10), Vector3(-w, far, 100)),
                                      AABox(Vector3(-far, w, -10), Vector3(far, far, 100)),
                                      AABox(Vector3(-far, -far, -10), Vector3(far, -w, 100))}) {
                floor->addShape(IntrusivePointer<Shape>(new Shape(wall)).get());
            }
        }
        simulator->addSolid(floor.get());
        for (int i = 0; i < setup.count; ++i) {
            IntrusivePointer<Solid> ball(new Solid());
            ball->addShape(IntrusivePointer<Shape>(new Shape(Sphere(Vector3(), RADIUS))).get());
            Vector3 p = setup.start(i);
            if (resting) {
                p.z = RADIUS;
            }
            ball->setPosition(p);
            simulator->addSolid(ball.get());
            balls.push_back(ball);
        }
    }

    void step() { simulator->update(STEP_MS, 0, nullptr); }


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

void Step_Ours(benchmark::State& state, int integrator, Layout layout)
{
    const int count = static_cast<int>(state.range(0));
    const Setup setup = layout == Layout::Pile ? Setup::pile(count) : Setup::drop(count);
    stepScene(state, setup, [&] { return std::make_unique<OurScene>(setup, integrator); });
}

void Step_Ours_Euler(benchmark::State& state)
{
    Step_Ours(state, Simulator::INTEGRATOR_EULER, Layout::Drop);
}
void Step_Ours_Heun(benchmark::State& state)
{
    Step_Ours(state, Simulator::INTEGRATOR_HEUN, Layout::Drop);
}
void Step_Ours_Ralston(benchmark::State& state)
{
    Step_Ours(state, Simulator::INTEGRATOR_RALSTON, Layout::Drop);
}
void Pile_Ours_Ralston(benchmark::State& state)
{
    Step_Ours(state, Simulator::INTEGRATOR_RALSTON, Layout::Pile);
}
void Step_Ours_RungeKutta(benchmark::State& state)
{
    Step_Ours(state, Simulator::INTEGRATOR_RUNGE_KUTTA, Layout::Drop);
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
    OdeScene(int count, bool resting) : OdeScene(Setup::drop(count), resting) {}

    OdeScene(const Setup& setup, bool resting = false)
    {
        const int count = setup.count;
        useOde();
        // QuickStep orders its constraints at random, from a seed the whole library shares and every
        // step moves on: without setting it, a scene ran differently after any other scene of the
        // process, and the pile's heap came out differently from run to run.
        dRandSetSeed(PILE_ODE_SEED);
        world = dWorldCreate();
        dWorldSetGravity(world, 0, 0, -9.81);
        dWorldSetQuickStepNumIterations(world, 20);
        dWorldSetAutoDisableFlag(world, 1);
        if (setup.layout == Layout::Pile) {
            // Its balls have no rolling resistance and its contacts jitter: without a little damping
            // of their turn and motion, one on the heap's slope may still roll or shift at the end of
            // the run.
            dWorldSetAngularDamping(world, PILE_ODE_ANGULAR_DAMPING);
            dWorldSetLinearDamping(world, PILE_ODE_LINEAR_DAMPING);
        }
        space = dHashSpaceCreate(nullptr);
        contacts = dJointGroupCreate(0);
        dCreatePlane(space, 0, 0, 1, 0);
        if (setup.wall > 0) {
            // Each wall's normal points into the box: n . p = -wall on the wall.
            dCreatePlane(space, -1, 0, 0, -setup.wall);
            dCreatePlane(space, 1, 0, 0, -setup.wall);
            dCreatePlane(space, 0, -1, 0, -setup.wall);
            dCreatePlane(space, 0, 1, 0, -setup.wall);
        }
        for (int i = 0; i < count; ++i) {
            dBodyID body = dBodyCreate(world);
            dMass mass;
            dMassSetSphereTotal(&mass, 1.0, RADIUS);
            dBodySetMass(body, &mass);
            dGeomID geom = dCreateSphere(space, RADIUS);
            dGeomSetBody(geom, body);
            const Vector3 p = setup.start(i);
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

bool pileAsHighAsOurs(benchmark::State& state, int engine);

void stepOde(benchmark::State& state, Layout layout)
{
    if (layout == Layout::Pile && !pileAsHighAsOurs(state, 1)) {
        return;
    }
    const int count = static_cast<int>(state.range(0));
    const Setup setup = layout == Layout::Pile ? Setup::pile(count) : Setup::drop(count);
    state.SetLabel(layout == Layout::Pile ? "ODE turns the balls, damps their turn and motion and solves contacts as constraints "
                                            "(QuickStep, 20 iterations)"
                                          : "ODE turns the balls and solves contacts as constraints (QuickStep, 20 iterations)");
    stepScene(state, setup, [&] { return std::make_unique<OdeScene>(setup); });
}

void Step_Ode(benchmark::State& state)
{
    stepOde(state, Layout::Drop);
}
void Pile_Ode(benchmark::State& state)
{
    stepOde(state, Layout::Pile);
}

// ---- Bullet -----------------------------------------------------------------------------

struct BulletScene
{
    BulletScene(int count, bool resting) : BulletScene(Setup::drop(count), resting) {}

    BulletScene(const Setup& setup, bool resting = false)
        : dispatcher(&configuration), world(&dispatcher, &broadphase, &solver, &configuration),
          floorShape(btVector3(0, 0, 1), 0), ballShape(RADIUS)
    {
        const int count = setup.count;
        world.setGravity(btVector3(0, 0, -9.81f));
        floor = std::make_unique<btRigidBody>(0.0f, nullptr, &floorShape);
        floor->setRestitution(0.5f);
        floor->setFriction(0.5f);
        world.addRigidBody(floor.get());
        if (setup.wall > 0) {
            // Each wall's normal points into the box: n . p = -wall on the wall.
            for (const btVector3& normal : {btVector3(-1, 0, 0), btVector3(1, 0, 0), btVector3(0, -1, 0),
                                            btVector3(0, 1, 0)}) {
                wallShapes.push_back(std::make_unique<btStaticPlaneShape>(normal, -setup.wall));
                walls.push_back(std::make_unique<btRigidBody>(0.0f, nullptr, wallShapes.back().get()));
                walls.back()->setRestitution(0.5f);
                walls.back()->setFriction(0.5f);
                world.addRigidBody(walls.back().get());
            }
        }
        btVector3 inertia;
        ballShape.calculateLocalInertia(1.0f, inertia);
        for (int i = 0; i < count; ++i) {
            const Vector3 p = setup.start(i);
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
        for (auto& wall : walls) {
            world.removeRigidBody(wall.get());
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
    std::vector<std::unique_ptr<btStaticPlaneShape>> wallShapes;
    std::vector<std::unique_ptr<btRigidBody>> walls;
    std::vector<std::unique_ptr<btDefaultMotionState>> states;
    std::vector<std::unique_ptr<btRigidBody>> bodies;
};

// The settled pile's mean height in each engine (ours, ODE, Bullet), from one untimed run each, once
// per N.
const std::vector<float>& pileHeights(int count)
{
    static std::map<int, std::vector<float>> heights;
    std::vector<float>& entry = heights[count];
    if (entry.empty()) {
        const Setup setup = Setup::pile(count);
        OurScene ours(setup, Simulator::INTEGRATOR_RALSTON);
        OdeScene ode(setup);
        BulletScene bullet(setup);
        for (int step = 0; step < setup.steps(); ++step) {
            ours.step();
            ode.step();
            bullet.step();
        }
        entry = {meanHeight(ours.positions()), meanHeight(ode.positions()), meanHeight(bullet.positions())};
    }
    return entry;
}

// A peer's heap as high as ours, within PILE_HEIGHT; `engine` 1 is ODE, 2 Bullet.
bool pileAsHighAsOurs(benchmark::State& state, int engine)
{
    const std::vector<float>& heights = pileHeights(static_cast<int>(state.range(0)));
    state.counters["mean_height"] = heights[static_cast<size_t>(engine)];
    state.counters["ours_mean_height"] = heights[0];
    if (std::fabs(heights[static_cast<size_t>(engine)] - heights[0]) > PILE_HEIGHT) {
        state.SkipWithError("the heap settled at another height than ours");
        return false;
    }
    return true;
}

void stepBullet(benchmark::State& state, Layout layout)
{
    if (layout == Layout::Pile && !pileAsHighAsOurs(state, 2)) {
        return;
    }
    const int count = static_cast<int>(state.range(0));
    const Setup setup = layout == Layout::Pile ? Setup::pile(count) : Setup::drop(count);
    state.SetLabel("Bullet turns the balls and solves contacts by sequential impulses (10 iterations)");
    stepScene(state, setup, [&] { return std::make_unique<BulletScene>(setup); });
}

void Step_Bullet(benchmark::State& state)
{
    stepBullet(state, Layout::Drop);
}
void Pile_Bullet(benchmark::State& state)
{
    stepBullet(state, Layout::Pile);
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
#define PILE_SIZES Arg(100)->Arg(300)->Unit(benchmark::kMillisecond)
BENCHMARK(Pile_Ours_Ralston)->PILE_SIZES;
BENCHMARK(Pile_Ode)->PILE_SIZES;
BENCHMARK(Pile_Bullet)->PILE_SIZES;
BENCHMARK(Trace_Ours)->Arg(10)->Arg(100)->Arg(1000)->Unit(benchmark::kMicrosecond);
BENCHMARK(Trace_Ode)->Arg(10)->Arg(100)->Arg(1000)->Unit(benchmark::kMicrosecond);
BENCHMARK(Trace_Bullet)->Arg(10)->Arg(100)->Arg(1000)->Unit(benchmark::kMicrosecond);
