#include "SceneFixture.h"

#include "core/Logger.h"
#include "scene/Camera.h"
#include "scene/NodeManager.h"
#include "scene/UpdateListener.h"
#include "support/LogRecorder.h"

using namespace scenetest;
using rezezaz::scene::Node;
using rezezaz::scene::Scene;

namespace {

// Records the scene's six steps with their dt.
class StepRecorder : public rezezaz::scene::UpdateListener
{
public:
    void preLogicUpdate(int) override {}
    void logicUpdate(int dt) override { steps.push_back("logic " + std::to_string(dt)); }
    void postLogicUpdate(int) override {}
    void preFrameUpdate(int) override {}
    void frameUpdate(int dt) override { steps.push_back("frame " + std::to_string(dt)); }
    void postFrameUpdate(int) override {}

    std::vector<std::string> steps;
};

class SceneTest : public SceneFixture
{
protected:
    std::vector<std::string> steps(int dt)
    {
        scene->update(dt);
        std::vector<std::string> taken = std::move(recorder.steps);
        recorder.steps.clear();
        return taken;
    }

    StepRecorder recorder;
};

using Steps = std::vector<std::string>;

TEST_F(SceneTest, LogicRunsInWholeStepsOfFiftyMilliseconds)
{
    scene->setUpdateListener(&recorder);
    EXPECT_EQ(steps(33), (Steps{"frame 33"}));
    EXPECT_FLOAT_EQ(scene->getLogicFraction(), 0.66f);
    EXPECT_EQ(scene->getTime(), 33);
    EXPECT_EQ(steps(33), (Steps{"logic 50", "frame 33"}));
    EXPECT_EQ(scene->getAccumulatedDT(), 16);
    EXPECT_EQ(scene->getLogicTime(), 50);
    EXPECT_EQ(scene->getLogicFrame(), 1);
    EXPECT_EQ(scene->getFrame(), 2);

    scene->setLogicTimeAndFrame(0, 0);
    EXPECT_EQ(steps(120), (Steps{"logic 50", "frame 0", "logic 50", "frame 120"}));
    EXPECT_EQ(scene->getAccumulatedDT(), 20);
    EXPECT_EQ(scene->getLogicTime(), 100);
    EXPECT_EQ(scene->getLogicFrame(), 2);
    EXPECT_EQ(scene->getFrame(), 1);
}

TEST_F(SceneTest, ExcessiveFrameTimeIsLoggedAndDropped)
{
    support::LogRecorder logs;
    scene->setUpdateListener(&recorder);
    EXPECT_EQ(steps(501), Steps{});
    EXPECT_TRUE(logs.has("rezezaz.scene", rezezaz::core::Logger::ALERT, "skipping excessive dt:501"));
    EXPECT_EQ(scene->getFrame(), 0);
    EXPECT_EQ(scene->getTime(), 0);
    // Ten steps of 50 with a frame step of 0 between each, then the frame.
    EXPECT_EQ(steps(500).size(), 20u);
    EXPECT_EQ(scene->getLogicTime(), 500);

    scene->setExcessiveDT(0);
    scene->setRangeLogicDT(5000, 5000);
    EXPECT_EQ(steps(5000), (Steps{"logic 5000", "frame 5000"}));
}

TEST_F(SceneTest, VariableLogicSteps)
{
    scene->setUpdateListener(&recorder);
    scene->setRangeLogicDT(0, 0);
    EXPECT_EQ(steps(17), (Steps{"logic 17", "frame 17"}));
    EXPECT_EQ(steps(3), (Steps{"logic 3", "frame 3"}));
    EXPECT_FLOAT_EQ(scene->getLogicFraction(), 0.0f);

    // Only once 50 ms have gathered, then one step of the last dt; the rest is dropped.
    scene->setRangeLogicDT(50, 0);
    EXPECT_EQ(steps(30), (Steps{"frame 30"}));
    EXPECT_EQ(steps(30), (Steps{"logic 30", "frame 30"}));
    EXPECT_EQ(scene->getAccumulatedDT(), 0);
    EXPECT_EQ(scene->getLogicTime(), 50);
}

TEST_F(SceneTest, StepsReachTheNodesAndDestroyDeferredComponentsOnce)
{
    std::vector<std::string> trace;
    Pointer<Node> node = newNode(root());
    Pointer<ProbeComponent> probe(new ProbeComponent("probe", &trace));
    Pointer<ProbeComponent> background(new ProbeComponent("background", &trace));
    node->attach(probe.get());
    scene->getBackground()->attach(background.get());

    scene->update(50);
    EXPECT_EQ(trace, (std::vector<std::string>{"logic background", "logic probe", "frame background",
                                               "frame probe"}));
    scene->destroy(probe.get());
    scene->destroy(probe.get());
    EXPECT_EQ(node->getComponents().size(), 1);
    scene->update(50);
    EXPECT_EQ(node->getComponents().size(), 0);
    EXPECT_EQ(probe->getParent(), nullptr);
    EXPECT_EQ(probe->logicUpdates, 2);
}

// Reads the scene's reset flag while it updates.
class ResetWatcher : public ProbeComponent
{
public:
    explicit ResetWatcher(Scene* scene) : scene(scene) {}
    void frameUpdate(int dt, int scope) override
    {
        ProbeComponent::frameUpdate(dt, scope);
        sawReset = scene->getResetFrame();
    }
    Scene* scene;
    bool sawReset = false;
};

TEST_F(SceneTest, ContextResetRefreshesTheTree)
{
    Pointer<Node> node = newNode(root());
    Pointer<ResetWatcher> watcher(new ResetWatcher(scene.get()));
    node->attach(watcher.get());
    for (int i = 0; i < 12; ++i) {
        scene->update(50);
    }
    EXPECT_FALSE(node->getActive());

    scene->postContextReset(nullptr);
    EXPECT_TRUE(watcher->sawReset);
    EXPECT_EQ(watcher->lastDT, 0);
    EXPECT_FALSE(scene->getResetFrame());
    EXPECT_TRUE(root()->getActive());
    // The root asks its children awake at the next logic update.
    scene->update(50);
    EXPECT_TRUE(node->getActive());
}

TEST_F(SceneTest, ADestroyedSceneDoesNothing)
{
    Pointer<Node> node = newNode(root());
    Pointer<ProbeComponent> probe(new ProbeComponent());
    node->attach(probe.get());
    scene->setUpdateListener(&recorder);
    scene->destroy();
    EXPECT_EQ(scene->getRoot(), nullptr);
    EXPECT_EQ(scene->getBackground(), nullptr);
    EXPECT_EQ(probe->getParent(), nullptr);

    EXPECT_EQ(steps(50), Steps{});
    scene->logicUpdate(50, -1, nullptr);
    scene->frameUpdate(50, -1, nullptr);
    scene->postContextReset(nullptr);
    Pointer<rezezaz::scene::Camera> camera(new rezezaz::scene::Camera());
    scene->render(nullptr, camera.get(), nullptr);
    EXPECT_EQ(scene->getFrame(), 0);
    // A second destroy is harmless too.
    scene->destroy();
}

TEST_F(SceneTest, ReplacingTheRootDestroysTheOldOne)
{
    Pointer<Node> node = newNode(root());
    Pointer<rezezaz::scene::PartitionNode> fresh(new rezezaz::scene::PartitionNode(scene.get()));
    scene->setRoot(fresh.get());
    EXPECT_EQ(scene->getRoot(), fresh.get());
    EXPECT_EQ(fresh->getRoot(), fresh.get());
    EXPECT_EQ(node->getParent(), nullptr);
    EXPECT_EQ(scene->getNodeManager()->getNode(node->getHandle()), nullptr);
}

} // namespace

TEST_F(SceneTest, ASceneAtRestKeepsItsClocksAndWakesForNewWork)
{
    Pointer<Node> top = newNode(root());
    Pointer<Node> leaf = newNode(top.get());
    for (int i = 0; i < 200 && !top->getSettled(); ++i) {
        scene->update(50);
    }
    ASSERT_TRUE(top->getSettled());
    ASSERT_TRUE(root()->getAtRest());

    scene->setLogicTimeAndFrame(0, 0);
    scene->update(120);
    EXPECT_EQ(scene->getLogicTime(), 100);
    EXPECT_EQ(scene->getLogicFrame(), 2);
    EXPECT_EQ(scene->getFrame(), 1);
    EXPECT_EQ(scene->getAccumulatedDT(), 20);

    // A destroy queued while everything sleeps still runs at the end of the next logic step.
    Pointer<Node> gone = newNode(top.get());
    for (int i = 0; i < 200 && !top->getSettled(); ++i) {
        scene->update(50);
    }
    ASSERT_TRUE(root()->getAtRest());
    scene->destroy(gone.get());
    scene->update(50);
    EXPECT_EQ(gone->getParent(), nullptr);
    EXPECT_EQ(top->getNodes().size(), 1);

    // So does a node attached to the root itself.
    Pointer<Node> beside = newNode(root());
    EXPECT_FALSE(root()->getAtRest());
    for (int i = 0; i < 200 && !root()->getAtRest(); ++i) {
        scene->update(50);
    }
    ASSERT_TRUE(root()->getAtRest());

    // A component attached deep in the sleeping tree runs in the next step.
    std::vector<std::string> trace;
    Pointer<ProbeComponent> probe(new ProbeComponent("probe", &trace));
    leaf->attach(probe.get());
    EXPECT_FALSE(root()->getAtRest());
    scene->update(50);
    EXPECT_EQ(trace, (std::vector<std::string>{"logic probe", "frame probe"}));
}
