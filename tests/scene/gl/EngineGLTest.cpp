// A backed engine's resources made before any device, then carried by one OpenGL device and by the
// next that replaces it.
#include "support/gl/GLDeviceFixture.h"

#include "render/Buffer.h"
#include "render/TextureFormat.h"
#include "render/VertexBuffer.h"
#include "scene/BufferManager.h"
#include "scene/Engine.h"
#include "scene/TextureManager.h"

#include <cstring>
#include <vector>

namespace {

using rezezaz::core::IntrusivePointer;
using namespace rezezaz::render;
using rezezaz::scene::Engine;

class EngineGLTest : public gltest::GLDeviceFixture
{
protected:
    // What a test leaves when it stops early goes before the fixture's device, last made first.
    void TearDown() override
    {
        second = nullptr;
        secondTarget = nullptr;
        vertices = nullptr;
        texture = nullptr;
        engine = nullptr;
        GLDeviceFixture::TearDown();
    }

    // A backed engine with no device yet, and a texture and a vertex buffer made through it.
    void makeEngineAndResources()
    {
        engine = new Engine(nullptr, nullptr);
        engine->setHasBackableFixed(true);
        texture = engine->getTextureManager()->createTexture(
            1, IntrusivePointer<TextureFormat>(new TextureFormat(2, 0x108, 2, 2, 1, 1)), pixels);
        vertices = engine->getBufferManager()->createVertexBuffer(
            Buffer::Usage_STATIC, Buffer::Access_WRITE, engine->getVertexFormats().POSITION, 3);
        std::memcpy(vertices->lock(Buffer::Access_WRITE), corners, sizeof corners);
        vertices->unlock();
    }

    // A second device, on a window and context of its own; its context is current afterwards.
    void makeSecondDevice()
    {
        const Window secondWindow = x.createWindow(width, height);
        WindowRenderTargetFormat format;
        format.threadCount = 1;
        secondTarget = new_GLXRenderTarget(nullptr, secondWindow, &format);
        second = static_cast<GLRenderDevice*>(new_GLRenderDevice());
        ASSERT_TRUE(second->create(secondTarget.get(), 0));
    }

    // What OpenGL holds for the texture and the vertex buffer behind the engine's wrappers.
    void expectHeldByOpenGL(Texture* texture, VertexBuffer* vertices)
    {
        Texture* glTexture = texture->getRootTexture();
        ASSERT_NE(glTexture, nullptr);
        TextureFormat box(2, 0x108, 2, 2, 1, 1);
        std::vector<unsigned char> read(16, 0);
        ASSERT_TRUE(glTexture->read(&box, read.data()));
        EXPECT_EQ(read, std::vector<unsigned char>(pixels, pixels + 16));

        VertexBuffer* glVertices = vertices->getRootVertexBuffer();
        ASSERT_NE(glVertices, nullptr);
        const unsigned char* bytes = glVertices->lock(Buffer::Access_READ);
        ASSERT_NE(bytes, nullptr);
        EXPECT_EQ(std::memcmp(bytes, corners, sizeof corners), 0);
        glVertices->unlock();
    }

    unsigned char pixels[16] = {255, 0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 255, 10, 20, 30, 40};
    const float corners[9] = {-1, -1, 0, 1, -1, 0, 0, 1, 0};
    IntrusivePointer<Engine> engine;
    IntrusivePointer<Texture> texture;
    IntrusivePointer<VertexBuffer> vertices;
    IntrusivePointer<RenderTarget> secondTarget;
    IntrusivePointer<GLRenderDevice> second;
};

TEST_F(EngineGLTest, ResourcesMadeBeforeAnyDeviceFollowEachDevice)
{
    makeEngineAndResources();
    EXPECT_EQ(texture->getRootTexture(), nullptr);
    EXPECT_EQ(vertices->getRootVertexBuffer(), nullptr);

    engine->setRenderDevice(device.get());
    expectHeldByOpenGL(texture.get(), vertices.get());

    // A second device, on a window and context of its own, replaces the first.
    makeSecondDevice();
    ASSERT_FALSE(HasFatalFailure());

    engine->setRenderDevice(second.get());
    expectHeldByOpenGL(texture.get(), vertices.get());

    // The engine lets go of its device resources while the second device is still there.
    engine->destroy();
    EXPECT_EQ(texture->getRootTexture(), nullptr);
    texture = nullptr;
    vertices = nullptr;
    engine = nullptr;
    second->destroy();
    device->activate();
}

TEST_F(EngineGLTest, ADeviceWhoseWindowTargetWentFirstDeletesNothingOfTheNextContext)
{
    makeEngineAndResources();
    engine->setRenderDevice(device.get());
    expectHeldByOpenGL(texture.get(), vertices.get());

    // The window target goes while its device lives on; a second device makes a new context, whose
    // own objects then hold the names the first context used.
    target->destroy();
    makeSecondDevice();
    ASSERT_FALSE(HasFatalFailure());
    GLuint textures[16] = {};
    GLuint buffers[16] = {};
    glGenTextures(16, textures);
    glGenBuffers(16, buffers);
    for (int i = 0; i < 16; ++i) {
        glBindTexture(GL_TEXTURE_2D, textures[i]);
        glBindBuffer(GL_ARRAY_BUFFER, buffers[i]);
    }
    glBindTexture(GL_TEXTURE_2D, 0);
    glBindBuffer(GL_ARRAY_BUFFER, 0);

    // The hand-over lets go of the first device's backs, then backs the wrappers on the second.
    engine->setRenderDevice(second.get());
    for (int i = 0; i < 16; ++i) {
        EXPECT_TRUE(glIsTexture(textures[i])) << "texture " << textures[i];
        EXPECT_TRUE(glIsBuffer(buffers[i])) << "buffer " << buffers[i];
    }
    expectHeldByOpenGL(texture.get(), vertices.get());

    engine->destroy();
    texture = nullptr;
    vertices = nullptr;
    engine = nullptr;
    glDeleteTextures(16, textures);
    glDeleteBuffers(16, buffers);
    second->destroy();
}

} // namespace
