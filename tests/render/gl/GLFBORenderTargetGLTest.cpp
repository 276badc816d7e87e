// The framebuffer-object target: drawing into a texture, the depth buffer it makes for itself, a
// depth-only target, refused attachments, its warning for an incomplete framebuffer, and the
// backable target replayed onto the target of a new context.
#include "support/gl/GLDrawFixture.h"

#include "render/BackablePixelBufferRenderTarget.h"
#include "render/BackableTexture.h"
#include "render/gl/GLFBOPixelBuffer.h"
#include "render/gl/GLFBORenderTarget.h"
#include "render/gl/GLTexture.h"
#include "support/LogRecorder.h"

#include <vector>

using gltest::Quad;
using gltest::thrownText;
using rezezaz::core::IntrusivePointer;
using rezezaz::core::math::Vector4;
using namespace rezezaz::render;

namespace {

constexpr int SIDE = 64;

class GLFBORenderTargetTest : public gltest::GLDrawFixture
{
protected:
    IntrusivePointer<GLFBORenderTarget> makeTarget()
    {
        IntrusivePointer<PixelBufferRenderTarget> made(device->createPixelBufferRenderTarget());
        IntrusivePointer<GLFBORenderTarget> result(dynamic_cast<GLFBORenderTarget*>(made.get()));
        EXPECT_TRUE(result);
        if (result) {
            EXPECT_TRUE(result->create());
        }
        return result;
    }

    IntrusivePointer<Texture> renderTexture(int pixelFormat)
    {
        IntrusivePointer<Texture> texture = device->createTexture();
        EXPECT_TRUE(texture->create(0x20, new TextureFormat(2, pixelFormat, SIDE, SIDE, 1, 1), nullptr));
        return texture;
    }

    // Black everywhere, white over the top half.
    void drawTopHalf(RenderTarget* into)
    {
        ASSERT_TRUE(device->setRenderTarget(into));
        Viewport viewport;
        viewport.width = SIDE;
        viewport.height = SIDE;
        device->setViewport(viewport);
        clear();
        auto format = makeFormat({{VertexFormat::Semantic_POSITION, 0, VertexFormat::makeFormat(6, 3)}});
        float vertices[12];
        const Quad top{-1, 0, 1, 1};
        for (int i = 0; i < 4; ++i) {
            top.corner(i, vertices + 3 * i);
        }
        IntrusivePointer<VertexData> quad = new VertexData(makeVertices(format, vertices, 4));
        IntrusivePointer<IndexData> fan = new IndexData(IndexData::Primitive_TRIANGLE_FAN, nullptr, 0, 4);
        device->renderPrimitive(quad.get(), fan.get());
        ASSERT_TRUE(device->setRenderTarget(target.get()));
    }

    // The red channel of each row of a texture's level 0, bottom row first.
    static std::vector<int> rows(Texture& texture)
    {
        std::vector<unsigned char> pixels(SIDE * SIDE * 4);
        TextureFormat whole(2, TextureFormat::Format_RGBA_8, SIDE, SIDE, 1, 1);
        EXPECT_TRUE(texture.read(&whole, pixels.data()));
        std::vector<int> result;
        for (int y = 0; y < SIDE; ++y) {
            result.push_back(pixels[static_cast<size_t>(y) * SIDE * 4]);
        }
        return result;
    }

    static std::vector<int> topHalfRows()
    {
        std::vector<int> result(SIDE, 0);
        std::fill(result.begin() + SIDE / 2, result.end(), 255);
        return result;
    }

    static GLuint attachedName(GLenum point)
    {
        GLint name = 0;
        glGetFramebufferAttachmentParameteriv(GL_FRAMEBUFFER, point, GL_FRAMEBUFFER_ATTACHMENT_OBJECT_NAME,
                                              &name);
        return static_cast<GLuint>(name);
    }
};

TEST_F(GLFBORenderTargetTest, DrawsIntoATextureThatThenSamplesUpright)
{
    auto fbo = makeTarget();
    ASSERT_TRUE(fbo);
    EXPECT_TRUE(fbo->isValid());
    EXPECT_FALSE(fbo->isPrimary());
    auto texture = renderTexture(TextureFormat::Format_RGBA_8);
    ASSERT_TRUE(fbo->attach(texture->getMipPixelBuffer(0, 0), PixelBufferRenderTarget::Attachment_COLOR));
    EXPECT_EQ(fbo->getWidth(), SIDE);
    EXPECT_EQ(fbo->getHeight(), SIDE);

    drawTopHalf(fbo->getRootRenderTarget());
    ASSERT_FALSE(HasFatalFailure());
    // Rows come back as drawn: OpenGL's bottom row first, so the top half is the second half.
    EXPECT_EQ(rows(*texture), topHalfRows());
    // The texture matrix turns t into 1 - t, so texture coordinates that run from the top sample it
    // upright.
    const float* m = static_cast<GLTexture*>(texture.get())->getTextureMatrix().data;
    const float flip[16] = {1, 0, 0, 0, 0, -1, 0, 0, 0, 0, 1, 0, 0, 1, 0, 1};
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(m[i], flip[i]) << i;
    }

    // Colour alone got a depth renderbuffer of the target's size.
    IntrusivePointer<PixelBuffer> depth = fbo->getDepthBuffer();
    ASSERT_TRUE(depth);
    EXPECT_EQ(depth->getTextureFormat()->pixelFormat, TextureFormat::Format_DEPTH_24);
    EXPECT_EQ(depth->getTextureFormat()->getWidth(), SIDE);
    EXPECT_EQ(depth->getTextureFormat()->getHeight(), SIDE);
    const GLuint first = depth->castToGLFBOPixelBuffer()->getHandle();

    // A change of attachments compiles again: the depth buffer is replaced, not added to.
    auto second = renderTexture(TextureFormat::Format_RGBA_8);
    ASSERT_TRUE(fbo->attach(second->getMipPixelBuffer(0, 0), PixelBufferRenderTarget::Attachment_COLOR1));
    EXPECT_TRUE(fbo->compile());
    IntrusivePointer<PixelBuffer> replaced = fbo->getDepthBuffer();
    ASSERT_TRUE(replaced);
    EXPECT_NE(replaced, depth);
    EXPECT_EQ(depth->castToGLFBOPixelBuffer()->getHandle(), 0u);
    EXPECT_FALSE(glIsRenderbuffer(first));
    glBindFramebuffer(GL_FRAMEBUFFER, fbo->getHandle());
    EXPECT_EQ(attachedName(GL_DEPTH_ATTACHMENT), replaced->castToGLFBOPixelBuffer()->getHandle());
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    // Removing the second colour level and compiling once more still leaves one depth buffer, and
    // the target stays complete.
    EXPECT_TRUE(fbo->remove(second->getMipPixelBuffer(0, 0)));
    EXPECT_TRUE(fbo->compile());
    EXPECT_TRUE(fbo->remove(fbo->getDepthBuffer()));
    EXPECT_FALSE(fbo->remove(fbo->getDepthBuffer()));
    fbo->destroy();
    EXPECT_FALSE(fbo->isValid());
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(GLFBORenderTargetTest, DepthAloneDrawsAndReadsNoColour)
{
    auto fbo = makeTarget();
    ASSERT_TRUE(fbo);
    // A depth renderbuffer of the target's own kind.
    IntrusivePointer<GLFBOPixelBuffer> depth(new GLFBOPixelBuffer(fbo.get()));
    ASSERT_TRUE(depth->create(2, 0, new TextureFormat(2, TextureFormat::Format_DEPTH_24, SIDE, SIDE, 1, 1)));
    EXPECT_EQ(depth->lock(Buffer::Access_READ), nullptr);
    EXPECT_EQ(depth->getSize(), SIDE * SIDE);
    ASSERT_TRUE(
        fbo->attach(IntrusivePointer<PixelBuffer>(depth.get()), PixelBufferRenderTarget::Attachment_DEPTH));
    ASSERT_TRUE(device->setRenderTarget(fbo->getRootRenderTarget()));
    EXPECT_EQ(integer(GL_FRAMEBUFFER_BINDING), static_cast<GLint>(fbo->getHandle()));
    EXPECT_EQ(integer(GL_DRAW_BUFFER), GL_NONE);
    EXPECT_EQ(integer(GL_READ_BUFFER), GL_NONE);
    EXPECT_EQ(glCheckFramebufferStatus(GL_FRAMEBUFFER), static_cast<GLenum>(GL_FRAMEBUFFER_COMPLETE));
    EXPECT_FALSE(fbo->getDepthBuffer());
    ASSERT_TRUE(device->setRenderTarget(target.get()));
    EXPECT_EQ(integer(GL_FRAMEBUFFER_BINDING), 0);

    // Colour attached later is drawn into and read from again.
    auto texture = renderTexture(TextureFormat::Format_RGBA_8);
    ASSERT_TRUE(fbo->attach(texture->getMipPixelBuffer(0, 0), PixelBufferRenderTarget::Attachment_COLOR));
    drawTopHalf(fbo->getRootRenderTarget());
    ASSERT_FALSE(HasFatalFailure());
    EXPECT_EQ(rows(*texture), topHalfRows());
    EXPECT_FALSE(fbo->getDepthBuffer());
    glBindFramebuffer(GL_FRAMEBUFFER, fbo->getHandle());
    EXPECT_EQ(integer(GL_DRAW_BUFFER), GL_COLOR_ATTACHMENT0);
    EXPECT_EQ(integer(GL_READ_BUFFER), GL_COLOR_ATTACHMENT0);
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    fbo->destroy();
    depth->destroy();

    // A target never created has no framebuffer of its own: compiling it leaves the window's draw
    // and read buffers as they are.
    IntrusivePointer<GLFBORenderTarget> uncreated(new GLFBORenderTarget(device.get()));
    IntrusivePointer<GLFBOPixelBuffer> loose(new GLFBOPixelBuffer(uncreated.get()));
    ASSERT_TRUE(loose->create(2, 0, new TextureFormat(2, TextureFormat::Format_DEPTH_24, SIDE, SIDE, 1, 1)));
    const GLint drawBuffer = integer(GL_DRAW_BUFFER);
    const GLint readBuffer = integer(GL_READ_BUFFER);
    ASSERT_TRUE(
        uncreated->attach(IntrusivePointer<PixelBuffer>(loose.get()), PixelBufferRenderTarget::Attachment_DEPTH));
    uncreated->compile();
    EXPECT_EQ(integer(GL_DRAW_BUFFER), drawBuffer);
    EXPECT_EQ(integer(GL_READ_BUFFER), readBuffer);
    loose->destroy();
    while (glGetError() != GL_NO_ERROR) {
    }
    EXPECT_EQ(depth->getHandle(), 0u);
}

TEST_F(GLFBORenderTargetTest, DepthTexturesAllocateTheirLevelAndCompleteTheFramebuffer)
{
    const struct
    {
        int pixelFormat;
        bool withColour;
    } cases[] = {
        {TextureFormat::Format_DEPTH_16, false},
        {TextureFormat::Format_DEPTH_24, false},
        {TextureFormat::Format_DEPTH_32, false},
        {TextureFormat::Format_DEPTH_24, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << std::hex << c.pixelFormat << (c.withColour ? " with colour" : ""));
        auto fbo = makeTarget();
        ASSERT_TRUE(fbo);
        auto depthTexture = renderTexture(c.pixelFormat);
        auto* gl = dynamic_cast<GLTexture*>(depthTexture.get());
        ASSERT_NE(gl, nullptr);
        // Level 0 exists in full, in a depth format of its own.
        glBindTexture(GL_TEXTURE_2D, gl->getHandle());
        GLint levelWidth = 0;
        GLint levelHeight = 0;
        GLint depthBits = 0;
        glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &levelWidth);
        glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &levelHeight);
        glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_DEPTH_SIZE, &depthBits);
        glBindTexture(GL_TEXTURE_2D, 0);
        EXPECT_EQ(levelWidth, SIDE);
        EXPECT_EQ(levelHeight, SIDE);
        EXPECT_GT(depthBits, 0);
        // Its format gives a texel no bytes: reading or writing through a caller's memory is refused
        // rather than running past it.
        TextureFormat whole(2, c.pixelFormat, SIDE, SIDE, 1, 1);
        std::vector<unsigned char> bytes(4, 0xAB);
        EXPECT_FALSE(depthTexture->read(&whole, bytes.data()));
        EXPECT_FALSE(depthTexture->load(&whole, bytes.data()));
        EXPECT_EQ(bytes, std::vector<unsigned char>(4, 0xAB));
        EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));

        IntrusivePointer<Texture> colour;
        if (c.withColour) {
            colour = renderTexture(TextureFormat::Format_RGBA_8);
            ASSERT_TRUE(fbo->attach(colour->getMipPixelBuffer(0, 0), PixelBufferRenderTarget::Attachment_COLOR));
        }
        ASSERT_TRUE(fbo->attach(depthTexture->getMipPixelBuffer(0, 0), PixelBufferRenderTarget::Attachment_DEPTH));
        ASSERT_TRUE(device->setRenderTarget(fbo->getRootRenderTarget()));
        EXPECT_EQ(glCheckFramebufferStatus(GL_FRAMEBUFFER), static_cast<GLenum>(GL_FRAMEBUFFER_COMPLETE));
        EXPECT_EQ(attachedName(GL_DEPTH_ATTACHMENT), gl->getHandle());
        // The texture is the target's depth: no renderbuffer was made in its place.
        EXPECT_FALSE(fbo->getDepthBuffer());
        ASSERT_TRUE(device->setRenderTarget(target.get()));
        if (c.withColour) {
            // Drawn with depth testing into the texture's depth, the quad still lands.
            drawTopHalf(fbo->getRootRenderTarget());
            ASSERT_FALSE(HasFatalFailure());
            EXPECT_EQ(rows(*colour), topHalfRows());
        }
        fbo->destroy();
    }
}

TEST_F(GLFBORenderTargetTest, AnIncompleteFramebufferIsOnlyAWarning)
{
    auto fbo = makeTarget();
    ASSERT_TRUE(fbo);
    support::LogRecorder recorder;
    // Nothing attached: the framebuffer misses every attachment.
    EXPECT_FALSE(fbo->compile());
    EXPECT_TRUE(recorder.has("rezezaz.render", rezezaz::core::Logger::WARNING,
                             "FBO Warning:36055=GL_FRAMEBUFFER_INCOMPLETE_MISSING_ATTACHMENT"))
        << ::testing::PrintToString(recorder.texts());

    struct Case
    {
        unsigned int status;
        const char* name;
    };
    const Case cases[] = {
        {0x8CD5, "GL_FRAMEBUFFER_COMPLETE"},
        {0x8CD6, "GL_FRAMEBUFFER_INCOMPLETE_ATTACHMENT"},
        {0x8CD8, "UNKNOWN"},
        {0x8CD9, "GL_FRAMEBUFFER_INCOMPLETE_DIMENSIONS"},
        {0x8CDC, "GL_FRAMEBUFFER_INCOMPLETE_READ_BUFFER"},
        {0x8CDD, "GL_FRAMEBUFFER_UNSUPPORTED"},
        {0x8CDE, "UNKNOWN"},
        {0x8CD4, "UNKNOWN"},
        {0, "UNKNOWN"},
    };
    for (const Case& c : cases) {
        EXPECT_STREQ(GLFBORenderTarget::getFBOMessage(c.status), c.name) << std::hex << c.status;
    }
}

TEST_F(GLFBORenderTargetTest, RefusedAttachmentsRecordNothing)
{
    auto fbo = makeTarget();
    ASSERT_TRUE(fbo);
    auto texture = renderTexture(TextureFormat::Format_RGBA_8);
    IntrusivePointer<PixelBuffer> level = texture->getMipPixelBuffer(0, 0);
    EXPECT_EQ(thrownText([&] { fbo->attach(level, static_cast<PixelBufferRenderTarget::Attachment>(5)); }),
              "GLFBORenderTarget::getGLAttachment: Invalid attachment");
    EXPECT_FALSE(fbo->remove(level));
    EXPECT_EQ(integer(GL_FRAMEBUFFER_BINDING), 0);

    IntrusivePointer<PixelBuffer> bufferObject = device->createPixelBuffer();
    ASSERT_TRUE(bufferObject->create(1, 3, new TextureFormat(2, TextureFormat::Format_RGBA_8, 4, 4, 1, 1)));
    EXPECT_EQ(thrownText([&] { fbo->attach(bufferObject, PixelBufferRenderTarget::Attachment_COLOR); }),
              "can not bind PixelBuffer to FBO");
    EXPECT_FALSE(fbo->remove(bufferObject));
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(GLFBORenderTargetTest, TheBackableTargetIsReplayedOntoTheTargetOfANewContext)
{
    IntrusivePointer<BackableTexture> texture(new BackableTexture());
    ASSERT_TRUE(
        texture->create(0x20, new TextureFormat(2, TextureFormat::Format_RGBA_8, SIDE, SIDE, 1, 1), nullptr));
    IntrusivePointer<BackablePixelBufferRenderTarget> offscreen(new BackablePixelBufferRenderTarget());
    ASSERT_TRUE(
        offscreen->attach(texture->getMipPixelBuffer(0, 0), PixelBufferRenderTarget::Attachment_COLOR));

    for (int context = 0; context < 2; ++context) {
        SCOPED_TRACE(context);
        if (context > 0) {
            offscreen->setBack(nullptr);
            texture->setBack(nullptr, nullptr);
            states.clear();
            device->destroy();
            device = nullptr;
            target = nullptr;
            SetUp();
            ASSERT_FALSE(HasFatalFailure());
        }
        // The texture first, so that its level has a device level to attach.
        texture->setBack(device->createTexture(), device.get());
        offscreen->setBack(device->createPixelBufferRenderTarget());
        EXPECT_TRUE(offscreen->isValid());
        EXPECT_EQ(offscreen->getWidth(), SIDE);
        drawTopHalf(offscreen.get());
        ASSERT_FALSE(HasFatalFailure());
        EXPECT_EQ(rows(*texture), topHalfRows());
    }
    offscreen->setBack(nullptr);
    texture->setBack(nullptr, nullptr);
}

} // namespace
