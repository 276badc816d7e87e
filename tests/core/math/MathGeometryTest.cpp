#include "core/math/Math.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <sstream>

using namespace rezezaz::core::math;

namespace {

std::string describe(const Vector3& v)
{
    std::ostringstream text;
    text << "(" << v.x << ", " << v.y << ", " << v.z << ")";
    return text.str();
}

::testing::AssertionResult near(const Vector3& actual, const Vector3& expected, float tolerance = 1e-5f)
{
    if (std::fabs(actual.x - expected.x) <= tolerance && std::fabs(actual.y - expected.y) <= tolerance &&
        std::fabs(actual.z - expected.z) <= tolerance) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << describe(actual) << " is not " << describe(expected);
}

// Marks outputs that a function must leave alone.
const Vector3 UNTOUCHED(123.0f, 456.0f, 789.0f);

// A segment against a shape: the t returned, and the point and normal written (UNTOUCHED where
// they must be left alone).
struct SegmentCase
{
    const char* name;
    Segment segment;
    float t;
    Vector3 point;
    Vector3 normal;
};

template <typename Shape, size_t N> void checkSegmentCases(const Shape& shape, const SegmentCase (&cases)[N])
{
    for (const SegmentCase& c : cases) {
        SCOPED_TRACE(c.name);
        Vector3 point = UNTOUCHED;
        Vector3 normal = UNTOUCHED;
        EXPECT_FLOAT_EQ(Math::findIntersection(c.segment, shape, point, normal), c.t);
        EXPECT_TRUE(near(point, c.point));
        EXPECT_TRUE(near(normal, c.normal));
    }
}

} // namespace

// ---- segment intersections ----------------------------------------------------------------

TEST(MathGeometryTest, SegmentAgainstSphere)
{
    const Sphere unit(Vector3(0, 0, 0), 1.0f);
    const SegmentCase cases[] = {
        {"enters the near side", {{0, 0, -2}, {0, 0, 4}}, 0.25f, {0, 0, -1}, {0, 0, -1}},
        {"starts at the centre and leaves", {{0, 0, 0}, {0, 0, 4}}, -0.25f, {0, 0, 1}, {0, 0, 1}},
        {"touches at one point", {{1, 0, -2}, {0, 0, 4}}, 0.5f, {1, 0, 0}, {1, 0, 0}},
        {"passes beside", {{2, 0, -2}, {0, 0, 4}}, 1.0f, UNTOUCHED, UNTOUCHED},
        {"stops short", {{0, 0, -5}, {0, 0, 1}}, 1.0f, UNTOUCHED, UNTOUCHED},
        {"starts beyond", {{0, 0, 2}, {0, 0, 4}}, 1.0f, UNTOUCHED, UNTOUCHED},
        {"has no length", {{0, 0, 0.5f}, {0, 0, 0}}, 1.0f, UNTOUCHED, UNTOUCHED},
    };
    checkSegmentCases(unit, cases);
}

TEST(MathGeometryTest, SegmentAgainstPlane)
{
    const Plane zIsTwo(Vector3(0, 0, 1), 2.0f);
    const SegmentCase cases[] = {
        {"crosses half way", {{1, 1, 0}, {0, 0, 4}}, 0.5f, {1, 1, 2}, {0, 0, 1}},
        {"ends on the plane", {{0, 0, 0}, {0, 0, 2}}, 1.0f, {0, 0, 2}, {0, 0, 1}},
        // Out of reach: 1 is returned, but point and normal are written all the same.
        {"stops short", {{0, 0, 0}, {0, 0, 1}}, 1.0f, {0, 0, 2}, {0, 0, 1}},
        {"points away", {{0, 0, 0}, {0, 0, -1}}, 1.0f, {0, 0, 2}, {0, 0, 1}},
        {"runs parallel", {{0, 0, 0}, {5, 3, 0}}, 1.0f, UNTOUCHED, UNTOUCHED},
    };
    checkSegmentCases(zIsTwo, cases);
}

TEST(MathGeometryTest, SegmentAgainstBox)
{
    const AABox box(Vector3(-1, -1, -1), Vector3(1, 1, 1));
    const SegmentCase cases[] = {
        {"starts strictly inside", {{0.5f, 0, 0}, {4, 0, 0}}, 0.0f, UNTOUCHED, UNTOUCHED},
        {"hits the minimum x face", {{-3, 0.5f, 0}, {4, 0, 0}}, 0.5f, {-1, 0.5f, 0}, {-1, 0, 0}},
        {"hits the maximum y face", {{0, 5, 0.25f}, {0, -8, 0}}, 0.5f, {0, 1, 0.25f}, {0, 1, 0}},
        {"hits the maximum z face at a slant", {{0, 0, 3}, {1, 0, -4}}, 0.5f, {0.5f, 0, 1}, {0, 0, 1}},
        // An origin on a face is outside that face: the hit is at the start.
        {"starts on a face going in", {{-1, 0, 0}, {2, 0, 0}}, 0.0f, {-1, 0, 0}, {-1, 0, 0}},
        // Corner: x, y and z planes are all reached at the same t; x wins the tie.
        {"hits a corner", {{-2, -2, -2}, {2, 2, 2}}, 0.5f, {-1, -1, -1}, {-1, 0, 0}},
        {"passes beside", {{-3, 2, 0}, {6, 0, 0}}, 1.0f, UNTOUCHED, UNTOUCHED},
        {"points away", {{-3, 0, 0}, {-1, 0, 0}}, 1.0f, UNTOUCHED, UNTOUCHED},
        {"stops short", {{-3, 0, 0}, {1, 0, 0}}, 1.0f, UNTOUCHED, UNTOUCHED},
        {"slides outside a face it never crosses", {{-3, 2, 0}, {4, 0, 0}}, 1.0f, UNTOUCHED, UNTOUCHED},
    };
    checkSegmentCases(box, cases);
}

// ---- projections and plane constructions --------------------------------------------------

TEST(MathGeometryTest, ProjectsAPointOntoASegment)
{
    const Segment segment(Vector3(1, 0, 0), Vector3(2, 0, 0));
    Vector3 result;
    Math::project(result, segment, Vector3(2, 5, 0), true);
    EXPECT_TRUE(near(result, Vector3(2, 0, 0)));
    Math::project(result, segment, Vector3(7, 1, 0), true);
    EXPECT_TRUE(near(result, Vector3(3, 0, 0)));
    Math::project(result, segment, Vector3(7, 1, 0), false);
    EXPECT_TRUE(near(result, Vector3(7, 0, 0)));
    Math::project(result, Segment(Vector3(4, 4, 4), Vector3()), Vector3(7, 1, 0), false);
    EXPECT_TRUE(near(result, Vector3(4, 4, 4)));
}

TEST(MathGeometryTest, ClosestPointsOfTwoSegments)
{
    struct Case
    {
        const char* name;
        Segment first;
        Segment second;
        float epsilon;
        Vector3 point1;
        Vector3 point2;
    };
    const Case cases[] = {
        {"crossing at a distance",
         {{-1, 0, 0}, {2, 0, 0}},
         {{0, -1, 1}, {0, 2, 0}},
         1e-6f,
         {0, 0, 0},
         {0, 0, 1}},
        {"second ends before the first's line",
         {{0, 0, 0}, {4, 0, 0}},
         {{1, 1, 0}, {0, 3, 0}},
         1e-6f,
         {1, 0, 0},
         {1, 1, 0}},
        // Parallel: s starts at 0, t comes out below 0 and is clamped, s follows the clamp.
        {"parallel", {{0, 0, 0}, {2, 0, 0}}, {{1, 1, 0}, {2, 0, 0}}, 1e-6f, {1, 0, 0}, {1, 1, 0}},
        {"first is a point", {{1, 1, 0}, {0, 0, 0}}, {{0, 0, 0}, {2, 0, 0}}, 1e-6f, {1, 1, 0}, {1, 0, 0}},
        {"second is a point", {{0, 0, 0}, {2, 0, 0}}, {{1, 1, 0}, {0, 0, 0}}, 1e-6f, {1, 0, 0}, {1, 1, 0}},
        // With epsilon 0 a zero-length second segment must not be divided by its length.
        {"second is a point, epsilon 0",
         {{0, 0, 0}, {2, 0, 0}},
         {{1, 1, 0}, {0, 0, 0}},
         0.0f,
         {1, 0, 0},
         {1, 1, 0}},
        {"both are points", {{0, 0, 0}, {0, 0, 0}}, {{1, 1, 0}, {0, 0, 0}}, 0.0f, {0, 0, 0}, {1, 1, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Vector3 point1;
        Vector3 point2;
        Math::project(point1, point2, c.first, c.second, c.epsilon);
        EXPECT_TRUE(near(point1, c.point1));
        EXPECT_TRUE(near(point2, c.point2));
    }
}

TEST(MathGeometryTest, IntersectsPlanes)
{
    const Plane x1(Vector3(1, 0, 0), 1.0f);
    const Plane y2(Vector3(0, 1, 0), 2.0f);
    const Plane z3(Vector3(0, 0, 1), 3.0f);

    Vector3 point = UNTOUCHED;
    EXPECT_TRUE(Math::getIntersectionOfThreePlanes(point, x1, y2, z3, 1e-6f));
    EXPECT_TRUE(near(point, Vector3(1, 2, 3)));

    point = UNTOUCHED;
    EXPECT_FALSE(Math::getIntersectionOfThreePlanes(point, x1, Plane(Vector3(1, 0, 0), 5.0f), z3, 1e-6f));
    EXPECT_TRUE(near(point, UNTOUCHED));

    // A triple product of exactly epsilon still counts as solvable.
    const Plane halfX(Vector3(0.5f, 0, 0), 1.0f);
    EXPECT_TRUE(Math::getIntersectionOfThreePlanes(point, halfX, y2, z3, 0.5f));
    EXPECT_TRUE(near(point, Vector3(2, 2, 3)));
    EXPECT_FALSE(Math::getIntersectionOfThreePlanes(point, halfX, y2, z3, 0.50001f));

    Segment line;
    Math::getLineOfIntersection(line, x1, y2);
    EXPECT_TRUE(near(line.origin, Vector3(1, 2, 0)));
    EXPECT_TRUE(near(line.direction, Vector3(0, 0, 1)));
    // Planes that are not axis-aligned: the origin lies on both, the direction along both.
    const Plane slanted(Vector3(1, 1, 0), 4.0f);
    Math::getLineOfIntersection(line, slanted, z3);
    EXPECT_NEAR(Math::dot(slanted.normal, line.origin), 4.0f, 1e-5f);
    EXPECT_NEAR(Math::dot(z3.normal, line.origin), 3.0f, 1e-5f);
    EXPECT_TRUE(near(line.direction, Vector3(1, -1, 0)));
}

// ---- bounding volumes -----------------------------------------------------------------------

TEST(MathGeometryTest, BoundsAndFits)
{
    AABox box;
    Math::findBoundingBox(box, Sphere(Vector3(1, 2, 3), 2.0f));
    EXPECT_EQ(box, AABox(Vector3(-1, 0, 1), Vector3(3, 4, 5)));

    Math::findBoundingBox(box, Capsule(Vector3(1, 1, 1), Vector3(2, -3, 0), 0.5f));
    EXPECT_EQ(box, AABox(Vector3(0.5f, -2.5f, 0.5f), Vector3(3.5f, 1.5f, 1.5f)));

    const Vector3 points[] = {{1, -4, 2}, {-3, 0, 0.5f}, {2, 1, -1}};
    Math::findBoundingBox(box, points, 3);
    EXPECT_EQ(box, AABox(Vector3(-4, -4, -4), Vector3(4, 4, 4)));
    Math::findBoundingBox(box, points, 0);
    EXPECT_EQ(box, AABox());

    Math::findFitBox(box, points, 3);
    EXPECT_EQ(box, AABox(Vector3(-3, -4, -1), Vector3(2, 1, 2)));
    Math::findFitBox(box, points + 1, 1);
    EXPECT_EQ(box, AABox(points[1], points[1]));
    Math::findFitBox(box, points, 0);
    EXPECT_EQ(box, AABox(points[1], points[1]));

    Sphere sphere;
    const AABox cube(Vector3(0, 0, 0), Vector3(2, 2, 2));
    Math::findBoundingSphere(sphere, cube);
    EXPECT_TRUE(near(sphere.origin, Vector3(1, 1, 1)));
    EXPECT_FLOAT_EQ(sphere.radius, std::sqrt(3.0f));
    Math::findFitSphere(sphere, cube);
    EXPECT_TRUE(near(sphere.origin, Vector3(1, 1, 1)));
    EXPECT_FLOAT_EQ(sphere.radius, 1.0f);
}

TEST(MathGeometryTest, TransformsABoxByARotation)
{
    // A quarter turn about z takes x to y and y to -x.
    const float half = std::sqrt(0.5f);
    const Quaternion quarterTurn(0, 0, half, half);
    const AABox box(Vector3(0, 0, 0), Vector3(2, 1, 1));
    Vector3 corners[8];
    AABox result;
    Math::transformAABox(result, quarterTurn, box, corners);
    EXPECT_TRUE(near(result.minimum, Vector3(-1, 0, 0)));
    EXPECT_TRUE(near(result.maximum, Vector3(0, 2, 1)));
    EXPECT_TRUE(near(corners[0], Vector3(0, 0, 0)));
    EXPECT_TRUE(near(corners[1], Vector3(0, 2, 0)));  // maximum x
    EXPECT_TRUE(near(corners[2], Vector3(-1, 0, 0))); // maximum y
    EXPECT_TRUE(near(corners[4], Vector3(0, 0, 1)));  // maximum z
    EXPECT_TRUE(near(corners[7], Vector3(-1, 2, 1)));
}

// ---- containment and overlap ----------------------------------------------------------------

TEST(MathGeometryTest, InsideAndOverlapTestsIncludeTheirBoundary)
{
    const AABox unitBox(Vector3(0, 0, 0), Vector3(1, 1, 1));
    const Sphere unitSphere(Vector3(0, 0, 0), 1.0f);
    const Plane zIsOne(Vector3(0, 0, 1), 1.0f);

    EXPECT_TRUE(Math::testInside(zIsOne, Vector3(5, 5, 1)));
    EXPECT_FALSE(Math::testInside(zIsOne, Vector3(0, 0, 1.001f)));
    EXPECT_TRUE(Math::testInside(unitSphere, Vector3(0, 1, 0)));
    EXPECT_FALSE(Math::testInside(unitSphere, Vector3(0.8f, 0.8f, 0)));
    EXPECT_TRUE(Math::testInside(unitBox, Vector3(1, 0, 0.5f)));
    EXPECT_FALSE(Math::testInside(unitBox, Vector3(1, -0.001f, 0.5f)));

    EXPECT_TRUE(Math::testIntersection(unitBox, AABox(Vector3(1, 0, 0), Vector3(2, 1, 1)))); // shared face
    EXPECT_FALSE(Math::testIntersection(unitBox, AABox(Vector3(1.01f, 0, 0), Vector3(2, 1, 1))));
    EXPECT_FALSE(Math::testIntersection(AABox(Vector3(0, 0, 2), Vector3(1, 1, 3)), unitBox));

    EXPECT_TRUE(Math::testIntersection(unitSphere, Sphere(Vector3(3, 0, 0), 2.0f))); // touching
    EXPECT_FALSE(Math::testIntersection(unitSphere, Sphere(Vector3(3, 0, 0), 1.9f)));

    // The corner (1, 1, 1) is sqrt(3) from (2, 2, 2): inside the slabs on no axis.
    EXPECT_TRUE(Math::testIntersection(Sphere(Vector3(2, 2, 2), 1.7321f), unitBox));
    EXPECT_FALSE(Math::testIntersection(Sphere(Vector3(2, 2, 2), 1.732f), unitBox));
    EXPECT_TRUE(Math::testIntersection(Sphere(Vector3(0.5f, 0.5f, 0.5f), 0.01f), unitBox));
}

TEST(MathGeometryTest, PlaneListTestsKeepThePositiveSide)
{
    // A view-volume-like pair: x >= 0 (n = +x, d = 0) and x <= 10 (n = -x, d = 10).
    const Plane planes[] = {Plane(Vector3(1, 0, 0), 0.0f), Plane(Vector3(-1, 0, 0), 10.0f)};

    EXPECT_TRUE(Math::testIntersection(Sphere(Vector3(5, 0, 0), 1.0f), planes, 2));
    EXPECT_TRUE(Math::testIntersection(Sphere(Vector3(-1, 0, 0), 1.0f), planes, 2)); // touches x = 0
    EXPECT_FALSE(Math::testIntersection(Sphere(Vector3(-1.5f, 0, 0), 1.0f), planes, 2));
    EXPECT_FALSE(Math::testIntersection(Sphere(Vector3(12, 0, 0), 1.0f), planes, 2));
    EXPECT_TRUE(Math::testIntersection(Sphere(Vector3(-100, 0, 0), -1.0f), planes, 2));
    EXPECT_TRUE(Math::testIntersection(Sphere(Vector3(-100, 0, 0), 1.0f), planes, 0));

    EXPECT_TRUE(Math::testIntersection(AABox(Vector3(-5, 0, 0), Vector3(0, 1, 1)), planes, 2)); // touches
    EXPECT_FALSE(Math::testIntersection(AABox(Vector3(-5, 0, 0), Vector3(-0.1f, 1, 1)), planes, 2));
    EXPECT_FALSE(Math::testIntersection(AABox(Vector3(10.5f, 0, 0), Vector3(11, 1, 1)), planes, 2));
    EXPECT_TRUE(Math::testIntersection(AABox(Vector3(-50, 0, 0), Vector3(50, 1, 1)), planes, 2));
}

// ---- merging spheres --------------------------------------------------------------------------

TEST(MathGeometryTest, MergeKeepsOrCopiesAContainingSphere)
{
    const Sphere big(Vector3(1, 1, 1), 5.0f);
    const Sphere small(Vector3(2, 1, 1), 1.0f);

    Sphere merged = big;
    merged.merge(small, 1e-6f);
    EXPECT_EQ(merged, big);

    merged = small;
    merged.merge(big, 1e-6f);
    EXPECT_EQ(merged, big);

    // Apart: the result touches both far sides.
    merged = Sphere(Vector3(0, 0, 0), 1.0f);
    merged.merge(Sphere(Vector3(4, 0, 0), 1.0f), 1e-6f);
    EXPECT_TRUE(near(merged.origin, Vector3(2, 0, 0)));
    EXPECT_FLOAT_EQ(merged.radius, 3.0f);
}

TEST(MathGeometryTest, MergeEnclosesBothSpheres)
{
    // Centres closer than 1 are the case that a threshold of epsilon + 1 got wrong.
    std::mt19937 random(20261209u);
    std::uniform_real_distribution<float> coordinate(-2.0f, 2.0f);
    std::uniform_real_distribution<float> radius(0.0f, 3.0f);
    const float epsilon = 1e-6f;
    for (int i = 0; i < 2000; ++i) {
        const float spread = (i % 2 == 0) ? 0.1f : 5.0f;
        const Sphere a(Vector3(coordinate(random), coordinate(random), coordinate(random)), radius(random));
        const Sphere b(Vector3(a.origin.x + spread * coordinate(random),
                               a.origin.y + spread * coordinate(random),
                               a.origin.z + spread * coordinate(random)),
                       radius(random));
        Sphere merged = a;
        merged.merge(b, epsilon);
        const float tolerance = 1e-4f * (1.0f + merged.radius);
        for (const Sphere* input : {&a, &b}) {
            const float reach = Math::length(input->origin - merged.origin) + input->radius;
            ASSERT_LE(reach, merged.radius + tolerance)
                << "case " << i << ": " << describe(a.origin) << " r " << a.radius << " and "
                << describe(b.origin) << " r " << b.radius;
        }
        // And it is no bigger than it needs to be.
        const float needed = (Math::length(b.origin - a.origin) + a.radius + b.radius) * 0.5f;
        ASSERT_LE(merged.radius, std::fmax(needed, std::fmax(a.radius, b.radius)) + tolerance)
            << "case " << i;
    }
}

// ---- picking rays -----------------------------------------------------------------------------

namespace {

struct Camera
{
    Matrix4x4 projView;
    unsigned int viewportX = 10;
    unsigned int viewportY = 20;
    unsigned int width = 640;
    unsigned int height = 480;

    // Window coordinates (y growing downward) and depth of a world point.
    void project(const Vector3& p, float& windowX, float& windowY, float& depth) const
    {
        Vector4 clip;
        Math::mul(clip, projView, Vector4(p.x, p.y, p.z, 1.0f));
        const float nx = clip.x / clip.w;
        const float ny = clip.y / clip.w;
        depth = clip.z / clip.w;
        windowX = static_cast<float>(viewportX) + (nx + 1.0f) * 0.5f * static_cast<float>(width);
        windowY = static_cast<float>(viewportY) + static_cast<float>(height) -
                  (ny + 1.0f) * 0.5f * static_cast<float>(height);
    }
};

Camera lookingCamera()
{
    Camera camera;
    Matrix4x4 projection;
    Matrix4x4 view;
    Math::setMatrix4x4FromPerspectiveY(projection, 1.0f, 640.0f / 480.0f, 0.5f, 50.0f);
    Math::setMatrix4x4FromLookAt(view, Vector3(3, 2, 8), Vector3(0, 0.5f, 0), Vector3(0, 1, 0), false);
    Math::mul(camera.projView, projection, view);
    return camera;
}

} // namespace

TEST(MathGeometryTest, UnprojectGivesTheRayOfAKnownCamera)
{
    // Eye at the origin looking down -z, 90 degrees, near 1, far 3: the pixel half way to the
    // right and top edges looks along (0.5, 0.5, -1).
    Matrix4x4 projection;
    Math::setMatrix4x4FromPerspectiveY(projection, static_cast<float>(M_PI / 2), 1.0f, 1.0f, 3.0f);
    Segment ray;
    Matrix4x4 scratch;
    ASSERT_TRUE(Math::unprojectSegment(ray, projection, 150, 50, 0, 0, 200, 200, scratch));
    EXPECT_TRUE(near(ray.origin, Vector3(0.5f, 0.5f, -1.0f)));
    EXPECT_TRUE(near(ray.direction, Vector3(1.0f, 1.0f, -2.0f)));
}

TEST(MathGeometryTest, UnprojectedRayProjectsBackOntoItsPixel)
{
    const Camera camera = lookingCamera();
    // Pixels inside the viewport, on its edges and outside it (left of and above it as well,
    // where the pixel terms are negative).
    const int pixels[][2] = {{330, 260}, {10, 20},   {649, 499}, {100, 400},
                             {-20, 260}, {330, -35}, {900, 700}};
    for (const auto& pixel : pixels) {
        SCOPED_TRACE(::testing::Message() << "pixel " << pixel[0] << ", " << pixel[1]);
        Segment ray;
        Matrix4x4 scratch;
        ASSERT_TRUE(Math::unprojectSegment(ray, camera.projView, pixel[0], pixel[1], camera.viewportX,
                                           camera.viewportY, camera.width, camera.height, scratch));
        for (float t : {0.0f, 0.01f, 0.5f, 1.0f}) {
            float x;
            float y;
            float depth;
            camera.project(ray.origin + ray.direction * t, x, y, depth);
            EXPECT_NEAR(x, static_cast<float>(pixel[0]), 0.01f) << "t " << t;
            EXPECT_NEAR(y, static_cast<float>(pixel[1]), 0.01f) << "t " << t;
            if (t == 0.0f) {
                EXPECT_NEAR(depth, -1.0f, 1e-3f);
            }
            if (t == 1.0f) {
                EXPECT_NEAR(depth, 1.0f, 1e-3f);
            }
        }
    }
}

TEST(MathGeometryTest, UnprojectedRayPassesThroughTheProjectedPoint)
{
    // Eye at the origin looking down -z with 90 degrees: a point projects onto a whole pixel
    // when its x/z and y/z are multiples of the pixel size.
    Camera camera;
    camera.viewportX = 0;
    camera.viewportY = 0;
    camera.width = 100;
    camera.height = 100;
    Math::setMatrix4x4FromPerspectiveY(camera.projView, static_cast<float>(M_PI / 2), 1.0f, 1.0f, 10.0f);
    const Vector3 point(0.6f, -0.2f, -2.5f);
    float x;
    float y;
    float depth;
    camera.project(point, x, y, depth);
    ASSERT_NEAR(x, 62.0f, 1e-3f);
    ASSERT_NEAR(y, 54.0f, 1e-3f);

    Segment ray;
    Matrix4x4 scratch;
    ASSERT_TRUE(Math::unprojectSegment(ray, camera.projView, 62, 54, 0, 0, 100, 100, scratch));
    // Distance from the point to the ray's line.
    const Vector3 offset = point - ray.origin;
    const float along = Math::dot(offset, ray.direction) / Math::dot(ray.direction, ray.direction);
    EXPECT_TRUE(near(ray.origin + ray.direction * along, point, 1e-4f));
    EXPECT_GT(along, 0.0f);
    EXPECT_LT(along, 1.0f);
}

TEST(MathGeometryTest, UnprojectRefusesAnEmptyViewportOrASingularMatrix)
{
    const Camera camera = lookingCamera();
    Matrix4x4 singular = camera.projView;
    for (int row = 0; row < 4; ++row) {
        singular.setAt(row, 3, singular.at(row, 0) * 2.0f); // column 3 a multiple of column 0
    }
    struct Case
    {
        const char* name;
        Matrix4x4 matrix;
        unsigned int width;
        unsigned int height;
    };
    const Case cases[] = {
        {"width 0", camera.projView, 0, 480},
        {"height 0", camera.projView, 640, 0},
        {"singular matrix", singular, 640, 480},
        {"zero matrix", Matrix4x4(0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0), 640, 480},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Segment before(UNTOUCHED, UNTOUCHED);
        Segment ray = before;
        Matrix4x4 scratch;
        EXPECT_FALSE(Math::unprojectSegment(ray, c.matrix, 100, 100, 0, 0, c.width, c.height, scratch));
        EXPECT_EQ(ray, before);
    }
}
