#include "scene/Scene.h"

#include "core/Categories.h"
#include "core/DestroyHeld.h"
#include "core/Log.h"
#include "core/Logger.h"
#include "scene/Arguments.h"
#include "scene/Camera.h"
#include "scene/Engine.h"
#include "scene/NodeManager.h"
#include "scene/PhysicsCollision.h"
#include "scene/PhysicsManager.h"
#include "scene/SimpleRenderManager.h"
#include "scene/SimulatorPhysicsManager.h"
#include "scene/UpdateListener.h"

#include <typeinfo>

namespace rezezaz::scene {

using core::IntrusivePointer;

Scene::Scene(Engine* engine, float epsilon) : epsilon(epsilon), engine(engine)
{
    if (engine != nullptr) {
        engine->addContextListener(this);
    }
    setExcessiveDT(500);
    setRangeLogicDT(50, 50);
    const float grey = 127.0f / 255.0f;
    ambient = core::math::Vector4(grey, grey, grey, 1.0f);
    nodeManager = new NodeManager(this);
    renderManager = new SimpleRenderManager(this);
    setPhysicsManager(new SimulatorPhysicsManager(this));
    background = new PartitionNode(this);
    root = new PartitionNode(this);
    root->rootChanged(root.get());
}

Scene::~Scene() = default;

void Scene::destroy()
{
    // The nodes hold the scene; keep it alive while they go.
    IntrusivePointer<Scene> hold;
    if (root || background) {
        hold = this;
    }
    core::destroyHeld(background);
    core::destroyHeld(root);
    if (engine) {
        engine->removeContextListener(this);
        engine = nullptr;
    }
}

void Scene::setRoot(PartitionNode* newRoot)
{
    requireArgument(newRoot, "Scene::setRoot: null root");
    IntrusivePointer<PartitionNode> keep(newRoot);
    if (root && root != newRoot) {
        root->destroy();
    }
    root = newRoot;
    if (root) {
        root->rootChanged(root.get());
    }
}

void Scene::setRangeLogicDT(int minimum, int maximum)
{
    minLogicDT = minimum;
    maxLogicDT = maximum;
}

void Scene::setLogicTimeAndFrame(int time, int newFrame)
{
    logicTime = time;
    logicFrame = newFrame;
    accumulatedDT = 0;
    frame = 0;
}

float Scene::getLogicFraction() const
{
    if (minLogicDT != 0 && minLogicDT == maxLogicDT) {
        return static_cast<float>(accumulatedDT) / static_cast<float>(minLogicDT);
    }
    return 0.0f;
}

void Scene::setNodeManager(NodeManager* manager)
{
    nodeManager = manager;
}

void Scene::setRenderManager(RenderManager* manager)
{
    renderManager = manager;
}

void Scene::setPhysicsManager(PhysicsManager* manager)
{
    physicsManager = manager;
    auto* const simulating = dynamic_cast<SimulatorPhysicsManager*>(manager);
    plainPhysics = simulating != nullptr && typeid(*simulating) == typeid(SimulatorPhysicsManager) ? simulating : nullptr;
}

void Scene::update(int dt)
{
    if (!root) {
        return;
    }
    if (excessiveDT > 0 && dt > excessiveDT) {
        core::Log::getInstance()->addLogEntry(core::Categories::REZEZAZ_SCENE, core::Logger::ALERT,
                                              core::String("skipping excessive dt:") + dt);
        return;
    }
    // A step of a scene at rest runs nothing that could let go of the scene: nothing is held, nothing
    // runs, only the clocks go on.
    const bool resting = stepsRunNothing();
    const IntrusivePointer<Scene> hold(resting ? nullptr : this);
    accumulatedDT += dt;
    if (accumulatedDT >= minLogicDT) {
        if (maxLogicDT <= 0) {
            accumulatedDT = 0;
            logicTime += dt;
            logicFrame += 1;
            if (!resting) {
                logicStep(dt);
            }
        } else if (accumulatedDT > 0) {
            bool first = true;
            while (accumulatedDT >= minLogicDT) {
                if (!first && !resting) {
                    frameStep(0);
                }
                first = false;
                const int step = maxLogicDT < accumulatedDT ? maxLogicDT : accumulatedDT;
                accumulatedDT -= step;
                if (accumulatedDT < 0) {
                    accumulatedDT = 0;
                }
                logicTime += step;
                logicFrame += 1;
                if (!resting) {
                    logicStep(step);
                }
                if (accumulatedDT <= 0) {
                    break;
                }
            }
        }
    }
    frame += 1;
    if (!resting) {
        frameStep(dt);
    }
}

// Inlined into update, whose frame at rest is little more than this test.
[[gnu::always_inline]] inline bool Scene::nodesAtRest() const
{
    return componentsToDestroy.size() == 0 && root->getAtRest() && (!background || background->getAtRest()) &&
           (plainPhysics != nullptr ? plainPhysics->getWithoutSolids() : !physicsManager || physicsManager->getIdle());
}

[[gnu::always_inline]] inline bool Scene::stepsRunNothing() const
{
    if (updateListener != nullptr) {
        return false;
    }
    // A class of its own may do more in its steps' hooks.
    if (!ownHooksKnown) {
        ownHooks = typeid(*this) == typeid(Scene);
        ownHooksKnown = true;
    }
    return ownHooks && nodesAtRest();
}

void Scene::logicStep(int dt)
{
    if (updateListener != nullptr) {
        updateListener->preLogicUpdate(dt);
        updateListener->logicUpdate(dt);
        updateListener->postLogicUpdate(dt);
    } else {
        preLogicUpdate(dt);
        logicUpdate(dt, -1, nullptr);
        postLogicUpdate(dt);
    }
}

void Scene::frameStep(int dt)
{
    if (updateListener != nullptr) {
        updateListener->preFrameUpdate(dt);
        updateListener->frameUpdate(dt);
        updateListener->postFrameUpdate(dt);
    } else {
        preFrameUpdate(dt);
        frameUpdate(dt, -1, nullptr);
        postFrameUpdate(dt);
    }
}

void Scene::logicUpdate(int dt, int scope, Node* node)
{
    if (!root || (node == nullptr && nodesAtRest())) {
        return;
    }
    IntrusivePointer<Node> hold(node);
    if (physicsManager) {
        physicsManager->logicUpdate(dt, scope, node);
    }
    if (node == nullptr) {
        background->logicUpdate(dt, scope);
        node = root.get();
        hold = node;
    }
    node->logicUpdate(dt, scope);
    // Destroying may queue more; run until nothing is left, each entry once.
    while (componentsToDestroy.size() > 0) {
        IntrusivePointer<Component> component = componentsToDestroy[0];
        componentsToDestroy.remove(component.get());
        component->destroy();
    }
}

void Scene::frameUpdate(int dt, int scope, Node* node)
{
    if (!root || (node == nullptr && nodesAtRest())) {
        return;
    }
    IntrusivePointer<Node> hold(node);
    if (physicsManager) {
        physicsManager->frameUpdate(dt, scope, node);
    }
    if (node == nullptr) {
        background->frameUpdate(dt, scope);
        node = root.get();
        hold = node;
    }
    node->frameUpdate(dt, scope);
}

void Scene::render(render::RenderDevice* device, Camera* camera, Node* node)
{
    if (!root || !renderManager) {
        return;
    }
    if (node == nullptr) {
        node = root.get();
    }
    background->setTranslate(camera->getPosition());
    renderManager->renderScene(device, node, camera);
}

void Scene::traceSegment(PhysicsCollision& result, const core::math::Segment& segment, int scope,
                         Node* ignore)
{
    result.time = 1.0f;
    if (physicsManager) {
        physicsManager->traceSegment(result, segment, scope, ignore);
    }
}

void Scene::destroy(Component* component)
{
    // Refused here: queued, a null would fail at the end of the next logic step, far from the caller.
    requireArgument(component, "Scene::destroy: null component");
    if (componentsToDestroy.findIndex(component) < 0) {
        componentsToDestroy.add(IntrusivePointer<Component>(component));
    }
}

void Scene::postContextReset(render::RenderDevice*)
{
    if (!root) {
        return;
    }
    resetFrame = true;
    root->activate();
    root->frameUpdate(0, -1);
    resetFrame = false;
}

} // namespace rezezaz::scene
