#include "MeshFixture.h"

#include "render/IndexData.h"

using namespace scenetest;
using rezezaz::render::IndexData;
using rezezaz::render::VertexData;
using rezezaz::scene::Mesh;
using rezezaz::scene::Skeleton;

namespace {

class MeshTest : public MeshFixture
{
protected:
    // Whether the buffer manager still lists buffer (a destroyed buffer leaves the list).
    bool listed(rezezaz::render::VertexBuffer* buffer) const
    {
        return buffers()->getVertexBuffers().findIndex(buffer) >= 0;
    }
};

TEST_F(MeshTest, DestroyEmptiesTheMeshAndKeepsTransformAndBound)
{
    Pointer<Mesh> mesh(new Mesh());
    Pointer<VertexData> data = vertexData({Vector3(0, 0, 0)});
    Pointer<rezezaz::render::VertexBuffer> buffer = data->vertexBuffers[0];
    Pointer<rezezaz::render::IndexBuffer> indices =
        buffers()->createIndexBuffer(1, 3, rezezaz::render::IndexBuffer::IndexFormat(2), 3);
    Pointer<Mesh::SubMesh> sub(new Mesh::SubMesh());
    sub->indexData = new IndexData(IndexData::Primitive_TRIANGLES, indices);
    Pointer<rezezaz::scene::Transform> transform(new rezezaz::scene::Transform());
    mesh->setTransform(transform);
    mesh->setBound(new rezezaz::scene::Bound());
    mesh->addSubMesh(sub);
    mesh->setStaticVertexData(data);
    mesh->setVertexBoneAssignments(assignments({{{0, 1.0f}}}));
    mesh->setSkeleton(new Skeleton());
    DestroyedRecorder listener;
    mesh->setDestroyedListener(&listener);

    mesh->destroy();
    EXPECT_EQ(mesh->getNumSubMeshes(), 0);
    EXPECT_EQ(mesh->staticVertexData, nullptr);
    EXPECT_EQ(mesh->skeleton, nullptr);
    EXPECT_EQ(mesh->getVertexBoneAssignments().size(), 0);
    EXPECT_EQ(mesh->transform, transform);
    EXPECT_NE(mesh->bound, nullptr);
    EXPECT_FALSE(listed(buffer.get()));
    EXPECT_EQ(buffers()->getIndexBuffers().findIndex(indices.get()), -1);
    EXPECT_EQ(listener.destroyed.size(), 1u);
    mesh->destroy();
    EXPECT_EQ(listener.destroyed.size(), 1u);
}

TEST_F(MeshTest, SubMeshesAreAddedAndRemovedByIdentity)
{
    Pointer<Mesh> mesh(new Mesh());
    Pointer<Mesh::SubMesh> a(new Mesh::SubMesh());
    Pointer<Mesh::SubMesh> b(new Mesh::SubMesh());
    mesh->addSubMesh(a);
    mesh->addSubMesh(b);
    mesh->removeSubMesh(new Mesh::SubMesh());
    EXPECT_EQ(mesh->getNumSubMeshes(), 2);
    mesh->removeSubMesh(a);
    ASSERT_EQ(mesh->getNumSubMeshes(), 1);
    EXPECT_EQ(mesh->getSubMesh(0), b.get());
}

TEST_F(MeshTest, ASecondStaticVertexDataDestroysTheFirstAndTheSameOneIsKept)
{
    Pointer<Mesh> mesh(new Mesh());
    Pointer<VertexData> first = vertexData({Vector3(1, 2, 3)});
    Pointer<rezezaz::render::VertexBuffer> firstBuffer = first->vertexBuffers[0];
    mesh->setStaticVertexData(first);

    mesh->setStaticVertexData(first);
    ASSERT_EQ(first->vertexBuffers.size(), 1);
    EXPECT_TRUE(listed(firstBuffer.get()));
    expectNear(readVertex(first.get(), 0), Vector3(1, 2, 3));

    mesh->setStaticVertexData(vertexData({Vector3()}));
    EXPECT_EQ(first->vertexBuffers.size(), 0);
    EXPECT_FALSE(listed(firstBuffer.get()));
    EXPECT_NE(mesh->staticVertexData, first);
}

TEST_F(MeshTest, BoneBoundsHoldTheBoneSpacePositionsOfTheirVertices)
{
    Pointer<Skeleton> skeleton(new Skeleton());
    Pointer<Skeleton::Bone> moved = bone(0, -1, Vector3());
    moved->worldToBoneTranslate = Vector3(1, 0, 0);
    Pointer<Skeleton::Bone> single = bone(1, -1, Vector3());
    Pointer<Skeleton::Bone> untouched = bone(2, -1, Vector3());
    untouched->bound.minimum = Vector3(-5, -5, -5);
    skeleton->addBone(moved.get());
    skeleton->addBone(single.get());
    skeleton->addBone(untouched.get());

    Pointer<Mesh> mesh(new Mesh());
    mesh->setSkeleton(skeleton);
    mesh->setStaticVertexData(vertexData({Vector3(0, 2, 0), Vector3(-1, 0, 4), Vector3(3, 3, 3), Vector3(9, 9, 9)}));
    // Vertex 2 names a bone past the skeleton; a fifth list has no vertex.
    mesh->setVertexBoneAssignments(
        assignments({{{0, 1.0f}}, {{0, 0.0f}}, {{1, 0.5f}, {7, 1.0f}}, {}, {{2, 1.0f}}}));

    mesh->compile();
    expectNear(moved->bound.minimum, Vector3(0, 0, 0));
    expectNear(moved->bound.maximum, Vector3(1, 2, 4));
    expectNear(single->bound.minimum, Vector3(3, 3, 3));
    expectNear(single->bound.maximum, Vector3(3, 3, 3));
    expectNear(untouched->bound.minimum, Vector3(-5, -5, -5));

    // Without a skeleton nothing is read.
    mesh->setSkeleton(nullptr);
    mesh->compile();
}

TEST_F(MeshTest, BoneBoundsReadFixedPointPositions)
{
    Pointer<Skeleton> skeleton(new Skeleton());
    skeleton->addBone(bone(0, -1, Vector3()).get());
    skeleton->bones[0]->worldToBoneRotate = Quaternion(0, 0, 1, 0);
    Pointer<Mesh> mesh(new Mesh());
    mesh->setSkeleton(skeleton);
    mesh->setStaticVertexData(vertexData({Vector3(1.5f, -2, 0)}, {}, VertexFormat::Type_FIXED32));
    mesh->setVertexBoneAssignments(assignments({{{0, 1.0f}}}));
    mesh->compileBoneBounds();
    expectNear(skeleton->bones[0]->bound.maximum, Vector3(-1.5f, 2, 0));
}

} // namespace
