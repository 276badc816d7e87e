// What the OpenGL back end decides without a context: the render state container and the tables
// from engine values to OpenGL values.
#include "render/gl/GLRenderDevice.h"
#include "render/gl/GLRenderState.h"

#include "core/Exception.h"
#include "core/IntrusivePointer.h"
#include "core/ResourceDestroyedListener.h"

#include <GL/glew.h>
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

using rezezaz::core::IntrusivePointer;
using namespace rezezaz::render;

namespace {

std::string thrownText(const std::function<void()>& call)
{
    try {
        call();
    } catch (const rezezaz::core::Exception& e) {
        return e.getDescription();
    }
    return "";
}

class CountingListener : public rezezaz::core::ResourceDestroyedListener
{
public:
    void resourceDestroyed(rezezaz::core::Resource*) override { ++heard; }
    int heard = 0;
};

TEST(GLRenderStateContainer, SetStatesAreReportedAndKeptByCopy)
{
    IntrusivePointer<GLRenderState> state = new GLRenderState(nullptr);
    EXPECT_TRUE(state->create());
    EXPECT_EQ(state->getRootRenderState(), state.get());
    EXPECT_EQ(state->getSetStates(), 0);

    // An unset state leaves the output as it was.
    FogState untouched;
    untouched.density = 7;
    EXPECT_FALSE(state->getFogState(untouched));
    EXPECT_EQ(untouched.density, 7);

    FogState fog;
    fog.fogType = FogState::FogType_EXP;
    fog.density = 0.5f;
    state->setFogState(fog);
    MaterialState material;
    material.shininess = 12;
    state->setMaterialState(material);
    EXPECT_EQ(state->getSetStates(), 40);

    // A second set copies into the same record: the device's pointers to it stay good.
    const FogState* kept = state->fog();
    fog.density = 0.25f;
    state->setFogState(fog);
    EXPECT_EQ(state->fog(), kept);
    FogState read;
    ASSERT_TRUE(state->getFogState(read));
    EXPECT_EQ(read.density, 0.25f);
    EXPECT_EQ(read.fogType, FogState::FogType_EXP);

    state->setBlendState(BlendState());
    state->setDepthState(DepthState());
    state->setRasterizerState(RasterizerState());
    state->setGeometryState(GeometryState());
    EXPECT_EQ(state->getSetStates(), 63);
}

TEST(GLRenderStateContainer, StagesGrowToTheIndexSetAndOneCollectionServesEveryType)
{
    IntrusivePointer<GLRenderState> state = new GLRenderState(nullptr);
    TextureState texture;
    texture.texCoordIndex = 5;
    state->setTextureState(Shader::ShaderType_FRAGMENT, 3, texture);
    EXPECT_EQ(state->getNumTextureStates(Shader::ShaderType_FRAGMENT), 4);
    EXPECT_EQ(state->getNumTextureStates(Shader::ShaderType_VERTEX), 4);
    TextureState read;
    for (int i = 0; i < 3; ++i) {
        EXPECT_FALSE(state->getTextureState(Shader::ShaderType_FRAGMENT, i, read)) << i;
    }
    EXPECT_FALSE(state->getTextureState(Shader::ShaderType_FRAGMENT, 4, read));
    EXPECT_FALSE(state->getTextureState(Shader::ShaderType_FRAGMENT, -1, read));
    ASSERT_TRUE(state->getTextureState(Shader::ShaderType_GEOMETRY, 3, read));
    EXPECT_EQ(read.texCoordIndex, 5);

    SamplerState sampler;
    sampler.magFilter = SamplerState::FilterType_LINEAR;
    state->setSamplerState(Shader::ShaderType_VERTEX, 1, sampler);
    EXPECT_EQ(state->getNumSamplerStates(Shader::ShaderType_FRAGMENT), 2);
    SamplerState readSampler;
    EXPECT_FALSE(state->getSamplerState(Shader::ShaderType_FRAGMENT, 0, readSampler));
    ASSERT_TRUE(state->getSamplerState(Shader::ShaderType_FRAGMENT, 1, readSampler));
    EXPECT_EQ(readSampler.magFilter, SamplerState::FilterType_LINEAR);

    // A negative stage is no stage.
    state->setSamplerState(Shader::ShaderType_VERTEX, -1, sampler);
    EXPECT_EQ(state->getNumSamplerStates(Shader::ShaderType_FRAGMENT), 2);
}

TEST(GLRenderStateContainer, DestroyEmptiesItTellsTheListenerAndItCanBeFilledAgain)
{
    IntrusivePointer<GLRenderState> state = new GLRenderState(nullptr);
    CountingListener listener;
    state->setDestroyedListener(&listener);
    state->setBlendState(BlendState());
    state->setTextureState(Shader::ShaderType_FRAGMENT, 2, TextureState());
    state->destroy();
    EXPECT_EQ(listener.heard, 1);
    EXPECT_EQ(state->getSetStates(), 0);
    EXPECT_EQ(state->getNumTextureStates(Shader::ShaderType_FRAGMENT), 0);
    state->destroy();
    EXPECT_EQ(listener.heard, 1);
    state->setDepthState(DepthState());
    EXPECT_EQ(state->getSetStates(), 2);
}

TEST(GLMapping, EngineEnumerationsToOpenGL)
{
    struct Case
    {
        const char* table;
        std::function<unsigned int(int)> map;
        std::vector<unsigned int> values; // index = engine value
        std::vector<int> invalid;
        const char* error;
    };
    const Case cases[] = {
        {"blend", GLRenderDevice::getGLBlendOperation,
         {GL_ONE, GL_ZERO, GL_DST_COLOR, GL_SRC_COLOR, GL_ONE_MINUS_DST_COLOR, GL_ONE_MINUS_SRC_COLOR, GL_DST_ALPHA,
          GL_SRC_ALPHA, GL_ONE_MINUS_DST_ALPHA, GL_ONE_MINUS_SRC_ALPHA},
         {-1, 10},
         "getGLBlendOperation: Invalid blend operation"},
        {"depth", GLRenderDevice::getGLDepthFunc,
         {GL_NEVER, GL_LESS, GL_EQUAL, GL_LEQUAL, GL_GREATER, GL_NOTEQUAL, GL_GEQUAL, GL_ALWAYS},
         {-1, 8},
         "getGLDepthFunc: Invalid depth test"},
        {"alpha", GLRenderDevice::getGLAlphaFunc,
         {GL_NEVER, GL_LESS, GL_EQUAL, GL_LEQUAL, GL_GREATER, GL_NOTEQUAL, GL_GEQUAL, GL_ALWAYS},
         {-1, 8},
         "getGLAlphaFunc: Invalid alpha test"},
        {"shade", GLRenderDevice::getGLShadeModel, {GL_FLAT, GL_SMOOTH, GL_SMOOTH}, {-1, 3}, "getGLShadeModel: Invalid shade type"},
        {"fill", GLRenderDevice::getGLPolygonMode, {GL_POINT, GL_LINE, GL_FILL}, {-1, 3}, "getGLCullFace: Invalid fill type"},
        {"mag filter", GLRenderDevice::getGLMagFilter, {0, GL_NEAREST, GL_LINEAR}, {0, 3}, "getGLMagFilter: Invalid filter"},
        {"index type", GLRenderDevice::getGLIndexType, {0, GL_UNSIGNED_BYTE, GL_UNSIGNED_SHORT, 0, GL_UNSIGNED_INT},
         {0, 3, 8}, "getGLIndexType: Invalid type"},
        {"fog", GLRenderDevice::getGLFogType, {0, GL_LINEAR, GL_EXP, GL_EXP2}, {0, 4}, "getGLFogType: Invalid fog type"},
        {"cull", GLRenderDevice::getGLCullFace, {0, GL_FRONT, GL_BACK}, {0, 3}, "getGLCullFace: Invalid cull type"},
        {"texture source", GLRenderDevice::getGLTextureBlendSource,
         {0, GL_PREVIOUS, GL_TEXTURE, GL_PRIMARY_COLOR, GL_CONSTANT}, {0, 5}, "getGLTextureBlendSource: Invalid source"},
        {"texture operation", GLRenderDevice::getGLTextureBlendOperation,
         {0, GL_REPLACE, GL_ADD, GL_MODULATE, GL_MODULATE, GL_MODULATE, GL_DOT3_RGB, GL_INTERPOLATE, 0}, {}, ""},
        {"shadow result", GLRenderDevice::getGLDepthTextureMode, {0, GL_LUMINANCE, GL_INTENSITY, 0}, {}, ""},
        {"primitive", GLRenderDevice::getGLPrimitive,
         {GL_POINTS, GL_LINES, GL_LINE_STRIP, GL_TRIANGLES, GL_TRIANGLE_STRIP, GL_TRIANGLE_FAN, GL_POINTS, GL_POINTS}, {}, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.table);
        for (size_t value = 0; value < c.values.size(); ++value) {
            bool skip = false;
            for (int bad : c.invalid) {
                skip = skip || bad == static_cast<int>(value);
            }
            if (!skip) {
                EXPECT_EQ(c.map(static_cast<int>(value)), c.values[value]) << "value " << value;
            }
        }
        for (int bad : c.invalid) {
            EXPECT_EQ(thrownText([&] { c.map(bad); }), c.error) << "value " << bad;
        }
    }
    EXPECT_EQ(GLRenderDevice::getGLTextureBlendScale(4), 2.0f);
    EXPECT_EQ(GLRenderDevice::getGLTextureBlendScale(5), 4.0f);
    EXPECT_EQ(GLRenderDevice::getGLTextureBlendScale(3), 1.0f);
    EXPECT_EQ(GLRenderDevice::getGLTextureBlendScale(0), 1.0f);
}

TEST(GLMapping, WrapAndMinificationFilters)
{
    EXPECT_EQ(GLRenderDevice::getGLWrap(1, 11), static_cast<unsigned>(GL_CLAMP));
    EXPECT_EQ(GLRenderDevice::getGLWrap(1, 12), static_cast<unsigned>(GL_CLAMP_TO_EDGE));
    EXPECT_EQ(GLRenderDevice::getGLWrap(0, 41), static_cast<unsigned>(GL_REPEAT));
    EXPECT_EQ(GLRenderDevice::getGLWrap(2, 41), static_cast<unsigned>(GL_CLAMP_TO_BORDER));
    EXPECT_EQ(GLRenderDevice::getGLWrap(3, 41), static_cast<unsigned>(GL_MIRRORED_REPEAT));
    EXPECT_EQ(thrownText([] { GLRenderDevice::getGLWrap(4, 41); }), "getGLWrap: Invalid address");
    EXPECT_EQ(thrownText([] { GLRenderDevice::getGLWrap(-1, 41); }), "getGLWrap: Invalid address");

    struct Case
    {
        int min, mip;
        unsigned int filter; // 0: an error
    };
    const Case cases[] = {
        {1, 0, GL_NEAREST}, {2, 0, GL_LINEAR}, {1, 1, GL_NEAREST_MIPMAP_NEAREST}, {2, 1, GL_LINEAR_MIPMAP_NEAREST},
        {1, 2, GL_NEAREST_MIPMAP_LINEAR}, {2, 2, GL_LINEAR_MIPMAP_LINEAR}, {0, 0, 0}, {0, 1, 0}, {3, 0, 0}, {1, 3, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.min << "/" << c.mip);
        if (c.filter != 0) {
            EXPECT_EQ(GLRenderDevice::getGLMinFilter(c.min, c.mip), c.filter);
        } else {
            EXPECT_EQ(thrownText([&] { GLRenderDevice::getGLMinFilter(c.min, c.mip); }), "getGLMinFilter: Invalid filter");
        }
    }
}

TEST(GLMapping, VertexElementFormatsAndSemantics)
{
    struct Case
    {
        int format;
        unsigned int type; // 0: an error
        int count;
    };
    const Case cases[] = {
        {0x30006, GL_FLOAT, 3}, {0x20006, GL_FLOAT, 2}, {0x40001, GL_UNSIGNED_BYTE, 4}, {0x20002, GL_BYTE, 2},
        {0x30003, GL_SHORT, 3}, {0x10004, GL_INT, 1},   {0x40007, GL_DOUBLE, 4},       {8, GL_UNSIGNED_BYTE, 4},
        {0x20005, 0, 2},        {0x20009, 0, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.format);
        EXPECT_EQ(GLRenderDevice::getGLElementCount(c.format), c.count);
        if (c.type != 0) {
            EXPECT_EQ(GLRenderDevice::getGLDataType(c.format), c.type);
        } else {
            EXPECT_EQ(thrownText([&] { GLRenderDevice::getGLDataType(c.format); }), "getGLDataType: Invalid data type");
        }
    }
    struct SemanticCase
    {
        int semantic, index;
        unsigned int clientState;
        int attribute;
    };
    const SemanticCase semantics[] = {
        {0, 0, GL_VERTEX_ARRAY, 0},  {3, 0, GL_NORMAL_ARRAY, 2}, {4, 0, GL_COLOR_ARRAY, 3},
        {4, 1, GL_SECONDARY_COLOR_ARRAY, 4}, {4, 2, 0, -1}, {5, 0, 0, 5}, {5, 3, 0, 8}, {1, 0, 0, -1},
    };
    for (const SemanticCase& c : semantics) {
        SCOPED_TRACE(testing::Message() << c.semantic << "/" << c.index);
        EXPECT_EQ(GLRenderDevice::getClientStateFromSemantic(c.semantic, c.index), c.clientState);
        EXPECT_EQ(GLRenderDevice::getFixedAttribFromSemantic(c.semantic, c.index), c.attribute);
    }
}

TEST(GLMapping, PixelFormats)
{
    struct Case
    {
        int format;
        unsigned int external;
        unsigned int internal;
        unsigned int type;
        bool compressed;
    };
    const Case cases[] = {
        {0x101, GL_LUMINANCE, GL_LUMINANCE, GL_UNSIGNED_BYTE, false},
        {0x102, GL_ALPHA, GL_ALPHA, GL_UNSIGNED_BYTE, false},
        {0x103, GL_LUMINANCE_ALPHA, GL_LUMINANCE_ALPHA, GL_UNSIGNED_BYTE, false},
        {0x106, GL_RGB, GL_RGB, GL_UNSIGNED_BYTE, false},
        {0x107, GL_BGR, GL_RGB, GL_UNSIGNED_BYTE, false},
        {0x108, GL_RGBA, GL_RGBA, GL_UNSIGNED_BYTE, false},
        {0x109, GL_BGRA, GL_RGBA, GL_UNSIGNED_BYTE, false},
        {0x608, GL_RGBA, GL_RGBA, GL_FLOAT, false},
        {0x706, GL_RGB, GL_RGB, GL_UNSIGNED_SHORT_5_6_5, false},
        {0x808, GL_RGBA, GL_RGBA, GL_UNSIGNED_SHORT_5_5_5_1, false},
        {0xA08, GL_RGBA, GL_RGBA, GL_UNSIGNED_SHORT_4_4_4_4, false},
        {0xB06, GL_COMPRESSED_RGBA_S3TC_DXT1_EXT, GL_COMPRESSED_RGBA_S3TC_DXT1_EXT, 0, true},
        {0xC08, GL_COMPRESSED_RGBA_S3TC_DXT3_EXT, GL_COMPRESSED_RGBA_S3TC_DXT3_EXT, 0, true},
        {0xD08, GL_COMPRESSED_RGBA_S3TC_DXT3_EXT, GL_COMPRESSED_RGBA_S3TC_DXT3_EXT, 0, true},
        {0xE08, GL_COMPRESSED_RGBA_S3TC_DXT5_EXT, GL_COMPRESSED_RGBA_S3TC_DXT5_EXT, 0, true},
        {0xF08, GL_COMPRESSED_RGBA_S3TC_DXT5_EXT, GL_COMPRESSED_RGBA_S3TC_DXT5_EXT, 0, true},
        {0x20D, GL_DEPTH_COMPONENT16, GL_DEPTH_COMPONENT16, GL_UNSIGNED_BYTE, false},
        {0x30D, GL_DEPTH_COMPONENT16, GL_DEPTH_COMPONENT24, GL_UNSIGNED_BYTE, false},
        {0x40D, GL_DEPTH_COMPONENT16, GL_DEPTH_COMPONENT32, GL_UNSIGNED_BYTE, false},
        {0x10C, 0, 0, GL_UNSIGNED_BYTE, false},
        {0, 0, 0, 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.format);
        EXPECT_EQ(GLRenderDevice::getGLFormat(c.format, false), c.external);
        EXPECT_EQ(GLRenderDevice::getGLFormat(c.format, true), c.internal);
        EXPECT_EQ(GLRenderDevice::getGLType(c.format), c.type);
        EXPECT_EQ(GLRenderDevice::getGLTextureCompressed(c.format), c.compressed);
    }
}

TEST(GLMapping, UniformTypesToVariableFormats)
{
    const std::pair<unsigned int, int> cases[] = {
        {GL_BOOL, 0x101},       {GL_BOOL_VEC4, 0x401},   {GL_INT, 0x104},         {GL_INT_VEC3, 0x304},
        {GL_FLOAT, 0x106},      {GL_FLOAT_VEC2, 0x206},  {GL_FLOAT_MAT2, 0x506},  {GL_FLOAT_MAT2x3, 0x606},
        {GL_FLOAT_MAT2x4, 0x706}, {GL_FLOAT_MAT3x2, 0x806}, {GL_FLOAT_MAT3, 0x906}, {GL_FLOAT_MAT3x4, 0xA06},
        {GL_FLOAT_MAT4x2, 0xB06}, {GL_FLOAT_MAT4x3, 0xC06}, {GL_FLOAT_MAT4, 0xD06}, {GL_SAMPLER_1D, 9},
        {GL_SAMPLER_2D, 9},     {GL_SAMPLER_3D, 9},      {GL_SAMPLER_CUBE, 9},    {GL_SAMPLER_1D_SHADOW, 9},
        {GL_SAMPLER_2D_SHADOW, 9}, {GL_DOUBLE, 0},       {GL_UNSIGNED_INT, 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(GLRenderDevice::getVariableFormat(c.first), c.second) << std::hex << c.first;
    }
}

TEST(GLMapping, ClosePixelFormatBeforeCreation)
{
    // Before create the device counts as OpenGL 1.0: no BGR textures.
    IntrusivePointer<GLRenderDevice> device = new GLRenderDevice();
    EXPECT_EQ(device->getClosePixelFormat(0x107, 0), 0x106);
    EXPECT_EQ(device->getClosePixelFormat(0x109, 0), 0x108);
    EXPECT_EQ(device->getClosePixelFormat(0x101, 0x20), 0x106);
    EXPECT_EQ(device->getClosePixelFormat(0x608, 0), 0x608);
    EXPECT_FALSE(device->activateAdditionalContext());
    EXPECT_EQ(device->getPrimaryRenderTarget(), nullptr);
}

} // namespace
