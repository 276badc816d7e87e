#pragma once

#include "core/Collection.h"
#include "core/IntrusivePointer.h"
#include "core/Object.h"
#include "core/math/Segment.h"
#include "core/math/Vector4.h"
#include "scene/Component.h"
#include "scene/ContextListener.h"
#include "scene/PartitionNode.h"

namespace rezezaz::render {
class RenderDevice;
}

namespace rezezaz::scene {

class Camera;
class Engine;
class NodeManager;
class PhysicsManager;
struct PhysicsCollision;
class RenderManager;
class SimulatorPhysicsManager;
class UpdateListener;

// One scene graph driven in time: each `update(dt)` turns the caller's frame time into whole logic
// steps of bounded length plus one frame update, and `render` draws it through a camera. Its nodes
// hold the scene, so a scene is torn down with `destroy()`, after which it does nothing.
class Scene : public core::Object, public ContextListener
{
public:
    Scene(Engine* engine, float epsilon);
    ~Scene() override;

    void destroy() override;

    virtual void setRoot(PartitionNode* root);
    virtual void setExcessiveDT(int dt) { excessiveDT = dt; }
    virtual int getExcessiveDT() const { return excessiveDT; }
    virtual void setRangeLogicDT(int minimum, int maximum);
    virtual int getMinLogicDT() const { return minLogicDT; }
    virtual int getMaxLogicDT() const { return maxLogicDT; }
    virtual void setLogicTimeAndFrame(int time, int frame);
    virtual int getLogicTime() const { return logicTime; }
    virtual int getLogicFrame() const { return logicFrame; }
    virtual float getLogicFraction() const;
    virtual int getTime() const { return logicTime + accumulatedDT; }
    virtual int getFrame() const { return frame; }
    virtual bool getResetFrame() const { return resetFrame; }
    virtual void setUpdateListener(UpdateListener* listener) { updateListener = listener; }
    virtual UpdateListener* getUpdateListener() const { return updateListener; }
    virtual void setNodeManager(NodeManager* manager);
    virtual NodeManager* getNodeManager() const { return nodeManager.get(); }
    virtual void setRenderManager(RenderManager* manager);
    virtual RenderManager* getRenderManager() const { return renderManager.get(); }
    virtual void setPhysicsManager(PhysicsManager* manager);
    virtual PhysicsManager* getPhysicsManager() const { return physicsManager.get(); }
    virtual void setCreateAudio(bool createAudio) { this->createAudio = createAudio; }
    virtual bool getCreateAudio() const { return createAudio; }
    virtual void setEpsilon(float epsilon) { this->epsilon = epsilon; }
    virtual float getEpsilon() const { return epsilon; }
    virtual void update(int dt);
    virtual void preLogicUpdate(int) {}
    virtual void logicUpdate(int dt, int scope, Node* node);
    virtual void postLogicUpdate(int) {}
    virtual void preFrameUpdate(int) {}
    virtual void frameUpdate(int dt, int scope, Node* node);
    virtual void postFrameUpdate(int) {}
    virtual void render(render::RenderDevice* device, Camera* camera, Node* node);
    // Nothing hit (time 1) unless the physics manager finds a hit.
    virtual void traceSegment(PhysicsCollision& result, const core::math::Segment& segment, int scope,
                              Node* ignore);
    // Destroys the component at the end of the current logic step.
    virtual void destroy(Component* component);

    void preContextReset(render::RenderDevice*) override {}
    void postContextReset(render::RenderDevice* device) override;
    void preContextActivate(render::RenderDevice*) override {}
    void postContextActivate(render::RenderDevice*) override {}
    void preContextDeactivate(render::RenderDevice*) override {}
    void postContextDeactivate(render::RenderDevice*) override {}

    Engine* getEngine() const { return engine.get(); }
    PartitionNode* getRoot() const { return root.get(); }
    PartitionNode* getBackground() const { return background.get(); }
    const core::math::Vector4& getAmbient() const { return ambient; }
    void setAmbient(const core::math::Vector4& color) { ambient = color; }
    int getAccumulatedDT() const { return accumulatedDT; }

private:
    // Nothing to destroy, every node asleep with nothing below it to run, and a physics manager with
    // nothing to simulate: the scene's own logic and frame updates would change nothing.
    bool nodesAtRest() const;
    // And no listener or hooks of a class of its own: a whole step would run nothing.
    bool stepsRunNothing() const;
    void logicStep(int dt);
    void frameStep(int dt);

    UpdateListener* updateListener = nullptr;
    int excessiveDT = 500;
    int minLogicDT = 50;
    int maxLogicDT = 50;
    int logicTime = 0;
    int logicFrame = 0;
    int accumulatedDT = 0;
    int frame = 0;
    bool resetFrame = false;
    float epsilon;
    core::IntrusivePointer<Engine> engine;
    core::IntrusivePointer<PartitionNode> background;
    core::IntrusivePointer<PartitionNode> root;
    core::math::Vector4 ambient;
    core::IntrusivePointer<NodeManager> nodeManager;
    core::IntrusivePointer<RenderManager> renderManager;
    core::IntrusivePointer<PhysicsManager> physicsManager;
    // The physics manager when it is of that very class, whose idleness is read without a call; null
    // for any other.
    SimulatorPhysicsManager* plainPhysics = nullptr;
    // Whether the object is of this very class, whose hooks are empty (known once first asked).
    mutable bool ownHooksKnown = false;
    mutable bool ownHooks = false;
    bool createAudio = true;
    core::Collection<core::IntrusivePointer<Component>> componentsToDestroy;
};

} // namespace rezezaz::scene
