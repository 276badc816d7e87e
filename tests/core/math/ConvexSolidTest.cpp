#include "core/math/ConvexSolid.h"

#include <gtest/gtest.h>

using namespace rezezaz::core::math;

namespace {

ConvexSolid unitCube()
{
    const Plane planes[] = {
        Plane(Vector3(1, 0, 0), 1), Plane(Vector3(-1, 0, 0), 1), Plane(Vector3(0, 1, 0), 1),
        Plane(Vector3(0, -1, 0), 1), Plane(Vector3(0, 0, 1), 1), Plane(Vector3(0, 0, -1), 1),
    };
    return ConvexSolid(planes, 6);
}

} // namespace

// A solid's planes are its own: copies and assignments never share storage with their source.
TEST(ConvexSolidTest, CopiesOwnTheirPlanes)
{
    ConvexSolid cube = unitCube();
    ConvexSolid copy = cube;
    ConvexSolid assigned;
    assigned.assign(cube);
    ASSERT_EQ(copy, cube);
    ASSERT_EQ(assigned, cube);

    cube.planes[0].distance = 5.0f;
    cube.planes.add(Plane(Vector3(1, 1, 0), 3));
    EXPECT_EQ(copy.planes.size(), 6);
    EXPECT_EQ(assigned.planes.size(), 6);
    EXPECT_EQ(copy.planes[0].distance, 1.0f);
    EXPECT_EQ(assigned.planes[0].distance, 1.0f);
    EXPECT_NE(copy, cube);
}

// Assigning a shorter list into one that held a longer list keeps only the new planes, and
// reuses the storage it already has.
TEST(ConvexSolidTest, AssignReplacesThePlanesInPlace)
{
    ConvexSolid scratch = unitCube();
    const Plane* storage = &scratch.planes[0];
    const Plane two[] = {Plane(Vector3(0, 0, 1), 2), Plane(Vector3(0, 0, -1), 3)};
    const ConvexSolid slab(two, 2);

    scratch.assign(slab);
    EXPECT_EQ(scratch, slab);
    EXPECT_EQ(&scratch.planes[0], storage);

    scratch.assign(scratch);
    EXPECT_EQ(scratch, slab);
}
