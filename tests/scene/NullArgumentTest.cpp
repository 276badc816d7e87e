#include "PhysicsSceneFixture.h"

#include "core/Categories.h"
#include "core/Logger.h"
#include "scene/Camera.h"
#include "scene/MeshComponent.h"
#include "support/LogRecorder.h"
#include "support/Raised.h"

#include <functional>
#include <string>

using namespace scenetest;
using rezezaz::scene::Camera;
using rezezaz::scene::MeshComponent;
using rezezaz::scene::Node;
using support::raised;

namespace {

class NullArgumentTest : public PhysicsSceneFixture
{
};

// Every add, set, remove and destroy of the scene graph that takes an object refuses a null at the
// call, before anything changes, instead of failing later far from the caller. (Where a null has a
// meaning, such as an identity transform, no mesh or no traceable, it is not in this table.)
TEST_F(NullArgumentTest, EveryAddSetRemoveAndDestroyRefusesANullAtTheCall)
{
    Pointer<Node> node = newNode(root(), "node");
    SimulatorPhysicsComponent* body = newBall(Vector3(0, 0, 5));
    Camera camera(nullptr);
    Pointer<MeshComponent> unengined(new MeshComponent(nullptr));
    struct Case
    {
        const char* text;
        std::function<void()> call;
    };
    const Case cases[] = {
        {"Node::attach: null component", [&] { node->attach(nullptr); }},
        {"Node::remove: null component", [&] { node->remove(nullptr); }},
        {"Node::setBound: null bound", [&] { node->setBound(nullptr); }},
        {"Node::componentAttached: null component", [&] { node->componentAttached(nullptr); }},
        {"Node::componentRemoved: null component", [&] { node->componentRemoved(nullptr); }},
        {"Node::nodeAttached: null node", [&] { node->nodeAttached(nullptr); }},
        {"Node::nodeRemoved: null node", [&] { node->nodeRemoved(nullptr); }},
        {"Node::actionAttached: null action", [&] { node->actionAttached(nullptr); }},
        {"Node::actionRemoved: null action", [&] { node->actionRemoved(nullptr); }},
        {"Node::spacialAttached: null spacial", [&] { node->spacialAttached(nullptr); }},
        {"Node::spacialRemoved: null spacial", [&] { node->spacialRemoved(nullptr); }},
        {"Node::visibleAttached: null visible", [&] { node->visibleAttached(nullptr); }},
        {"Node::visibleRemoved: null visible", [&] { node->visibleRemoved(nullptr); }},
        {"Node::animatableAttached: null animatable", [&] { node->animatableAttached(nullptr); }},
        {"Node::animatableRemoved: null animatable", [&] { node->animatableRemoved(nullptr); }},
        {"Node::lightAttached: null light", [&] { node->lightAttached(nullptr); }},
        {"Node::lightRemoved: null light", [&] { node->lightRemoved(nullptr); }},
        {"Node::physicsAttached: null physics", [&] { node->physicsAttached(nullptr); }},
        {"Scene::setRoot: null root", [&] { scene->setRoot(nullptr); }},
        {"Scene::destroy: null component", [&] { scene->destroy(static_cast<rezezaz::scene::Component*>(nullptr)); }},
        {"MeshComponent::setMesh: null engine", [&] { unengined->setMesh(rezezaz::core::String("ball")); }},
        {"Camera::culled: null bound", [&] { camera.culled(static_cast<const rezezaz::scene::Bound*>(nullptr)); }},
        {"SimulatorPhysicsComponent::addCollisionListener: null listener",
         [&] { body->addCollisionListener(nullptr); }},
        {"SimulatorPhysicsComponent::removeCollisionListener: null listener",
         [&] { body->removeCollisionListener(nullptr); }},
        {"SimulatorPhysicsComponent::setBound: null bound", [&] { body->setBound(nullptr); }},
        {"SimulatorPhysicsComponent::addShape: null shape", [&] { body->addShape(nullptr); }},
        {"SimulatorPhysicsComponent::removeShape: null shape", [&] { body->removeShape(nullptr); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        support::LogRecorder log;
        const support::Raised error = raised(c.call);
        EXPECT_EQ(error.code, 3);
        EXPECT_EQ(error.text, c.text);
        EXPECT_TRUE(log.has(rezezaz::core::Categories::REZEZAZ_SCENE.c_str(), rezezaz::core::Logger::ERROR, c.text));
    }

    // Nothing changed, and nothing was left to fail later: the next steps run as before.
    EXPECT_EQ(root()->getNodes().size(), 2);
    EXPECT_EQ(node->getComponents().size(), 0);
    EXPECT_EQ(node->getNumSpacials(), 0);
    EXPECT_EQ(body->getParent()->getPhysics(), body);
    EXPECT_EQ(scene->getRoot(), root());
    EXPECT_EQ(body->getSolid()->getNumShapes(), 1);
    for (int i = 0; i < 3; ++i) {
        scene->update(50);
    }
    EXPECT_LT(body->getPosition().z, 5.0f);
}

} // namespace
