#include "MeshFixture.h"

#include "content/EngineHandlers.h"
#include "core/math/Math.h"
#include "render/DepthState.h"
#include "render/GeometryState.h"
#include "render/IndexBufferAccessor.h"
#include "scene/Node.h"
#include "scene/Scene.h"
#include "scene/SkeletonComponent.h"
#include "scene/Track.h"
#include "scene/material/RenderPass.h"

#include <cmath>

using namespace scenetest;
using rezezaz::core::String;
using rezezaz::core::math::Quaternion;
using rezezaz::core::math::Vector3;
using rezezaz::scene::Node;
using rezezaz::scene::Scene;
using rezezaz::scene::Sequence;
using rezezaz::scene::Skeleton;
using rezezaz::scene::SkeletonComponent;
using rezezaz::scene::Track;
using rezezaz::scene::Transform;

namespace {

// A quarter turn about z.
const Quaternion QUARTER_Z(0.0f, 0.0f, std::sqrt(0.5f), std::sqrt(0.5f));

class SkeletonComponentTest : public MeshFixture
{
protected:
    SkeletonComponentTest() { installHandlers(*engine); }
    ~SkeletonComponentTest() override { scene->destroy(); }

    // A root at (1, 0, 0) turned a quarter about z, and a child at (0, 2, 0); compiled.
    Pointer<Skeleton> chain()
    {
        Pointer<Skeleton> skeleton(new Skeleton());
        skeleton->addBone(bone(0, -1, Vector3(1, 0, 0), QUARTER_Z).get());
        skeleton->addBone(bone(1, 0, Vector3(0, 2, 0)).get());
        skeleton->bones[0]->name = "root";
        skeleton->bones[1]->name = "tip";
        skeleton->compile();
        return skeleton;
    }

    // A track on the engine's transform format: per key a time, a translate and a rotate.
    Pointer<Track> track(const std::vector<std::tuple<float, Vector3, Quaternion>>& keys)
    {
        Pointer<Track> t(new Track(engine->getVertexFormats().POSITION_SEMANTIC7_SEMANTIC6.get()));
        for (const auto& key : keys) {
            const Vector3& v = std::get<1>(key);
            const Quaternion& q = std::get<2>(key);
            const float record[10] = {v.x, v.y, v.z, q.x, q.y, q.z, q.w, 1, 1, 1};
            t->addKeyFrame(std::get<0>(key), record);
        }
        return t;
    }

    // A sequence named name with one track per given bone (null: none for that bone).
    static Pointer<Sequence> sequence(const char* name, const std::vector<Pointer<Track>>& tracks)
    {
        Pointer<Sequence> s(new Sequence());
        s->setName(String(name));
        for (const auto& t : tracks) {
            s->addTrack(t.get());
        }
        return s;
    }

    Pointer<Scene> scene{new Scene(engine.get(), 0.001f)};
};

TEST_F(SkeletonComponentTest, WithoutSequencesEveryBoneTakesItsBindPose)
{
    Pointer<SkeletonComponent> component(new SkeletonComponent(engine.get(), chain().get()));
    ASSERT_EQ(component->getNumBones(), 2);
    EXPECT_TRUE(component->getActive());
    EXPECT_EQ(component->getNumAnimations(), 0);

    const SkeletonComponent::Bone& tip = *component->getBone(1);
    expectNear(component->getBone(0)->worldTranslate, Vector3(1, 0, 0));
    // The child's translate turned by the root's quarter turn.
    expectNear(tip.worldTranslate, Vector3(-1, 0, 0));
    expectNear(tip.worldRotate, QUARTER_Z);
    // The compiled world-to-bone transforms invert the bind pose.
    for (int i = 0; i < 2; ++i) {
        expectNear(component->getBone(i)->boneSpaceTranslate, Vector3(0, 0, 0));
        expectNear(component->getBone(i)->boneSpaceRotate, Quaternion());
    }
    EXPECT_EQ(component->getLastUpdateFrame(), -1);
}

TEST_F(SkeletonComponentTest, AnimationsPlayOnlyWithAWeightAndTheLaterOneWins)
{
    Pointer<Skeleton> skeleton = chain();
    skeleton->addSequence(
        sequence("walk", {track({{0.0f, Vector3(0, 0, 0), Quaternion()}, {2.0f, Vector3(4, 0, 0), Quaternion()}})}).get());
    skeleton->addSequence(sequence("jump", {track({{0.0f, Vector3(0, 0, 7), QUARTER_Z}})}).get());
    Pointer<SkeletonComponent> component(new SkeletonComponent(engine.get(), skeleton.get()));
    ASSERT_EQ(component->getNumAnimations(), 2);
    rezezaz::scene::action::Animation* walk = component->getAnimation(String("walk"));
    rezezaz::scene::action::Animation* jump = component->getAnimation(1);
    ASSERT_NE(walk, nullptr);
    EXPECT_EQ(walk, component->getAnimation(0));
    EXPECT_EQ(component->getAnimation(2), nullptr);
    EXPECT_EQ(component->getAnimation(String("run")), nullptr);
    EXPECT_EQ(walk->getWeight(), 0.0f);
    EXPECT_EQ(walk->getMaxValue(), 2.0f);
    EXPECT_STREQ(jump->getName().c_str(), "jump");

    // Weight 0: the bind pose.
    walk->setValue(1.0f);
    component->updateBones();
    expectNear(component->getBone(0)->worldTranslate, Vector3(1, 0, 0));
    expectNear(component->getBone(0)->worldRotate, QUARTER_Z);

    // Halfway through the walk; the root's sampled rotate replaces its bind rotate.
    walk->setWeight(1.0f);
    component->updateBones();
    expectNear(component->getBone(0)->worldTranslate, Vector3(2, 0, 0));
    expectNear(component->getBone(0)->worldRotate, Quaternion());
    expectNear(component->getBone(1)->worldTranslate, Vector3(2, 2, 0));
    // The bone without a track keeps its bind pose.
    expectNear(component->getBone(1)->localTranslate, Vector3(0, 2, 0));

    // Both weighted: the later one in the list wins; weights are not blended.
    jump->setWeight(0.1f);
    component->updateBones();
    expectNear(component->getBone(0)->worldTranslate, Vector3(0, 0, 7));
    expectNear(component->getBone(0)->worldRotate, QUARTER_Z);

    // A disjoint scope leaves the bone to the walk again.
    jump->setScope(2);
    component->setBoneScope(0, 1, false);
    component->updateBones();
    expectNear(component->getBone(0)->worldTranslate, Vector3(2, 0, 0));
}

TEST_F(SkeletonComponentTest, APlayTimeThatIsNoNumberLeavesTheBindPose)
{
    Pointer<Skeleton> skeleton = chain();
    // Keys that differ along x only: a fraction of infinity times the zero difference along y is NaN.
    skeleton->addSequence(
        sequence("walk", {track({{0.0f, Vector3(0, 0, 0), Quaternion()}, {2.0f, Vector3(4, 0, 0), QUARTER_Z}})}).get());
    Pointer<SkeletonComponent> component(new SkeletonComponent(engine.get(), skeleton.get()));
    rezezaz::scene::action::Animation* walk = component->getAnimation(0);
    walk->setWeight(1.0f);
    for (float value : {std::nanf(""), INFINITY, -INFINITY}) {
        SCOPED_TRACE(value);
        walk->setValue(1.0f);
        component->updateBones();
        walk->setValue(value);
        component->updateBones();
        for (int b = 0; b < component->getNumBones(); ++b) {
            const SkeletonComponent::Bone& bone = *component->getBone(b);
            const float values[] = {bone.boneSpaceTranslate.x, bone.boneSpaceTranslate.y, bone.boneSpaceTranslate.z,
                                    bone.boneSpaceRotate.x,    bone.boneSpaceRotate.y,    bone.boneSpaceRotate.z,
                                    bone.boneSpaceRotate.w};
            for (float v : values) {
                EXPECT_TRUE(std::isfinite(v)) << "bone " << b;
            }
        }
        // The bind pose, as for a weight of 0.
        expectNear(component->getBone(0)->worldTranslate, Vector3(1, 0, 0));
        expectNear(component->getBone(0)->worldRotate, QUARTER_Z);
        expectNear(component->getBone(1)->worldTranslate, Vector3(-1, 0, 0));
        // The value is kept as given: the animation does not clamp it.
        EXPECT_EQ(std::isnan(walk->getValue()), std::isnan(value));
    }
}

TEST_F(SkeletonComponentTest, KeepFlagsHoldTheBonesOwnValues)
{
    Pointer<Skeleton> skeleton = chain();
    skeleton->addSequence(sequence("move", {nullptr, track({{0.0f, Vector3(0, 5, 0), QUARTER_Z}})}).get());
    struct Case
    {
        const char* name;
        int keepFlags;
        float weight;
        Vector3 localTranslate;
        Quaternion localRotate;
        Vector3 worldTranslate;
        Quaternion worldRotate;
    };
    const Quaternion half = QUARTER_Z * QUARTER_Z;
    const Vector3 kept(3, 3, 3);
    const std::vector<Case> cases = {
        {"nothing kept: sampled", 0, 1, Vector3(0, 5, 0), QUARTER_Z, Vector3(-4, 0, 0), half},
        {"translate kept", 1, 1, kept, QUARTER_Z, Vector3(-2, 3, 3), half},
        {"rotate kept", 2, 1, Vector3(0, 5, 0), Quaternion(), Vector3(-4, 0, 0), QUARTER_Z},
        // World level: the bind pose on the parent's world values; the local values are left.
        {"world level", 4, 0, kept, Quaternion(), Vector3(-1, 0, 0), QUARTER_Z},
        {"world level, translate kept", 5, 0, kept, Quaternion(), Vector3(9, 9, 9), QUARTER_Z},
        // An animation that reaches the bone answers 3, which ends the world level.
        {"world level under an animation", 4, 1, Vector3(0, 5, 0), QUARTER_Z, Vector3(-4, 0, 0), half},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Pointer<SkeletonComponent> component(new SkeletonComponent(engine.get(), skeleton.get()));
        component->getAnimation(0)->setWeight(c.weight);
        SkeletonComponent::Bone& tip = *component->getBone(1);
        tip.localTranslate = kept;
        tip.localRotate = Quaternion();
        tip.worldTranslate = Vector3(9, 9, 9);
        tip.keepFlags = c.keepFlags;
        component->updateBones();
        expectNear(tip.localTranslate, c.localTranslate);
        expectNear(tip.localRotate, c.localRotate);
        expectNear(tip.worldTranslate, c.worldTranslate);
        expectNear(tip.worldRotate, c.worldRotate);
    }
}

TEST_F(SkeletonComponentTest, ControllersReplaceTheSampling)
{
    struct Lift : SkeletonComponent::BoneController
    {
        int updateBoneTransformation(SkeletonComponent::Bone* b) override
        {
            b->localTranslate = Vector3(0, 0, 1);
            ++calls;
            return 1;
        }
        int calls = 0;
    } lift;
    Pointer<SkeletonComponent> component(new SkeletonComponent(engine.get(), chain().get()));
    component->getBone(0)->controller = &lift;
    component->updateBones();
    EXPECT_EQ(lift.calls, 1);
    expectNear(component->getBone(0)->worldTranslate, Vector3(0, 0, 1));
}

TEST_F(SkeletonComponentTest, BoneScopesReachEveryRootsSubtree)
{
    Pointer<Skeleton> skeleton(new Skeleton());
    // Two roots (bone 2's parent names a later bone, so it is a root too) with children.
    const std::vector<int> parents = {-1, 0, 4, 1, -1, 4};
    for (int i = 0; i < int(parents.size()); ++i) {
        skeleton->addBone(bone(i, parents[i], Vector3()).get());
    }
    Pointer<SkeletonComponent> component(new SkeletonComponent(engine.get(), skeleton.get()));
    auto scopes = [&] {
        std::vector<int> s;
        for (int i = 0; i < component->getNumBones(); ++i) {
            s.push_back(component->getBone(i)->scope);
        }
        return s;
    };
    component->setBoneScope(-1, 2, false);
    EXPECT_EQ(scopes(), (std::vector<int>{2, -1, 2, -1, 2, -1}));
    component->setBoneScope(1, 8, true);
    EXPECT_EQ(scopes(), (std::vector<int>{2, 8, 2, 8, 2, -1}));
    component->setBoneScope(-1, 4, true);
    EXPECT_EQ(scopes(), (std::vector<int>(6, 4)));
    component->setBoneScope(6, 1, true);
    component->setBoneScope(-2, 1, true);
    EXPECT_EQ(scopes(), (std::vector<int>(6, 4)));
}

TEST_F(SkeletonComponentTest, BonesAreAttachmentsAndTheComponentSitsOnItsNode)
{
    Pointer<SkeletonComponent> component(new SkeletonComponent(engine.get(), chain().get()));
    EXPECT_EQ(component->getNumAttachments(), 2);
    EXPECT_EQ(component->getAttachmentIndex(String("tip")), 1);
    EXPECT_EQ(component->getAttachmentIndex(String("toe")), -1);
    EXPECT_STREQ(component->getAttachmentName(0).c_str(), "root");
    EXPECT_STREQ(component->getAttachmentName(2).c_str(), "");
    EXPECT_STREQ(component->getAttachmentName(-1).c_str(), "");

    struct Counter : rezezaz::scene::TransformListener
    {
        void transformChanged(Transform*) override { ++changes; }
        int changes = 0;
    } counter;
    Pointer<Transform> t(new Transform(&counter));
    t->scale = Vector3(2, 2, 2);
    ASSERT_TRUE(component->getAttachmentTransform(t.get(), 1));
    expectNear(t->translate, Vector3(-1, 0, 0));
    expectNear(t->rotate, QUARTER_Z);
    expectNear(t->scale, Vector3(2, 2, 2));
    EXPECT_EQ(counter.changes, 2);
    EXPECT_FALSE(component->getAttachmentTransform(t.get(), 2));

    // On a node of the scene: frame numbers, node lists, and world values from the node.
    Pointer<Node> node(new Node(scene.get()));
    scene->getRoot()->attach(node.get());
    node->setTranslate(0, 0, 10);
    node->attach(component.get());
    EXPECT_EQ(node->getNumAnimatables(), 1);
    EXPECT_EQ(node->getNumSpacials(), 1);
    scene->update(33);
    EXPECT_EQ(component->getLastUpdateFrame(), scene->getFrame());
    Pointer<Transform> own(new Transform());
    own->translate = Vector3(0, 1, 0);
    component->setTransform(own.get());
    expectNear(component->getWorldTransform()->translate, Vector3(0, 1, 10));
    node->remove(component.get());
    EXPECT_EQ(component->getLastUpdateFrame(), -1);
    EXPECT_EQ(node->getNumAnimatables(), 0);
}

TEST_F(SkeletonComponentTest, DebugDrawingComesAndGoes)
{
    Pointer<Skeleton> skeleton = chain();
    // A second root, not bone 0, gets a line to bone 0.
    skeleton->addBone(bone(2, -1, Vector3(0, 0, 5)).get());
    skeleton->bones[0]->bound = rezezaz::core::math::AABox(Vector3(-1, -1, -1), Vector3(1, 1, 1));
    Pointer<SkeletonComponent> component(new SkeletonComponent(engine.get(), skeleton.get()));
    EXPECT_EQ(component->getRenderMaterial(), nullptr);

    component->setRenderSkeleton(true);
    Pointer<rezezaz::scene::material::Material> material = component->getRenderMaterial();
    ASSERT_NE(material, nullptr);
    rezezaz::render::RenderState* state = material->getPass(-1, -1)->getRenderState();
    ASSERT_NE(state, nullptr);
    rezezaz::render::DepthState depth;
    ASSERT_TRUE(state->getDepthState(depth));
    EXPECT_EQ(depth.test, 0);
    EXPECT_FALSE(depth.write);
    rezezaz::render::GeometryState geometry;
    ASSERT_TRUE(state->getGeometryState(geometry));
    EXPECT_TRUE(geometry.sprite);
    EXPECT_EQ(geometry.size, 8.0f);

    ASSERT_NE(component->getBoneLineIndexData(), nullptr);
    {
        rezezaz::render::IndexBuffer* lines = component->getBoneLineIndexData()->indexBuffer.get();
        ASSERT_EQ(lines->getSize(), 4);
        const uint16_t* pairs = reinterpret_cast<const uint16_t*>(lines->lock(1));
        EXPECT_EQ(std::vector<uint16_t>(pairs, pairs + 4), (std::vector<uint16_t>{0, 1, 0, 2}));
        lines->unlock();
    }
    expectNear(readVertex(component->getBonePointVertexData(), 2), Vector3(0, 0, 5));
    ASSERT_NE(component->getBoneBoxIndexData(), nullptr);
    EXPECT_EQ(component->getBoneBoxIndexData()->count, 24);
    // Bone 0's box turned a quarter about z and moved to (1, 0, 0): corner 1 is (max x, min y, min z).
    expectNear(readVertex(component->getBoneBoxVertexData(), 1), Vector3(2, -1, -1));

    // The buffers follow the pose.
    component->getBone(2)->keepFlags = 1;
    component->getBone(2)->localTranslate = Vector3(0, 0, 6);
    component->updateBones();
    expectNear(readVertex(component->getBonePointVertexData(), 2), Vector3(0, 0, 6));

    // On again keeps the material; off leaves nothing.
    component->setRenderSkeleton(true);
    EXPECT_EQ(component->getRenderMaterial(), material.get());
    component->setRenderSkeleton(false);
    EXPECT_EQ(component->getRenderMaterial(), nullptr);
    EXPECT_EQ(component->getBonePointVertexData(), nullptr);
    EXPECT_EQ(component->getBoneLineIndexData(), nullptr);
    EXPECT_EQ(component->getBoneBoxVertexData(), nullptr);
    EXPECT_EQ(component->getBoneBoxIndexData(), nullptr);
}

TEST_F(SkeletonComponentTest, DebugDrawingOfASingleBoneHasNoLines)
{
    Pointer<Skeleton> skeleton(new Skeleton());
    skeleton->addBone(bone(0, -1, Vector3()).get());
    Pointer<SkeletonComponent> component(new SkeletonComponent(engine.get(), skeleton.get()));
    component->setRenderSkeleton(true);
    EXPECT_NE(component->getRenderMaterial(), nullptr);
    EXPECT_EQ(component->getBoneLineIndexData(), nullptr);
    EXPECT_NE(component->getBonePointVertexData(), nullptr);
    component->destroy();
    EXPECT_EQ(component->getBonePointVertexData(), nullptr);

    // An engine that can make no render state gives no debug material, and so no buffers.
    Pointer<rezezaz::scene::Engine> unbacked(new rezezaz::scene::Engine(nullptr, nullptr));
    Pointer<SkeletonComponent> plain(new SkeletonComponent(unbacked.get(), skeleton.get()));
    plain->setRenderSkeleton(true);
    EXPECT_EQ(plain->getRenderMaterial(), nullptr);
    EXPECT_EQ(plain->getBonePointVertexData(), nullptr);
    unbacked->destroy();

    // Without a skeleton: no bones, a box of zeros.
    Pointer<SkeletonComponent> empty(new SkeletonComponent(engine.get(), nullptr));
    EXPECT_EQ(empty->getNumBones(), 0);
    EXPECT_EQ(empty->getBound()->box, rezezaz::core::math::AABox());
}

} // namespace

namespace {

TEST(BaseAnimationTest, HoldsNoStateBeyondNameAndListener)
{
    struct Listener : rezezaz::scene::action::AnimationListener
    {
    } listener;
    rezezaz::core::IntrusivePointer<rezezaz::scene::action::BaseAnimation> animation(
        new rezezaz::scene::action::BaseAnimation());
    animation->setValue(3.0f);
    animation->setWeight(0.25f);
    animation->setScope(4);
    animation->setAnimationListener(&listener);
    EXPECT_EQ(animation->getValue(), 0.0f);
    EXPECT_EQ(animation->getMinValue(), 0.0f);
    EXPECT_EQ(animation->getMaxValue(), 0.0f);
    EXPECT_EQ(animation->getWeight(), 1.0f);
    EXPECT_EQ(animation->getScope(), -1);
    EXPECT_EQ(animation->getName().length(), 0);
    EXPECT_EQ(animation->getAnimationListener(), &listener);
}

} // namespace
