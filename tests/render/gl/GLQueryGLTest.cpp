#include "support/gl/GLDeviceFixture.h"

#include "core/IntrusivePointer.h"
#include "render/gl/GLQuery.h"

namespace {

using rezezaz::core::IntrusivePointer;
using rezezaz::render::GLQuery;
using rezezaz::render::Query;

class GLQueryTest : public gltest::GLDeviceFixture
{
protected:
    // A square over the middle of the window at depth z (-1 nearest, 1 farthest), drawn as it is.
    static void square(float z, float half)
    {
        glBegin(GL_QUADS);
        glVertex3f(-half, -half, z);
        glVertex3f(half, -half, z);
        glVertex3f(half, half, z);
        glVertex3f(-half, half, z);
        glEnd();
    }

    // The samples of a square at depth z that pass, behind a larger square at depth 0.
    int countBehindWall(GLQuery& query, float z, float half)
    {
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        glViewport(0, 0, width, height);
        glEnable(GL_DEPTH_TEST);
        glDepthFunc(GL_LESS);
        glDepthMask(GL_TRUE);
        glClearDepth(1.0);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        square(0.0f, 0.5f);
        query.beginQuery();
        square(z, half);
        query.endQuery();
        return query.getResult();
    }
};

TEST_F(GLQueryTest, CountsOnlyTheSamplesThatPassTheDepthTest)
{
    IntrusivePointer<Query> made(device->createQuery());
    GLQuery* query = dynamic_cast<GLQuery*>(made.get());
    ASSERT_NE(query, nullptr);
    EXPECT_EQ(query->getRootQuery(), query);
    EXPECT_EQ(query->getHandle(), 0u);
    ASSERT_TRUE(query->create(Query::QueryType_OCCLUSION));
    EXPECT_NE(query->getHandle(), 0u);

    // Wholly behind the wall: nothing passes.
    EXPECT_EQ(countBehindWall(*query, 0.5f, 0.25f), 0);
    // In front of it: every covered sample passes.
    const int visible = countBehindWall(*query, -0.5f, 0.25f);
    EXPECT_GT(visible, 0);
    // Larger than the wall and behind it: only the ring around the wall shows.
    const int ring = countBehindWall(*query, 0.5f, 0.75f);
    EXPECT_GT(ring, 0);
    EXPECT_LT(ring, width * height);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));

    query->destroy();
    EXPECT_EQ(query->getHandle(), 0u);
    EXPECT_EQ(query->getResult(), 0);
}

TEST_F(GLQueryTest, OtherQueryTypesAreRefusedBeforeAnyQueryIsMade)
{
    // Occlusion is 1; 0 is the one other value the type holds.
    EXPECT_EQ(Query::QueryType_OCCLUSION, 1);
    IntrusivePointer<GLQuery> query(new GLQuery(device.get()));
    EXPECT_EQ(gltest::thrownText([&] { query->create(static_cast<Query::QueryType>(0)); }),
              "GLQuery only supports QueryType_OCCLUSION");
    EXPECT_EQ(query->getHandle(), 0u);
    query->destroy();
}

TEST_F(GLQueryTest, NothingIsAskedOfOpenGLBeforeCreate)
{
    IntrusivePointer<GLQuery> query(new GLQuery(device.get()));
    EXPECT_EQ(query->getHandle(), 0u);
    query->beginQuery();
    query->endQuery();
    EXPECT_EQ(query->getResult(), 0);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    query->destroy();
}

} // namespace
