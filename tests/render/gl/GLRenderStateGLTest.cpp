// Render states applied by the OpenGL device, read back through glGet; every table as a table of
// cases, with the error each value outside it raises.
#include "support/gl/GLDeviceFixture.h"

#include "render/gl/GLRenderState.h"

#include <vector>

using gltest::thrownText;
using rezezaz::core::IntrusivePointer;
using rezezaz::core::math::Matrix4x4;
using rezezaz::core::math::Vector4;
using namespace rezezaz::render;

namespace {

class GLRenderStateTest : public gltest::GLDeviceFixture
{
protected:
    // Sets the state through a render state of its own, as the engine does.
    template <class Record> bool apply(void (RenderState::*set)(const Record&), const Record& record)
    {
        IntrusivePointer<RenderState> state = device->createRenderState();
        (state.get()->*set)(record);
        states.push_back(state);
        return device->setRenderState(state.get());
    }

    static std::vector<float> floats(GLenum name, int count)
    {
        std::vector<float> values(16, 0.0f);
        glGetFloatv(name, values.data());
        values.resize(count);
        return values;
    }

    static GLint env(GLenum name)
    {
        GLint value = 0;
        glGetTexEnviv(GL_TEXTURE_ENV, name, &value);
        return value;
    }

    static float envFloat(GLenum name)
    {
        GLfloat value = 0;
        glGetTexEnvfv(GL_TEXTURE_ENV, name, &value);
        return value;
    }

    // The device keeps pointers into the states it was given: they live as long as the test.
    std::vector<IntrusivePointer<RenderState>> states;
};

TEST_F(GLRenderStateTest, BlendIsOffOnlyForOneZeroAndAllChannels)
{
    struct Case
    {
        BlendState state;
        bool blend;
        GLenum source;
        GLenum dest;
        bool mask[4];
    };
    const Case cases[] = {
        {{0, 1, 15}, false, 0, 0, {true, true, true, true}},
        {{0, 1, 7}, true, GL_ONE, GL_ZERO, {true, true, true, false}},
        {{0, 1, 0}, true, GL_ONE, GL_ZERO, {false, false, false, false}},
        {{7, 9, 15}, true, GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA, {true, true, true, true}},
        {{2, 3, 5}, true, GL_DST_COLOR, GL_SRC_COLOR, {true, false, true, false}},
        {{4, 5, 15}, true, GL_ONE_MINUS_DST_COLOR, GL_ONE_MINUS_SRC_COLOR, {true, true, true, true}},
        {{6, 8, 15}, true, GL_DST_ALPHA, GL_ONE_MINUS_DST_ALPHA, {true, true, true, true}},
        {{1, 0, 15}, true, GL_ZERO, GL_ONE, {true, true, true, true}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.state.source << "," << c.state.dest << "," << c.state.colorWrite);
        ASSERT_TRUE(apply(&RenderState::setBlendState, c.state));
        EXPECT_EQ(enabled(GL_BLEND), c.blend);
        if (c.blend) {
            EXPECT_EQ(integer(GL_BLEND_SRC), static_cast<GLint>(c.source));
            EXPECT_EQ(integer(GL_BLEND_DST), static_cast<GLint>(c.dest));
        }
        GLboolean mask[4] = {};
        glGetBooleanv(GL_COLOR_WRITEMASK, mask);
        for (int i = 0; i < 4; ++i) {
            EXPECT_EQ(mask[i] == GL_TRUE, c.mask[i]) << "channel " << i;
        }
    }
    for (BlendState bad : {BlendState{10, 1, 7}, BlendState{0, -1, 7}}) {
        EXPECT_EQ(thrownText([&] { apply(&RenderState::setBlendState, bad); }),
                  "getGLBlendOperation: Invalid blend operation");
    }
}

TEST_F(GLRenderStateTest, DepthTestSevenTurnsTestingOff)
{
    const GLenum functions[] = {GL_NEVER, GL_LESS, GL_EQUAL, GL_LEQUAL, GL_GREATER, GL_NOTEQUAL, GL_GEQUAL};
    for (int test = 0; test <= 7; ++test) {
        for (bool write : {true, false}) {
            SCOPED_TRACE(testing::Message() << test << " " << write);
            ASSERT_TRUE(apply(&RenderState::setDepthState, DepthState{test, write}));
            EXPECT_EQ(enabled(GL_DEPTH_TEST), test != 7);
            if (test != 7) {
                EXPECT_EQ(integer(GL_DEPTH_FUNC), static_cast<GLint>(functions[test]));
            }
            EXPECT_EQ(integer(GL_DEPTH_WRITEMASK), write ? GL_TRUE : GL_FALSE);
        }
    }
    EXPECT_EQ(thrownText([&] { apply(&RenderState::setDepthState, DepthState{8, true}); }),
              "getGLDepthFunc: Invalid depth test");
}

TEST_F(GLRenderStateTest, RasterizerStateTable)
{
    struct Case
    {
        int cull;
        int fill;
        float biasConstant;
        float biasSlope;
        bool multisample;
        bool dither;
        float lineSize;
        GLenum cullFace; // 0: culling off
        GLenum polygonMode;
    };
    const Case cases[] = {
        {0, 2, 0, 0, false, false, 1, 0, GL_FILL},
        {1, 1, 0, 0, true, true, 2, GL_FRONT, GL_LINE},
        {2, 0, 4, 0, false, true, 3, GL_BACK, GL_POINT},
        {2, 2, 0, 1.5f, true, false, 1, GL_BACK, GL_FILL},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.cull << " " << c.fill);
        RasterizerState state;
        state.cull = c.cull;
        state.fill = c.fill;
        state.depthBiasConstant = c.biasConstant;
        state.depthBiasSlope = c.biasSlope;
        state.multisample = c.multisample;
        state.dither = c.dither;
        state.lineSize = c.lineSize;
        ASSERT_TRUE(apply(&RenderState::setRasterizerState, state));
        EXPECT_EQ(enabled(GL_CULL_FACE), c.cullFace != 0);
        if (c.cullFace != 0) {
            EXPECT_EQ(integer(GL_CULL_FACE_MODE), static_cast<GLint>(c.cullFace));
        }
        GLint modes[2] = {};
        glGetIntegerv(GL_POLYGON_MODE, modes);
        EXPECT_EQ(modes[0], static_cast<GLint>(c.polygonMode));
        EXPECT_EQ(modes[1], static_cast<GLint>(c.polygonMode));
        const bool offset = c.biasConstant != 0 || c.biasSlope != 0;
        EXPECT_EQ(enabled(GL_POLYGON_OFFSET_FILL), offset);
        if (offset) {
            EXPECT_EQ(floats(GL_POLYGON_OFFSET_FACTOR, 1)[0], c.biasSlope);
            EXPECT_EQ(floats(GL_POLYGON_OFFSET_UNITS, 1)[0], c.biasConstant);
        }
        EXPECT_EQ(enabled(GL_MULTISAMPLE), c.multisample);
        EXPECT_EQ(enabled(GL_DITHER), c.dither);
        EXPECT_EQ(floats(GL_LINE_WIDTH, 1)[0], c.lineSize);
    }
    RasterizerState badCull;
    badCull.cull = 3;
    EXPECT_EQ(thrownText([&] { apply(&RenderState::setRasterizerState, badCull); }), "getGLCullFace: Invalid cull type");
    RasterizerState badFill;
    badFill.fill = 3;
    EXPECT_EQ(thrownText([&] { apply(&RenderState::setRasterizerState, badFill); }), "getGLCullFace: Invalid fill type");
}

TEST_F(GLRenderStateTest, FogStateTable)
{
    const GLenum modes[] = {0, GL_LINEAR, GL_EXP, GL_EXP2};
    for (int type = 0; type <= 3; ++type) {
        SCOPED_TRACE(type);
        FogState fog;
        fog.fogType = type;
        fog.density = 0.5f;
        fog.nearDistance = 2;
        fog.farDistance = 20;
        fog.color = Vector4(0.25f, 0.5f, 0.75f, 1);
        ASSERT_TRUE(apply(&RenderState::setFogState, fog));
        EXPECT_EQ(enabled(GL_FOG), type != 0);
        if (type != 0) {
            EXPECT_EQ(integer(GL_FOG_MODE), static_cast<GLint>(modes[type]));
            EXPECT_EQ(floats(GL_FOG_START, 1)[0], 2);
            EXPECT_EQ(floats(GL_FOG_END, 1)[0], 20);
            EXPECT_EQ(floats(GL_FOG_DENSITY, 1)[0], 0.5f);
            EXPECT_EQ(floats(GL_FOG_COLOR, 4), std::vector<float>({0.25f, 0.5f, 0.75f, 1}));
        }
    }
    FogState bad;
    bad.fogType = 4;
    EXPECT_EQ(thrownText([&] { apply(&RenderState::setFogState, bad); }), "getGLFogType: Invalid fog type");
}

TEST_F(GLRenderStateTest, MaterialStateTable)
{
    const GLenum alphaFunctions[] = {0, GL_LESS, GL_EQUAL, GL_LEQUAL, GL_GREATER, GL_NOTEQUAL, GL_GEQUAL, GL_ALWAYS};
    for (int alphaTest = 0; alphaTest <= 7; ++alphaTest) {
        for (int normalize = 0; normalize <= 2; ++normalize) {
            const int shade = (alphaTest + normalize) % 3;
            const bool light = alphaTest % 2 == 0;
            const bool track = normalize == 1;
            SCOPED_TRACE(testing::Message() << alphaTest << " " << normalize << " " << shade);
            MaterialState material;
            material.light = light;
            material.trackColor = track;
            material.shade = shade;
            material.normalize = normalize;
            material.ambient = Vector4(0.1f, 0.2f, 0.3f, 0.4f);
            material.diffuse = Vector4(0.5f, 0.6f, 0.7f, 0.8f);
            material.specular = Vector4(0.9f, 1, 0, 0.5f);
            material.shininess = 16;
            material.emissive = Vector4(0, 0.25f, 0, 1);
            material.alphaTest = alphaTest;
            material.alphaCutoff = 0.75f;
            ASSERT_TRUE(apply(&RenderState::setMaterialState, material));
            EXPECT_EQ(enabled(GL_LIGHTING), light);
            EXPECT_EQ(enabled(GL_COLOR_MATERIAL), track);
            if (track) {
                EXPECT_EQ(integer(GL_COLOR_MATERIAL_FACE), GL_FRONT_AND_BACK);
                EXPECT_EQ(integer(GL_COLOR_MATERIAL_PARAMETER), GL_AMBIENT_AND_DIFFUSE);
            }
            GLfloat value[4] = {};
            for (GLenum face : {GL_FRONT, GL_BACK}) {
                // While the vertex colour is tracked, it is the ambient and diffuse colour.
                if (!track) {
                    glGetMaterialfv(face, GL_AMBIENT, value);
                    EXPECT_EQ(std::vector<float>(value, value + 4), std::vector<float>({0.1f, 0.2f, 0.3f, 0.4f}));
                    glGetMaterialfv(face, GL_DIFFUSE, value);
                    EXPECT_EQ(std::vector<float>(value, value + 4), std::vector<float>({0.5f, 0.6f, 0.7f, 0.8f}));
                }
                glGetMaterialfv(face, GL_SPECULAR, value);
                EXPECT_EQ(std::vector<float>(value, value + 4), std::vector<float>({0.9f, 1, 0, 0.5f}));
                glGetMaterialfv(face, GL_EMISSION, value);
                EXPECT_EQ(std::vector<float>(value, value + 4), std::vector<float>({0, 0.25f, 0, 1}));
                glGetMaterialfv(face, GL_SHININESS, value);
                EXPECT_EQ(value[0], 16);
            }
            EXPECT_EQ(integer(GL_SHADE_MODEL), shade == 0 ? GL_FLAT : GL_SMOOTH);
            EXPECT_EQ(enabled(GL_NORMALIZE), normalize == 2);
            EXPECT_EQ(enabled(GL_RESCALE_NORMAL), normalize == 1);
            EXPECT_EQ(enabled(GL_ALPHA_TEST), alphaTest != 0);
            if (alphaTest != 0) {
                EXPECT_EQ(integer(GL_ALPHA_TEST_FUNC), static_cast<GLint>(alphaFunctions[alphaTest]));
                EXPECT_EQ(floats(GL_ALPHA_TEST_REF, 1)[0], 0.75f);
            }
        }
    }
    MaterialState badShade;
    badShade.shade = 3;
    EXPECT_EQ(thrownText([&] { apply(&RenderState::setMaterialState, badShade); }), "getGLShadeModel: Invalid shade type");
    MaterialState badAlpha;
    badAlpha.alphaTest = 8;
    EXPECT_EQ(thrownText([&] { apply(&RenderState::setMaterialState, badAlpha); }), "getGLAlphaFunc: Invalid alpha test");
}

TEST_F(GLRenderStateTest, PointSpritesAndAttenuatedSize)
{
    device->setViewport(Viewport{0, 0, width, height, false});
    GeometryState sprite;
    sprite.sprite = true;
    sprite.size = 2;
    sprite.attenuated = true;
    sprite.constant = 1;
    sprite.linear = 0.5f;
    sprite.quadratic = 0.25f;
    sprite.minSize = 1;
    sprite.maxSize = 64;
    ASSERT_TRUE(apply(&RenderState::setGeometryState, sprite));
    EXPECT_TRUE(enabled(GL_POINT_SPRITE));
    EXPECT_EQ(floats(GL_POINT_SIZE_MIN, 1)[0], 1);
    EXPECT_EQ(floats(GL_POINT_SIZE_MAX, 1)[0], 64);
    EXPECT_EQ(floats(GL_POINT_DISTANCE_ATTENUATION, 3), std::vector<float>({1, 0.5f, 0.25f}));
    // Attenuated: the size counts in viewport heights.
    EXPECT_EQ(floats(GL_POINT_SIZE, 1)[0], 2.0f * height);
    for (int unit = 0; unit < integer(GL_MAX_TEXTURE_UNITS); ++unit) {
        glActiveTexture(GL_TEXTURE0 + unit);
        GLint replace = 0;
        glGetTexEnviv(GL_POINT_SPRITE, GL_COORD_REPLACE, &replace);
        EXPECT_EQ(replace, GL_TRUE) << unit;
    }
    // A new viewport applies the point state again with its own height.
    device->setViewport(Viewport{0, 0, width, height / 2, false});
    EXPECT_EQ(floats(GL_POINT_SIZE, 1)[0], 2.0f * (height / 2));

    GeometryState plain;
    plain.sprite = true;
    plain.size = 3;
    ASSERT_TRUE(apply(&RenderState::setGeometryState, plain));
    EXPECT_EQ(floats(GL_POINT_DISTANCE_ATTENUATION, 3), std::vector<float>({1, 0, 0}));
    EXPECT_EQ(floats(GL_POINT_SIZE, 1)[0], 3);

    GeometryState off;
    off.sprite = false;
    off.size = 0; // leaves the size as it was
    ASSERT_TRUE(apply(&RenderState::setGeometryState, off));
    EXPECT_FALSE(enabled(GL_POINT_SPRITE));
    EXPECT_EQ(floats(GL_POINT_SIZE, 1)[0], 3);
    glActiveTexture(GL_TEXTURE3);
    GLint replace = 1;
    glGetTexEnviv(GL_POINT_SPRITE, GL_COORD_REPLACE, &replace);
    EXPECT_EQ(replace, GL_FALSE);
}

TEST_F(GLRenderStateTest, TextureEnvironmentCombineRules)
{
    const int dot = TextureState::Operation_DOTPRODUCT;
    struct Case
    {
        const char* name;
        TextureState state;
        GLint mode;
        GLint combineRGB;   // 0: not checked
        GLint combineAlpha; // 0: not checked
        float rgbScale;
        float alphaScale;
    };
    auto make = [](int colorOp, int c1, int c2, int alphaOp, int a1, int a2) {
        TextureState s;
        s.colorOperation = colorOp;
        s.colorSource1 = c1;
        s.colorSource2 = c2;
        s.alphaOperation = alphaOp;
        s.alphaSource1 = a1;
        s.alphaSource2 = a2;
        s.constantColor = Vector4(0.5f, 0.25f, 1, 0.75f);
        return s;
    };
    const Case cases[] = {
        {"no operation, no sources", make(0, 0, 0, 0, 0, 0), GL_MODULATE, 0, 0, 1, 1},
        {"replace without sources", make(1, 0, 0, 0, 0, 0), GL_REPLACE, 0, 0, 1, 1},
        {"add without sources", make(2, 0, 0, 0, 0, 0), GL_ADD, 0, 0, 1, 1},
        {"modulate 2x without sources", make(4, 0, 0, 0, 0, 0), GL_MODULATE, 0, 0, 2, 1},
        {"modulate 4x on both", make(5, 2, 1, 5, 2, 1), GL_COMBINE, GL_MODULATE, GL_MODULATE, 4, 4},
        {"dot product on both", make(dot, 2, 1, dot, 2, 1), GL_COMBINE, GL_DOT3_RGBA, 0, 1, 1},
        {"dot product on colour", make(dot, 2, 3, 3, 2, 3), GL_COMBINE, GL_DOT3_RGB, GL_MODULATE, 1, 1},
        {"alpha blend", make(7, 2, 1, 1, 4, 0), GL_COMBINE, GL_INTERPOLATE, GL_REPLACE, 1, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        IntrusivePointer<RenderState> state = device->createRenderState();
        state->setTextureState(Shader::ShaderType_FRAGMENT, 2, c.state);
        states.push_back(state);
        ASSERT_TRUE(device->setRenderState(state.get()));
        glActiveTexture(GL_TEXTURE2);
        EXPECT_EQ(env(GL_TEXTURE_ENV_MODE), c.mode);
        if (c.combineRGB != 0) {
            EXPECT_EQ(env(GL_COMBINE_RGB), c.combineRGB);
        }
        if (c.combineAlpha != 0) {
            EXPECT_EQ(env(GL_COMBINE_ALPHA), c.combineAlpha);
        }
        if (c.state.colorOperation != 0) {
            EXPECT_EQ(envFloat(GL_RGB_SCALE), c.rgbScale);
        }
        if (c.state.alphaOperation != 0) {
            EXPECT_EQ(envFloat(GL_ALPHA_SCALE), c.alphaScale);
        }
        if (c.mode == GL_COMBINE) {
            GLfloat colour[4] = {};
            glGetTexEnvfv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_COLOR, colour);
            EXPECT_EQ(std::vector<float>(colour, colour + 4), std::vector<float>({0.5f, 0.25f, 1, 0.75f}));
        }
    }
    // The sources, each set only where given.
    IntrusivePointer<RenderState> sources = device->createRenderState();
    TextureState all = make(3, 1, 2, 3, 3, 4);
    all.colorSource3 = 4;
    sources->setTextureState(Shader::ShaderType_FRAGMENT, 0, all);
    states.push_back(sources);
    ASSERT_TRUE(device->setRenderState(sources.get()));
    glActiveTexture(GL_TEXTURE0);
    EXPECT_EQ(env(GL_SOURCE0_RGB), GL_PREVIOUS);
    EXPECT_EQ(env(GL_SOURCE1_RGB), GL_TEXTURE);
    EXPECT_EQ(env(GL_SOURCE2_RGB), GL_CONSTANT);
    EXPECT_EQ(env(GL_SOURCE0_ALPHA), GL_PRIMARY_COLOR);
    EXPECT_EQ(env(GL_SOURCE1_ALPHA), GL_CONSTANT);

    EXPECT_EQ(thrownText([&] {
                  IntrusivePointer<RenderState> bad = device->createRenderState();
                  bad->setTextureState(Shader::ShaderType_FRAGMENT, 0, make(3, 2, 1, dot, 2, 1));
                  states.push_back(bad);
                  device->setRenderState(bad.get());
              }),
              "can not use Operation_DOTPRODUCT in only alpha channel");
    EXPECT_EQ(thrownText([&] {
                  IntrusivePointer<RenderState> bad = device->createRenderState();
                  bad->setTextureState(Shader::ShaderType_FRAGMENT, 0, make(3, 5, 1, 0, 0, 0));
                  states.push_back(bad);
                  device->setRenderState(bad.get());
              }),
              "getGLTextureBlendSource: Invalid source");
}

TEST_F(GLRenderStateTest, TextureStatesBeyondTheUnitsAreIgnored)
{
    const int units = integer(GL_MAX_TEXTURE_UNITS);
    IntrusivePointer<RenderState> state = device->createRenderState();
    TextureState replace;
    replace.colorOperation = TextureState::Operation_REPLACE;
    replace.texCoordIndex = 1;
    state->setTextureState(Shader::ShaderType_FRAGMENT, units, replace);
    states.push_back(state);
    ASSERT_TRUE(device->setRenderState(state.get()));
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    for (int unit = 0; unit < units; ++unit) {
        glActiveTexture(GL_TEXTURE0 + unit);
        EXPECT_EQ(env(GL_TEXTURE_ENV_MODE), GL_MODULATE) << unit;
    }
    EXPECT_EQ(device->getTexCoordIndex(units), -1);
}

TEST_F(GLRenderStateTest, AThrowLeavesTheStatesBeforeItApplied)
{
    IntrusivePointer<RenderState> state = device->createRenderState();
    state->setBlendState(BlendState{7, 9, 15});
    state->setDepthState(DepthState{9, false});
    FogState fog;
    fog.fogType = FogState::FogType_LINEAR;
    state->setFogState(fog);
    EXPECT_EQ(thrownText([&] { device->setRenderState(state.get()); }), "getGLDepthFunc: Invalid depth test");
    EXPECT_TRUE(enabled(GL_BLEND));
    EXPECT_EQ(integer(GL_BLEND_SRC), GL_SRC_ALPHA);
    // The depth state's own write mask came after the bad test, and the fog after the depth state.
    EXPECT_EQ(integer(GL_DEPTH_WRITEMASK), GL_TRUE);
    EXPECT_FALSE(enabled(GL_FOG));
    EXPECT_FALSE(device->setRenderState(nullptr));
}

TEST_F(GLRenderStateTest, SamplerTable)
{
    GLuint texture = 0;
    glGenTextures(1, &texture);
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, texture);
    struct Case
    {
        SamplerState sampler;
        int mipMax;
        GLenum wrapS, wrapT, wrapR, minFilter, magFilter;
    };
    auto make = [](int minF, int mipF, int magF, int u, int v, int w) {
        SamplerState s;
        s.minFilter = minF;
        s.mipFilter = mipF;
        s.magFilter = magF;
        s.uAddress = u;
        s.vAddress = v;
        s.wAddress = w;
        return s;
    };
    const Case cases[] = {
        {make(1, 0, 1, 0, 1, 2), 4, GL_REPEAT, GL_CLAMP_TO_EDGE, GL_CLAMP_TO_BORDER, GL_NEAREST, GL_NEAREST},
        {make(2, 0, 2, 3, 0, 1), 4, GL_MIRRORED_REPEAT, GL_REPEAT, GL_CLAMP_TO_EDGE, GL_LINEAR, GL_LINEAR},
        {make(1, 1, 1, 0, 0, 0), 4, GL_REPEAT, GL_REPEAT, GL_REPEAT, GL_NEAREST_MIPMAP_NEAREST, GL_NEAREST},
        {make(2, 1, 1, 0, 0, 0), 4, GL_REPEAT, GL_REPEAT, GL_REPEAT, GL_LINEAR_MIPMAP_NEAREST, GL_NEAREST},
        {make(1, 2, 1, 0, 0, 0), 4, GL_REPEAT, GL_REPEAT, GL_REPEAT, GL_NEAREST_MIPMAP_LINEAR, GL_NEAREST},
        {make(2, 2, 2, 0, 0, 0), 4, GL_REPEAT, GL_REPEAT, GL_REPEAT, GL_LINEAR_MIPMAP_LINEAR, GL_LINEAR},
        // One level: the plain filter, whatever the mip filter says.
        {make(2, 2, 2, 0, 0, 0), 1, GL_REPEAT, GL_REPEAT, GL_REPEAT, GL_LINEAR, GL_LINEAR},
        {make(1, 1, 2, 0, 0, 0), 1, GL_REPEAT, GL_REPEAT, GL_REPEAT, GL_NEAREST, GL_LINEAR},
    };
    auto parameter = [](GLenum name) {
        GLint value = 0;
        glGetTexParameteriv(GL_TEXTURE_2D, name, &value);
        return static_cast<GLenum>(value);
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.sampler.minFilter << "/" << c.sampler.mipFilter << " levels " << c.mipMax);
        device->applySampler(GL_TEXTURE_2D, c.mipMax, c.sampler);
        EXPECT_EQ(parameter(GL_TEXTURE_WRAP_S), c.wrapS);
        EXPECT_EQ(parameter(GL_TEXTURE_WRAP_T), c.wrapT);
        EXPECT_EQ(parameter(GL_TEXTURE_WRAP_R), c.wrapR);
        EXPECT_EQ(parameter(GL_TEXTURE_MIN_FILTER), c.minFilter);
        EXPECT_EQ(parameter(GL_TEXTURE_MAG_FILTER), c.magFilter);
    }
    EXPECT_EQ(thrownText([&] { device->applySampler(GL_TEXTURE_2D, 4, make(1, 0, 1, 4, 0, 0)); }), "getGLWrap: Invalid address");
    EXPECT_EQ(thrownText([&] { device->applySampler(GL_TEXTURE_2D, 4, make(0, 0, 1, 0, 0, 0)); }), "getGLMinFilter: Invalid filter");
    EXPECT_EQ(thrownText([&] { device->applySampler(GL_TEXTURE_2D, 4, make(1, 3, 1, 0, 0, 0)); }), "getGLMinFilter: Invalid filter");
    EXPECT_EQ(thrownText([&] { device->applySampler(GL_TEXTURE_2D, 4, make(1, 0, 0, 0, 0, 0)); }), "getGLMagFilter: Invalid filter");
    glDeleteTextures(1, &texture);
}

TEST_F(GLRenderStateTest, RecordsStayInForceWhenTheirStateIsReleased)
{
    // The state's last reference goes before a texture is bound: the sampler and the texture
    // environment it set are still the ones applied.
    unsigned char texels[16] = {};
    IntrusivePointer<Texture> texture = device->createTexture();
    IntrusivePointer<TextureFormat> format = new TextureFormat(2, TextureFormat::Format_RGBA_8, 2, 2, 1, 1);
    unsigned char* levels[] = {texels, nullptr};
    ASSERT_TRUE(texture->create(1, format, levels));
    {
        IntrusivePointer<RenderState> state = device->createRenderState();
        SamplerState sampler;
        sampler.minFilter = sampler.magFilter = SamplerState::FilterType_LINEAR;
        sampler.uAddress = sampler.vAddress = SamplerState::AddressType_CLAMP_TO_EDGE;
        state->setSamplerState(Shader::ShaderType_FRAGMENT, 0, sampler);
        TextureState environment;
        environment.matrix.at(0, 0) = 0.5f;
        environment.calculation = TextureState::CalculationType_NORMAL;
        state->setTextureState(Shader::ShaderType_FRAGMENT, 0, environment);
        ASSERT_TRUE(device->setRenderState(state.get()));
    }
    device->beginScene();
    for (int round = 0; round < 2; ++round) {
        device->setTexture(Shader::ShaderType_FRAGMENT, 0, texture.get());
        GLint wrap = 0, filter = 0;
        glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, &wrap);
        glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, &filter);
        EXPECT_EQ(wrap, GL_CLAMP_TO_EDGE);
        EXPECT_EQ(filter, GL_LINEAR);
        glMatrixMode(GL_TEXTURE);
        EXPECT_FLOAT_EQ(floats(GL_TEXTURE_MATRIX, 1)[0], 0.5f);
        device->setTexture(Shader::ShaderType_FRAGMENT, 0, nullptr);
    }
    device->endScene();
}

TEST_F(GLRenderStateTest, TextureCoordinateGenerationAndTextureMatrix)
{
    const Matrix4x4 planes(1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16);
    const GLenum coordinates[] = {GL_S, GL_T, GL_R, GL_Q};
    const GLenum generations[] = {GL_TEXTURE_GEN_S, GL_TEXTURE_GEN_T, GL_TEXTURE_GEN_R, GL_TEXTURE_GEN_Q};
    // A view that would move eye planes if it were current while they are set.
    device->setMatrix(RenderDevice::MatrixType_VIEW, Matrix4x4(1, 0, 0, 5, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1));
    glActiveTexture(GL_TEXTURE0);
    for (int calculation : {TextureState::CalculationType_OBJECTSPACE, TextureState::CalculationType_CAMERASPACE}) {
        SCOPED_TRACE(calculation);
        const bool object = calculation == TextureState::CalculationType_OBJECTSPACE;
        TextureState state;
        state.calculation = calculation;
        state.matrix = planes;
        device->applyTextureCoordinates(&state, 0, Matrix4x4());
        for (int i = 0; i < 4; ++i) {
            EXPECT_TRUE(enabled(generations[i]));
            GLint mode = 0;
            glGetTexGeniv(coordinates[i], GL_TEXTURE_GEN_MODE, &mode);
            EXPECT_EQ(mode, object ? GL_OBJECT_LINEAR : GL_EYE_LINEAR);
            GLfloat plane[4] = {};
            glGetTexGenfv(coordinates[i], object ? GL_OBJECT_PLANE : GL_EYE_PLANE, plane);
            // Row i: elements i, i + 4, i + 8, i + 12 of the stored matrix.
            EXPECT_EQ(std::vector<float>(plane, plane + 4),
                      std::vector<float>({planes.at(i, 0), planes.at(i, 1), planes.at(i, 2), planes.at(i, 3)}));
        }
    }
    // Normal: the texture's own matrix, then the state's.
    TextureState normal;
    normal.calculation = TextureState::CalculationType_NORMAL;
    normal.matrix = Matrix4x4(2, 0, 0, 0, 0, 2, 0, 0, 0, 0, 2, 0, 0, 0, 0, 1);
    const Matrix4x4 flip(1, 0, 0, 0, 0, -1, 0, 1, 0, 0, 1, 0, 0, 0, 0, 1);
    device->applyTextureCoordinates(&normal, 0, flip);
    for (GLenum generation : generations) {
        EXPECT_FALSE(enabled(generation));
    }
    std::vector<float> matrix = floats(GL_TEXTURE_MATRIX, 16);
    EXPECT_EQ(matrix[0], 2);
    EXPECT_EQ(matrix[5], -2);
    EXPECT_EQ(matrix[13], 1);
    EXPECT_EQ(integer(GL_MATRIX_MODE), GL_MODELVIEW);

    // Unspecified: the texture matrix for render-target textures (usage 0x10 or 0x20), else nothing.
    TextureState unspecified;
    unspecified.matrix = normal.matrix;
    device->applyTextureCoordinates(&unspecified, 0x20, Matrix4x4());
    EXPECT_EQ(floats(GL_TEXTURE_MATRIX, 16)[0], 2);
    device->applyTextureCoordinates(&unspecified, 0, Matrix4x4());
    EXPECT_EQ(floats(GL_TEXTURE_MATRIX, 16)[0], 1);
    for (GLenum generation : generations) {
        EXPECT_FALSE(enabled(generation));
    }
}

TEST_F(GLRenderStateTest, DepthCompareFollowsTheShadowResult)
{
    GLuint texture = 0;
    glGenTextures(1, &texture);
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_DEPTH_COMPONENT16, 4, 4, 0, GL_DEPTH_COMPONENT, GL_UNSIGNED_SHORT, nullptr);
    auto parameter = [](GLenum name) {
        GLint value = 0;
        glGetTexParameteriv(GL_TEXTURE_2D, name, &value);
        return value;
    };
    struct Case
    {
        int shadowResult;
        GLint depthMode; // 0: not checked
        GLint compareMode;
    };
    const Case cases[] = {
        {TextureState::ShadowResult_LUMINANCE, GL_LUMINANCE, GL_COMPARE_R_TO_TEXTURE},
        {TextureState::ShadowResult_INTENSITY, GL_INTENSITY, GL_COMPARE_R_TO_TEXTURE},
        {TextureState::ShadowResult_NONE, 0, GL_NONE},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.shadowResult);
        TextureState state;
        state.shadowResult = c.shadowResult;
        device->applyDepthCompare(GL_TEXTURE_2D, &state);
        EXPECT_EQ(parameter(GL_TEXTURE_COMPARE_MODE), c.compareMode);
        if (c.depthMode != 0) {
            EXPECT_EQ(parameter(GL_DEPTH_TEXTURE_MODE), c.depthMode);
            EXPECT_EQ(parameter(GL_TEXTURE_COMPARE_FUNC), GL_LEQUAL);
        }
    }
    device->applyDepthCompare(GL_TEXTURE_2D, nullptr);
    EXPECT_EQ(parameter(GL_TEXTURE_COMPARE_MODE), GL_NONE);
    glDeleteTextures(1, &texture);
}

TEST_F(GLRenderStateTest, EndSceneForgetsTheUnitsCoordinateSets)
{
    IntrusivePointer<RenderState> state = device->createRenderState();
    TextureState second;
    second.texCoordIndex = 2;
    state->setTextureState(Shader::ShaderType_FRAGMENT, 1, second);
    states.push_back(state);
    ASSERT_TRUE(device->setRenderState(state.get()));
    // The units were last unbound for the vertex type: clearing the fragment type's texture is
    // ignored, the vertex type's applies the unit's states again.
    device->setTexture(Shader::ShaderType_FRAGMENT, 1, nullptr);
    EXPECT_EQ(device->getTexCoordIndex(1), 0);
    device->setTexture(Shader::ShaderType_VERTEX, 1, nullptr);
    EXPECT_EQ(device->getTexCoordIndex(1), 2);
    device->endScene();
    EXPECT_EQ(device->getTexCoordIndex(1), 0);
    EXPECT_EQ(device->getNumUsedTextureUnits(), 0);
}

} // namespace
