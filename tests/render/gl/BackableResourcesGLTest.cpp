// The device-independent resources across the loss of the render context: each is made and filled
// once, backed by one device, then by the device of a new context, and draws or reads the same.
#include "support/gl/GLDrawFixture.h"

#include "core/String.h"
#include "render/BackableBuffer.h"
#include "render/BackablePixelBufferRenderTarget.h"
#include "render/BackableShader.h"
#include "render/BackableShaderState.h"
#include "render/BackableTexture.h"
#include "render/BackableVertexFormat.h"
#include "render/gl/GLTexture.h"
#include "support/LogRecorder.h"
#include "support/RecordingRenderDevice.h"

#include <GL/glx.h>

#include <memory>
#include <string>
#include <vector>

using rezezaz::core::IntrusivePointer;
using rezezaz::core::String;
using namespace rezezaz::render;

namespace {

constexpr int FLOAT3 = VertexFormat::makeFormat(VertexFormat::Type_FLOAT32, 3);

const char* const flatVertex = R"(#version 120
attribute vec3 POSITION;
void main() { gl_Position = vec4(POSITION, 1.0); }
)";

const char* const orangeFragment = R"(#version 120
void main() { gl_FragColor = vec4(1.0, 0.5, 0.0, 1.0); }
)";

class BackableResourcesGLTest : public gltest::GLDrawFixture
{
protected:
    // The old context goes with its device and window; a new window target and device make a new
    // context, set up for drawing as the first was.
    void loseContext()
    {
        states.clear();
        device->destroy();
        device = nullptr;
        target = nullptr;
        SetUp();
    }

    // A vertex format, vertex buffer and index buffer for a quad over the left half of the window,
    // made before any of them has a back.
    void makeLeftQuad()
    {
        format = new BackableVertexFormat();
        format->addElement(VertexFormat::Semantic_POSITION, 0, FLOAT3);
        vertices = new BackableBuffer();
        ASSERT_TRUE(vertices->create(1, 2, IntrusivePointer<VertexFormat>(format.get()), 4));
        const float corners[12] = {-1, -1, 0, 0, -1, 0, 0, 1, 0, -1, 1, 0};
        std::memcpy(vertices->lock(Buffer::Access_WRITE), corners, sizeof corners);
        vertices->unlock();
        indices = new BackableBuffer();
        ASSERT_TRUE(indices->create(1, 2, IndexBuffer::IndexFormat_UINT16, 6));
        const uint16_t triangles[6] = {0, 1, 2, 0, 2, 3};
        ASSERT_TRUE(
            indices->update(reinterpret_cast<unsigned char*>(const_cast<uint16_t*>(triangles)), 0, 12));
        vertexData = new VertexData(IntrusivePointer<VertexBuffer>(vertices.get()));
        indexData =
            new IndexData(IndexData::Primitive_TRIANGLES, IntrusivePointer<IndexBuffer>(indices.get()), 0, 6);
    }

    void backQuad()
    {
        format->setBack(device->createVertexFormat());
        vertices->setBack(IntrusivePointer<VertexBuffer>(device->createVertexBuffer()));
        indices->setBack(IntrusivePointer<IndexBuffer>(device->createIndexBuffer()));
    }

    void unbackQuad()
    {
        indices->setBack(IntrusivePointer<IndexBuffer>());
        vertices->setBack(IntrusivePointer<VertexBuffer>());
        format->setBack(nullptr);
    }

    // The left half drawn in colour, the right half left black.
    void expectLeftHalf(uint32_t color)
    {
        clear();
        device->renderPrimitive(vertexData.get(), indexData.get());
        EXPECT_EQ(pixel(80, 120), color);
        EXPECT_EQ(pixel(240, 120), 0u);
    }

    void TearDown() override
    {
        // Index data does not own its buffer: the wrappers go before the device.
        if (indexData) {
            indexData->indexBuffer = nullptr;
        }
        GLDrawFixture::TearDown();
    }

    IntrusivePointer<BackableVertexFormat> format;
    IntrusivePointer<BackableBuffer> vertices;
    IntrusivePointer<BackableBuffer> indices;
    IntrusivePointer<VertexData> vertexData;
    IntrusivePointer<IndexData> indexData;
};

TEST_F(BackableResourcesGLTest, BuffersAndTheirFormatDrawTheSameAfterTheContextIsLost)
{
    makeLeftQuad();
    backQuad();
    expectLeftHalf(0xFFFFFF);
    EXPECT_NE(vertices->getRootVertexBuffer(), nullptr);

    unbackQuad();
    loseContext();
    ASSERT_FALSE(HasFatalFailure());
    backQuad();
    expectLeftHalf(0xFFFFFF);

    // A write while backed reaches the device at once: the quad now covers the whole window.
    const float right[3] = {1, -1, 0};
    const float top[3] = {1, 1, 0};
    ASSERT_TRUE(vertices->update(reinterpret_cast<unsigned char*>(const_cast<float*>(right)), 12, 12));
    ASSERT_TRUE(vertices->update(reinterpret_cast<unsigned char*>(const_cast<float*>(top)), 24, 12));
    clear();
    device->renderPrimitive(vertexData.get(), indexData.get());
    EXPECT_EQ(pixel(240, 120), 0xFFFFFFu);
    unbackQuad();
}

TEST_F(BackableResourcesGLTest, ATextureReadsBackTheSameFromEachNewDevice)
{
    // Three pixels wide: the device takes sizes that are not powers of two as they are.
    std::vector<unsigned char> pixels(3 * 2 * 4);
    for (size_t i = 0; i < pixels.size(); ++i) {
        pixels[i] = static_cast<unsigned char>(i * 11 + 3);
    }
    IntrusivePointer<TextureFormat> whole(new TextureFormat(2, TextureFormat::Format_RGBA_8, 3, 2, 1, 1));
    IntrusivePointer<BackableTexture> texture(new BackableTexture());
    unsigned char* levels[] = {pixels.data()};
    ASSERT_TRUE(texture->create(1, whole, levels));

    for (int context = 0; context < 2; ++context) {
        SCOPED_TRACE(context);
        if (context > 0) {
            texture->setBack(nullptr, nullptr);
            loseContext();
            ASSERT_FALSE(HasFatalFailure());
        }
        texture->setBack(device->createTexture(), device.get());
        ASSERT_NE(texture->getRootTexture(), nullptr);
        std::vector<unsigned char> out(pixels.size(), 0);
        EXPECT_TRUE(texture->read(whole.get(), out.data()));
        EXPECT_EQ(out, pixels);
        // The level buffer follows the device texture.
        EXPECT_NE(texture->getMipPixelBuffer(0, 0)->getRootPixelBuffer(), nullptr);
    }

    // A box loaded through the wrapper reaches the device texture and the copy alike.
    IntrusivePointer<TextureFormat> corner(new TextureFormat(2, TextureFormat::Format_RGBA_8, 1, 1, 1, 1));
    unsigned char white[4] = {255, 255, 255, 255};
    ASSERT_TRUE(texture->load(corner.get(), white));
    std::vector<unsigned char> out(pixels.size(), 0);
    EXPECT_TRUE(texture->read(whole.get(), out.data()));
    EXPECT_EQ(std::vector<unsigned char>(out.begin(), out.begin() + 4), std::vector<unsigned char>(4, 255));
    texture->setBack(nullptr, nullptr);
    out.assign(pixels.size(), 0);
    EXPECT_TRUE(texture->read(whole.get(), out.data()));
    EXPECT_EQ(std::vector<unsigned char>(out.begin(), out.begin() + 4), std::vector<unsigned char>(4, 255));
    EXPECT_EQ(std::vector<unsigned char>(out.begin() + 4, out.end()),
              std::vector<unsigned char>(pixels.begin() + 4, pixels.end()));
}

TEST_F(BackableResourcesGLTest, MipLevelsMadeForADeviceThatCannotMakeThemReachTheDeviceTexture)
{
    // The capabilities of a device without mip generation, over a texture of the real one.
    support::RecordingRenderDevice caps(std::make_shared<support::CallLog>());
    caps.caps.textureNonPowerOf2 = true;
    caps.caps.textureAutogenMipMaps = false;
    std::vector<unsigned char> level0(4 * 4 * 4);
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 4; ++x) {
            unsigned char* pixel = level0.data() + (y * 4 + x) * 4;
            pixel[0] = static_cast<unsigned char>(x < 2 ? 200 : 40);
            pixel[1] = static_cast<unsigned char>(y < 2 ? 100 : 0);
            pixel[2] = static_cast<unsigned char>((x + y) % 2 == 0 ? 80 : 0);
            pixel[3] = 255;
        }
    }
    unsigned char* levels[] = {level0.data()};
    IntrusivePointer<TextureFormat> format(new TextureFormat(2, TextureFormat::Format_RGBA_8, 4, 4, 1, 0));
    IntrusivePointer<Texture> texture = device->createTexture();
    ASSERT_TRUE(BackableTexture::convertCreate(texture, &caps, Texture::Usage_AUTOGEN_MIPMAP, format, levels));

    // Level 1 holds each 2 x 2 block averaged, as made in memory.
    TextureFormat level1(format.get(), 1);
    std::vector<unsigned char> out(static_cast<size_t>(level1.zPitch), 0);
    ASSERT_TRUE(static_cast<GLTexture*>(texture.get())->readLevel(level1, -1, out.data()));
    const std::vector<unsigned char> expected = {200, 100, 40, 255, 40, 100, 40, 255,
                                                 200, 0,   40, 255, 40, 0,   40, 255};
    EXPECT_EQ(out, expected);
    texture->destroy();
}

TEST_F(BackableResourcesGLTest, ShadersCompileAndLinkAgainOnEachNewDevice)
{
    makeLeftQuad();
    IntrusivePointer<BackableShader> vertex(new BackableShader());
    const String profiles[2] = {String("hlsl"), String("glsl")};
    const String vertexCodes[2] = {String("float4 main() : POSITION { return 0; }"), String(flatVertex)};
    ASSERT_TRUE(vertex->create(Shader::ShaderType_VERTEX, profiles, vertexCodes, 2));
    IntrusivePointer<BackableShader> fragment(new BackableShader());
    ASSERT_TRUE(fragment->create(Shader::ShaderType_FRAGMENT, String("glsl"), String(orangeFragment)));
    IntrusivePointer<BackableShaderState> program(new BackableShaderState());
    ASSERT_TRUE(program->create());
    program->setShader(Shader::ShaderType_VERTEX, IntrusivePointer<Shader>(vertex.get()));
    program->setShader(Shader::ShaderType_FRAGMENT, IntrusivePointer<Shader>(fragment.get()));

    for (int context = 0; context < 2; ++context) {
        SCOPED_TRACE(context);
        if (context > 0) {
            device->setShaderState(nullptr);
            program->setBack(nullptr);
            fragment->setBack(nullptr, nullptr);
            vertex->setBack(nullptr, nullptr);
            unbackQuad();
            loseContext();
            ASSERT_FALSE(HasFatalFailure());
        }
        vertex->setBack(device->createShader(), device.get());
        fragment->setBack(device->createShader(), device.get());
        EXPECT_STREQ(vertex->getProfile().c_str(), "glsl");
        program->setBack(device->createShaderState());
        backQuad();
        ASSERT_TRUE(device->setShaderState(program.get()));
        expectLeftHalf(0xFF8000);
    }
    device->setShaderState(nullptr);
    program->setBack(nullptr);
    unbackQuad();
}

// Objects made straight in the current context, as many of each kind as an earlier context's names
// could reach, each bound once so that OpenGL counts it as an object.
struct ContextObjects
{
    static constexpr int COUNT = 32;

    void make()
    {
        textures.resize(COUNT);
        buffers.resize(COUNT);
        framebuffers.resize(COUNT);
        renderbuffers.resize(COUNT);
        glGenTextures(COUNT, textures.data());
        glGenBuffers(COUNT, buffers.data());
        glGenFramebuffers(COUNT, framebuffers.data());
        glGenRenderbuffers(COUNT, renderbuffers.data());
        for (int i = 0; i < COUNT; ++i) {
            glBindTexture(GL_TEXTURE_2D, textures[i]);
            glBindBuffer(GL_ARRAY_BUFFER, buffers[i]);
            glBindFramebuffer(GL_FRAMEBUFFER, framebuffers[i]);
            glBindRenderbuffer(GL_RENDERBUFFER, renderbuffers[i]);
            shaders.push_back(glCreateShader(i % 2 == 0 ? GL_VERTEX_SHADER : GL_FRAGMENT_SHADER));
            programs.push_back(glCreateProgram());
        }
        glBindTexture(GL_TEXTURE_2D, 0);
        glBindBuffer(GL_ARRAY_BUFFER, 0);
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
        glBindRenderbuffer(GL_RENDERBUFFER, 0);
    }

    // The first object of the context that is gone, by kind and name; "" when all are there.
    std::string missing() const
    {
        const struct
        {
            const char* kind;
            const std::vector<GLuint>& names;
            GLboolean (*is)(GLuint);
        } kinds[] = {{"texture", textures, [](GLuint n) { return glIsTexture(n); }},
                     {"buffer", buffers, [](GLuint n) { return glIsBuffer(n); }},
                     {"framebuffer", framebuffers, [](GLuint n) { return glIsFramebuffer(n); }},
                     {"renderbuffer", renderbuffers, [](GLuint n) { return glIsRenderbuffer(n); }},
                     {"shader", shaders, [](GLuint n) { return glIsShader(n); }},
                     {"program", programs, [](GLuint n) { return glIsProgram(n); }}};
        for (const auto& kind : kinds) {
            for (GLuint name : kind.names) {
                if (kind.is(name) != GL_TRUE) {
                    return std::string(kind.kind) + " " + std::to_string(name);
                }
            }
        }
        return "";
    }

    void free()
    {
        glDeleteTextures(COUNT, textures.data());
        glDeleteBuffers(COUNT, buffers.data());
        glDeleteFramebuffers(COUNT, framebuffers.data());
        glDeleteRenderbuffers(COUNT, renderbuffers.data());
        for (int i = 0; i < COUNT; ++i) {
            glDeleteShader(shaders[i]);
            glDeleteProgram(programs[i]);
        }
    }

    std::vector<GLuint> textures;
    std::vector<GLuint> buffers;
    std::vector<GLuint> framebuffers;
    std::vector<GLuint> renderbuffers;
    std::vector<GLuint> shaders;
    std::vector<GLuint> programs;
};

TEST_F(BackableResourcesGLTest, BacksOfAContextLostUnderItsDeviceDeleteNothingOfTheNext)
{
    // Every kind of wrapper, backed by the device of the first context.
    makeLeftQuad();
    backQuad();
    std::vector<unsigned char> pixels(4 * 4 * 4, 0x5A);
    IntrusivePointer<TextureFormat> whole(new TextureFormat(2, TextureFormat::Format_RGBA_8, 4, 4, 1, 1));
    IntrusivePointer<BackableTexture> texture(new BackableTexture());
    unsigned char* levels[] = {pixels.data()};
    ASSERT_TRUE(texture->create(1, whole, levels));
    texture->setBack(device->createTexture(), device.get());
    IntrusivePointer<BackableTexture> colour(new BackableTexture());
    ASSERT_TRUE(colour->create(0x20, new TextureFormat(2, TextureFormat::Format_RGBA_8, 8, 8, 1, 1), nullptr));
    colour->setBack(device->createTexture(), device.get());
    IntrusivePointer<BackablePixelBufferRenderTarget> offscreen(new BackablePixelBufferRenderTarget());
    ASSERT_TRUE(offscreen->attach(colour->getMipPixelBuffer(0, 0), PixelBufferRenderTarget::Attachment_COLOR));
    offscreen->setBack(device->createPixelBufferRenderTarget());
    IntrusivePointer<BackableShader> vertex(new BackableShader());
    ASSERT_TRUE(vertex->create(Shader::ShaderType_VERTEX, String("glsl"), String(flatVertex)));
    IntrusivePointer<BackableShader> fragment(new BackableShader());
    ASSERT_TRUE(fragment->create(Shader::ShaderType_FRAGMENT, String("glsl"), String(orangeFragment)));
    IntrusivePointer<BackableShaderState> program(new BackableShaderState());
    ASSERT_TRUE(program->create());
    program->setShader(Shader::ShaderType_VERTEX, IntrusivePointer<Shader>(vertex.get()));
    program->setShader(Shader::ShaderType_FRAGMENT, IntrusivePointer<Shader>(fragment.get()));
    vertex->setBack(device->createShader(), device.get());
    fragment->setBack(device->createShader(), device.get());
    program->setBack(device->createShaderState());
    ASSERT_TRUE(device->setShaderState(program.get()));
    expectLeftHalf(0xFF8000);

    // The window target goes first, its device living on; then a new context, with objects of its
    // own under the names the first context used.
    support::LogRecorder log;
    IntrusivePointer<GLRenderDevice> first = device;
    target->destroy();
    EXPECT_EQ(glXGetCurrentContext(), nullptr);
    states.clear();
    SetUp();
    ASSERT_FALSE(HasFatalFailure());
    ContextObjects objects;
    objects.make();
    ASSERT_EQ(objects.missing(), "");

    // The first device finds its context gone, as the engine's hand-over would have it try.
    const GLXContext current = glXGetCurrentContext();
    first->activate();
    EXPECT_EQ(glXGetCurrentContext(), current);
    EXPECT_TRUE(log.has(rezezaz::core::Categories::REZEZAZ_RENDER.c_str(), rezezaz::core::Logger::WARNING,
                        "GLRenderDevice: the render target's context is gone"));
    device->activate();

    // The backs move to the new device: the old ones are destroyed as they are replaced.
    texture->setBack(device->createTexture(), device.get());
    colour->setBack(device->createTexture(), device.get());
    offscreen->setBack(device->createPixelBufferRenderTarget());
    vertex->setBack(device->createShader(), device.get());
    fragment->setBack(device->createShader(), device.get());
    program->setBack(device->createShaderState());
    backQuad();
    EXPECT_EQ(objects.missing(), "");

    // And they work in the new context.
    ASSERT_TRUE(device->setShaderState(program.get()));
    expectLeftHalf(0xFF8000);
    std::vector<unsigned char> out(pixels.size(), 0);
    EXPECT_TRUE(texture->read(whole.get(), out.data()));
    EXPECT_EQ(out, pixels);

    // Nor does the first device delete anything as it goes.
    first->destroy();
    first = nullptr;
    EXPECT_EQ(objects.missing(), "");
    device->activate();
    objects.free();
    device->setShaderState(nullptr);
    program->setBack(nullptr);
    fragment->setBack(nullptr, nullptr);
    vertex->setBack(nullptr, nullptr);
    offscreen->setBack(nullptr);
    colour->setBack(nullptr, nullptr);
    texture->setBack(nullptr, nullptr);
    unbackQuad();
}

} // namespace
