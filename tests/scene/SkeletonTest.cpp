#include "MeshFixture.h"

#include "scene/Sequence.h"

using namespace scenetest;
using rezezaz::core::String;
using rezezaz::scene::Sequence;
using rezezaz::scene::Skeleton;

namespace {

class SkeletonTest : public MeshFixture
{
};

TEST_F(SkeletonTest, CompileInvertsTheModelSpacePose)
{
    struct Case
    {
        const char* name;
        std::vector<Pointer<Skeleton::Bone>> bones;
        int checked;
        Vector3 translate;
        Quaternion rotate;
    };
    const std::vector<Case> cases = {
        {"a single root", {bone(0, -1, Vector3(1, 0, 0))}, 0, Vector3(-1, 0, 0), Quaternion()},
        {"a child of a half-turned root",
         {bone(0, -1, Vector3(), Quaternion(0, 0, 1, 0)), bone(1, 0, Vector3(1, 0, 0))},
         1,
         Vector3(-1, 0, 0),
         Quaternion(0, 0, -1, 0)},
        {"a chain of translates", {bone(0, -1, Vector3(1, 0, 0)), bone(1, 0, Vector3(0, 2, 0)), bone(2, 1, Vector3(0, 0, 3))},
         2,
         Vector3(-1, -2, -3),
         Quaternion()},
        // A parent index that names no earlier bone makes a root: itself, a later bone, or none.
        {"a parent of its own", {bone(0, 0, Vector3(1, 0, 0))}, 0, Vector3(-1, 0, 0), Quaternion()},
        {"a later parent", {bone(0, 1, Vector3(1, 0, 0)), bone(1, 0, Vector3(0, 1, 0))}, 0, Vector3(-1, 0, 0),
         Quaternion()},
        {"a parent past the end", {bone(0, -1, Vector3(1, 0, 0)), bone(1, 70, Vector3(0, 1, 0))}, 1,
         Vector3(0, -1, 0), Quaternion()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Pointer<Skeleton> skeleton(new Skeleton());
        for (const auto& b : c.bones) {
            skeleton->addBone(b.get());
        }
        skeleton->compile();
        expectNear(skeleton->bones[c.checked]->worldToBoneTranslate, c.translate);
        expectNear(skeleton->bones[c.checked]->worldToBoneRotate, c.rotate);
    }
}

TEST_F(SkeletonTest, BonesAreFoundByTheirFirstName)
{
    Pointer<Skeleton> skeleton(new Skeleton());
    Pointer<Skeleton::Bone> first = bone(0, -1, Vector3());
    Pointer<Skeleton::Bone> second = bone(1, -1, Vector3());
    first->name = "arm";
    second->name = "arm";
    skeleton->addBone(first.get());
    skeleton->addBone(second.get());
    EXPECT_EQ(skeleton->getBone(String("arm")), first.get());
    EXPECT_EQ(skeleton->getBone(String("ar")), nullptr);
    EXPECT_EQ(skeleton->getBone(String("crank")), nullptr);
}

TEST_F(SkeletonTest, DestroyDropsTheSequencesAndKeepsTheBones)
{
    Pointer<Skeleton> skeleton(new Skeleton());
    skeleton->addBone(bone(0, -1, Vector3()).get());
    skeleton->addSequence(new Sequence());
    DestroyedRecorder listener;
    skeleton->setDestroyedListener(&listener);

    skeleton->destroy();
    skeleton->destroy();
    EXPECT_EQ(skeleton->getNumSequences(), 0);
    EXPECT_EQ(skeleton->getNumBones(), 1);
    ASSERT_EQ(listener.destroyed.size(), 1u);
    EXPECT_EQ(listener.destroyed[0], static_cast<rezezaz::core::Resource*>(skeleton.get()));
}

} // namespace
