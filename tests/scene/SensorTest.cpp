#include "scene/sensor/Sensor.h"
#include "SceneFixture.h"
#include "scene/SensorResultsListener.h"
#include "scene/sensor/BoundingVolumeSensor.h"
#include "scene/sensor/SensorResults.h"

#include <functional>

using namespace scenetest;
using rezezaz::core::Object;
using rezezaz::core::math::Vector3;
using rezezaz::scene::Bound;
using rezezaz::scene::Node;
using rezezaz::scene::sensor::BoundingVolumeSensor;
using rezezaz::scene::sensor::Sensor;
using rezezaz::scene::sensor::SensorResults;

namespace {

// Records a query as "begin", "<name> <distance>" per node and "end"; stops after `stopAfter`
// nodes when that is not negative.
class RecordingSensorListener : public rezezaz::scene::SensorResultsListener
{
public:
    void sensingBeginning() override { events.push_back("begin"); }
    bool resultFound(Node* node, float distance) override
    {
        events.push_back(std::string(node->getName().c_str()) + " " +
                         std::to_string(static_cast<int>(distance)));
        return stopAfter < 0 || --stopAfter > 0;
    }
    void sensingEnding() override { events.push_back("end"); }

    int stopAfter = -1;
    std::vector<std::string> events;
};

// A sensor with a test of the caller's; without one it is the plain sensor.
class TestSensor : public Object, public Sensor
{
public:
    explicit TestSensor(rezezaz::scene::Scene* scene, std::function<bool(Node*)> test = nullptr)
        : Sensor(scene), test(std::move(test))
    {}

    int32_t retain() override { return Object::retain(); }
    int32_t release() override { return Object::release(); }
    bool senseNode(Node* node) override { return test ? test(node) : Sensor::senseNode(node); }

    std::function<bool(Node*)> test;
};

using Events = std::vector<std::string>;

class SensorTest : public SceneFixture
{
protected:
    // root: a (with a1, a2), b; translates (3, 4, 0), (0, 0, 2) and (6, 8, 0) under the root.
    void SetUp() override
    {
        a = newNode(root(), "a");
        a->setTranslate(3, 4, 0);
        newNode(a.get(), "a1");
        newNode(a.get(), "a2");
        b = newNode(root(), "b");
        b->setTranslate(6, 8, 0);
        c = newNode(root(), "c");
        c->setTranslate(0, 0, 2);
    }

    Pointer<Node> a;
    Pointer<Node> b;
    Pointer<Node> c;
    RecordingSensorListener listener;
};

TEST_F(SensorTest, APlainSensorFindsNothing)
{
    Pointer<TestSensor> sensor(new TestSensor(scene.get()));
    EXPECT_FALSE(sensor->sense(&listener));
    EXPECT_EQ(listener.events, (Events{"begin", "end"}));
    Pointer<SensorResults> results = sensor->sense();
    EXPECT_EQ(results->getNumResults(), 0);
}

TEST_F(SensorTest, TheWalkIsDepthFirstAndAStoppingListenerStillHearsTheEnd)
{
    Pointer<TestSensor> sensor(
        new TestSensor(scene.get(), [](Node* node) { return node->getName().length() > 0; }));
    EXPECT_TRUE(sensor->sense(&listener));
    EXPECT_EQ(listener.events, (Events{"begin", "a 0", "a1 0", "a2 0", "b 0", "c 0", "end"}));

    // Stopped at the second node: nothing more is reported, the end is, and the query counts as found.
    listener.events.clear();
    listener.stopAfter = 2;
    EXPECT_TRUE(sensor->sense(&listener));
    EXPECT_EQ(listener.events, (Events{"begin", "a 0", "a1 0", "end"}));
}

TEST_F(SensorTest, ABoundingVolumeReportsTheRootsChildrenItMeetsWithTheirSquaredDistance)
{
    Pointer<BoundingVolumeSensor> sensor(new BoundingVolumeSensor(scene.get()));
    // Made empty: it meets nothing.
    EXPECT_FALSE(sensor->sense(&listener));
    EXPECT_EQ(listener.events, (Events{"begin", "end"}));

    listener.events.clear();
    sensor->getBound()->setInfinite();
    EXPECT_TRUE(sensor->sense(&listener));
    EXPECT_EQ(listener.events, (Events{"begin", "a 25", "b 100", "c 4", "end"}));

    // Each child's world bound is its own: a point box at its place. A box round (6, 8, 0) meets b
    // alone; the distance is from the centre of the sensing bound's sphere.
    b->setBound(Pointer<Bound>([] {
                    Bound* bound = new Bound();
                    bound->setBox(box(-1, -1, -1, 1, 1, 1));
                    return bound;
                }())
                    .get());
    listener.events.clear();
    Pointer<Bound> query(new Bound());
    query->setBox(box(5, 7, -1, 7, 9, 1));
    sensor->setBound(query.get());
    EXPECT_TRUE(sensor->sense(&listener));
    EXPECT_EQ(listener.events, (Events{"begin", "b 0", "end"}));

    listener.events.clear();
    listener.stopAfter = 1;
    sensor->getBound()->setInfinite();
    EXPECT_TRUE(sensor->sense(&listener));
    EXPECT_EQ(listener.events, (Events{"begin", "a 25", "end"}));
}

TEST_F(SensorTest, ResultsKeepTheNodesInTheOrderOfTheirHandlesWhenTheirScopesMeet)
{
    Pointer<SensorResults> results(new SensorResults());
    Pointer<Node> five(new Node());
    five->setHandle(5);
    Pointer<Node> two(new Node());
    two->setHandle(2);
    Pointer<Node> otherFive(new Node());
    otherFive->setHandle(5);

    results->sensingBeginning();
    EXPECT_TRUE(results->resultFound(five.get(), 1.0f));
    EXPECT_TRUE(results->resultFound(two.get(), 2.0f));
    EXPECT_TRUE(results->resultFound(otherFive.get(), 3.0f));
    results->sensingEnding();
    ASSERT_EQ(results->getNumResults(), 3);
    EXPECT_EQ(results->getResult(0), two.get());
    EXPECT_EQ(results->getResult(1), five.get());
    EXPECT_EQ(results->getResult(2), otherFive.get());

    // The next query starts afresh; scope 0 keeps nothing, yet never stops the query.
    results->sensingBeginning();
    EXPECT_EQ(results->getNumResults(), 0);
    results->setScope(0);
    EXPECT_TRUE(results->resultFound(five.get(), 0.0f));
    EXPECT_EQ(results->getNumResults(), 0);

    // A node is kept when its scope shares a bit with the results'.
    results->setScope(0x6);
    two->setScope(0x1);
    five->setScope(0x4);
    EXPECT_TRUE(results->resultFound(two.get(), 0.0f));
    EXPECT_TRUE(results->resultFound(five.get(), 0.0f));
    ASSERT_EQ(results->getNumResults(), 1);
    EXPECT_EQ(results->getResult(0), five.get());
}

TEST_F(SensorTest, SenseFillsTheSameResultsAnewEachTime)
{
    Pointer<BoundingVolumeSensor> sensor(new BoundingVolumeSensor(scene.get()));
    sensor->getBound()->setInfinite();
    Pointer<SensorResults> first = sensor->sense();
    ASSERT_EQ(first->getNumResults(), 3);
    EXPECT_EQ(first->getResult(0), a.get());
    EXPECT_EQ(first->getResult(1), b.get());
    EXPECT_EQ(first->getResult(2), c.get());

    b->destroy();
    Pointer<SensorResults> second = sensor->sense();
    EXPECT_EQ(second.get(), first.get());
    EXPECT_EQ(second->getNumResults(), 2);
}

TEST_F(SensorTest, SensorsOnADestroyedSceneFindNothing)
{
    Pointer<TestSensor> sensor(new TestSensor(scene.get(), [](Node*) { return true; }));
    Pointer<BoundingVolumeSensor> volume(new BoundingVolumeSensor(scene.get()));
    volume->getBound()->setInfinite();
    a = nullptr;
    b = nullptr;
    c = nullptr;
    scene->destroy();

    EXPECT_FALSE(sensor->sense(&listener));
    EXPECT_FALSE(volume->sense(&listener));
    EXPECT_EQ(listener.events, (Events{"begin", "end", "begin", "end"}));
    EXPECT_EQ(volume->sense()->getNumResults(), 0);
}

} // namespace
