#pragma once

#include "core/IntrusivePointer.h"
#include "scene/BaseComponent.h"
#include "scene/Bound.h"
#include "scene/Node.h"
#include "scene/Scene.h"
#include "scene/Spacial.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace scenetest {

template <class T> using Pointer = rezezaz::core::IntrusivePointer<T>;

// A component that reports itself active as told and records its updates.
class ProbeComponent : public rezezaz::scene::BaseComponent
{
public:
    explicit ProbeComponent(const char* name = "", std::vector<std::string>* trace = nullptr) : trace(trace)
    {
        setName(rezezaz::core::String(name));
    }

    void logicUpdate(int dt, int) override
    {
        ++logicUpdates;
        lastDT = dt;
        if (trace != nullptr) {
            trace->push_back(std::string("logic ") + getName().c_str());
        }
    }
    void frameUpdate(int dt, int) override
    {
        ++frameUpdates;
        lastDT = dt;
        if (trace != nullptr) {
            trace->push_back(std::string("frame ") + getName().c_str());
        }
    }
    bool getActive() override { return active; }

    bool active = false;
    int logicUpdates = 0;
    int frameUpdates = 0;
    int lastDT = -1;
    std::vector<std::string>* trace;
};

// A spacial component with a fixed local bound, carried into its node's frame.
class BoxComponent : public rezezaz::scene::BaseComponent, public rezezaz::scene::Spacial
{
public:
    explicit BoxComponent(const rezezaz::core::math::AABox& box) { bound->setBox(box); }

    void parentChanged(rezezaz::scene::Node* node) override
    {
        if (parent != nullptr) {
            parent->spacialRemoved(this);
        }
        BaseComponent::parentChanged(node);
        if (parent != nullptr) {
            parent->spacialAttached(this);
        }
    }
    rezezaz::scene::Transform* getTransform() override { return nullptr; }
    rezezaz::scene::Transform* getWorldTransform() override { return nullptr; }
    rezezaz::scene::Bound* getBound() override { return bound.get(); }
    rezezaz::scene::Bound* getWorldBound() override { return worldBound.get(); }
    void transformChanged(rezezaz::scene::Transform* transform) override
    {
        ++transformChanges;
        lastTransform = transform;
        if (parent != nullptr) {
            worldBound->transform(*bound, *parent->getWorldTransform());
        }
    }

    Pointer<rezezaz::scene::Bound> bound{new rezezaz::scene::Bound()};
    Pointer<rezezaz::scene::Bound> worldBound{new rezezaz::scene::Bound()};
    int transformChanges = 0;
    rezezaz::scene::Transform* lastTransform = nullptr;
};

// A scene without an engine; torn down explicitly, as its nodes hold it.
class SceneFixture : public ::testing::Test
{
protected:
    ~SceneFixture() override { scene->destroy(); }

    Pointer<rezezaz::scene::Node> newNode(rezezaz::scene::Node* parent = nullptr, const char* name = "")
    {
        Pointer<rezezaz::scene::Node> node(new rezezaz::scene::Node(scene.get()));
        node->setName(rezezaz::core::String(name));
        if (parent != nullptr) {
            parent->attach(node.get());
        }
        return node;
    }

    rezezaz::scene::Node* root() const { return scene->getRoot(); }

    Pointer<rezezaz::scene::Scene> scene{new rezezaz::scene::Scene(nullptr, 0.001f)};
};

inline rezezaz::core::math::AABox box(float x0, float y0, float z0, float x1, float y1, float z1)
{
    rezezaz::core::math::AABox b;
    b.minimum = rezezaz::core::math::Vector3(x0, y0, z0);
    b.maximum = rezezaz::core::math::Vector3(x1, y1, z1);
    return b;
}

} // namespace scenetest
