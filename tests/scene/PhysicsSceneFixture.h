#pragma once

// A scene with bodies: a floor and balls as physics nodes under the root, with the recording
// listener and the scripted world geometry that the physics tests watch the bridge through.

#include "SceneFixture.h"
#include "core/math/Math.h"
#include "physics/Simulator.h"
#include "physics/Solid.h"
#include "scene/PhysicsCollision.h"
#include "scene/PhysicsCollisionListener.h"
#include "scene/PhysicsTraceable.h"
#include "scene/SimulatorPhysicsComponent.h"
#include "scene/SimulatorPhysicsManager.h"

#include <cmath>
#include <sstream>
#include <string>
#include <vector>

namespace scenetest {

using rezezaz::core::math::AABox;
using rezezaz::core::math::Segment;
using rezezaz::core::math::Sphere;
using rezezaz::core::math::Vector3;
using rezezaz::scene::PhysicsCollision;
using rezezaz::scene::SimulatorPhysicsComponent;
using rezezaz::scene::SimulatorPhysicsManager;

inline std::string describe(const Vector3& v)
{
    std::ostringstream text;
    text << "(" << v.x << ", " << v.y << ", " << v.z << ")";
    return text.str();
}

inline ::testing::AssertionResult near(const Vector3& actual, const Vector3& expected,
                                       float tolerance = 1e-5f)
{
    if (std::fabs(actual.x - expected.x) <= tolerance && std::fabs(actual.y - expected.y) <= tolerance &&
        std::fabs(actual.z - expected.z) <= tolerance) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << describe(actual) << " is not " << describe(expected);
}

inline Pointer<rezezaz::scene::Bound> boxBound(const AABox& value)
{
    Pointer<rezezaz::scene::Bound> bound(new rezezaz::scene::Bound());
    bound->setBox(value);
    return bound;
}

inline Pointer<rezezaz::scene::Bound> sphereBound(const Vector3& origin, float radius)
{
    Pointer<rezezaz::scene::Bound> bound(new rezezaz::scene::Bound());
    bound->setSphere(Sphere(origin, radius));
    return bound;
}

// Keeps every collision it hears.
class RecordingCollisionListener : public rezezaz::scene::PhysicsCollisionListener
{
public:
    void collision(const PhysicsCollision& collision) override { received.push_back(collision); }

    std::vector<PhysicsCollision> received;
};

// World geometry that answers with whatever the test set and remembers how it was asked.
class ScriptedPhysicsTraceable : public rezezaz::core::Object, public rezezaz::scene::PhysicsTraceable
{
public:
    int32_t retain() override { return rezezaz::core::Object::retain(); }
    int32_t release() override { return rezezaz::core::Object::release(); }

    rezezaz::scene::Bound* getPhysicsBound() override { return bound.get(); }
    void traceSegment(PhysicsCollision& result, const Vector3& position, const Segment& segment,
                      const Vector3& size) override
    {
        ++traces;
        lastPosition = position;
        lastSegment = segment;
        lastSize = size;
        result.time = time;
        result.point = point;
        result.normal = normal;
        result.scope = scope;
    }

    Pointer<rezezaz::scene::Bound> bound;
    float time = 1.0f;
    Vector3 point;
    Vector3 normal;
    int32_t scope = 0;

    int traces = 0;
    Vector3 lastPosition;
    Segment lastSegment;
    Vector3 lastSize;
};

class PhysicsSceneFixture : public SceneFixture
{
protected:
    SimulatorPhysicsManager* physics() const
    {
        return static_cast<SimulatorPhysicsManager*>(scene->getPhysicsManager());
    }
    rezezaz::physics::Simulator* simulator() const { return physics()->getSimulator(); }

    // A physics node under parent (the root when null) with the given bound as its shape (none when
    // null), placed at position before it is attached.
    SimulatorPhysicsComponent* newBody(const Vector3& position, rezezaz::scene::Bound* shape,
                                       rezezaz::scene::Node* parent = nullptr, const char* name = "")
    {
        Pointer<rezezaz::scene::Node> node = newNode(nullptr, name);
        Pointer<rezezaz::scene::PhysicsComponent> made = physics()->createPhysicsComponent();
        auto* component = static_cast<SimulatorPhysicsComponent*>(made.get());
        if (shape != nullptr) {
            component->setBound(shape);
        }
        component->setPosition(position);
        node->attach(made.get());
        (parent != nullptr ? parent : root())->attach(node.get());
        return component;
    }

    SimulatorPhysicsComponent* newBall(const Vector3& position, float radius = 0.5f,
                                       const char* name = "ball")
    {
        return newBody(position, sphereBound(Vector3(), radius).get(), nullptr, name);
    }

    // An immovable box from (-50, -50, -1) to (50, 50, 0) that strikes nothing itself.
    SimulatorPhysicsComponent* newFloor()
    {
        SimulatorPhysicsComponent* floor =
            newBody(Vector3(), boxBound(box(-50, -50, -1, 50, 50, 0)).get(), nullptr, "floor");
        floor->setMass(rezezaz::physics::Solid::INFINITE_MASS);
        floor->setGravity(0.0f);
        floor->setCollideWithScope(0);
        return floor;
    }
};

} // namespace scenetest
