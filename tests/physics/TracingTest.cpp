#include "PhysicsTestContext.h"

#include "core/Exception.h"
#include "support/LogCapture.h"

#include <cmath>
#include <random>

using namespace physicstest;

namespace {

// Marks outputs that a trace must leave alone.
const Vector3 UNTOUCHED(123.0f, 456.0f, 789.0f);
const float UNTOUCHED_TIME = 0.75f;

Collision marked()
{
    Collision result;
    result.time = UNTOUCHED_TIME;
    result.point = UNTOUCHED;
    result.normal = UNTOUCHED;
    result.velocity = UNTOUCHED;
    return result;
}

struct VolumeCase
{
    const char* name;
    Segment segment;
    float time;
    Vector3 point;
    Vector3 normal;
};

template <typename Trace, size_t N> void checkVolumeCases(const VolumeCase (&cases)[N], Trace trace)
{
    for (const VolumeCase& c : cases) {
        SCOPED_TRACE(c.name);
        Collision result = marked();
        trace(result, c.segment);
        EXPECT_NEAR(result.time, c.time, 1e-5f);
        EXPECT_TRUE(near(result.point, c.point));
        EXPECT_TRUE(near(result.normal, c.normal));
        // Velocity and solids are the step's business, never a volume's.
        EXPECT_EQ(result.velocity, UNTOUCHED);
        EXPECT_EQ(result.hitSolid, nullptr);
    }
}

} // namespace

TEST(TracingTest, SegmentAgainstBox)
{
    IntrusivePointer<Simulator> simulator(new Simulator());
    const AABox box(Vector3(0, 0, 0), Vector3(4, 4, 4));
    const VolumeCase cases[] = {
        {"entering the top face", Segment(Vector3(2, 2, 6), Vector3(0, 0, -4)), 0.5f, Vector3(2, 2, 4),
         Vector3(0, 0, 1)},
        {"missing", Segment(Vector3(6, 6, 6), Vector3(1, 0, 0)), 1.0f, UNTOUCHED, UNTOUCHED},
        {"inside, moving deeper from the nearest face", Segment(Vector3(1, 2, 2), Vector3(1, 0, 0)), 0.0f,
         Vector3(1, 2, 2), Vector3(-1, 0, 0)},
        {"inside, leaving through the nearest face", Segment(Vector3(1, 2, 2), Vector3(-1, 0, 0)), UNTOUCHED_TIME,
         UNTOUCHED, UNTOUCHED},
        {"inside, moving along the nearest face", Segment(Vector3(1, 2, 2), Vector3(0, 1, 0)), UNTOUCHED_TIME,
         UNTOUCHED, UNTOUCHED},
        {"at the centre min.x wins every tie", Segment(Vector3(2, 2, 2), Vector3(1, 1, 1)), 0.0f,
         Vector3(2, 2, 2), Vector3(-1, 0, 0)},
        {"max.y wins a tie with max.z", Segment(Vector3(2, 3, 3), Vector3(0, -1, -1)), 0.0f, Vector3(2, 3, 3),
         Vector3(0, 1, 0)},
        {"a point on a face is inside", Segment(Vector3(2, 2, 4), Vector3(0, 0, -1)), 0.0f, Vector3(2, 2, 4),
         Vector3(0, 0, 1)},
        {"inside without movement keeps the normal", Segment(Vector3(1, 2, 2), Vector3()), 0.0f,
         Vector3(1, 2, 2), UNTOUCHED},
    };
    checkVolumeCases(cases, [&](Collision& r, const Segment& s) { simulator->traceAABox(r, s, box); });
}

TEST(TracingTest, SegmentAgainstSphere)
{
    IntrusivePointer<Simulator> simulator(new Simulator());
    const Sphere sphere(Vector3(0, 0, 0), 2.0f);
    const VolumeCase cases[] = {
        {"entering from above", Segment(Vector3(0, 0, 5), Vector3(0, 0, -4)), 0.75f, Vector3(0, 0, 2),
         Vector3(0, 0, 1)},
        {"missing", Segment(Vector3(5, 5, 5), Vector3(1, 0, 0)), 1.0f, UNTOUCHED, UNTOUCHED},
        {"outside without movement", Segment(Vector3(5, 0, 0), Vector3()), 1.0f, UNTOUCHED, UNTOUCHED},
        {"inside, moving toward the centre", Segment(Vector3(0, 0, 1), Vector3(0, 0, -1)), 0.0f,
         Vector3(0, 0, 1), Vector3(0, 0, 1)},
        {"inside, moving out is no hit", Segment(Vector3(0, 0, 1), Vector3(0, 0, 1)), 1.0f, UNTOUCHED, UNTOUCHED},
        {"inside, moving across", Segment(Vector3(0, 0, 1), Vector3(1, 0, 0)), 0.0f, Vector3(0, 0, 1),
         Vector3(0, 0, 1)},
        {"at the centre the normal is kept", Segment(Vector3(), Vector3(1, 0, 0)), 0.0f, Vector3(), UNTOUCHED},
        {"on the surface moving in", Segment(Vector3(0, 2, 0), Vector3(0, -1, 0)), 0.0f, Vector3(0, 2, 0),
         Vector3(0, 1, 0)},
    };
    checkVolumeCases(cases, [&](Collision& r, const Segment& s) { simulator->traceSphere(r, s, sphere); });
}

// The capsule is traced as the sphere of its radius swept along its axis: the side, the end caps,
// and from inside as the sphere around the axis point nearest to the start.
TEST(TracingTest, SegmentAgainstCapsule)
{
    IntrusivePointer<Simulator> simulator(new Simulator());
    const Capsule capsule(Vector3(0, 0, 0), Vector3(0, 0, 4), 1.0f);
    // Where a line through the bottom end at 45 degrees meets the bottom cap, and its normal there.
    const Vector3 diagonal(0, 1.0f / std::sqrt(2.0f), -1.0f / std::sqrt(2.0f));
    const VolumeCase cases[] = {
        {"across the side", Segment(Vector3(3, 0, 2), Vector3(-6, 0, 0)), 1.0f / 3.0f, Vector3(1, 0, 2),
         Vector3(1, 0, 0)},
        {"slanting onto the side", Segment(Vector3(3, 0, 4), Vector3(-4, 0, -4)), 0.5f, Vector3(1, 0, 2),
         Vector3(1, 0, 0)},
        {"down the axis onto the top cap", Segment(Vector3(0, 0, 8), Vector3(0, 0, -6)), 0.5f, Vector3(0, 0, 5),
         Vector3(0, 0, 1)},
        {"slanting onto the bottom cap", Segment(Vector3(0, 3, -3), Vector3(0, -3, 3)),
         1.0f - 1.0f / std::sqrt(18.0f), diagonal, diagonal},
        {"past the side", Segment(Vector3(3, 0, 2), Vector3(0, 5, 0)), 1.0f, UNTOUCHED, UNTOUCHED},
        {"from inside, moving in", Segment(Vector3(0.5f, 0, 2), Vector3(-1, 0, 0)), 0.0f, Vector3(0.5f, 0, 2),
         Vector3(1, 0, 0)},
    };
    checkVolumeCases(cases, [&](Collision& r, const Segment& s) { simulator->traceCapsule(r, s, capsule); });
}

// Random segments against random capsules: every hit time is where the segment first comes within
// the radius of the axis, found by a fine search of the distance; misses miss.
TEST(TracingTest, CapsuleHitsAreExact)
{
    IntrusivePointer<Simulator> simulator(new Simulator());
    std::mt19937 random(5);
    std::uniform_real_distribution<float> coordinate(-3.0f, 3.0f);
    std::uniform_real_distribution<float> size(0.2f, 1.5f);
    int hits = 0;
    for (int i = 0; i < 2000; ++i) {
        const Capsule capsule(Vector3(coordinate(random), coordinate(random), coordinate(random)) * 0.3f,
                              Vector3(coordinate(random), coordinate(random), coordinate(random)) * 0.5f,
                              size(random));
        // Aimed near the capsule, so that hits, grazes and misses all come up.
        const Vector3 origin = Vector3(coordinate(random), coordinate(random), coordinate(random)) * 2.0f;
        const Vector3 target = capsule.origin + capsule.direction * (0.5f + coordinate(random) / 4.0f) +
                               Vector3(coordinate(random), coordinate(random), coordinate(random)) * 0.5f;
        const Segment segment(origin, (target - origin) * size(random));
        const auto distance = [&](float t) {
            Vector3 nearest;
            const Vector3 p = segment.origin + segment.direction * t;
            Math::project(nearest, Segment(capsule.origin, capsule.direction), p, true);
            return Math::length(p - nearest) - capsule.radius;
        };
        if (distance(0.0f) <= 0.0f) {
            continue;
        }
        // The first sample inside, then halving the step before it.
        const int samples = 4096;
        float expected = 1.0f;
        for (int k = 1; k <= samples; ++k) {
            const float t = static_cast<float>(k) / samples;
            if (distance(t) <= 0.0f) {
                float low = static_cast<float>(k - 1) / samples;
                float high = t;
                for (int halving = 0; halving < 30; ++halving) {
                    const float middle = 0.5f * (low + high);
                    (distance(middle) <= 0.0f ? high : low) = middle;
                }
                expected = high;
                break;
            }
        }
        Collision result;
        simulator->traceCapsule(result, segment, capsule);
        const float length = Math::length(segment.direction);
        SCOPED_TRACE(i);
        if (expected < 1.0f) {
            ++hits;
            // On the surface, and within a millimetre of the first touch along the segment (a
            // grazing hit leaves the time itself ill-conditioned in single precision).
            ASSERT_NEAR(distance(result.time), 0.0f, 1e-4f);
            ASSERT_NEAR(result.time * length, expected * length, 1e-3f);
        } else {
            ASSERT_EQ(result.time, 1.0f);
        }
    }
    EXPECT_GT(hits, 200);
}

// A segment crossing the boundary twice reports where it enters; one starting deep inside reports
// the face it leaves by. One starting on a face, or inside it by no more than epsilon, and moving in
// through it, is a contact at once.
TEST(TracingTest, SegmentAgainstConvexSolid)
{
    IntrusivePointer<Simulator> simulator(new Simulator());
    const ConvexSolid cube = boxPlanes(Vector3(-1, -1, -1), Vector3(1, 1, 1));
    const VolumeCase cases[] = {
        {"through two faces", Segment(Vector3(-3, 0, 0), Vector3(6, 0, 0)), 1.0f / 3.0f, Vector3(-1, 0, 0),
         Vector3(-1, 0, 0)},
        {"from inside: the exit face", Segment(Vector3(0, 0, 0), Vector3(3, 0, 0)), 1.0f / 3.0f,
         Vector3(1, 0, 0), Vector3(1, 0, 0)},
        {"past the solid", Segment(Vector3(-3, 5, 0), Vector3(6, 0, 0)), 1.0f, UNTOUCHED, UNTOUCHED},
        {"stopping short", Segment(Vector3(-3, 0, 0), Vector3(1, 0, 0)), 1.0f, UNTOUCHED, UNTOUCHED},
        {"on the top face, moving in", Segment(Vector3(0.3f, 0.2f, 1), Vector3(0.1f, 0, -0.5f)), 0.0f,
         Vector3(0.3f, 0.2f, 1), Vector3(0, 0, 1)},
        {"a rounding error inside, moving in", Segment(Vector3(0.3f, 0.2f, 0.9996f), Vector3(0.5f, 0, -0.01f)),
         0.0f, Vector3(0.3f, 0.2f, 0.9996f), Vector3(0, 0, 1)},
        {"on an edge, moving in through the side", Segment(Vector3(-1, 0, 0.9999f), Vector3(0.5f, 0, 0)), 0.0f,
         Vector3(-1, 0, 0.9999f), Vector3(-1, 0, 0)},
    };
    checkVolumeCases(cases, [&](Collision& r, const Segment& s) { simulator->traceConvexSolid(r, s, cube); });
}

namespace {

// A simulator with a box solid and a sphere solid standing away from the origin, and a convex one.
struct Targets
{
    Targets()
    {
        box = new Solid();
        box->addShape(boxShape(Vector3(-1, -1, -1), Vector3(1, 1, 1)).get());
        box->setPosition(Vector3(10, 0, 0));
        simulator->addSolid(box.get());
        ball = new Solid();
        ball->addShape(sphereShape(Vector3(0, 0, 1), 1.0f).get());
        ball->setPosition(Vector3(-10, 0, -1));
        simulator->addSolid(ball.get());
    }

    IntrusivePointer<Simulator> simulator{new Simulator()};
    IntrusivePointer<Solid> box;
    IntrusivePointer<Solid> ball;
};

struct SegmentTraceCase
{
    const char* name;
    Segment segment;
    float time;
    Vector3 point;
    Vector3 normal;
    bool hitsBox;
};

} // namespace

// Whole traces: a miss ends at the segment's end, starting inside follows the volume's rules, and
// nothing reads a point or normal that was not written.
TEST(TracingTest, TraceSegmentThroughSolids)
{
    Targets targets;
    const SegmentTraceCase cases[] = {
        {"miss: the point is the end", Segment(Vector3(0, 5, 0), Vector3(0, 0, 3)), 1.0f, Vector3(0, 5, 3),
         Vector3(), false},
        {"into the box", Segment(Vector3(5, 0, 0), Vector3(10, 0, 0)), 0.4f, Vector3(9, 0, 0),
         Vector3(-1, 0, 0), true},
        {"inside the box, moving deeper", Segment(Vector3(9.5f, 0, 0), Vector3(1, 0, 0)), 0.0f,
         Vector3(9.5f, 0, 0), Vector3(-1, 0, 0), true},
        {"inside the box, leaving", Segment(Vector3(9.5f, 0, 0), Vector3(-2, 0, 0)), 1.0f, Vector3(7.5f, 0, 0),
         Vector3(), false},
        {"onto the ball", Segment(Vector3(-10, 0, 4), Vector3(0, 0, -4)), 0.75f, Vector3(-10, 0, 1),
         Vector3(0, 0, 1), false},
        {"inside the ball, moving in", Segment(Vector3(-10, 0, 0.5f), Vector3(0, 0, -1)), 0.0f,
         Vector3(-10, 0, 0.5f), Vector3(0, 0, 1), false},
        {"inside the ball, moving out", Segment(Vector3(-10, 0, 0.5f), Vector3(0, 0, 2)), 1.0f,
         Vector3(-10, 0, 2.5f), Vector3(), false},
    };
    for (const SegmentTraceCase& c : cases) {
        SCOPED_TRACE(c.name);
        Collision result;
        targets.simulator->traceSegment(result, c.segment, -1, nullptr);
        EXPECT_NEAR(result.time, c.time, 1e-5f);
        EXPECT_TRUE(near(result.point, c.point));
        if (c.time < 1.0f) {
            EXPECT_TRUE(near(result.normal, c.normal));
            EXPECT_EQ(result.hitSolid, c.hitsBox ? targets.box.get() : targets.ball.get());
        }
        EXPECT_EQ(result.sourceSolid, nullptr);
        EXPECT_EQ(result.scope, 0);
    }

    // The ignored solid and solids outside the mask are passed over.
    const Segment into(Vector3(5, 0, 0), Vector3(10, 0, 0));
    Collision result;
    targets.simulator->traceSegment(result, into, -1, targets.box.get());
    EXPECT_EQ(result.time, 1.0f);
    targets.box->setCollisionScope(2);
    targets.simulator->traceSegment(result, into, 1, nullptr);
    EXPECT_EQ(result.time, 1.0f);
    targets.simulator->traceSegment(result, into, 3, nullptr);
    EXPECT_NEAR(result.time, 0.4f, 1e-5f);
}

TEST(TracingTest, TraceSolidWithoutMaskTouchesNothing)
{
    Targets targets;
    IntrusivePointer<Solid> mover(new Solid());
    mover->addShape(sphereShape(Vector3(), 0.5f).get());
    mover->setPosition(Vector3(5, 0, 0));
    targets.simulator->addSolid(mover.get());
    Collision result = marked();
    result.scope = 32;
    targets.simulator->traceSolid(result, mover.get(), Segment(Vector3(5, 0, 0), Vector3(10, 0, 0)), 0);
    EXPECT_EQ(result.time, 1.0f);
    EXPECT_EQ(result.point, UNTOUCHED);
    EXPECT_EQ(result.scope, 32);

    // With a mask it hits the box (its surface grown by the radius) and keeps its scope too.
    targets.simulator->traceSolid(result, mover.get(), Segment(Vector3(5, 0, 0), Vector3(10, 0, 0)), -1);
    EXPECT_NEAR(result.time, 0.35f, 1e-5f);
    EXPECT_TRUE(near(result.point, Vector3(8.5f, 0, 0)));
    EXPECT_EQ(result.scope, 32);
    EXPECT_EQ(result.hitSolid, targets.box);
}

TEST(TracingTest, TracingASegmentIntoAConvexSolidIsUnimplemented)
{
    support::LogCapture log;
    Targets targets;
    IntrusivePointer<Solid> convex(new Solid());
    convex->addShape(IntrusivePointer<Shape>(new Shape(boxPlanes(Vector3(-1, -1, -1), Vector3(1, 1, 1)))).get());
    targets.simulator->addSolid(convex.get());
    Collision result;
    try {
        targets.simulator->traceSegment(result, Segment(Vector3(0, 0, 5), Vector3(0, 0, -10)), -1, nullptr);
        FAIL() << "no error";
    } catch (const rezezaz::core::Exception& e) {
        EXPECT_EQ(e.getError(), 4);
        EXPECT_STREQ(e.getDescription(), "traceSegment not implemented for Type_CONVEXSOLID");
    }
    ASSERT_FALSE(log.listener.entries.empty());
    EXPECT_EQ(log.listener.entries.back().text, "traceSegment not implemented for Type_CONVEXSOLID");
    EXPECT_EQ(log.listener.entries.back().level, rezezaz::core::Logger::ERROR);
}

namespace {

struct MergeCase
{
    const char* name;
    bool averageNormals;
    float firstTime;
    Vector3 firstNormal;
    float secondTime;
    Vector3 secondNormal;
    // 0: the first solid, 1: the second.
    int winner;
    Vector3 normal;
};

} // namespace

// Two user volumes answer one segment; their solids are candidates in the order they were added.
TEST(TracingTest, NearestHitAndEqualTimes)
{
    const float r = 0.70710678f;
    const MergeCase cases[] = {
        {"the nearer hit wins", false, 0.5f, Vector3(0, 0, 1), 0.3f, Vector3(1, 0, 0), 1, Vector3(1, 0, 0)},
        {"the nearer hit wins, averaging or not", true, 0.3f, Vector3(0, 0, 1), 0.5f, Vector3(1, 0, 0), 0,
         Vector3(0, 0, 1)},
        {"equal times: the first candidate", false, 0.5f, Vector3(0, 0, 1), 0.5f, Vector3(1, 0, 0), 0,
         Vector3(0, 0, 1)},
        {"equal times averaged", true, 0.5f, Vector3(0, 0, 1), 0.5f, Vector3(1, 0, 0), 0, Vector3(r, 0, r)},
        {"opposite normals cancel: the later hit stands", true, 0.5f, Vector3(0, 0, 1), 0.5f, Vector3(0, 0, -1),
         1, Vector3(0, 0, -1)},
        {"a miss lends only its scope", true, 1.0f, Vector3(0, 0, 1), 0.4f, Vector3(0, 1, 0), 1,
         Vector3(0, 1, 0)},
    };
    for (const MergeCase& c : cases) {
        SCOPED_TRACE(c.name);
        IntrusivePointer<Simulator> simulator(new Simulator());
        simulator->setAverageNormals(c.averageNormals);
        ScriptedTraceable volumes[2];
        IntrusivePointer<Solid> solids[2];
        const float times[2] = {c.firstTime, c.secondTime};
        const Vector3 normals[2] = {c.firstNormal, c.secondNormal};
        for (int i = 0; i < 2; ++i) {
            volumes[i].time = times[i];
            volumes[i].point = Vector3(0, 0, static_cast<float>(i));
            volumes[i].normal = normals[i];
            volumes[i].scope = 1 << i;
            solids[i] = new Solid();
            solids[i]->addShape(IntrusivePointer<Shape>(new Shape(&volumes[i])).get());
            simulator->addSolid(solids[i].get());
        }
        Collision result;
        simulator->traceSegment(result, Segment(Vector3(0, 0, 0.5f), Vector3(0, 0, -0.1f)), -1, nullptr);
        EXPECT_EQ(result.hitSolid, solids[c.winner]);
        EXPECT_TRUE(near(result.normal, c.normal, 1e-6f));
        EXPECT_EQ(result.point, Vector3(0, 0, static_cast<float>(c.winner)));
        EXPECT_EQ(result.scope, 3);
        EXPECT_EQ(volumes[0].lastPosition, Vector3());
    }
}

// The manager's world is traced after the solids and merged like them.
TEST(TracingTest, ManagersWorldTakesPart)
{
    Targets targets;
    RecordingManager manager;
    targets.simulator->setManager(&manager);
    const Segment into(Vector3(5, 0, 0), Vector3(10, 0, 0));
    Collision result;
    targets.simulator->traceSegment(result, into, -1, nullptr);
    EXPECT_NEAR(result.time, 0.4f, 1e-5f);

    manager.worldTime = 0.25f;
    manager.worldPoint = Vector3(7.5f, 0, 0);
    manager.worldNormal = Vector3(0, 1, 0);
    targets.simulator->traceSegment(result, into, -1, nullptr);
    EXPECT_EQ(result.time, 0.25f);
    EXPECT_EQ(result.hitSolid, nullptr);
    EXPECT_EQ(result.normal, Vector3(0, 1, 0));
    // The manager was asked for the candidates in the segment's box grown by epsilon.
    EXPECT_TRUE(near(manager.lastBox.minimum, Vector3(4.999f, -0.001f, -0.001f), 1e-6f));
    EXPECT_TRUE(near(manager.lastBox.maximum, Vector3(15.001f, 0.001f, 0.001f), 1e-6f));
    targets.simulator->setManager(nullptr);
}

// The candidate count is never more than the array holds, whatever the manager answers; -1 still
// lets the simulator scan its own solids.
TEST(TracingTest, CandidateCountIsClampedToTheArray)
{
    Targets targets;
    RecordingManager manager;
    targets.simulator->setManager(&manager);
    Solid* found[4] = {nullptr, nullptr, nullptr, nullptr};

    manager.answerCount = -1;
    EXPECT_EQ(targets.simulator->findSolidsInAABox(AABox(Vector3(-20, -20, -20), Vector3(20, 20, 20)), found, 1),
              2);
    EXPECT_EQ(found[0], targets.box.get());
    EXPECT_EQ(found[1], nullptr);

    manager.offered = {targets.box.get()};
    manager.answerCount = 1000;
    EXPECT_EQ(targets.simulator->findSolidsInAABox(AABox(), found, 2), 2);
    manager.answerCount = -7;
    EXPECT_EQ(targets.simulator->findSolidsInAABox(AABox(), found, 2), 0);

    // A trace over an answer of 1000 reads only the candidates there is room for.
    manager.answerCount = 1000;
    Collision result;
    targets.simulator->traceSegment(result, Segment(Vector3(5, 0, 0), Vector3(10, 0, 0)), -1, nullptr);
    EXPECT_NEAR(result.time, 0.4f, 1e-5f);
    EXPECT_EQ(result.hitSolid, targets.box);
    targets.simulator->setManager(nullptr);
}

namespace {

struct ScopeCase
{
    const char* name;
    bool solidTrace;
    bool traceable;
    Segment segment;
    int32_t scope;
};

} // namespace

// Scope bits come only from hits at time 0 (a trace starting inside): the struck solid's scope, and
// for a moving solid against an ordinary one its update scope as well; a user volume's bits always.
TEST(TracingTest, ScopeBitsOfHitsAtTimeZero)
{
    ScriptedTraceable volume;
    volume.scope = 16;
    volume.point = Vector3(1, 0, 0);
    volume.normal = Vector3(-1, 0, 0);
    const ScopeCase cases[] = {
        {"segment starting inside", false, false, Segment(Vector3(-0.5f, 0, 0), Vector3(1, 0, 0)), 4},
        {"segment from outside", false, false, Segment(Vector3(-3, 0, 0), Vector3(4, 0, 0)), 0},
        {"solid starting inside", true, false, Segment(Vector3(-0.5f, 0, 0), Vector3(1, 0, 0)), 8 | 4},
        {"solid from outside", true, false, Segment(Vector3(-3, 0, 0), Vector3(4, 0, 0)), 0},
        {"segment into a user volume", false, true, Segment(Vector3(-3, 0, 0), Vector3(4, 0, 0)), 16},
        {"solid into a user volume", true, true, Segment(Vector3(-3, 0, 0), Vector3(4, 0, 0)), 16},
        {"solid inside a user volume", true, true, Segment(Vector3(-0.5f, 0, 0), Vector3(1, 0, 0)), 16 | 4},
    };
    for (const ScopeCase& c : cases) {
        SCOPED_TRACE(c.name);
        IntrusivePointer<Simulator> simulator(new Simulator());
        IntrusivePointer<Solid> target(new Solid());
        target->setScope(4);
        target->setUpdateScope(8);
        if (c.traceable) {
            volume.time = c.segment.origin.x > -1.0f ? 0.0f : 0.5f;
            target->addShape(IntrusivePointer<Shape>(new Shape(&volume)).get());
        } else {
            target->addShape(boxShape(Vector3(-1, -1, -1), Vector3(1, 1, 1)).get());
        }
        simulator->addSolid(target.get());
        Collision result;
        if (c.solidTrace) {
            IntrusivePointer<Solid> mover(new Solid());
            mover->addShape(boxShape(Vector3(-0.1f, -0.1f, -0.1f), Vector3(0.1f, 0.1f, 0.1f)).get());
            mover->setPosition(c.segment.origin);
            simulator->addSolid(mover.get());
            simulator->traceSolid(result, mover.get(), c.segment, -1);
        } else {
            simulator->traceSegment(result, c.segment, -1, nullptr);
        }
        EXPECT_LT(result.time, 1.0f);
        EXPECT_EQ(result.scope, c.scope);
    }
}

namespace {

enum PairType
{
    BOX,
    SPHERE,
    CAPSULE,
    CONVEX,
    TRACEABLE,
};

// Each shape reaches one unit below its solid's position and, for the struck solid, one unit below
// its top face at the solid's position; sphere and capsule centres sit half a unit down, so that a
// trace that loses the offsets lands elsewhere.
IntrusivePointer<Shape> pairShape(PairType type, bool moving, ScriptedTraceable* volume)
{
    switch (type) {
    case BOX:
        return moving ? boxShape(Vector3(-0.5f, -0.5f, -1), Vector3(0.5f, 0.5f, 0))
                      : boxShape(Vector3(-1, -1, -1), Vector3(1, 1, 0));
    case SPHERE:
        return sphereShape(Vector3(0, 0, -0.5f), 0.5f);
    case CAPSULE:
        return IntrusivePointer<Shape>(new Shape(moving ? Capsule(Vector3(0, 0, -0.5f), Vector3(0, 0, 0.5f), 0.5f)
                                                        : Capsule(Vector3(0, 0, -0.5f), Vector3(0, 0, -1), 0.5f)));
    case CONVEX:
        return IntrusivePointer<Shape>(new Shape(moving ? boxPlanes(Vector3(-0.5f, -0.5f, -1), Vector3(0.5f, 0.5f, 0))
                                                        : boxPlanes(Vector3(-1, -1, -1), Vector3(1, 1, 0))));
    case TRACEABLE:
        return IntrusivePointer<Shape>(new Shape(volume));
    }
    return nullptr;
}

struct PairCase
{
    PairType moving;
    PairType struck;
    // Time 1: no test between these two.
    float time;
    Vector3 point;
    const char* error;
};

} // namespace

// A solid at (2, 1, 5) swept 10 down onto one at (2, 1, 0), for every pair of shape types: the
// moving one's bottom meets the struck one's top after 4 units, at the moving position (2, 1, 1)
// with the normal +Z, except where a pair is not tested or is unimplemented.
TEST(TracingTest, ShapePairTable)
{
    const Vector3 hit(2, 1, 1);
    const Vector3 end(2, 1, -5);
    const PairCase cases[] = {
        {BOX, BOX, 0.4f, hit, nullptr},
        {BOX, SPHERE, 0.4f, hit, nullptr},
        {BOX, CAPSULE, 0.4f, hit, nullptr},
        {BOX, CONVEX, 1.0f, end, nullptr},
        {BOX, TRACEABLE, 0.4f, hit, nullptr},
        {SPHERE, BOX, 0.4f, hit, nullptr},
        {SPHERE, SPHERE, 0.4f, hit, nullptr},
        {SPHERE, CAPSULE, 0.4f, hit, nullptr},
        {SPHERE, CONVEX, 0.4f, hit, nullptr},
        {SPHERE, TRACEABLE, 0.4f, hit, nullptr},
        {CAPSULE, BOX, 0.4f, hit, nullptr},
        {CAPSULE, SPHERE, 0.4f, hit, nullptr},
        {CAPSULE, CAPSULE, 0.4f, hit, nullptr},
        {CAPSULE, CONVEX, 0, hit, "from Type_CAPSULE to Type_CONVEXSOLID unimplemented"},
        {CAPSULE, TRACEABLE, 0.4f, hit, nullptr},
        {CONVEX, BOX, 0, hit, "from Type_CONVEXSOLID to Type_AABOX unimplemented"},
        {CONVEX, SPHERE, 0.4f, hit, nullptr},
        {CONVEX, CAPSULE, 0, hit, "from Type_CONVEXSOLID to Type_CAPSULE unimplemented"},
        {CONVEX, CONVEX, 0, hit, "from Type_CONVEXSOLID to Type_CONVEXSOLID unimplemented"},
        {CONVEX, TRACEABLE, 0.4f, hit, nullptr},
        {TRACEABLE, BOX, 0.4f, hit, nullptr},
        {TRACEABLE, SPHERE, 0.4f, hit, nullptr},
        {TRACEABLE, CAPSULE, 0.4f, hit, nullptr},
        {TRACEABLE, CONVEX, 0.4f, hit, nullptr},
        {TRACEABLE, TRACEABLE, 1.0f, end, nullptr},
    };
    const char* names[] = {"box", "sphere", "capsule", "convex", "traceable"};
    const Vector3 origin(2, 1, 5);
    const Vector3 position(2, 1, 0);
    const Segment segment(origin, Vector3(0, 0, -10));
    for (const PairCase& c : cases) {
        SCOPED_TRACE(std::string(names[c.moving]) + " onto " + names[c.struck]);
        IntrusivePointer<Simulator> simulator(new Simulator());
        IntrusivePointer<Solid> mover(new Solid());
        IntrusivePointer<Solid> other(new Solid());
        // The struck volume answers for its solid at rest; the moving one answers for the other
        // solid coming up at it from below, as seen from the volume.
        ScriptedTraceable struckVolume;
        struckVolume.time = 0.4f;
        struckVolume.point = hit;
        struckVolume.normal = Vector3(0, 0, 1);
        ScriptedTraceable movingVolume;
        movingVolume.time = 0.4f;
        movingVolume.point = Vector3(2, 1, 4);
        movingVolume.normal = Vector3(0, 0, -1);
        movingVolume.fillSolids = true;
        movingVolume.owner = mover.get();

        mover->addShape(pairShape(c.moving, true, &movingVolume).get());
        mover->setPosition(origin);
        other->addShape(pairShape(c.struck, false, &struckVolume).get());
        other->setPosition(position);
        simulator->addSolid(mover.get());
        simulator->addSolid(other.get());

        Collision result;
        if (c.error != nullptr) {
            try {
                simulator->traceSolid(result, mover.get(), segment, -1);
                ADD_FAILURE() << "no error";
            } catch (const rezezaz::core::Exception& e) {
                EXPECT_EQ(e.getError(), 4);
                EXPECT_STREQ(e.getDescription(), c.error);
            }
            continue;
        }
        simulator->traceSolid(result, mover.get(), segment, -1);
        EXPECT_NEAR(result.time, c.time, 1e-5f);
        EXPECT_TRUE(near(result.point, c.point));
        if (c.time < 1.0f) {
            EXPECT_TRUE(near(result.normal, Vector3(0, 0, 1)));
            EXPECT_EQ(result.hitSolid, other);
        }
        if (c.struck == TRACEABLE && c.moving != TRACEABLE) {
            EXPECT_EQ(struckVolume.lastSolid, mover.get());
            EXPECT_EQ(struckVolume.lastPosition, position);
            EXPECT_EQ(struckVolume.lastSegment, segment);
        }
        if (c.moving == TRACEABLE && c.struck != TRACEABLE) {
            // The other solid swept the opposite way against the volume standing at the origin.
            EXPECT_EQ(movingVolume.lastSolid, other.get());
            EXPECT_EQ(movingVolume.lastPosition, origin);
            EXPECT_EQ(movingVolume.lastSegment, Segment(position, Vector3(0, 0, 10)));
            EXPECT_EQ(result.sourceSolid, mover);
        }
    }
}

// A sphere falling onto a convex block away from the origin lands on it, where it is.
TEST(TracingTest, SphereOntoConvexSolidAwayFromTheOrigin)
{
    World world;
    world.simulator->setGravity(Vector3());
    IntrusivePointer<Solid> block(new Solid());
    block->setInfiniteMass();
    block->addShape(IntrusivePointer<Shape>(new Shape(boxPlanes(Vector3(-1, -1, -1), Vector3(1, 1, 1)))).get());
    block->setPosition(Vector3(20, 10, 5));
    world.simulator->addSolid(block.get());
    IntrusivePointer<Solid> ball(new Solid());
    ball->addShape(sphereShape(Vector3(0.25f, 0, 0.5f), 0.5f).get());
    ball->setPosition(Vector3(20, 10, 6.05f));
    ball->setVelocity(Vector3(0, 0, -10));
    world.simulator->addSolid(ball.get());

    world.simulator->update(10, 0, ball.get());
    // The sphere's bottom (at the position: its centre is 0.5 up, 0.25 aside) meets the top face at
    // z = 6 and bounces.
    EXPECT_NEAR(ball->getPosition().x, 20.0f, 1e-5f);
    EXPECT_NEAR(ball->getPosition().y, 10.0f, 1e-5f);
    EXPECT_NEAR(ball->getPosition().z, 6.0f + world.simulator->getEpsilon(), 1e-4f);
    EXPECT_EQ(ball->getTouching(), block.get());
    EXPECT_NEAR(ball->getVelocity().z, 5.0f, 1e-4f);
}

TEST(TracingTest, EpsilonOffsetAfterAHit)
{
    IntrusivePointer<Simulator> simulator(new Simulator());
    Vector3 offset;
    simulator->calculateEpsilonOffset(offset, Vector3(3, 4, 0), Vector3(0, 0, 1));
    EXPECT_TRUE(near(offset, Vector3(-0.0006f, -0.0008f, 0), 1e-7f));
    simulator->calculateEpsilonOffset(offset, Vector3(0.0005f, 0, 0), Vector3(0, 0, 1));
    EXPECT_EQ(offset, Vector3());

    simulator->setSnapToGridEnabled(true);
    simulator->calculateEpsilonOffset(offset, Vector3(3, 4, 0), Vector3(0.7f, -0.7f, 0.0001f));
    EXPECT_EQ(offset, Vector3(0.001f, -0.001f, 0));
}
