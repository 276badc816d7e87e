#pragma once

// A small world for the physics tests: a simulator, an infinite-mass floor whose top face is the
// plane z = 0, and bodies dropped onto it, stepped by a fixed number of milliseconds; plus the
// recording listener, manager and traceable that the tests watch the simulator through.

#include "core/IntrusivePointer.h"
#include "core/math/Math.h"
#include "physics/Collision.h"
#include "physics/CollisionListener.h"
#include "physics/Constraint.h"
#include "physics/Manager.h"
#include "physics/Shape.h"
#include "physics/Simulator.h"
#include "physics/Solid.h"
#include "physics/Traceable.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

namespace physicstest {

using namespace rezezaz::core::math;
using rezezaz::core::IntrusivePointer;
using rezezaz::physics::Collision;
using rezezaz::physics::CollisionListener;
using rezezaz::physics::Constraint;
using rezezaz::physics::Manager;
using rezezaz::physics::Shape;
using rezezaz::physics::Simulator;
using rezezaz::physics::Solid;
using rezezaz::physics::Traceable;

inline std::string describe(const Vector3& v)
{
    std::ostringstream text;
    text << "(" << v.x << ", " << v.y << ", " << v.z << ")";
    return text.str();
}

inline ::testing::AssertionResult near(const Vector3& actual, const Vector3& expected, float tolerance = 1e-4f)
{
    if (std::fabs(actual.x - expected.x) <= tolerance && std::fabs(actual.y - expected.y) <= tolerance &&
        std::fabs(actual.z - expected.z) <= tolerance) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << describe(actual) << " is not " << describe(expected);
}

inline IntrusivePointer<Shape> boxShape(const Vector3& minimum, const Vector3& maximum)
{
    return IntrusivePointer<Shape>(new Shape(AABox(minimum, maximum)));
}

inline IntrusivePointer<Shape> sphereShape(const Vector3& origin, float radius)
{
    return IntrusivePointer<Shape>(new Shape(Sphere(origin, radius)));
}

// The six faces of the box from minimum to maximum, outward normals, in the order +X -X +Y -Y +Z -Z.
inline ConvexSolid boxPlanes(const Vector3& minimum, const Vector3& maximum)
{
    const Plane planes[] = {
        Plane(Vector3(1, 0, 0), maximum.x),  Plane(Vector3(-1, 0, 0), -minimum.x),
        Plane(Vector3(0, 1, 0), maximum.y),  Plane(Vector3(0, -1, 0), -minimum.y),
        Plane(Vector3(0, 0, 1), maximum.z),  Plane(Vector3(0, 0, -1), -minimum.z),
    };
    return ConvexSolid(planes, 6);
}

// Keeps every collision it is told about.
class RecordingListener : public CollisionListener
{
public:
    void collision(const Collision& collision) override
    {
        received.push_back(collision);
        if (onCollision) {
            onCollision(collision);
        }
    }

    std::vector<Collision> received;
    std::function<void(const Collision&)> onCollision;
};

// A user volume that answers with whatever the test set and remembers how it was asked.
class ScriptedTraceable : public Traceable
{
public:
    void getBound(AABox& result) override { result = bound; }

    void traceSegment(Collision& result, const Vector3& position, const Segment& segment) override
    {
        ++segmentTraces;
        lastPosition = position;
        lastSegment = segment;
        answer(result);
    }

    void traceSolid(Collision& result, Solid* solid, const Vector3& position, const Segment& segment) override
    {
        ++solidTraces;
        lastSolid = solid;
        lastPosition = position;
        lastSegment = segment;
        answer(result);
        if (fillSolids) {
            result.hitSolid = owner;
            result.sourceSolid = solid;
        }
    }

    AABox bound{Vector3(-1, -1, -1), Vector3(1, 1, 1)};
    float time = 1.0f;
    Vector3 point;
    Vector3 normal;
    int32_t scope = 0;
    // When set, a solid trace names owner as struck and the traced solid as source, as a user volume
    // tracing on behalf of its solid does.
    bool fillSolids = false;
    Solid* owner = nullptr;

    int segmentTraces = 0;
    int solidTraces = 0;
    Solid* lastSolid = nullptr;
    Vector3 lastPosition;
    Segment lastSegment;

private:
    void answer(Collision& result) const
    {
        result.time = time;
        if (time < 1.0f) {
            result.point = point;
            result.normal = normal;
        }
        result.scope = scope;
    }
};

// Records the hooks in order; answers the candidate search with a fixed count when asked to.
class RecordingManager : public Manager
{
public:
    int findSolidsInAABox(const AABox& box, Solid** solids, int maxSolids) override
    {
        lastBox = box;
        if (answerCount == -1) {
            return -1;
        }
        for (int i = 0; i < maxSolids && i < static_cast<int>(offered.size()); ++i) {
            solids[i] = offered[static_cast<size_t>(i)];
        }
        return answerCount;
    }

    void traceSegment(Collision& result, const Segment&, int) override { world(result); }
    void traceSolid(Collision& result, Solid*, const Segment&, int) override { world(result); }

    void preUpdate(int dt, float) override { events.push_back("preUpdate " + std::to_string(dt)); }
    void postUpdate(int dt, float) override { events.push_back("postUpdate " + std::to_string(dt)); }
    void preUpdate(Solid*, int, float) override { events.push_back("preUpdate solid"); }
    void intraUpdate(Solid*, int, float) override { events.push_back("intraUpdate solid"); }
    bool collisionResponse(Solid*, Vector3&, Vector3&, Collision&) override
    {
        events.push_back("collisionResponse");
        return handleResponse;
    }
    void postUpdate(Solid*, int, float) override { events.push_back("postUpdate solid"); }

    int answerCount = -1;
    std::vector<Solid*> offered;
    AABox lastBox;
    bool handleResponse = false;
    // The world's answer: time 1 = nothing there.
    float worldTime = 1.0f;
    Vector3 worldPoint;
    Vector3 worldNormal;
    std::vector<std::string> events;

private:
    void world(Collision& result) const
    {
        result.time = worldTime;
        if (worldTime < 1.0f) {
            result.point = worldPoint;
            result.normal = worldNormal;
        }
    }
};

// A simulator with a floor: an infinite-mass box from (-50, -50, -1) to (50, 50, 0) that gravity
// does not move. The floor is struck but strikes nothing itself, so every collision recorded is a
// body's.
class World
{
public:
    World() : simulator(new Simulator())
    {
        floor = new Solid();
        floor->setInfiniteMass();
        floor->setGravityCoefficient(0.0f);
        floor->setCollideWithScope(0);
        floor->addShape(boxShape(Vector3(-50, -50, -1), Vector3(50, 50, 0)).get());
        simulator->addSolid(floor.get());
    }

    // A sphere of the radius, centred at the position (its origin at the solid's position).
    Solid* addBall(const Vector3& position, float radius = 0.5f)
    {
        IntrusivePointer<Solid> ball(new Solid());
        ball->addShape(sphereShape(Vector3(), radius).get());
        ball->setPosition(position);
        simulator->addSolid(ball.get());
        bodies.push_back(ball);
        return ball.get();
    }

    // A cube of the half size, centred at the position.
    Solid* addBlock(const Vector3& position, float half = 0.5f)
    {
        IntrusivePointer<Solid> block(new Solid());
        block->addShape(boxShape(Vector3(-half, -half, -half), Vector3(half, half, half)).get());
        block->setPosition(position);
        simulator->addSolid(block.get());
        bodies.push_back(block);
        return block.get();
    }

    void step(int count = 1, int dt = 16, int scope = 0)
    {
        for (int i = 0; i < count; ++i) {
            simulator->update(dt, scope, nullptr);
        }
    }

    IntrusivePointer<Simulator> simulator;
    IntrusivePointer<Solid> floor;
    std::vector<IntrusivePointer<Solid>> bodies;
};

} // namespace physicstest
