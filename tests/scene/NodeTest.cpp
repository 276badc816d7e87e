#include "SceneFixture.h"

#include "core/InstantiableType.h"
#include "core/math/Math.h"
#include "scene/Camera.h"
#include "scene/NodeManager.h"
#include "scene/PartitionNode.h"
#include "scene/RenderableSet.h"
#include "support/AllocationCounter.h"
#include "support/Raised.h"

#include <algorithm>
#include <cmath>
#include <vector>

using namespace scenetest;
using rezezaz::core::String;
using rezezaz::core::math::Math;
using rezezaz::core::math::Quaternion;
using rezezaz::core::math::Sphere;
using rezezaz::core::math::Vector3;
using rezezaz::scene::Bound;
using rezezaz::scene::Node;
using rezezaz::scene::Transform;
using support::raised;

namespace {

void expectNear(const Vector3& actual, const Vector3& expected, float tolerance = 1e-5f)
{
    EXPECT_NEAR(actual.x, expected.x, tolerance);
    EXPECT_NEAR(actual.y, expected.y, tolerance);
    EXPECT_NEAR(actual.z, expected.z, tolerance);
}

class NodeTest : public SceneFixture
{
};

TEST_F(NodeTest, HandlesStartAfterBackgroundAndRootAndAreReused)
{
    Pointer<Node> bare(new Node());
    EXPECT_EQ(bare->getHandle(), 0);
    EXPECT_EQ(scene->getBackground()->getHandle(), 1);
    EXPECT_EQ(root()->getHandle(), 2);

    Pointer<Node> first = newNode(root());
    Pointer<Node> second = newNode(root());
    EXPECT_EQ(first->getHandle(), 3);
    EXPECT_EQ(second->getHandle(), 4);
    EXPECT_EQ(scene->getNodeManager()->getNode(3), first.get());

    first->destroy();
    EXPECT_EQ(scene->getNodeManager()->getNode(3), nullptr);
    Pointer<Node> third = newNode(root());
    EXPECT_EQ(third->getHandle(), 3);

    // A registered node keeps its handle; an unknown one is ignored on destruction.
    scene->getNodeManager()->nodeCreated(third.get());
    EXPECT_EQ(third->getHandle(), 3);
    scene->getNodeManager()->nodeDestroyed(bare.get());
    EXPECT_EQ(scene->getNodeManager()->getNumFreeHandles(), 0);
}

TEST_F(NodeTest, NodeManagerHandsOutValidHandlesAfterItWasEmptied)
{
    Pointer<Node> a = newNode(root());
    Pointer<Node> b = newNode(root());
    a->destroy();
    b->destroy();
    rezezaz::scene::NodeManager* manager = scene->getNodeManager();
    ASSERT_EQ(manager->getNumFreeHandles(), 2);

    manager->destroy();
    EXPECT_EQ(manager->getNumFreeHandles(), 0);

    // The freed handles pointed into the emptied table: new nodes get fresh entries within it.
    Pointer<Node> c(new Node(scene.get()));
    Pointer<Node> d(new Node(scene.get()));
    EXPECT_GT(c->getHandle(), 0);
    EXPECT_NE(c->getHandle(), d->getHandle());
    EXPECT_EQ(manager->getNode(c->getHandle()), c.get());
    EXPECT_EQ(manager->getNode(d->getHandle()), d.get());
    EXPECT_GT(manager->getTableLength(), d->getHandle());
}

TEST_F(NodeTest, NodeTableGrowsByDoublingNotByOneEntry)
{
    // Copying the table for every new node made creating n nodes take n * n / 2 copies.
    std::vector<Pointer<Node>> bare;
    for (int i = 0; i < 4096; ++i) {
        bare.push_back(new Node());
    }
    rezezaz::scene::NodeManager* manager = scene->getNodeManager();
    const int64_t before = support::allocationCount();
    for (auto& node : bare) {
        manager->nodeCreated(node.get());
    }
    EXPECT_LE(support::allocationCount() - before, 16);
    EXPECT_EQ(manager->getNode(bare.back()->getHandle()), bare.back().get());
    EXPECT_EQ(bare.back()->getHandle(), bare.front()->getHandle() + 4095);
}

TEST_F(NodeTest, RotateAboutAnAxisIsTheHalfAngleQuaternion)
{
    Pointer<Node> node = newNode(root());
    node->setRotate(Vector3(0, 0, 1), 3.14159265f);
    const Quaternion& q = node->getTransform()->rotate;
    EXPECT_NEAR(q.x, 0.0f, 1e-6f);
    EXPECT_NEAR(q.y, 0.0f, 1e-6f);
    EXPECT_NEAR(q.z, 1.0f, 1e-6f);
    EXPECT_NEAR(q.w, 0.0f, 1e-6f);

    // The axis is taken as given.
    node->setRotate(Vector3(0, 0, 2), 3.14159265f);
    EXPECT_GT(Math::length(node->getTransform()->rotate), 1.5f);
}

TEST_F(NodeTest, WorldTransformComposesRotateScaleTranslateAndScope)
{
    Pointer<Node> parent = newNode(root());
    Pointer<Node> child = newNode(parent.get());
    // Scopes take effect at the next transform change.
    parent->setScope(0x6);
    child->setScope(0x3);
    parent->setRotate(Vector3(0, 0, 1), 3.14159265f / 2);
    parent->setScale(2.0f, 3.0f, 4.0f);
    parent->setTranslate(1, 0, 0);
    child->setTranslate(1, 0, 0);
    child->setScale(0.5f);

    const Transform* world = child->getWorldTransform();
    // The child's offset turns to +y, then takes the parent's y scale.
    expectNear(world->translate, Vector3(1, 3, 0));
    expectNear(world->scale, Vector3(1.0f, 1.5f, 2.0f));
    EXPECT_NEAR(world->rotate.z, std::sqrt(0.5f), 1e-6f);
    EXPECT_EQ(child->getWorldScope(), 0x2);

    // A matrix sets scale from the column lengths, rotate and translate.
    rezezaz::core::math::Matrix4x4 m;
    m.data[0] = 0;
    m.data[1] = 2;
    m.data[4] = -2;
    m.data[5] = 0;
    m.data[10] = 2;
    m.data[12] = 5;
    m.data[13] = 6;
    m.data[14] = 7;
    child->setMatrix4x4(m);
    expectNear(child->getTransform()->scale, Vector3(2, 2, 2));
    expectNear(child->getTransform()->translate, Vector3(5, 6, 7));
    expectNear(child->getTransform()->rotate * Vector3(1, 0, 0), Vector3(0, 1, 0));

    child->setTransform(nullptr);
    expectNear(child->getTransform()->translate, Vector3(0, 0, 0));
    expectNear(child->getTransform()->scale, Vector3(1, 1, 1));
}

TEST(BoundTest, MergeFollowsTheKinds)
{
    struct Case
    {
        const char* name;
        int first;
        int second;
        int merged;
    };
    const Case cases[] = {
        {"box into box", Bound::Kind_BOX, Bound::Kind_BOX, Bound::Kind_BOX},
        {"sphere into box", Bound::Kind_BOX, Bound::Kind_SPHERE, Bound::Kind_SPHERE},
        {"box into sphere", Bound::Kind_SPHERE, Bound::Kind_BOX, Bound::Kind_SPHERE},
        {"box into infinite", Bound::Kind_INFINITE, Bound::Kind_BOX, Bound::Kind_INFINITE},
        {"infinite into box", Bound::Kind_BOX, Bound::Kind_INFINITE, Bound::Kind_INFINITE},
        {"box into empty", Bound::Kind_EMPTY, Bound::Kind_BOX, Bound::Kind_BOX},
        {"sphere into empty", Bound::Kind_EMPTY, Bound::Kind_SPHERE, Bound::Kind_SPHERE},
        {"empty into box", Bound::Kind_BOX, Bound::Kind_EMPTY, Bound::Kind_BOX},
    };
    auto make = [](int kind, float offset) {
        Pointer<Bound> made(new Bound());
        Bound& b = *made;
        if (kind == Bound::Kind_BOX) {
            b.setBox(box(offset, 0, 0, offset + 1, 1, 1));
        } else if (kind == Bound::Kind_SPHERE) {
            b.setSphere(Sphere(Vector3(offset, 0, 0), 1));
        } else if (kind == Bound::Kind_INFINITE) {
            b.setInfinite();
        }
        return made;
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Pointer<Bound> merged = make(c.first, 0);
        Bound& a = *merged;
        a.merge(*make(c.second, 4), 0.001f);
        EXPECT_EQ(a.kind, c.merged);
        if (c.merged == Bound::Kind_BOX && c.first == Bound::Kind_BOX && c.second == Bound::Kind_BOX) {
            expectNear(a.box.minimum, Vector3(0, 0, 0));
            expectNear(a.box.maximum, Vector3(5, 1, 1));
        }
        if (c.merged == Bound::Kind_SPHERE && c.first != Bound::Kind_EMPTY) {
            // The sphere holds both, and the box is the sphere's.
            EXPECT_LE(a.sphere.origin.x - a.sphere.radius, 0.0f + 1e-4f);
            EXPECT_GE(a.sphere.origin.x + a.sphere.radius, 5.0f - 1e-4f);
            EXPECT_NEAR(a.box.maximum.x - a.box.minimum.x, 2 * a.sphere.radius, 1e-4f);
        }
        if (c.first == Bound::Kind_BOX && c.second == Bound::Kind_EMPTY) {
            expectNear(a.box.maximum, Vector3(1, 1, 1));
        }
    }

    // A sphere already inside the other leaves it as it is.
    Bound big;
    big.setSphere(Sphere(Vector3(0, 0, 0), 10));
    Bound small;
    small.setSphere(Sphere(Vector3(1, 0, 0), 1));
    big.merge(small, 0.001f);
    EXPECT_EQ(big.sphere.radius, 10.0f);
}

TEST(BoundTest, TransformTurnsScalesAndMovesBoxesAndSpheres)
{
    Transform t;
    t.rotate = Quaternion(0, 0, std::sqrt(0.5f), std::sqrt(0.5f));
    t.scale = Vector3(2, 1, 3);
    t.translate = Vector3(10, 0, 0);

    Bound local;
    local.setBox(box(0, 0, 0, 1, 2, 3));
    Bound world;
    world.transform(local, t);
    EXPECT_EQ(world.kind, Bound::Kind_BOX);
    // Turned: x in [-2, 0], y in [0, 1]; scaled by (2, 1, 3), then moved.
    expectNear(world.box.minimum, Vector3(6, 0, 0));
    expectNear(world.box.maximum, Vector3(10, 1, 9));

    local.setSphere(Sphere(Vector3(1, 0, 0), 1));
    world.transform(local, t);
    EXPECT_EQ(world.kind, Bound::Kind_SPHERE);
    expectNear(world.sphere.origin, Vector3(10, 1, 0));
    EXPECT_FLOAT_EQ(world.sphere.radius, 3.0f);
    expectNear(world.box.minimum, Vector3(7, -2, -3));
}

TEST_F(NodeTest, BoundsClimbToTheRootAndFollowMoves)
{
    Pointer<Node> parent = newNode(root());
    Pointer<Node> child = newNode(parent.get());
    Pointer<BoxComponent> part(new BoxComponent(box(-1, -1, -1, 1, 1, 1)));
    child->attach(part.get());
    EXPECT_EQ(root()->getWorldBound()->kind, Bound::Kind_BOX);
    expectNear(root()->getWorldBound()->box.maximum, Vector3(1, 1, 1));

    child->setTranslate(5, 0, 0);
    expectNear(parent->getWorldBound()->box.maximum, Vector3(6, 1, 1));
    expectNear(root()->getWorldBound()->box.minimum, Vector3(4, -1, -1));

    parent->setTranslate(0, 10, 0);
    expectNear(part->getWorldBound()->box.minimum, Vector3(4, 9, -1));
    expectNear(root()->getWorldBound()->box.maximum, Vector3(6, 11, 1));

    // The node's own bound counts too.
    Bound own;
    own.setBox(box(-2, -2, -2, 0, 0, 0));
    parent->setBound(&own);
    expectNear(root()->getWorldBound()->box.minimum, Vector3(-2, 8, -2));
}

// The bound a node's subtree has when merged from scratch now: its own bound carried into its frame,
// then every child's world bound and every spacial's, in order.
Pointer<Bound> mergedFromScratch(Node* node, float epsilon)
{
    Pointer<Bound> merged(new Bound());
    merged->transform(*node->getBound(), *node->getWorldTransform());
    for (int i = 0; i < node->getNodes().size(); ++i) {
        merged->merge(*node->getNodes()[i]->getWorldBound(), epsilon);
    }
    for (int i = 0; i < node->getNumSpacials(); ++i) {
        if (Bound* spacialBound = node->getSpacial(i)->getWorldBound()) {
            merged->merge(*spacialBound, epsilon);
        }
    }
    return merged;
}

void expectSameBound(const Bound& actual, const Bound& expected)
{
    EXPECT_EQ(actual.kind, expected.kind);
    EXPECT_EQ(actual.sphere.origin.x, expected.sphere.origin.x);
    EXPECT_EQ(actual.sphere.origin.y, expected.sphere.origin.y);
    EXPECT_EQ(actual.sphere.origin.z, expected.sphere.origin.z);
    EXPECT_EQ(actual.sphere.radius, expected.sphere.radius);
    EXPECT_EQ(actual.box.minimum.x, expected.box.minimum.x);
    EXPECT_EQ(actual.box.minimum.y, expected.box.minimum.y);
    EXPECT_EQ(actual.box.minimum.z, expected.box.minimum.z);
    EXPECT_EQ(actual.box.maximum.x, expected.box.maximum.x);
    EXPECT_EQ(actual.box.maximum.y, expected.box.maximum.y);
    EXPECT_EQ(actual.box.maximum.z, expected.box.maximum.z);
}

TEST_F(NodeTest, ABoxIsCarriedAsItsCornersTurnedOneByOne)
{
    // The box taken as the eight corners rotated by the quaternion, scaled and moved: bit for bit.
    uint32_t random = 99;
    const auto next = [&random](float low, float high) {
        random = random * 1664525u + 1013904223u;
        return low + (high - low) * static_cast<float>(random >> 8) / static_cast<float>(1 << 24);
    };
    for (int round = 0; round < 200; ++round) {
        Pointer<Transform> t(new Transform());
        const Vector3 axis(next(-1, 1), next(-1, 1), next(-1, 1));
        const float angle = next(-4, 4);
        const float s = std::sin(angle / 2);
        t->rotate = Quaternion(axis.x * s, axis.y * s, axis.z * s, std::cos(angle / 2));
        t->scale = Vector3(next(-3, 3), next(0.1f, 3), next(-3, 3));
        t->translate = Vector3(next(-50, 50), next(-50, 50), next(-50, 50));
        Pointer<Bound> local(new Bound());
        local->setBox(box(next(-5, 0), next(-5, 0), next(-5, 0), next(0, 5), next(0, 5), next(0, 5)));

        Vector3 lo(INFINITY, INFINITY, INFINITY);
        Vector3 hi(-INFINITY, -INFINITY, -INFINITY);
        for (int corner = 0; corner < 8; ++corner) {
            const Vector3 p((corner & 1) ? local->box.maximum.x : local->box.minimum.x,
                            (corner & 2) ? local->box.maximum.y : local->box.minimum.y,
                            (corner & 4) ? local->box.maximum.z : local->box.minimum.z);
            const Vector3 r = t->rotate * p;
            const Vector3 q(r.x * t->scale.x, r.y * t->scale.y, r.z * t->scale.z);
            lo = Vector3(std::min(lo.x, q.x), std::min(lo.y, q.y), std::min(lo.z, q.z));
            hi = Vector3(std::max(hi.x, q.x), std::max(hi.y, q.y), std::max(hi.z, q.z));
        }
        Pointer<Bound> expected(new Bound());
        expected->setBox(box(lo.x + t->translate.x, lo.y + t->translate.y, lo.z + t->translate.z,
                             hi.x + t->translate.x, hi.y + t->translate.y, hi.z + t->translate.z));
        Pointer<Bound> world(new Bound());
        world->transform(*local, *t);
        expectSameBound(*world, *expected);
    }
}

TEST_F(NodeTest, FanOutBoundAfterTurningEveryChildIsTheFullMerge)
{
    // Spheres among the boxes: merging them depends on the order, so the children must be merged
    // over their final bounds, in their order, however many of them moved.
    Pointer<Node> hub = newNode(root());
    hub->setTranslate(1, 2, 3);
    std::vector<Pointer<Node>> children;
    std::vector<Pointer<BoxComponent>> parts;
    for (int i = 0; i < 60; ++i) {
        Pointer<Node> child = newNode(hub.get());
        child->setTranslate(static_cast<float>(i), static_cast<float>(i % 7 - 3), static_cast<float>(i % 5));
        if (i % 3 == 0) {
            Bound own;
            own.setSphere(Sphere(Vector3(0.5f, 0, 0), 0.25f + 0.01f * static_cast<float>(i)));
            child->setBound(&own);
        } else {
            parts.push_back(new BoxComponent(box(-0.5f, -0.25f, 0, 0.5f, 0.25f, 1)));
            child->attach(parts.back().get());
        }
        children.push_back(child);
    }
    for (int frame = 1; frame <= 3; ++frame) {
        for (size_t i = 0; i < children.size(); ++i) {
            children[i]->setRotate(Vector3(0, 0, 1), 0.1f * static_cast<float>(frame) + 0.05f * static_cast<float>(i));
        }
        scene->update(50);
        expectSameBound(*hub->getWorldBound(), *mergedFromScratch(hub.get(), 0.001f));
        expectSameBound(*root()->getWorldBound(), *mergedFromScratch(root(), 0.001f));
    }
    EXPECT_EQ(hub->getWorldBound()->kind, Bound::Kind_SPHERE);

    // Moves and a removal between two reads: the next read holds them all.
    children[7]->setTranslate(40, -20, 5);
    hub->remove(children[59].get());
    children[3]->setRotate(Vector3(1, 0, 0), 1.0f);
    expectSameBound(*root()->getWorldBound(), *mergedFromScratch(root(), 0.001f));
    expectSameBound(*hub->getWorldBound(), *mergedFromScratch(hub.get(), 0.001f));
    EXPECT_GE(hub->getWorldBound()->box.maximum.x, 41.0f);
    children[59]->destroy();
}

TEST_F(NodeTest, SubtreeBoundIsTheMergeInOrderForEveryMixOfKinds)
{
    // Boxes run into spheres, empties and everything at every place among the children and after
    // them, with a spacial's box last: the result is the merge one by one, bit for bit.
    const std::vector<std::vector<int>> mixes = {
        {Bound::Kind_BOX, Bound::Kind_BOX, Bound::Kind_SPHERE, Bound::Kind_BOX},
        {Bound::Kind_BOX, Bound::Kind_EMPTY, Bound::Kind_BOX},
        {Bound::Kind_BOX, Bound::Kind_BOX, Bound::Kind_INFINITE, Bound::Kind_BOX},
        {Bound::Kind_SPHERE, Bound::Kind_BOX, Bound::Kind_BOX},
        {Bound::Kind_EMPTY, Bound::Kind_BOX, Bound::Kind_BOX, Bound::Kind_SPHERE},
        {},
    };
    for (int own : {Bound::Kind_BOX, Bound::Kind_EMPTY, Bound::Kind_SPHERE}) {
        for (size_t m = 0; m < mixes.size(); ++m) {
            SCOPED_TRACE(testing::Message() << "own kind " << own << ", mix " << m);
            Pointer<Node> hub = newNode(root());
            hub->setTranslate(0.3f, -1.7f, 2.1f);
            hub->setRotate(Vector3(0, 1, 1), 0.7f);
            Bound local;
            if (own == Bound::Kind_BOX) {
                local.setBox(box(-1.1f, -0.3f, 0, 0.7f, 0.9f, 1.3f));
            } else if (own == Bound::Kind_SPHERE) {
                local.setSphere(Sphere(Vector3(0.2f, 0.1f, 0), 0.6f));
            }
            hub->setBound(&local);
            for (size_t i = 0; i < mixes[m].size(); ++i) {
                Pointer<Node> child = newNode(hub.get());
                child->setTranslate(1.3f * static_cast<float>(i), 0.7f, -0.4f * static_cast<float>(i));
                child->setRotate(Vector3(1, 0, 1), 0.3f * static_cast<float>(i + 1));
                Bound bound;
                if (mixes[m][i] == Bound::Kind_BOX) {
                    bound.setBox(box(-0.5f, -0.25f, 0, 0.5f, 0.25f, 1.0f + static_cast<float>(i)));
                } else if (mixes[m][i] == Bound::Kind_SPHERE) {
                    bound.setSphere(Sphere(Vector3(0.5f, 0, 0), 0.4f));
                } else if (mixes[m][i] == Bound::Kind_INFINITE) {
                    bound.setInfinite();
                }
                child->setBound(&bound);
            }
            Pointer<BoxComponent> part(new BoxComponent(box(-2, -2, -2, -1, -1, -1)));
            hub->attach(part.get());
            hub->setTranslate(0.4f, -1.7f, 2.1f);
            expectSameBound(*hub->getWorldBound(), *mergedFromScratch(hub.get(), 0.001f));
            hub->destroy();
        }
    }
}

TEST_F(NodeTest, AttachingPlacesTheSubtreeAndCountsItsBound)
{
    // A model built before it is attached: its root is still, its parts are placed.
    Pointer<Node> model(new Node(scene.get()));
    Pointer<Node> part = newNode(model.get());
    part->setTranslate(3, 0, 0);
    Pointer<BoxComponent> shape(new BoxComponent(box(-1, -1, -1, 1, 1, 1)));
    part->attach(shape.get());

    Pointer<Node> holder = newNode(root());
    holder->setTranslate(0, 10, 0);
    holder->attach(model.get());

    expectNear(part->getWorldTransform()->translate, Vector3(3, 10, 0));
    EXPECT_EQ(root()->getWorldBound()->kind, Bound::Kind_BOX);
    expectNear(root()->getWorldBound()->box.maximum, Vector3(4, 11, 1));

    holder->remove(model.get());
    EXPECT_EQ(holder->getWorldBound()->kind, Bound::Kind_EMPTY);
    EXPECT_EQ(root()->getWorldBound()->kind, Bound::Kind_EMPTY);
    model->destroy();
}

TEST_F(NodeTest, ANodeIsNotAttachedUnderItselfOrUnderItsOwnDescendants)
{
    Pointer<Node> a = newNode(root(), "a");
    Pointer<Node> b = newNode(a.get(), "b");
    Pointer<Node> c = newNode(b.get(), "c");
    const auto shape = [&] {
        return std::vector<const Node*>{a->getParent(), b->getParent(), c->getParent()};
    };
    const std::vector<const Node*> before = shape();
    struct Case
    {
        const char* name;
        Node* parent;
        Node* child;
    };
    const Case cases[] = {{"a under a", a.get(), a.get()},
                          {"a under b", b.get(), a.get()},
                          {"a under c", c.get(), a.get()},
                          {"b under c", c.get(), b.get()},
                          {"root under c", c.get(), root()}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(raised([&] { c.parent->attach(c.child); }).code, 2);
        EXPECT_EQ(shape(), before);
        EXPECT_EQ(root()->getNodes().size(), 1);
        EXPECT_EQ(a->getNodes().size(), 1);
        EXPECT_EQ(b->getNodes().size(), 1);
        EXPECT_EQ(c.parent->getNumSpacials() + c.child->getNumSpacials(), 0);
    }
    // The tree is whole: it moves, bounds and updates as before.
    a->setTranslate(1, 0, 0);
    scene->update(50);
    expectNear(c->getWorldTransform()->translate, Vector3(1, 0, 0));
    EXPECT_EQ(root()->getWorldBound()->kind, Bound::Kind_EMPTY);
    // Moving a node down within its own tree elsewhere is still a plain move.
    a->attach(c.get());
    EXPECT_EQ(c->getParent(), a.get());
}

// A node that counts the merges of its world bound.
class MergeCountingNode : public Node
{
public:
    using Node::Node;
    void calculateBound() override
    {
        ++merges;
        Node::calculateBound();
    }
    int merges = 0;
};

TEST_F(NodeTest, ALeafAttachedUnderAPlacedNodeReadsItsOwnBoundPlaced)
{
    // The leaf's own world bound is formed when it is first read, whichever node is read first.
    for (const bool leafFirst : {true, false}) {
        SCOPED_TRACE(leafFirst ? "leaf read first" : "holder read first");
        Pointer<Node> holder = newNode(root());
        holder->setTranslate(0, 10, 0);
        Pointer<Node> leaf(new Node(scene.get()));
        Bound own;
        own.setBox(box(-1, -1, -1, 1, 1, 1));
        leaf->setBound(&own);
        leaf->setTranslate(3, 0, 0);
        holder->attach(leaf.get());

        const auto expectLeaf = [&] {
            EXPECT_EQ(leaf->getWorldBound()->kind, Bound::Kind_BOX);
            expectNear(leaf->getWorldBound()->box.minimum, Vector3(2, 9, -1));
            expectNear(leaf->getWorldBound()->sphere.origin, Vector3(3, 10, 0));
        };
        if (leafFirst) {
            expectLeaf();
        }
        expectNear(holder->getWorldBound()->box.maximum, Vector3(4, 11, 1));
        expectNear(root()->getWorldBound()->box.maximum, Vector3(4, 11, 1));
        expectLeaf();
        holder->destroy();
    }
}

// A node that says when it goes.
class GoneNode : public Node
{
public:
    explicit GoneNode(bool* gone) : gone(gone) {}
    ~GoneNode() override { *gone = true; }
    bool* gone;
};

TEST_F(NodeTest, AnOwningPointerToANodesTransformOrBoundKeepsTheNodeAlive)
{
    for (int held = 0; held < 4; ++held) {
        SCOPED_TRACE(held);
        bool gone = false;
        Pointer<Node> node(new GoneNode(&gone));
        Bound own;
        own.setBox(box(-1, -1, -1, 1, 1, 1));
        node->setBound(&own);
        Pointer<Transform> transform(held == 0 ? node->getTransform() : held == 1 ? node->getWorldTransform() : nullptr);
        Pointer<Bound> bound(held == 2 ? node->getBound() : held == 3 ? node->getWorldBound() : nullptr);
        node = nullptr;
        EXPECT_FALSE(gone);
        if (transform) {
            EXPECT_EQ(transform->scale.x, 1.0f);
            // The local transform still tells its node, which still places itself.
            transform->setTranslate(Vector3(2, 0, 0));
            EXPECT_EQ(transform->translate.x, 2.0f);
            transform = nullptr;
        } else {
            EXPECT_EQ(bound->kind, Bound::Kind_BOX);
            bound = nullptr;
        }
        EXPECT_TRUE(gone);
    }
}

TEST_F(NodeTest, AttachingOrRemovingChildrenMergesTheParentsBoundOnceWhenItIsRead)
{
    Pointer<MergeCountingNode> hub(new MergeCountingNode(scene.get()));
    root()->attach(hub.get());
    hub->getWorldBound();
    hub->merges = 0;
    std::vector<Pointer<Node>> children;
    for (int i = 0; i < 200; ++i) {
        Pointer<Node> child(new Node(scene.get()));
        Bound own;
        own.setSphere(Sphere(Vector3(), 0.5f));
        child->setBound(&own);
        child->setTranslate(static_cast<float>(i), 0, 0);
        hub->attach(child.get());
        children.push_back(child);
    }
    for (int i = 0; i < 50; ++i) {
        hub->remove(children[size_t(i) * 4].get());
    }
    // Building and thinning n children merges over them once, at the read, not once per change.
    EXPECT_EQ(hub->merges, 0);
    expectSameBound(*root()->getWorldBound(), *mergedFromScratch(root(), 0.001f));
    EXPECT_EQ(hub->merges, 1);
    EXPECT_GE(hub->getWorldBound()->box.maximum.x, 199.5f);
    for (Pointer<Node>& child : children) {
        child->destroy();
    }
}

// Counts the nodes a gathering walks through.
class NodeCountingSet : public rezezaz::scene::RenderableSet
{
public:
    using RenderableSet::RenderableSet;
    void queueNode(Node*) override { ++nodes; }
    int nodes = 0;
};

TEST_F(NodeTest, ATwentyThousandDeepChainIsPlacedUpdatedGatheredAndTornDown)
{
    // Deeper than any walk that recursed once per level could take on the thread's stack.
    const int depth = 20000;
    Pointer<Node> top = newNode(root());
    Node* bottom = top.get();
    for (int i = 1; i < depth; ++i) {
        Pointer<Node> link(new Node(scene.get()));
        link->setTranslate(1, 0, 0);
        bottom->attach(link.get());
        bottom = link.get();
    }
    Pointer<ProbeComponent> probe(new ProbeComponent());
    probe->active = true;
    bottom->attach(probe.get());
    Pointer<BoxComponent> shape(new BoxComponent(box(-1, -1, -1, 1, 1, 1)));
    bottom->attach(shape.get());

    top->setTranslate(0, 5, 0);
    expectNear(bottom->getWorldTransform()->translate, Vector3(depth - 1, 5, 0));
    expectNear(root()->getWorldBound()->box.maximum, Vector3(depth, 6, 1));
    scene->update(50);
    EXPECT_EQ(probe->logicUpdates, 1);
    EXPECT_EQ(probe->frameUpdates, 1);

    // Put to sleep from the top, woken from the bottom.
    top->deactivate();
    EXPECT_FALSE(bottom->getActive());
    bottom->activate();
    EXPECT_TRUE(top->getActive());
    scene->update(50);
    EXPECT_EQ(probe->logicUpdates, 2);

    rezezaz::scene::Camera camera(nullptr);
    camera.setProjectionOrtho(-1e5f, 1e5f, -1e5f, 1e5f, -1e5f, 1e5f);
    NodeCountingSet set(scene.get());
    root()->gatherRenderables(&camera, &set);
    EXPECT_EQ(set.nodes, depth + 1);
    EXPECT_FALSE(root()->handleEvent(nullptr));

    root()->destroyAllChildren();
    EXPECT_EQ(root()->getNodes().size(), 0);
    EXPECT_EQ(probe->getParent(), nullptr);
}

TEST_F(NodeTest, IdleSubtreeSleepsOnTheFifthIdleUpdate)
{
    Pointer<Node> parent = newNode(root());
    Pointer<Node> child = newNode(parent.get());
    Pointer<ProbeComponent> probe(new ProbeComponent());
    child->attach(probe.get());

    for (int i = 1; i <= 4; ++i) {
        root()->logicUpdate(10, -1);
        EXPECT_TRUE(child->getActive()) << "update " << i;
    }
    root()->logicUpdate(10, -1);
    EXPECT_FALSE(child->getActive());
    // The parent counted its awake child as activity: its own idle updates start now.
    EXPECT_TRUE(parent->getActive());
    for (int i = 1; i <= 4; ++i) {
        root()->logicUpdate(10, -1);
    }
    EXPECT_TRUE(parent->getActive());
    root()->logicUpdate(10, -1);
    EXPECT_FALSE(parent->getActive());
    const int updates = probe->logicUpdates;

    // Attaching under the sleeping child wakes it and its sleeping ancestors.
    Pointer<ProbeComponent> second(new ProbeComponent());
    child->attach(second.get());
    EXPECT_TRUE(child->getActive());
    EXPECT_TRUE(parent->getActive());
    root()->logicUpdate(10, -1);
    EXPECT_EQ(probe->logicUpdates, updates + 1);

    // An active component keeps the subtree awake; so does staying active.
    probe->active = true;
    for (int i = 0; i < 10; ++i) {
        root()->logicUpdate(10, -1);
    }
    EXPECT_TRUE(parent->getActive());
    EXPECT_TRUE(parent->getAnyActive());
    probe->active = false;
    parent->setStayActive(true);
    for (int i = 0; i < 10; ++i) {
        root()->logicUpdate(10, -1);
    }
    EXPECT_TRUE(parent->getActive());
    EXPECT_EQ(parent->getDeactivateCount(), -1);

    // A scope outside the update's leaves the node awake.
    parent->setStayActive(false);
    parent->setScope(0x2);
    for (int i = 0; i < 10; ++i) {
        root()->logicUpdate(10, 0x1);
    }
    EXPECT_TRUE(parent->getActive());
}

// A node of its own kind, counting the updates that reach it.
class CountingNode : public Node
{
public:
    using Node::Node;
    void logicUpdate(int dt, int scope) override
    {
        ++logicUpdates;
        Node::logicUpdate(dt, scope);
    }
    void frameUpdate(int dt, int scope) override
    {
        ++frameUpdates;
        Node::frameUpdate(dt, scope);
    }
    int logicUpdates = 0;
    int frameUpdates = 0;
};

TEST_F(NodeTest, AsleepSubtreeWithoutComponentsIsPassedByUntilItHasWorkAgain)
{
    Pointer<Node> a = newNode(root());
    Pointer<Node> b = newNode(a.get());
    Pointer<Node> c = newNode(b.get());
    Pointer<CountingNode> own(new CountingNode(scene.get()));
    a->attach(own.get());
    const auto idle = [&](int updates) {
        for (int i = 0; i < updates; ++i) {
            root()->logicUpdate(10, -1);
            root()->frameUpdate(10, -1);
        }
    };
    idle(40);
    for (Node* node : {a.get(), b.get(), c.get(), static_cast<Node*>(own.get())}) {
        EXPECT_FALSE(node->getActive());
        EXPECT_FALSE(node->getAnyActive());
    }
    EXPECT_TRUE(b->getSettled());
    EXPECT_TRUE(c->getSettled());
    // A node of another kind may do more in its updates than this one: it and its parent keep getting them.
    EXPECT_FALSE(own->getSettled());
    EXPECT_FALSE(a->getSettled());
    const int logicBefore = own->logicUpdates;
    const int frameBefore = own->frameUpdates;
    idle(3);
    EXPECT_EQ(own->logicUpdates, logicBefore + 3);
    EXPECT_EQ(own->frameUpdates, frameBefore + 3);

    // A component joining the sleeping leaf without waking it still gets both updates.
    Pointer<ProbeComponent> probe(new ProbeComponent());
    probe->parentChanged(c.get());
    // The counts of what runs below: the node of its own kind and the component.
    EXPECT_EQ(root()->getBusy(), 2);
    EXPECT_EQ(b->getBusy(), 1);
    EXPECT_FALSE(b->getSettled());
    EXPECT_FALSE(c->getActive());
    idle(1);
    EXPECT_EQ(probe->logicUpdates, 1);
    EXPECT_EQ(probe->frameUpdates, 1);
    probe->parentChanged(nullptr);
    EXPECT_EQ(root()->getBusy(), 1);
    EXPECT_EQ(b->getBusy(), 0);
    idle(2);
    EXPECT_TRUE(b->getSettled());

    // So does a node joining it, and what that node holds.
    Pointer<Node> late(new Node(scene.get()));
    Pointer<ProbeComponent> held(new ProbeComponent());
    late->attach(held.get());
    late->parentChanged(c.get());
    idle(1);
    EXPECT_EQ(held->logicUpdates, 1);
    EXPECT_EQ(held->frameUpdates, 1);
    EXPECT_EQ(root()->getBusy(), 2);
    late->destroy();
    EXPECT_EQ(root()->getBusy(), 1);
    idle(30);
    EXPECT_TRUE(b->getSettled());

    // Waking the leaf wakes its ancestors, and their updates run again.
    c->activate();
    EXPECT_FALSE(b->getSettled());
    EXPECT_TRUE(b->getActive());
    EXPECT_TRUE(a->getActive());
    idle(1);
    EXPECT_TRUE(c->getActive());
    EXPECT_EQ(c->getDeactivateCount(), 1);
}

TEST_F(NodeTest, UpdatesAndEventsVisitComponentsThenChildren)
{
    std::vector<std::string> trace;
    Pointer<Node> a = newNode(root(), "a");
    Pointer<ProbeComponent> first(new ProbeComponent("first", &trace));
    Pointer<ProbeComponent> second(new ProbeComponent("second", &trace));
    root()->attach(first.get());
    Pointer<Node> b = newNode(a.get(), "b");
    a->attach(second.get());
    root()->frameUpdate(7, -1);
    EXPECT_EQ(trace, (std::vector<std::string>{"frame first", "frame second"}));
    EXPECT_EQ(second->lastDT, 7);
    EXPECT_FALSE(root()->handleEvent(nullptr));
}

TEST_F(NodeTest, SpacialIsToldOfTheTransformWhenAttached)
{
    Pointer<Node> node = newNode(root());
    node->setTranslate(2, 0, 0);
    Pointer<BoxComponent> part(new BoxComponent(box(0, 0, 0, 1, 1, 1)));
    node->attach(part.get());
    EXPECT_EQ(part->transformChanges, 1);
    expectNear(part->getWorldBound()->box.minimum, Vector3(2, 0, 0));
    EXPECT_EQ(node->getNumSpacials(), 1);
    EXPECT_EQ(node->getSpacial(0), part.get());

    node->remove(part.get());
    EXPECT_EQ(node->getNumSpacials(), 0);
    EXPECT_EQ(node->getComponents().size(), 0);
    EXPECT_EQ(part->getParent(), nullptr);
}

TEST_F(NodeTest, LooksUpChildrenByNameAndType)
{
    Pointer<Node> node = newNode(root(), "holder");
    Pointer<ProbeComponent> probe(new ProbeComponent("wheel"));
    node->attach(probe.get());
    Pointer<Node> child = newNode(node.get(), "wheel");
    Pointer<Node> other = newNode(node.get(), "crank");

    EXPECT_EQ(node->getChild(String("wheel")), probe.get());
    EXPECT_EQ(node->getChild(String("crank")), static_cast<rezezaz::scene::Component*>(other.get()));
    EXPECT_EQ(node->getChild(String("pedal")), nullptr);
    EXPECT_EQ(node->getNode(String("wheel")), child.get());
    EXPECT_EQ(node->getNode(String("pedal")), nullptr);

    EXPECT_EQ(node->getChild(child->getType()), static_cast<rezezaz::scene::Component*>(child.get()));
    EXPECT_EQ(node->getNode(child->getType()), child.get());
    // The base component's type has no name and finds nothing.
    EXPECT_EQ(node->getChild(probe->getType()), nullptr);
    EXPECT_EQ(root()->getNode(scene->getRoot()->getType()), nullptr);
    EXPECT_STREQ(root()->getType()->getFullName().c_str(), "PartitionNode");
    EXPECT_STREQ(child->getType()->getFullName().c_str(), "Node");

    // Roots follow the attachment.
    EXPECT_EQ(child->getRoot(), root());
    EXPECT_EQ(root()->getRoot(), root());
    node->remove(child.get());
    EXPECT_EQ(child->getRoot(), nullptr);
    EXPECT_EQ(node->getNodes().size(), 1);
    child->destroy();
}

// Destroys itself on request without leaving its node.
class StubbornComponent : public ProbeComponent
{
public:
    void destroy() override { ++destroyed; }
    int destroyed = 0;
};

TEST_F(NodeTest, DestroyEndsWithComponentsThatStayOrFreeThemselves)
{
    Pointer<Node> node = newNode(root());
    Pointer<StubbornComponent> stubborn(new StubbornComponent());
    node->attach(stubborn.get());
    // Held only by the node: freed while it removes itself.
    node->attach(new ProbeComponent("owned"));
    Pointer<Node> child = newNode(node.get());
    const int handle = child->getHandle();

    node->destroy();
    EXPECT_EQ(stubborn->destroyed, 1);
    EXPECT_EQ(node->getComponents().size(), 0);
    EXPECT_EQ(node->getNodes().size(), 0);
    EXPECT_EQ(scene->getNodeManager()->getNode(handle), nullptr);
    EXPECT_EQ(root()->getNodes().size(), 0);
}

} // namespace
