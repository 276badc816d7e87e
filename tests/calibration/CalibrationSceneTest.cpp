// The calibration view's scene on its own, with no page or window: the model read from the
// compiled-in files, the pose of each placement of the step table and the moves between them, on an
// engine without a device that makes device-independent buffers and render states.
#include "calibration/view/CalibrationScene.h"
#include "calibration/view/CalibrationSteps.h"
#include "calibration/view/FadeAnimation.h"
#include "calibration/view/PelotuneAnimation.h"
#include "core/IntrusivePointer.h"
#include "render/MaterialState.h"
#include "render/RenderState.h"
#include "scene/Engine.h"
#include "scene/MeshComponent.h"
#include "scene/Node.h"
#include "scene/Transform.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

namespace {

using rezezaz::core::IntrusivePointer;
using rezezaz::scene::Engine;
using rezezaz::scene::MeshComponent;
using rezezaz::scene::Node;

constexpr float kPi = 3.14159265358979f;
constexpr float kTwoPi = 2.0f * kPi;
constexpr int kFrameMs = 33;

float crankAngle(const Node* node)
{
    const auto& q = node->getTransform()->rotate;
    return std::remainder(2.0f * std::atan2(q.y, q.w), kTwoPi);
}

float modelTurn(const Node* node)
{
    const auto& q = node->getTransform()->rotate;
    return std::remainder(2.0f * std::atan2(q.z, q.w), kTwoPi);
}

// The difference of two angles as the shorter way round.
float turnBetween(float a, float b)
{
    return std::fabs(std::remainder(a - b, kTwoPi));
}

MeshComponent* meshOf(const Node* node)
{
    for (const auto& component : node->getComponents()) {
        if (auto* mesh = dynamic_cast<MeshComponent*>(component.get())) {
            return mesh;
        }
    }
    return nullptr;
}

// The view on an engine with the archive of compiled-in files; `backed` lets it make meshes.
struct SceneBench
{
    explicit SceneBench(bool backed = true)
    {
        IntrusivePointer<Engine> engine = CalibrationScene::createEngine(nullptr, nullptr);
        engine->setHasBackableFixed(backed);
        engine->setHasBackableShader(backed);
        view = std::make_unique<CalibrationScene>(engine.get());
    }

    // The parts by their bit in the step table.
    std::vector<std::pair<int, Node*>> parts() const
    {
        return {{CalibrationSteps::BigChain, view->getBigChainNode()},
                {CalibrationSteps::SmallChain, view->getSmallChainNode()},
                {CalibrationSteps::BackArrow, view->getBackArrowNode()},
                {CalibrationSteps::FrontArrow, view->getFrontArrowNode()}};
    }

    // Frames until nothing moves; the count.
    int settle()
    {
        int frames = 0;
        while (frames < 1000 && !view->getAnimations().isEmpty()) {
            view->frame(kFrameMs);
            ++frames;
        }
        return frames;
    }

    // The parts drawn and the crank's angle are those of `parts` and `angle`.
    void expectPose(int parts, float angle) const
    {
        for (const auto& [part, node] : this->parts()) {
            EXPECT_EQ(node->getScope(), (parts & part) != 0 ? -1 : 0) << "part " << part;
        }
        EXPECT_EQ(view->getCrankNode()->getScope(), -1);
        EXPECT_LT(turnBetween(crankAngle(view->getCrankNode()), angle), 1e-4f);
        EXPECT_EQ(view->getShownParts(), parts);
        EXPECT_EQ(view->getShownCrankAngle(), angle);
    }

    std::unique_ptr<CalibrationScene> view;
};

TEST(CalibrationSceneTest, TheModelIsReadWholeAndShowsTheCrankAloneLevel)
{
    SceneBench b;
    const std::vector<Node*> model = {b.view->getCrankNode(), b.view->getBigChainNode(), b.view->getSmallChainNode(),
                                      b.view->getBackArrowNode(), b.view->getFrontArrowNode()};
    const auto& underRoot = b.view->getModelRoot()->getNodes();
    ASSERT_EQ(underRoot.size(), static_cast<int>(model.size()));
    for (std::size_t i = 0; i < model.size(); ++i) {
        Node* node = model[i];
        ASSERT_NE(node, nullptr);
        EXPECT_EQ(underRoot[static_cast<int>(i)].get(), node);
        MeshComponent* mesh = meshOf(node);
        ASSERT_NE(mesh, nullptr);
        EXPECT_NE(mesh->getMesh(), nullptr);
    }
    EXPECT_NE(b.view->getCamera(), nullptr);
    b.expectPose(0, 0.0f);
    // The hidden parts are see-through, the crank opaque.
    for (const auto& [part, node] : b.parts()) {
        rezezaz::render::RenderState* state = meshOf(node)->getSharedRenderState();
        ASSERT_NE(state, nullptr) << part;
        rezezaz::render::MaterialState material;
        ASSERT_TRUE(state->getMaterialState(material));
        EXPECT_EQ(material.diffuse.w, 0.0f) << part;
    }
    EXPECT_TRUE(b.view->getAnimations().isEmpty());
    // With no device nothing is drawn, but the frame plays.
    EXPECT_FALSE(b.view->frame(kFrameMs));
}

TEST(CalibrationSceneTest, EachPressOfTheTableFadesOnlyThePartsThatChangeAndTurnsTheCrankForward)
{
    for (bool four : {false, true}) {
        SCOPED_TRACE(four ? "four readings" : "six readings");
        const CalibrationSteps steps(four);
        SceneBench b;
        int parts = 0;
        float angle = 0.0f;
        for (const CalibrationSteps::Step& row : steps.rows()) {
            SCOPED_TRACE("step " + std::to_string(row.step));
            b.view->moveTo(row.parts, row.crankAngle);
            // One fade per part that changes, from what it showed to what it shows; one turn when the
            // crank's angle changes.
            int fades = 0;
            int turns = 0;
            for (PelotuneAnimation* animation : b.view->getAnimations()) {
                EXPECT_EQ(animation->getDuration(), 1000);
                if (auto* fade = dynamic_cast<FadeAnimation*>(animation)) {
                    ++fades;
                    bool found = false;
                    for (const auto& [part, node] : b.parts()) {
                        if (fade->getNode() == node) {
                            found = true;
                            EXPECT_NE((parts & part) != 0, (row.parts & part) != 0) << "part " << part;
                        }
                    }
                    EXPECT_TRUE(found);
                } else {
                    ++turns;
                }
            }
            EXPECT_EQ(fades, __builtin_popcount(static_cast<unsigned>(parts ^ row.parts)));
            EXPECT_EQ(turns, row.crankAngle != angle ? 1 : 0);
            if (turns == 1) {
                // Forward: a tenth of the way from where it was.
                b.view->frame(100);
                const float from = angle;
                const float to = angle == 0.0f ? row.crankAngle : kTwoPi;
                EXPECT_LT(turnBetween(crankAngle(b.view->getCrankNode()), from + (to - from) * 0.1f), 1e-4f);
            }
            EXPECT_LE(b.settle(), 31);
            b.expectPose(row.parts, row.crankAngle);
            parts = row.parts;
            angle = row.crankAngle;
        }
    }
}

TEST(CalibrationSceneTest, StoppingMidwayPosesThePlacementMovedToAtOnce)
{
    SceneBench b;
    const int big = CalibrationSteps::BigChain;
    const int smallLeft = CalibrationSteps::SmallChain | CalibrationSteps::BackArrow;
    b.view->moveTo(big, 0.0f);
    b.settle();
    b.view->moveTo(smallLeft, kPi);
    b.view->frame(kFrameMs);
    ASSERT_FALSE(b.view->getAnimations().isEmpty());
    b.view->stopAtPose();
    EXPECT_TRUE(b.view->getAnimations().isEmpty());
    b.expectPose(smallLeft, kPi);
    // A pose taken at once moves nothing, and the next move starts from it.
    b.view->poseAtOnce(big, 0.0f);
    EXPECT_TRUE(b.view->getAnimations().isEmpty());
    b.expectPose(big, 0.0f);
    b.view->moveTo(big, 0.0f);
    EXPECT_TRUE(b.view->getAnimations().isEmpty());
}

TEST(CalibrationSceneTest, TheCranksWholeTurnAndTheModelsTurnBackEndWhereTheyBegan)
{
    SceneBench b;
    b.view->turnCrankOnce();
    ASSERT_EQ(b.view->getAnimations().size(), 1);
    b.view->frame(500);
    EXPECT_LT(turnBetween(crankAngle(b.view->getCrankNode()), kPi), 1e-4f);
    EXPECT_EQ(b.settle(), 16);
    EXPECT_LT(turnBetween(crankAngle(b.view->getCrankNode()), 0.0f), 1e-4f);

    b.view->setModelTurn(1.0f);
    EXPECT_LT(turnBetween(modelTurn(b.view->getModelRoot()), 1.0f), 1e-5f);
    b.view->turnModelBack(1.0f, 0.0f);
    ASSERT_EQ(b.view->getAnimations().size(), 1);
    EXPECT_EQ(b.view->getAnimations()[0]->getDuration(), 300);
    EXPECT_EQ(b.settle(), 10);
    EXPECT_LT(turnBetween(modelTurn(b.view->getModelRoot()), 0.0f), 1e-5f);
}

TEST(CalibrationSceneTest, WithoutMeshesThePartsStillTakeEachPose)
{
    // Nothing backable and no device: no mesh can be made, as on a computer without OpenGL.
    SceneBench b(false);
    for (const auto& [part, node] : b.parts()) {
        ASSERT_NE(meshOf(node), nullptr) << part;
        EXPECT_EQ(meshOf(node)->getMesh(), nullptr) << part;
    }
    const int pose = CalibrationSteps::BigChain | CalibrationSteps::FrontArrow;
    b.view->moveTo(pose, kPi);
    EXPECT_EQ(b.settle(), 31);
    b.expectPose(pose, kPi);
}

} // namespace
