#include "PhysicsTestContext.h"

using namespace physicstest;

namespace {

struct MassCase
{
    float mass;
    float inverseMass;
    bool infinite;
};

} // namespace

TEST(SolidTest, MassGivesInverseMassAndInfinity)
{
    const MassCase cases[] = {
        {1.0f, 1.0f, false}, {4.0f, 0.25f, false}, {0.0f, 0.0f, false},
        {-3.0f, 0.0f, false}, {-1.0f, 0.0f, true},
    };
    for (const MassCase& c : cases) {
        SCOPED_TRACE(c.mass);
        IntrusivePointer<Solid> solid(new Solid());
        solid->setMass(c.mass);
        EXPECT_EQ(solid->getMass(), c.mass);
        EXPECT_EQ(solid->getInverseMass(), c.inverseMass);
        EXPECT_EQ(solid->hasInfiniteMass(), c.infinite);
    }
    IntrusivePointer<Solid> solid(new Solid());
    solid->setInfiniteMass();
    EXPECT_EQ(solid->getMass(), Solid::INFINITE_MASS);
    EXPECT_EQ(solid->getInverseMass(), 0.0f);
    EXPECT_TRUE(solid->hasInfiniteMass());
}

namespace {

struct BoundCase
{
    const char* name;
    std::function<IntrusivePointer<Shape>()> make;
    int32_t type;
    AABox bound;
};

} // namespace

// Each shape's bound, relative to the solid, and the solid's union of them placed at its position.
TEST(SolidTest, ShapeBoundsAndTheSolidsUnion)
{
    static ScriptedTraceable traceable;
    traceable.bound = AABox(Vector3(-2, -3, -4), Vector3(1, 1, 1));
    const BoundCase cases[] = {
        {"box", [] { return boxShape(Vector3(-1, -2, -3), Vector3(1, 2, 3)); }, Shape::Type_AABOX,
         AABox(Vector3(-1, -2, -3), Vector3(1, 2, 3))},
        {"sphere", [] { return sphereShape(Vector3(1, 2, 3), 0.5f); }, Shape::Type_SPHERE,
         AABox(Vector3(0.5f, 1.5f, 2.5f), Vector3(1.5f, 2.5f, 3.5f))},
        {"capsule",
         [] { return IntrusivePointer<Shape>(new Shape(Capsule(Vector3(0, 0, 1), Vector3(2, 0, -3), 0.5f))); },
         Shape::Type_CAPSULE, AABox(Vector3(-0.5f, -0.5f, -2.5f), Vector3(2.5f, 0.5f, 1.5f))},
        // Planes 0, 1 and 2 (+X, -X, +Y) never meet, so the zero box is never replaced.
        {"convex box away from the origin",
         [] { return IntrusivePointer<Shape>(new Shape(boxPlanes(Vector3(2, 3, 4), Vector3(5, 6, 7)))); },
         Shape::Type_CONVEXSOLID, AABox(Vector3(0, 0, 0), Vector3(5, 6, 7))},
        {"convex tetrahedron",
         [] {
             const Plane planes[] = {Plane(Vector3(-1, 0, 0), 0), Plane(Vector3(0, -1, 0), 0),
                                     Plane(Vector3(0, 0, -1), -1),
                                     Plane(Vector3(0.57735027f, 0.57735027f, 0.57735027f), 2.3094011f)};
             return IntrusivePointer<Shape>(new Shape(ConvexSolid(planes, 4)));
         },
         Shape::Type_CONVEXSOLID, AABox(Vector3(0, 0, 1), Vector3(3, 3, 4))},
        {"traceable", [] { return IntrusivePointer<Shape>(new Shape(&traceable)); }, Shape::Type_TRACEABLE,
         traceable.bound},
    };
    for (const BoundCase& c : cases) {
        SCOPED_TRACE(c.name);
        IntrusivePointer<Shape> shape = c.make();
        EXPECT_EQ(shape->getType(), c.type);
        AABox bound;
        shape->getBound(bound);
        EXPECT_TRUE(near(bound.minimum, c.bound.minimum));
        EXPECT_TRUE(near(bound.maximum, c.bound.maximum));

        IntrusivePointer<Solid> solid(new Solid());
        solid->setPosition(Vector3(10, 20, 30));
        solid->addShape(boxShape(Vector3(0, 0, 0), Vector3(0.25f, 0.25f, 0.25f)).get());
        solid->addShape(shape.get());
        EXPECT_EQ(solid->getShapeTypes(), Shape::Type_AABOX | c.type);
        const Vector3 low(std::fmin(0.0f, c.bound.minimum.x), std::fmin(0.0f, c.bound.minimum.y),
                          std::fmin(0.0f, c.bound.minimum.z));
        const Vector3 high(std::fmax(0.25f, c.bound.maximum.x), std::fmax(0.25f, c.bound.maximum.y),
                           std::fmax(0.25f, c.bound.maximum.z));
        EXPECT_TRUE(near(solid->getLocalBound().minimum, low));
        EXPECT_TRUE(near(solid->getLocalBound().maximum, high));
        EXPECT_TRUE(near(solid->getWorldBound().minimum, low + Vector3(10, 20, 30)));
        EXPECT_TRUE(near(solid->getWorldBound().maximum, high + Vector3(10, 20, 30)));
    }
}

TEST(SolidTest, ShapeChangesFollowIntoTheSolidsBound)
{
    IntrusivePointer<Solid> solid(new Solid());
    EXPECT_EQ(solid->getShapeTypes(), 0);
    solid->setPosition(Vector3(1, 2, 3));
    // No shapes: the world bound is the point at the position.
    EXPECT_EQ(solid->getWorldBound(), AABox(Vector3(1, 2, 3), Vector3(1, 2, 3)));

    IntrusivePointer<Shape> shape = boxShape(Vector3(-1, -1, -1), Vector3(1, 1, 1));
    solid->addShape(shape.get());
    shape->setSphere(Sphere(Vector3(0, 0, 2), 1.0f));
    EXPECT_EQ(solid->getShapeTypes(), Shape::Type_SPHERE);
    EXPECT_EQ(solid->getWorldBound(), AABox(Vector3(0, 1, 4), Vector3(2, 3, 6)));
    // The box the shape had is kept, only no longer in force.
    EXPECT_EQ(shape->getAABox(), AABox(Vector3(-1, -1, -1), Vector3(1, 1, 1)));

    solid->removeShape(shape.get());
    EXPECT_EQ(solid->getShapeTypes(), 0);
    EXPECT_EQ(solid->getWorldBound(), AABox(Vector3(1, 2, 3), Vector3(1, 2, 3)));
}

// A shape never names a solid that has let it go, however the solid lets go of it.
TEST(SolidTest, ShapeForgetsTheSolidThatLetItGo)
{
    const std::function<void(IntrusivePointer<Solid>&, Shape*)> ways[] = {
        [](IntrusivePointer<Solid>& solid, Shape* shape) { solid->removeShape(shape); },
        [](IntrusivePointer<Solid>& solid, Shape*) { solid->removeAllShapes(); },
        [](IntrusivePointer<Solid>& solid, Shape*) { solid = nullptr; },
        [](IntrusivePointer<Solid>& solid, Shape*) { solid->reset(); },
    };
    int way = 0;
    for (const auto& letGo : ways) {
        SCOPED_TRACE(way++);
        IntrusivePointer<Shape> shape = sphereShape(Vector3(), 1.0f);
        IntrusivePointer<Solid> solid(new Solid());
        solid->addShape(shape.get());
        ASSERT_EQ(shape->getSolid(), solid.get());
        letGo(solid, shape.get());
        EXPECT_EQ(shape->getSolid(), nullptr);
        // Resetting the shape afterwards reaches no solid.
        shape->reset();
    }
}

// A shape moved to a second solid names the second; the first letting go of it does not undo that.
TEST(SolidTest, ShapeSharedByTwoSolidsNamesTheLast)
{
    IntrusivePointer<Shape> shape = sphereShape(Vector3(), 1.0f);
    IntrusivePointer<Solid> first(new Solid());
    IntrusivePointer<Solid> second(new Solid());
    first->addShape(shape.get());
    second->addShape(shape.get());
    EXPECT_EQ(shape->getSolid(), second.get());
    first->removeAllShapes();
    EXPECT_EQ(shape->getSolid(), second.get());
    EXPECT_EQ(second->getNumShapes(), 1);
}

// The solid may hold the only reference to its shape: resetting the shape removes it from the solid
// without the shape being freed under itself.
TEST(SolidTest, ShapeResetWhileOnlyTheSolidHoldsIt)
{
    IntrusivePointer<Solid> solid(new Solid());
    Shape* shape = new Shape(AABox(Vector3(-1, -1, -1), Vector3(1, 1, 1)));
    solid->addShape(shape);
    shape->reset();
    EXPECT_EQ(solid->getNumShapes(), 0);
    EXPECT_EQ(solid->getShapeTypes(), 0);
}

TEST(SolidTest, ConstraintIsListedByBothEndsAndLetsGoOfThem)
{
    IntrusivePointer<Solid> a(new Solid());
    IntrusivePointer<Solid> b(new Solid());
    IntrusivePointer<Constraint> constraint(new Constraint(a.get(), b.get()));
    ASSERT_EQ(a->getNumConstraints(), 1);
    ASSERT_EQ(b->getNumConstraints(), 1);
    EXPECT_EQ(a->getConstraint(0), constraint.get());
    EXPECT_EQ(b->getConstraint(0), constraint.get());

    a->deactivate();
    b->deactivate();
    constraint->setEndPoint(Vector3(1, 2, 3));
    EXPECT_EQ(b->getNumConstraints(), 0);
    EXPECT_EQ(constraint->getEndSolid(), nullptr);
    EXPECT_EQ(constraint->getEndPoint(), Vector3(1, 2, 3));
    EXPECT_TRUE(a->getActive());
    EXPECT_TRUE(b->getActive());

    // Destroying the start solid's ties takes the constraint out of the other end's list too.
    constraint->setEndSolid(b.get());
    ASSERT_EQ(b->getNumConstraints(), 1);
    a->reset();
    EXPECT_EQ(a->getNumConstraints(), 0);
    EXPECT_EQ(b->getNumConstraints(), 0);
    EXPECT_EQ(constraint->getStartSolid(), nullptr);
    EXPECT_EQ(constraint->getEndSolid(), nullptr);
}

// A constraint may hold the only reference to its solid: the solid's reset lets the constraint go
// without the solid being freed under itself, and setting the solid already held keeps it.
TEST(SolidTest, ConstraintHoldingTheOnlyReference)
{
    IntrusivePointer<Constraint> constraint(new Constraint());
    Solid* solid = new Solid();
    constraint->setStartSolid(solid);
    constraint->setStartSolid(solid);
    ASSERT_EQ(constraint->getStartSolid(), solid);
    EXPECT_EQ(solid->getNumConstraints(), 1);

    constraint->setEndSolid(solid);
    EXPECT_EQ(solid->getNumConstraints(), 2);
    constraint->setEndSolid(nullptr);
    EXPECT_EQ(solid->getNumConstraints(), 1);

    IntrusivePointer<Solid> other(new Solid());
    IntrusivePointer<Constraint> tie(new Constraint(other.get(), solid));
    solid->reset();
    EXPECT_EQ(constraint->getStartSolid(), nullptr);
    EXPECT_EQ(tie->getEndSolid(), nullptr);
    EXPECT_EQ(other->getNumConstraints(), 1);
}

TEST(SolidTest, WakingSpreadsAlongConstraints)
{
    IntrusivePointer<Solid> a(new Solid());
    IntrusivePointer<Solid> b(new Solid());
    IntrusivePointer<Solid> c(new Solid());
    IntrusivePointer<Constraint> ab(new Constraint(a.get(), b.get()));
    IntrusivePointer<Constraint> bc(new Constraint(b.get(), c.get()));
    a->deactivate();
    b->deactivate();
    c->deactivate();

    // c is the end of bc: waking c wakes b, whose constraint ab has a as another start.
    c->setVelocity(Vector3(1, 0, 0));
    EXPECT_TRUE(c->getActive());
    EXPECT_TRUE(b->getActive());
    EXPECT_TRUE(a->getActive());

    // A solid already awake ends the spread: from a it reaches b, which is awake, and no further.
    a->deactivate();
    c->deactivate();
    a->activate();
    EXPECT_TRUE(b->getActive());
    EXPECT_FALSE(c->getActive());
}

TEST(SolidTest, StayActiveSurvivesActivation)
{
    IntrusivePointer<Solid> solid(new Solid());
    solid->setStayActive(true);
    EXPECT_EQ(solid->getDeactivateCount(), -1);
    solid->activate();
    solid->addForce(Vector3(1, 0, 0));
    EXPECT_EQ(solid->getDeactivateCount(), -1);
    solid->setStayActive(false);
    EXPECT_EQ(solid->getDeactivateCount(), 0);
}

TEST(SolidTest, SetPositionWakesOnlyInsideASimulator)
{
    IntrusivePointer<Solid> loose(new Solid());
    loose->deactivate();
    loose->setPosition(Vector3(1, 1, 1));
    EXPECT_FALSE(loose->getActive());

    World world;
    Solid* ball = world.addBall(Vector3(0, 0, 5));
    ball->setVelocity(Vector3(0, 0, -3));
    world.step();
    ball->deactivate();
    ball->setPosition(Vector3(2, 0, 5));
    EXPECT_TRUE(ball->getActive());
    EXPECT_EQ(ball->getPosition(), Vector3(2, 0, 5));
    EXPECT_EQ(ball->getWorldBound(), AABox(Vector3(1.5f, -0.5f, 4.5f), Vector3(2.5f, 0.5f, 5.5f)));
}

// Setting a position inside the simulator sweeps from there with the solid's velocity: what is in
// the way is pushed, and the solid still ends where it was put with its velocity unchanged.
TEST(SolidTest, SetPositionPushesWhatIsInTheWay)
{
    World world;
    world.simulator->setGravity(Vector3());
    Solid* pusher = world.addBlock(Vector3(0, 0, 5));
    Solid* pushed = world.addBlock(Vector3(1.2f, 0, 5));
    world.step();
    pushed->deactivate();
    pusher->setVelocity(Vector3(20, 0, 0));
    pusher->setPosition(Vector3(0, 0, 5));
    EXPECT_EQ(pusher->getPosition(), Vector3(0, 0, 5));
    EXPECT_EQ(pusher->getVelocity(), Vector3(20, 0, 0));
    EXPECT_TRUE(pushed->getActive());
    EXPECT_GT(pushed->getVelocity().x, 1.0f);
}

// A solid and a constraint that outlive their simulator no longer name it.
TEST(SolidTest, SimulatorGoneBeforeItsSolids)
{
    IntrusivePointer<Solid> solid(new Solid());
    IntrusivePointer<Solid> other(new Solid());
    IntrusivePointer<Constraint> constraint(new Constraint(solid.get(), other.get()));
    {
        IntrusivePointer<Simulator> simulator(new Simulator());
        simulator->addSolid(solid.get());
        simulator->addSolid(other.get());
        simulator->addConstraint(constraint.get());
        solid->addShape(sphereShape(Vector3(), 0.5f).get());
        other->addShape(sphereShape(Vector3(), 0.5f).get());
        other->setPosition(Vector3(0, 0, -0.9f));
        simulator->update(16, 0, nullptr);
        ASSERT_EQ(solid->getSimulator(), simulator.get());
        ASSERT_NE(solid->getTouching(), nullptr);
    }
    EXPECT_EQ(solid->getSimulator(), nullptr);
    EXPECT_EQ(other->getSimulator(), nullptr);
    EXPECT_EQ(constraint->getSimulator(), nullptr);
    EXPECT_EQ(solid->getTouching(), nullptr);
    // Outside any simulator this only moves the solid.
    solid->setPosition(Vector3(3, 0, 0));
    EXPECT_EQ(solid->getPosition(), Vector3(3, 0, 0));
}

TEST(SolidTest, ResetKeepsManagerAndLastStep)
{
    RecordingManager manager;
    IntrusivePointer<Solid> solid(new Solid());
    IntrusivePointer<Simulator> simulator(new Simulator());
    simulator->addSolid(solid.get());
    simulator->update(20, 0, nullptr);
    solid->setManager(&manager);
    solid->setMass(3.0f);
    solid->setScope(7);
    solid->setUseManagerHooks(true);
    solid->addShape(sphereShape(Vector3(), 1).get());

    solid->reset();
    EXPECT_EQ(solid->getManager(), &manager);
    EXPECT_EQ(solid->getLastDt(), 20);
    EXPECT_EQ(solid->getMass(), 1.0f);
    EXPECT_EQ(solid->getScope(), 0);
    EXPECT_EQ(solid->getUpdateScope(), -1);
    EXPECT_FALSE(solid->getUseManagerHooks());
    EXPECT_EQ(solid->getNumShapes(), 0);
    EXPECT_EQ(solid->getSimulator(), nullptr);
    EXPECT_EQ(solid->getVelocity(), Vector3());
    simulator->removeSolid(solid.get());
}
