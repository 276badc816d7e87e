// Software skinning on OpenGL: the mesh's static, write-only source buffer lives in OpenGL, which the
// skinning reads back on its read lock, and the skinned copy is drawn where the bones put it.
#include "support/gl/GLDrawFixture.h"

#include "core/math/Vector3.h"
#include "render/Buffer.h"
#include "render/IndexData.h"
#include "render/VertexData.h"
#include "scene/BufferManager.h"
#include "scene/Engine.h"
#include "scene/Mesh.h"
#include "scene/MeshComponent.h"
#include "scene/Skeleton.h"
#include "scene/SkeletonComponent.h"

#include <vector>

namespace {

using rezezaz::core::IntrusivePointer;
using rezezaz::core::math::Vector3;
using rezezaz::render::Buffer;
using rezezaz::render::IndexData;
using rezezaz::render::VertexBuffer;
using rezezaz::render::VertexData;
using rezezaz::scene::Engine;
using rezezaz::scene::Mesh;
using rezezaz::scene::MeshComponent;
using rezezaz::scene::Skeleton;

class MeshComponentGLTest : public gltest::GLDrawFixture
{
protected:
    void TearDown() override
    {
        if (engine) {
            engine->destroy();
            engine = nullptr;
        }
        GLDrawFixture::TearDown();
    }

    // A mesh of `count` vertices whose first six are a quad in the left half of the window (two
    // triangles), the rest padding at the origin, all moved by one bone; its source buffer is a
    // static, write-only OpenGL buffer.
    IntrusivePointer<Mesh> leftQuadMesh(int count)
    {
        IntrusivePointer<VertexBuffer> source = engine->getBufferManager()->createVertexBuffer(
            Buffer::Usage_STATIC, Buffer::Access_WRITE, engine->getVertexFormats().POSITION, count);
        EXPECT_NE(source->getRootVertexBuffer(), nullptr);
        std::vector<float> positions(static_cast<size_t>(count) * 3, 0.0f);
        const gltest::Quad left{-0.9f, -0.5f, -0.1f, 0.5f};
        const int corners[6] = {0, 1, 2, 0, 2, 3};
        for (int i = 0; i < 6; ++i) {
            left.corner(corners[i], &positions[static_cast<size_t>(i) * 3]);
        }
        std::memcpy(source->lock(Buffer::Access_WRITE), positions.data(), positions.size() * sizeof(float));
        source->unlock();

        IntrusivePointer<Mesh> mesh(new Mesh());
        IntrusivePointer<Mesh::SubMesh> sub(new Mesh::SubMesh());
        sub->indexData = new IndexData(IndexData::Primitive_TRIANGLES, nullptr, 0, 6);
        mesh->addSubMesh(sub);
        mesh->setStaticVertexData(new VertexData(source));
        rezezaz::core::Collection<Mesh::BoneAssignmentList> lists;
        Mesh::BoneAssignmentList one;
        one.add(Mesh::VertexBoneAssignment());
        lists.resize(count, one);
        mesh->setVertexBoneAssignments(lists);
        IntrusivePointer<Skeleton> skeleton(new Skeleton());
        IntrusivePointer<Skeleton::Bone> bone(new Skeleton::Bone());
        bone->index = 0;
        skeleton->addBone(bone.get());
        mesh->setSkeleton(skeleton);
        return mesh;
    }

    IntrusivePointer<Engine> engine;
};

TEST_F(MeshComponentGLTest, ASkinnedMeshOverAStaticWriteOnlyBufferIsDrawnWhereItsBoneMovedIt)
{
    // Under and over 32 KiB of vertices (12 bytes each).
    for (int count : {6, 3000}) {
        SCOPED_TRACE(count);
        engine = new Engine(nullptr, nullptr);
        engine->setRenderDevice(device.get());
        IntrusivePointer<Mesh> mesh = leftQuadMesh(count);
        IntrusivePointer<MeshComponent> component(new MeshComponent(engine.get()));
        component->setMesh(mesh.get());
        ASSERT_NE(component->getDynamicVertexData(), nullptr);

        // The bind pose first: the copy holds what OpenGL holds.
        component->updateVertexBuffer();
        clear();
        device->renderPrimitive(component->getSubMesh(0)->vertexData.get(), component->getSubMesh(0)->indexData.get());
        EXPECT_EQ(pixel(80, 120), 0xFFFFFFu);
        EXPECT_EQ(pixel(240, 120), 0u);

        // One unit right in clip space: the quad moves into the right half.
        rezezaz::scene::SkeletonComponent::Bone& bone = *component->getSkeleton()->getBone(0);
        bone.keepFlags = 1;
        bone.localTranslate = Vector3(1, 0, 0);
        component->getSkeleton()->updateBones();
        component->updateVertexBuffer();
        clear();
        device->renderPrimitive(component->getSubMesh(0)->vertexData.get(), component->getSubMesh(0)->indexData.get());
        EXPECT_EQ(pixel(80, 120), 0u);
        EXPECT_EQ(pixel(240, 120), 0xFFFFFFu);

        // The skinned copy read back from OpenGL, its last vertex included.
        VertexBuffer* skinned = component->getDynamicVertexData()->vertexBuffers[0].get();
        const float* read = reinterpret_cast<const float*>(skinned->lock(Buffer::Access_READ));
        ASSERT_NE(read, nullptr);
        EXPECT_FLOAT_EQ(read[0], 0.1f);
        EXPECT_FLOAT_EQ(read[(count - 1) * 3], count > 6 ? 1.0f : 0.1f);
        skinned->unlock();

        component->destroy();
        component = nullptr;
        mesh = nullptr;
        engine->destroy();
        engine->setRenderDevice(nullptr);
        engine = nullptr;
    }
}

} // namespace
