// The OpenGL device on Mesa's software renderer, read back through glGet and glReadPixels.
#include "support/gl/GLDrawFixture.h"

#include "core/Categories.h"
#include "core/Logger.h"
#include "render/IndexData.h"
#include "render/VertexData.h"
#include "render/Query.h"
#include "render/ShaderState.h"
#include "render/gl/GLRenderState.h"
#include "render/gl/GLTexture.h"
#include "support/LogRecorder.h"

#include <GL/glx.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

using gltest::thrownText;
using rezezaz::core::IntrusivePointer;
using rezezaz::core::math::Matrix4x4;
using rezezaz::core::math::Vector4;
using namespace rezezaz::render;

namespace {

class GLRenderDeviceTest : public gltest::GLDeviceFixture
{
protected:
    // The colour of the back buffer at x, y counted from the top, as 0xRRGGBB.
    uint32_t backPixel(int px, int py)
    {
        GLubyte rgba[4] = {};
        glReadBuffer(GL_BACK);
        glReadPixels(px, height - 1 - py, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
        return (uint32_t(rgba[0]) << 16) | (uint32_t(rgba[1]) << 8) | rgba[2];
    }

    static void expectFloats(GLenum name, std::initializer_list<float> expected)
    {
        GLfloat values[16] = {};
        glGetFloatv(name, values);
        int i = 0;
        for (float e : expected) {
            EXPECT_FLOAT_EQ(values[i], e) << "element " << i;
            ++i;
        }
    }

    static Matrix4x4 translation(float tx, float ty, float tz)
    {
        return Matrix4x4(1, 0, 0, tx, 0, 1, 0, ty, 0, 0, 1, tz, 0, 0, 0, 1);
    }
};

TEST_F(GLRenderDeviceTest, CreationLogsAndReportsTheCapabilities)
{
    rezezaz::core::Log::getInstance()->setCategoryReportingLevel(rezezaz::core::Categories::REZEZAZ_RENDER,
                                                                 rezezaz::core::Logger::ALL);
    support::LogRecorder log;
    IntrusivePointer<GLRenderDevice> second = static_cast<GLRenderDevice*>(new_GLRenderDevice());
    ASSERT_TRUE(second->create(target.get(), 0));
    const std::string render = rezezaz::core::Categories::REZEZAZ_RENDER.c_str();
    EXPECT_EQ(render, "rezezaz.render");
    const auto alert = rezezaz::core::Logger::ALERT;
    EXPECT_TRUE(log.has(render, alert, "creating rezezaz.render.GLRenderDevice"));
    EXPECT_TRUE(log.has(render, alert, "CALCULATED GL VERSION:4.1"));
    EXPECT_TRUE(log.has(render, alert, std::string("GL_VENDOR:") + reinterpret_cast<const char*>(glGetString(GL_VENDOR))));
    EXPECT_TRUE(log.has(render, alert, std::string("GL_RENDERER:") + reinterpret_cast<const char*>(glGetString(GL_RENDERER))));
    EXPECT_TRUE(log.has(render, alert, std::string("GL_VERSION:") + reinterpret_cast<const char*>(glGetString(GL_VERSION))));
    EXPECT_TRUE(log.has(render, alert,
                        std::string("GL_SHADING_LANGUAGE_VERSION:") +
                            reinterpret_cast<const char*>(glGetString(GL_SHADING_LANGUAGE_VERSION))));
    EXPECT_TRUE(log.has(render, alert, std::string("GL_EXTENSIONS:") + reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS))));
    EXPECT_TRUE(log.has(render, alert, "created GLRenderDevice"));
    // Mesa offers 4.5; the device counts no higher than 4.1.
    EXPECT_EQ(second->getGLVersion(), 41);

    RenderCaps caps;
    ASSERT_TRUE(second->getRenderCaps(caps));
    EXPECT_TRUE(caps.hardwareRendering);
    // Fixed-function stages are the texture units (8 on llvmpipe), not the image units.
    EXPECT_EQ(caps.maxTextureStages, integer(GL_MAX_TEXTURE_UNITS));
    EXPECT_LT(caps.maxTextureStages, integer(GL_MAX_TEXTURE_IMAGE_UNITS) + 1);
    EXPECT_EQ(caps.maxTextureSize, integer(GL_MAX_TEXTURE_SIZE));
    EXPECT_EQ(caps.maxLights, integer(GL_MAX_LIGHTS));
    EXPECT_TRUE(caps.renderToTexture);
    EXPECT_TRUE(caps.renderToDepthTexture);
    EXPECT_TRUE(caps.renderToTextureNonPowerOf2Restricted);
    EXPECT_TRUE(caps.textureDot3);
    EXPECT_TRUE(caps.textureNonPowerOf2Restricted);
    EXPECT_TRUE(caps.textureNonPowerOf2);
    EXPECT_TRUE(caps.textureAutogenMipMaps);
    EXPECT_TRUE(caps.hardwareBuffers);
    EXPECT_EQ(caps.vertexElementType, 6);
    EXPECT_TRUE(caps.triangleFan);
    for (int type = 0; type < 3; ++type) {
        EXPECT_TRUE(caps.hasShader[type]);
        EXPECT_TRUE(caps.hasFixed[type]);
    }
    EXPECT_FALSE(caps.fixedPointVertices);
    EXPECT_TRUE(caps.pointSprites);
    second->destroy();
    EXPECT_TRUE(log.has(render, alert, "destroyed GLRenderDevice"));
}

TEST_F(GLRenderDeviceTest, OptionBitsTakeAwayWhatTheyName)
{
    struct Case
    {
        int options;
        bool renderToTexture;
        bool fixed;
        bool shaders;
    };
    const Case cases[] = {
        {0, true, true, true},   {2, false, true, true},  {4, true, true, true},
        {8, true, false, true},  {16, true, true, false}, {2 | 8 | 16, false, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.options);
        IntrusivePointer<GLRenderDevice> other = static_cast<GLRenderDevice*>(new_GLRenderDevice());
        ASSERT_TRUE(other->create(target.get(), c.options));
        RenderCaps caps;
        other->getRenderCaps(caps);
        EXPECT_EQ(caps.renderToTexture, c.renderToTexture);
        EXPECT_EQ(caps.renderToDepthTexture, c.renderToTexture);
        EXPECT_EQ(caps.renderToTextureNonPowerOf2Restricted, c.renderToTexture);
        for (int type = 0; type < 3; ++type) {
            EXPECT_EQ(caps.hasFixed[type], c.fixed);
            EXPECT_EQ(caps.hasShader[type], c.shaders);
        }
        if (!c.renderToTexture) {
            EXPECT_EQ(thrownText([&] { other->createPixelBufferRenderTarget(); }), "PixelBufferRenderTargets are unavailable");
        }
        if (!c.shaders) {
            EXPECT_EQ(thrownText([&] { other->createShader(); }), "Shaders are unavailable");
            EXPECT_EQ(thrownText([&] { other->createShaderState(); }), "ShaderStates are unavailable");
        }
        other->destroy();
    }
}

TEST_F(GLRenderDeviceTest, CreateWithoutATargetIsANullPointerError)
{
    IntrusivePointer<GLRenderDevice> other = static_cast<GLRenderDevice*>(new_GLRenderDevice());
    try {
        other->create(nullptr, 0);
        FAIL() << "created without a target";
    } catch (const rezezaz::core::Exception& e) {
        EXPECT_STREQ(e.getDescription(), "NULL RenderTarget");
        EXPECT_EQ(e.getError(), 3);
    }
    EXPECT_EQ(other->getPrimaryRenderTarget(), nullptr);
}

TEST_F(GLRenderDeviceTest, CreateWithoutACurrentContextIsAGlewError)
{
    // A target without a context clears the thread's current one (the fixture's) and makes none.
    IntrusivePointer<GLXRenderTarget> empty = new GLXRenderTarget();
    EXPECT_TRUE(empty->deactivate());
    ASSERT_EQ(glXGetCurrentContext(), nullptr);
    support::LogRecorder log;
    const std::string expected =
        std::string("glewInit failed:") + reinterpret_cast<const char*>(glewGetErrorString(GLEW_ERROR_NO_GL_VERSION));
    IntrusivePointer<GLRenderDevice> other = static_cast<GLRenderDevice*>(new_GLRenderDevice());
    try {
        other->create(empty.get(), 0);
        ADD_FAILURE() << "created without a context";
    } catch (const rezezaz::core::Exception& e) {
        EXPECT_EQ(std::string(e.getDescription()), expected);
        EXPECT_EQ(e.getError(), -1);
    }
    EXPECT_TRUE(log.has(rezezaz::core::Categories::REZEZAZ_RENDER.c_str(), rezezaz::core::Logger::ERROR, expected));
    EXPECT_EQ(other->getPrimaryRenderTarget(), nullptr);
    EXPECT_TRUE(static_cast<GLXRenderTarget*>(target.get())->activate());
}

TEST_F(GLRenderDeviceTest, DefaultStateIsInstalled)
{
    EXPECT_FALSE(enabled(GL_BLEND));
    GLboolean mask[4] = {};
    glGetBooleanv(GL_COLOR_WRITEMASK, mask);
    EXPECT_TRUE(mask[0] && mask[1] && mask[2] && mask[3]);
    EXPECT_TRUE(enabled(GL_DEPTH_TEST));
    EXPECT_EQ(integer(GL_DEPTH_FUNC), GL_LEQUAL);
    EXPECT_EQ(integer(GL_DEPTH_WRITEMASK), GL_TRUE);
    EXPECT_FALSE(enabled(GL_FOG));
    EXPECT_TRUE(enabled(GL_CULL_FACE));
    EXPECT_EQ(integer(GL_CULL_FACE_MODE), GL_BACK);
    GLint modes[2] = {};
    glGetIntegerv(GL_POLYGON_MODE, modes);
    EXPECT_EQ(modes[0], GL_FILL);
    EXPECT_FALSE(enabled(GL_POLYGON_OFFSET_FILL));
    EXPECT_FALSE(enabled(GL_MULTISAMPLE));
    EXPECT_FALSE(enabled(GL_DITHER));
    expectFloats(GL_LINE_WIDTH, {1});
    EXPECT_TRUE(enabled(GL_LIGHTING));
    EXPECT_FALSE(enabled(GL_COLOR_MATERIAL));
    GLfloat colour[4] = {};
    for (GLenum name : {GL_AMBIENT, GL_DIFFUSE, GL_SPECULAR}) {
        glGetMaterialfv(GL_FRONT, name, colour);
        EXPECT_EQ(std::vector<float>(colour, colour + 4), std::vector<float>({1, 1, 1, 1})) << name;
        glGetMaterialfv(GL_BACK, name, colour);
        EXPECT_EQ(std::vector<float>(colour, colour + 4), std::vector<float>({1, 1, 1, 1})) << name;
    }
    glGetMaterialfv(GL_FRONT, GL_EMISSION, colour);
    EXPECT_EQ(std::vector<float>(colour, colour + 4), std::vector<float>({0, 0, 0, 0}));
    glGetMaterialfv(GL_FRONT, GL_SHININESS, colour);
    EXPECT_FLOAT_EQ(colour[0], 1);
    EXPECT_EQ(integer(GL_SHADE_MODEL), GL_SMOOTH);
    EXPECT_TRUE(enabled(GL_RESCALE_NORMAL));
    EXPECT_FALSE(enabled(GL_NORMALIZE));
    EXPECT_FALSE(enabled(GL_ALPHA_TEST));
    EXPECT_FALSE(enabled(GL_POINT_SPRITE));
    expectFloats(GL_POINT_SIZE, {1});
    expectFloats(GL_LIGHT_MODEL_AMBIENT, {1, 1, 1, 1});
    EXPECT_EQ(integer(GL_LIGHT_MODEL_COLOR_CONTROL), GL_SEPARATE_SPECULAR_COLOR);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(GLRenderDeviceTest, ResetInstallsTheDefaultStateAgain)
{
    IntrusivePointer<RenderState> state = device->createRenderState();
    DepthState depth;
    depth.test = DepthState::DepthTest_GREATER;
    depth.write = false;
    state->setDepthState(depth);
    ASSERT_TRUE(device->setRenderState(state.get()));
    EXPECT_EQ(integer(GL_DEPTH_FUNC), GL_GREATER);
    EXPECT_TRUE(device->reset());
    EXPECT_EQ(integer(GL_DEPTH_FUNC), GL_LEQUAL);
    EXPECT_EQ(integer(GL_DEPTH_WRITEMASK), GL_TRUE);
}

TEST_F(GLRenderDeviceTest, ViewportCountsFromTheTopAndScissorsWhenSmaller)
{
    struct Case
    {
        Viewport viewport;
        GLint expected[4];
        bool scissor;
    };
    const Case cases[] = {
        {{0, 0, width, height, false}, {0, 0, width, height}, false},
        {{10, 20, 100, 50, false}, {10, height - 20 - 50, 100, 50}, true},
        {{0, 0, width, height / 2, false}, {0, height / 2, width, height / 2}, true},
        {{0, 0, width - 1, height, false}, {0, 0, width - 1, height}, true},
    };
    for (const Case& c : cases) {
        device->setViewport(c.viewport);
        GLint got[4] = {};
        glGetIntegerv(GL_VIEWPORT, got);
        EXPECT_EQ(std::vector<GLint>(got, got + 4), std::vector<GLint>(c.expected, c.expected + 4));
        EXPECT_EQ(enabled(GL_SCISSOR_TEST), c.scissor);
        if (c.scissor) {
            glGetIntegerv(GL_SCISSOR_BOX, got);
            EXPECT_EQ(std::vector<GLint>(got, got + 4), std::vector<GLint>(c.expected, c.expected + 4));
        }
    }
}

TEST_F(GLRenderDeviceTest, ViewportWithoutATargetIsAnError)
{
    IntrusivePointer<GLRenderDevice> other = static_cast<GLRenderDevice*>(new_GLRenderDevice());
    EXPECT_EQ(thrownText([&] { other->setViewport(Viewport{0, 0, 10, 10, false}); }),
              "setViewport called without a valid render target");
}

TEST_F(GLRenderDeviceTest, ClearColoursTheBackBufferWithinTheViewport)
{
    device->setViewport(Viewport{0, 0, width, height, false});
    device->clear(1, Vector4(1, 0, 0, 1));
    EXPECT_EQ(backPixel(0, 0), 0xFF0000u);
    EXPECT_EQ(backPixel(width - 1, height - 1), 0xFF0000u);
    // The top half only: the engine's y counts from the top.
    device->setViewport(Viewport{0, 0, width, height / 2, false});
    device->clear(1, Vector4(0, 1, 0, 1));
    EXPECT_EQ(backPixel(5, 5), 0x00FF00u);
    EXPECT_EQ(backPixel(5, height - 5), 0xFF0000u);
    // Depth and stencil only leave the colour.
    device->setViewport(Viewport{0, 0, width, height, false});
    device->clear(2 | 4, Vector4(0, 0, 1, 1));
    EXPECT_EQ(backPixel(5, 5), 0x00FF00u);
    device->swap();
}

TEST_F(GLRenderDeviceTest, DepthIsClearedWhileDepthWritesAreOff)
{
    device->setViewport(Viewport{0, 0, width, height, false});
    glClearDepth(0.25);
    device->clear(2, Vector4());
    IntrusivePointer<RenderState> state = device->createRenderState();
    DepthState depth;
    depth.write = false;
    state->setDepthState(depth);
    ASSERT_TRUE(device->setRenderState(state.get()));
    glClearDepth(1.0);
    device->clear(2, Vector4());
    GLfloat value = 0;
    glReadPixels(3, 3, 1, 1, GL_DEPTH_COMPONENT, GL_FLOAT, &value);
    EXPECT_FLOAT_EQ(value, 1.0f);
    EXPECT_EQ(integer(GL_DEPTH_WRITEMASK), GL_FALSE);
}

TEST_F(GLRenderDeviceTest, ModelViewIsViewTimesModelAndOtherTypesLoadTheProjection)
{
    const Matrix4x4 view = translation(0, 0, -5);
    const Matrix4x4 model = translation(2, 0, 0);
    device->setMatrix(RenderDevice::MatrixType_VIEW, view);
    device->setMatrix(RenderDevice::MatrixType_MODEL, model);
    GLfloat got[16] = {};
    glGetFloatv(GL_MODELVIEW_MATRIX, got);
    EXPECT_FLOAT_EQ(got[12], 2);
    EXPECT_FLOAT_EQ(got[14], -5);
    for (int type : {0, 3}) {
        const Matrix4x4 projection = translation(float(type), 1, 1);
        device->setMatrix(static_cast<RenderDevice::MatrixType>(type), projection);
        glGetFloatv(GL_PROJECTION_MATRIX, got);
        EXPECT_EQ(std::memcmp(got, projection.data, sizeof(got)), 0) << type;
    }
    glGetFloatv(GL_MODELVIEW_MATRIX, got);
    EXPECT_FLOAT_EQ(got[12], 2);
}

TEST_F(GLRenderDeviceTest, LightsArePlacedInWorldSpace)
{
    // The view moves the world 5 back; the model (which must not move the lights) 100 along x.
    device->setMatrix(RenderDevice::MatrixType_VIEW, translation(0, 0, -5));
    device->setMatrix(RenderDevice::MatrixType_MODEL, translation(100, 0, 0));
    GLfloat got[4] = {};

    LightState point;
    point.type = LightState::Type_POINT;
    point.position = rezezaz::core::math::Vector3(1, 2, 3);
    point.constantAttenuation = 1;
    point.linearAttenuation = 0.5f;
    point.quadraticAttenuation = 0.25f;
    point.diffuseColor = Vector4(0.5f, 0.25f, 1, 1);
    point.specularColor = Vector4(1, 0, 0, 1);
    device->setLightState(1, point);
    glGetLightfv(GL_LIGHT1, GL_POSITION, got);
    EXPECT_EQ(std::vector<float>(got, got + 4), std::vector<float>({1, 2, -2, 1}));
    glGetLightfv(GL_LIGHT1, GL_SPOT_CUTOFF, got);
    EXPECT_FLOAT_EQ(got[0], 180);
    glGetLightfv(GL_LIGHT1, GL_LINEAR_ATTENUATION, got);
    EXPECT_FLOAT_EQ(got[0], 0.5f);
    glGetLightfv(GL_LIGHT1, GL_QUADRATIC_ATTENUATION, got);
    EXPECT_FLOAT_EQ(got[0], 0.25f);
    glGetLightfv(GL_LIGHT1, GL_DIFFUSE, got);
    EXPECT_EQ(std::vector<float>(got, got + 4), std::vector<float>({0.5f, 0.25f, 1, 1}));
    glGetLightfv(GL_LIGHT1, GL_SPECULAR, got);
    EXPECT_EQ(std::vector<float>(got, got + 4), std::vector<float>({1, 0, 0, 1}));
    glGetLightfv(GL_LIGHT1, GL_AMBIENT, got);
    EXPECT_EQ(std::vector<float>(got, got + 4), std::vector<float>({0, 0, 0, 0}));

    LightState directional;
    directional.type = LightState::Type_DIRECTION;
    directional.direction = rezezaz::core::math::Vector3(0, -1, 0);
    device->setLightState(0, directional);
    glGetLightfv(GL_LIGHT0, GL_POSITION, got);
    EXPECT_EQ(std::vector<float>(got, got + 4), std::vector<float>({0, 1, 0, 0}));

    LightState spot;
    spot.type = LightState::Type_SPOT;
    spot.position = rezezaz::core::math::Vector3(0, 0, 0);
    spot.direction = rezezaz::core::math::Vector3(0, 0, -1);
    spot.spotOuterRadius = 3.14159265f / 2; // a 90 degree cone: 45 from its axis
    spot.spotFalloff = 8;
    device->setLightState(2, spot);
    glGetLightfv(GL_LIGHT2, GL_POSITION, got);
    EXPECT_EQ(std::vector<float>(got, got + 4), std::vector<float>({0, 0, -5, 1}));
    glGetLightfv(GL_LIGHT2, GL_SPOT_CUTOFF, got);
    EXPECT_NEAR(got[0], 45, 1e-4);
    glGetLightfv(GL_LIGHT2, GL_SPOT_EXPONENT, got);
    EXPECT_FLOAT_EQ(got[0], 8);
    glGetLightfv(GL_LIGHT2, GL_SPOT_DIRECTION, got);
    EXPECT_EQ(std::vector<float>(got, got + 3), std::vector<float>({0, 0, -1}));

    // The model-view matrix is as it was.
    GLfloat matrix[16] = {};
    glGetFloatv(GL_MODELVIEW_MATRIX, matrix);
    EXPECT_FLOAT_EQ(matrix[12], 100);

    device->setLightEnabled(2, true);
    EXPECT_TRUE(enabled(GL_LIGHT2));
    device->setLightEnabled(2, false);
    EXPECT_FALSE(enabled(GL_LIGHT2));
    device->setAmbientColor(Vector4(0.25f, 0.5f, 0.75f, 1));
    expectFloats(GL_LIGHT_MODEL_AMBIENT, {0.25f, 0.5f, 0.75f, 1});
}

TEST_F(GLRenderDeviceTest, TargetsAndDrawingArguments)
{
    EXPECT_EQ(device->getPrimaryRenderTarget(), target.get());
    EXPECT_EQ(device->getRenderTarget(), target.get());
    EXPECT_FALSE(device->setRenderTarget(nullptr));
    EXPECT_FALSE(device->setRenderTarget(target.get()));
    EXPECT_FALSE(device->activateAdditionalContext());

    EXPECT_EQ(thrownText([&] { device->renderPrimitive(nullptr, nullptr); }), "VertexData or IndexData is NULL");
    IntrusivePointer<VertexData> vertices = new VertexData(IntrusivePointer<VertexFormat>());
    EXPECT_EQ(thrownText([&] { device->renderPrimitive(vertices.get(), nullptr); }), "VertexData or IndexData is NULL");
    IntrusivePointer<IndexData> none = new IndexData(IndexData::Primitive_TRIANGLES, nullptr, 0, 0);
    EXPECT_EQ(thrownText([&] { device->renderPrimitive(vertices.get(), none.get()); }), "");

    EXPECT_EQ(device->getClosePixelFormat(0x107, 0), 0x107);
    EXPECT_EQ(device->getClosePixelFormat(0x109, 0), 0x109);
    EXPECT_EQ(device->getClosePixelFormat(0x101, 0x20), 0x106);
    EXPECT_EQ(device->getClosePixelFormat(0x101, 0), 0x101);
    EXPECT_EQ(device->getClosePixelFormat(0x104, 0), 0x106);
    EXPECT_EQ(device->getClosePixelFormat(0x105, 0), 0x106);
    EXPECT_TRUE(device->getShaderProfileSupported("glsl"));
    EXPECT_FALSE(device->getShaderProfileSupported("hlsl"));
    Matrix4x4 bias;
    device->getShadowBiasMatrix(nullptr, bias);
    EXPECT_EQ(bias, Matrix4x4(0.5f, 0, 0, 0.5f, 0, 0.5f, 0, 0.5f, 0, 0, 0.5f, 0.5f, 0, 0, 0, 1));
}

using GLRenderDeviceDrawTest = gltest::GLDrawFixture;

TEST_F(GLRenderDeviceDrawTest, EndSceneAndResetLetGoOfTheLastVertexData)
{
    const std::function<void()> steps[] = {[&] { device->endScene(); }, [&] { device->reset(); }};
    for (const auto& step : steps) {
        IntrusivePointer<VertexFormat> format =
            makeFormat({{VertexFormat::Semantic_POSITION, 0, VertexFormat::makeFormat(VertexFormat::Type_FLOAT32, 3)}});
        const float corners[9] = {-1, -1, 0, 1, -1, 0, 1, 1, 0};
        IntrusivePointer<VertexBuffer> buffer = makeVertices(format, corners, 3);
        IntrusivePointer<VertexData> vertices = new VertexData(buffer);
        IntrusivePointer<IndexData> triangle = new IndexData(IndexData::Primitive_TRIANGLES, nullptr, 0, 3);
        device->renderPrimitive(vertices.get(), triangle.get());
        vertices = nullptr;
        const int32_t drawn = buffer->retain() - 1;
        buffer->release();
        step();
        // The buffer is the caller's alone again: releasing it frees it while its context is current.
        const int32_t after = buffer->retain() - 1;
        buffer->release();
        EXPECT_EQ(after, 1);
        EXPECT_GT(drawn, after);
    }
}

TEST_F(GLRenderDeviceTest, DestroyLetsGoOfTheTargets)
{
    const int32_t before = target->retain() - 1;
    target->release();
    device->destroy();
    const int32_t after = target->retain() - 1;
    target->release();
    EXPECT_EQ(before - after, 4);
    EXPECT_EQ(device->getPrimaryRenderTarget(), nullptr);
    EXPECT_EQ(device->getRenderTarget(), nullptr);
    device->destroy();
}

TEST_F(GLRenderDeviceTest, ResourcesOutlivingTheirDeviceDestroyNothing)
{
    // A device of its own, released before what it made: each resource is then destroyed (and
    // released) without calling into the device that is gone or deleting any OpenGL name.
    IntrusivePointer<GLRenderDevice> second = static_cast<GLRenderDevice*>(new_GLRenderDevice());
    ASSERT_TRUE(second->create(target.get(), 0));
    IntrusivePointer<VertexFormat> format = second->createVertexFormat();
    format->create();
    format->addElement(VertexFormat::Semantic_POSITION, 0, VertexFormat::makeFormat(VertexFormat::Type_FLOAT32, 3));
    IntrusivePointer<VertexBuffer> vertices = second->createVertexBuffer();
    ASSERT_TRUE(vertices->create(1, 2, format, 4));
    IntrusivePointer<Texture> texture = second->createTexture();
    ASSERT_TRUE(texture->create(1, new TextureFormat(2, TextureFormat::Format_RGBA_8, 4, 4, 1, 1), nullptr));
    IntrusivePointer<RenderState> state = second->createRenderState();
    IntrusivePointer<ShaderState> program = second->createShaderState();
    program->create();
    IntrusivePointer<Query> query = second->createQuery();
    query->create(Query::QueryType_OCCLUSION);
    const GLuint textureName = static_cast<GLTexture*>(texture.get())->getHandle();
    const GLuint bufferName = static_cast<GLBuffer*>(vertices.get())->getHandle();
    ASSERT_NE(textureName, 0u);
    second->destroy();
    second = nullptr;

    format->destroy();
    format = nullptr;
    vertices->destroy();
    vertices = nullptr;
    texture = nullptr;
    state = nullptr;
    program = nullptr;
    query = nullptr;
    device->activate();
    EXPECT_TRUE(glIsTexture(textureName));
    EXPECT_TRUE(bufferName == 0 || glIsBuffer(bufferName));
    glDeleteTextures(1, &textureName);
    if (bufferName != 0) {
        glDeleteBuffers(1, &bufferName);
    }
}

TEST_F(GLRenderDeviceTest, ValuesOpenGLWouldRefuseAreRefused)
{
    // Each is refused before it reaches OpenGL: no error is left behind (the fixture checks) and
    // what was set before stays.
    RenderCaps caps;
    device->getRenderCaps(caps);
    const LightState light;
    for (int index : {-1, caps.maxLights, caps.maxLights + 100}) {
        device->setLightEnabled(index, true);
        device->setLightState(index, light);
        EXPECT_EQ(gltest::takeGLError(), static_cast<GLenum>(GL_NO_ERROR)) << "light " << index;
    }

    Viewport whole;
    whole.width = width;
    whole.height = height;
    device->setViewport(whole);
    for (const auto& size : {std::pair<int, int>{-1, 10}, {10, -1}}) {
        Viewport negative;
        negative.width = size.first;
        negative.height = size.second;
        device->setViewport(negative);
        EXPECT_EQ(gltest::takeGLError(), static_cast<GLenum>(GL_NO_ERROR));
        EXPECT_EQ(device->getViewport().width, width);
        EXPECT_EQ(device->getViewport().height, height);
    }

    // The dot product and alpha blend exist only in the combiner, which needs sources.
    for (int operation : {TextureState::Operation_DOTPRODUCT, TextureState::Operation_ALPHABLEND}) {
        TextureState state;
        state.colorOperation = operation;
        EXPECT_EQ(thrownText([&] { device->setTextureState(0, &state); }),
                  "setTextureState: colour operation without sources")
            << operation;
        EXPECT_EQ(gltest::takeGLError(), static_cast<GLenum>(GL_NO_ERROR)) << operation;
    }
}

TEST_F(GLRenderDeviceTest, ResourcesOfAnEarlierContextDeleteNothingOfTheNext)
{
    auto name = [](const IntrusivePointer<Texture>& texture) { return static_cast<GLTexture*>(texture.get())->getHandle(); };
    IntrusivePointer<Texture> old = device->createTexture();
    ASSERT_TRUE(old->create(1, new TextureFormat(2, TextureFormat::Format_RGBA_8, 4, 4, 1, 1), nullptr));
    const GLuint oldName = name(old);

    // The same device on the context of a new window target; the old context goes with its target.
    device->destroy();
    target = nullptr;
    window = x.createWindow(width, height);
    WindowRenderTargetFormat format;
    format.threadCount = 1;
    target = new_GLXRenderTarget(nullptr, window, &format);
    ASSERT_TRUE(device->create(target.get(), 0));
    std::vector<IntrusivePointer<Texture>> fresh;
    while (fresh.size() < 64 && (fresh.empty() || name(fresh.back()) < oldName)) {
        fresh.push_back(device->createTexture());
        ASSERT_TRUE(fresh.back()->create(1, new TextureFormat(2, TextureFormat::Format_RGBA_8, 4, 4, 1, 1), nullptr));
    }
    ASSERT_EQ(name(fresh.back()), oldName);

    old->destroy();
    old = nullptr;
    EXPECT_TRUE(glIsTexture(oldName));
    EXPECT_EQ(name(fresh.back()), oldName);
}

TEST_F(GLRenderDeviceDrawTest, FramesGoOnWithoutDrawingOnceTheWindowIsGone)
{
    support::LogRecorder log;
    // The view is destroyed in the middle of a frame, the context current on it.
    XDestroyWindow(x.get(), window);
    XSync(x.get(), False);
    clear();
    device->endScene();
    device->swap();
    for (int frame = 0; frame < 3; ++frame) {
        device->beginScene();
        clear();
        device->endScene();
        device->swap();
    }
    EXPECT_TRUE(static_cast<GLXRenderTarget*>(target.get())->isWindowLost());
    EXPECT_EQ(glXGetCurrentContext(), nullptr);
    EXPECT_EQ(log.texts(rezezaz::core::Categories::REZEZAZ_RENDER.c_str(), rezezaz::core::Logger::WARNING),
              std::vector<std::string>{"GLXRenderTarget: the window is gone, drawing stops"});
}

} // namespace
