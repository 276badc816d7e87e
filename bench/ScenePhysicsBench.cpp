// A logic step of a scene through its physics bridge beside the bare simulator's update on the same
// solids: a floor and N balls of radius 0.5 on a grid 1.5 apart, dropped from 1 to 2.5, gravity
// -9.81, 50 ms steps (the scene's own), kept awake so that every step sweeps every ball. The scene
// adds to the bare step: the components' hand-over before and after it, the interpolated frame that
// writes every node's place and bound, and the candidate search of each sweep, which the bridge
// answers from the simulator's own index of the root's physics solids (its grid from 32 solids on,
// as for the bare simulator) and then keeps only shaped solids of physics nodes. Both worlds are
// first stepped side by side through the drop and must agree exactly, step for step; the timed steps
// then run on the resting, awake balls. Step_SceneOwnSearch is the scene with the search handed back
// to the simulator altogether, which shows what the bridge's own search adds to it.

#include "DropPoints.h"
#include "core/IntrusivePointer.h"
#include "core/math/Vector3.h"
#include "physics/Shape.h"
#include "physics/Simulator.h"
#include "physics/Solid.h"
#include "scene/Bound.h"
#include "scene/Node.h"
#include "scene/PhysicsComponent.h"
#include "scene/Scene.h"
#include "scene/SimulatorPhysicsComponent.h"
#include "scene/SimulatorPhysicsManager.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <vector>

namespace {

using rezezaz::core::IntrusivePointer;
using rezezaz::core::math::AABox;
using rezezaz::core::math::Sphere;
using rezezaz::core::math::Vector3;
using rezezaz::physics::Shape;
using rezezaz::physics::Simulator;
using rezezaz::physics::Solid;
using rezezaz::scene::Bound;
using rezezaz::scene::Node;
using rezezaz::scene::Scene;
using rezezaz::scene::SimulatorPhysicsComponent;
using rezezaz::scene::SimulatorPhysicsManager;

constexpr int STEP_MS = 50;
constexpr int CHECKED_STEPS = 60;
constexpr float RADIUS = 0.5f;

using benchdata::dropPoint;

const AABox FLOOR(Vector3(-1000, -1000, -10), Vector3(1000, 1000, 0));

// The bridge with the candidate search handed back to the simulator.
class OwnSearchPhysicsManager : public SimulatorPhysicsManager
{
public:
    using SimulatorPhysicsManager::SimulatorPhysicsManager;

    int findSolidsInAABox(const AABox&, Solid**, int) override { return -1; }
};

// The same floor and balls twice: as physics nodes of a scene and as bare solids of a simulator.
struct Worlds
{
    Worlds(int count, bool ownSearch) : scene(new Scene(nullptr, 0.001f)), bare(new Simulator())
    {
        if (ownSearch) {
            scene->setPhysicsManager(
                IntrusivePointer<OwnSearchPhysicsManager>(new OwnSearchPhysicsManager(scene.get())).get());
        }
        auto* physics = static_cast<SimulatorPhysicsManager*>(scene->getPhysicsManager());
        // The bridge sets the bounce threshold from the gravity.
        bare->setMicroCollisionThreshold(physics->getSimulator()->getMicroCollisionThreshold());

        IntrusivePointer<Bound> floorBound(new Bound());
        floorBound->setBox(FLOOR);
        SimulatorPhysicsComponent* floor = addBody(floorBound.get(), Vector3());
        floor->setMass(Solid::INFINITE_MASS);
        floor->setGravity(0.0f);
        floor->setCollideWithScope(0);
        IntrusivePointer<Solid> bareFloor(new Solid());
        bareFloor->addShape(IntrusivePointer<Shape>(new Shape(FLOOR)).get());
        bareFloor->setMass(Solid::INFINITE_MASS);
        bareFloor->setGravityCoefficient(0.0f);
        bareFloor->setCollideWithScope(0);
        bare->addSolid(bareFloor.get());

        IntrusivePointer<Bound> ballBound(new Bound());
        ballBound->setSphere(Sphere(Vector3(), RADIUS));
        for (int i = 0; i < count; ++i) {
            SimulatorPhysicsComponent* ball = addBody(ballBound.get(), dropPoint(i, count));
            ball->getSolid()->setStayActive(true);
            balls.push_back(ball);
            IntrusivePointer<Solid> bareBall(new Solid());
            bareBall->addShape(IntrusivePointer<Shape>(new Shape(Sphere(Vector3(), RADIUS))).get());
            bareBall->setPosition(dropPoint(i, count));
            bareBall->setStayActive(true);
            bare->addSolid(bareBall.get());
            bareBalls.push_back(bareBall);
        }
    }

    ~Worlds() { scene->destroy(); }

    SimulatorPhysicsComponent* addBody(Bound* bound, const Vector3& position)
    {
        auto* physics = static_cast<SimulatorPhysicsManager*>(scene->getPhysicsManager());
        IntrusivePointer<rezezaz::scene::PhysicsComponent> made = physics->createPhysicsComponent();
        auto* body = static_cast<SimulatorPhysicsComponent*>(made.get());
        body->setBound(bound);
        body->setPosition(position);
        IntrusivePointer<Node> node(new Node(scene.get()));
        node->attach(made.get());
        scene->getRoot()->attach(node.get());
        return body;
    }

    void stepBare() { bare->update(STEP_MS, -1, nullptr); }
    void stepScene() { scene->update(STEP_MS); }

    // Through the drop side by side: every ball at the same place after every step, and resting on
    // the floor under where it was dropped at the end.
    bool agree()
    {
        for (int step = 0; step < CHECKED_STEPS; ++step) {
            stepBare();
            stepScene();
            for (size_t i = 0; i < balls.size(); ++i) {
                const Vector3& a = balls[i]->getPosition();
                const Vector3& b = bareBalls[i]->getPosition();
                if (a.x != b.x || a.y != b.y || a.z != b.z) {
                    return false;
                }
            }
        }
        for (size_t i = 0; i < balls.size(); ++i) {
            const Vector3 start = dropPoint(static_cast<int>(i), static_cast<int>(balls.size()));
            const Vector3& p = balls[i]->getPosition();
            if (std::fabs(p.z - RADIUS) > 0.05f || std::fabs(p.x - start.x) > 0.05f ||
                std::fabs(p.y - start.y) > 0.05f) {
                return false;
            }
        }
        return true;
    }

    IntrusivePointer<Scene> scene;
    std::vector<SimulatorPhysicsComponent*> balls;
    IntrusivePointer<Simulator> bare;
    std::vector<IntrusivePointer<Solid>> bareBalls;
};

void report(benchmark::State& state)
{
    state.counters["solids"] = static_cast<double>(state.range(0));
    state.counters["s_per_solid"] =
        benchmark::Counter(static_cast<double>(state.range(0)),
                           benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void Step_Bare(benchmark::State& state)
{
    Worlds worlds(static_cast<int>(state.range(0)), false);
    if (!worlds.agree()) {
        state.SkipWithError("the scene's bodies left the bare simulator's path");
        return;
    }
    for (auto _ : state) {
        worlds.stepBare();
    }
    report(state);
}

void stepScene(benchmark::State& state, bool ownSearch)
{
    Worlds worlds(static_cast<int>(state.range(0)), ownSearch);
    if (!worlds.agree()) {
        state.SkipWithError("the scene's bodies left the bare simulator's path");
        return;
    }
    for (auto _ : state) {
        worlds.stepScene();
    }
    report(state);
}

void Step_Scene(benchmark::State& state)
{
    stepScene(state, false);
}

void Step_SceneOwnSearch(benchmark::State& state)
{
    stepScene(state, true);
}

} // namespace

// Interleaved by size, so that each pair runs under the same load.
BENCHMARK(Step_Bare)->Arg(10)->Unit(benchmark::kMicrosecond);
BENCHMARK(Step_Scene)->Arg(10)->Unit(benchmark::kMicrosecond);
BENCHMARK(Step_SceneOwnSearch)->Arg(10)->Unit(benchmark::kMicrosecond);
BENCHMARK(Step_Bare)->Arg(100)->Unit(benchmark::kMicrosecond);
BENCHMARK(Step_Scene)->Arg(100)->Unit(benchmark::kMicrosecond);
BENCHMARK(Step_SceneOwnSearch)->Arg(100)->Unit(benchmark::kMicrosecond);
BENCHMARK(Step_Bare)->Arg(1000)->Unit(benchmark::kMicrosecond);
BENCHMARK(Step_Scene)->Arg(1000)->Unit(benchmark::kMicrosecond);
BENCHMARK(Step_SceneOwnSearch)->Arg(1000)->Unit(benchmark::kMicrosecond);
