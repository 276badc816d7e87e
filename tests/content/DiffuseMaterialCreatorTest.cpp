#include "scene/MaterialFixture.h"

#include "content/DiffuseMaterialCreator.h"
#include "content/EngineHandlers.h"
#include "render/BlendState.h"
#include "render/DepthState.h"
#include "render/RasterizerState.h"
#include "render/TextureFormat.h"
#include "scene/Font.h"
#include "scene/material/Material.h"
#include "scene/material/RenderPass.h"
#include "scene/material/RenderPath.h"
#include "support/MaterialNames.h"
#include "support/RecordingRenderState.h"
#include "support/RecordingTexture.h"

#include <string>
#include <vector>

namespace {

using rezezaz::core::IntrusivePointer;
using rezezaz::core::String;
using rezezaz::render::SamplerState;
using rezezaz::render::Shader;
using rezezaz::render::TextureState;
using rezezaz::scene::DiffuseMaterialCreator;
using rezezaz::scene::material::Material;
using rezezaz::scene::material::RenderPass;
using Names = std::vector<std::string>;

constexpr Shader::ShaderType FRAGMENT = Shader::ShaderType_FRAGMENT;

using support::pathNames;
using support::passVariables;

const Names DIFFUSE_VARIABLES = {
    "modelViewProjectionMatrix:MVPMatrixVariable:2",  "normalMatrix:NormalMatrixVariable:2",
    "lightViewPosition:LightViewPositionVariable:1",  "lightColor:LightDiffuseVariable:1",
    "ambientColor:AmbientVariable:2",                 "materialLight:MaterialLightVariable:1",
    "materialDiffuseColor:MaterialDiffuseVariable:1", "materialAmbientColor:MaterialAmbientVariable:1",
    "materialTrackColor:MaterialTrackColorVariable:1", "fogDensity:FogDensityVariable:1",
    "fogDistance:FogDistanceVariable:1",              "fogColor:FogColorVariable:1",
    "textureMatrix:TextureMatrixVariable:1",          "textureSet:TextureSetVariable:1",
};

class DiffuseMaterialCreatorTest : public scenetest::MaterialFixture
{
protected:
    // The program's order is handlers first, then the device; here the device comes first, so that the
    // creator has its shader states.
    void install(bool shaders, bool fixed, bool geometryShader = true, bool geometryFixed = true)
    {
        device.caps.hasShader[0] = device.caps.hasShader[1] = shaders;
        device.caps.hasShader[2] = shaders && geometryShader;
        device.caps.hasFixed[0] = device.caps.hasFixed[1] = fixed;
        device.caps.hasFixed[2] = fixed && geometryFixed;
        attachDevice();
        installHandlers(*engine);
        calls->take();
    }

    DiffuseMaterialCreator* creator() const { return engine->getDiffuseMaterialCreator(); }

    IntrusivePointer<support::RecordingTexture> texture{new support::RecordingTexture(calls, "image")};
};

TEST_F(DiffuseMaterialCreatorTest, AddsThePathsTheCapabilitiesAllowInOrder)
{
    struct Case
    {
        const char* name;
        bool shaders;
        bool fixed;
        bool geometryShader;
        bool geometryFixed;
        Names diffuse;
        Names pointSprite;
    } cases[] = {
        {"shaders and fixed", true, true, true, true, {"", "fixed"}, {"shader", "fixed"}},
        {"fixed only", false, true, true, true, {"fixed"}, {"fixed"}},
        {"neither", false, false, true, true, {}, {}},
        {"no geometry shaders", true, true, false, true, {"", "fixed"}, {"fixed"}},
        {"no fixed geometry", true, true, true, false, {"", "fixed"}, {"shader"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        engine = new rezezaz::scene::Engine(nullptr, nullptr);
        install(c.shaders, c.fixed, c.geometryShader, c.geometryFixed);
        IntrusivePointer<Material> diffuse = creator()->createDiffuseMaterial(nullptr, nullptr);
        EXPECT_EQ(pathNames(*diffuse), c.diffuse);
        IntrusivePointer<Material> sprite = creator()->createPointSpriteMaterial(nullptr, 4.0f, false);
        EXPECT_EQ(pathNames(*sprite), c.pointSprite);
        // The manager compiles each onto the first path the device can run.
        EXPECT_EQ(diffuse->getBestPath(), diffuse->getNumPaths() > 0 ? diffuse->getPath(0) : nullptr);
    }
}

TEST_F(DiffuseMaterialCreatorTest, TheShaderPassBindsItsVariablesAndTextureByName)
{
    install(true, true);
    IntrusivePointer<Material> material = creator()->createDiffuseMaterial(texture.get(), nullptr);
    RenderPass* shaded = material->getPath(0)->getPass(0);
    EXPECT_EQ(shaded->getShaderState(), creator()->getDiffuseShaderState());
    EXPECT_EQ(passVariables(*shaded), DIFFUSE_VARIABLES);

    ASSERT_EQ(shaded->getNumPendingTextures(), 1);
    const RenderPass::TextureData& pending = shaded->getPendingTexture(0);
    EXPECT_EQ(pending.name.c_str(), std::string("tex"));
    EXPECT_EQ(pending.samplerName.c_str(), std::string("samp"));
    EXPECT_EQ(pending.texture, texture.get());
    EXPECT_EQ(pending.samplerState.minFilter, SamplerState::FilterType_LINEAR);
    EXPECT_EQ(pending.samplerState.mipFilter, SamplerState::FilterType_LINEAR);
    EXPECT_EQ(pending.samplerState.magFilter, SamplerState::FilterType_LINEAR);
    EXPECT_EQ(pending.samplerState.maxAnisotropy, 0);
    EXPECT_EQ(pending.samplerState.mipBias, 1000);
    EXPECT_TRUE(pending.samplerState.compare);
    EXPECT_EQ(pending.textureState.calculation, TextureState::CalculationType_NORMAL);

    RenderPass* fixed = material->getPath("fixed")->getPass(0);
    EXPECT_EQ(fixed->getShaderState(), nullptr);
    EXPECT_EQ(fixed->getRenderState(), shaded->getRenderState());
    EXPECT_EQ(fixed->getNumVariables(), 0);
    ASSERT_EQ(fixed->getNumTextures(FRAGMENT), 1);
    EXPECT_EQ(fixed->getTexture(FRAGMENT, 0)->texture, texture.get());
    EXPECT_EQ(fixed->getTexture(FRAGMENT, 0)->name.c_str(), std::string("tex"));

    // Its own render state carries the default material state only.
    rezezaz::render::MaterialState state;
    ASSERT_TRUE(shaded->getRenderState()->getMaterialState(state));
    EXPECT_TRUE(state.light);
    EXPECT_FALSE(state.trackColor);
    EXPECT_EQ(state.normalize, rezezaz::render::MaterialState::Normalize_RESCALE);
    EXPECT_EQ(state.shininess, 1.0f);
    EXPECT_EQ(state.alphaCutoff, 0.5f);
    rezezaz::render::DepthState depth;
    EXPECT_FALSE(shaded->getRenderState()->getDepthState(depth));

    // Without a texture the variables are all there and nothing is bound.
    IntrusivePointer<Material> plain = creator()->createDiffuseMaterial(nullptr, nullptr);
    EXPECT_EQ(passVariables(*plain->getPath(0)->getPass(0)), DIFFUSE_VARIABLES);
    EXPECT_EQ(plain->getPath(0)->getPass(0)->getNumPendingTextures(), 0);
    EXPECT_EQ(plain->getPath("fixed")->getPass(0)->getNumTextures(FRAGMENT), 0);
}

TEST_F(DiffuseMaterialCreatorTest, AGivenRenderStateIsSharedUnchangedAndLendsItsSampler)
{
    install(true, false);
    IntrusivePointer<support::RecordingRenderState> given = new support::RecordingRenderState(calls, "given");
    SamplerState own;
    own.uAddress = SamplerState::AddressType_CLAMP_TO_EDGE;
    given->setSamplerState(FRAGMENT, 0, own);
    calls->take();

    IntrusivePointer<Material> material = creator()->createDiffuseMaterial(texture.get(), given.get());
    RenderPass* pass = material->getPath(0)->getPass(0);
    EXPECT_EQ(pass->getRenderState(), given.get());
    EXPECT_EQ(pass->getPendingTexture(0).samplerState.uAddress, SamplerState::AddressType_CLAMP_TO_EDGE);
    for (const std::string& call : calls->take()) {
        EXPECT_EQ(call.rfind("given.", 0), std::string::npos) << call;
    }
}

TEST_F(DiffuseMaterialCreatorTest, APointSpriteDrawsPointsOfItsSize)
{
    install(true, true);
    IntrusivePointer<Material> material = creator()->createPointSpriteMaterial(texture.get(), 6.0f, true);
    RenderPass* shaded = material->getPath("shader")->getPass(0);
    EXPECT_EQ(shaded->getShaderState(), creator()->getPointSpriteShaderState());
    Names expected = DIFFUSE_VARIABLES;
    expected.push_back("pointSize:PointSizeVariable:1");
    expected.push_back("viewport:ViewportVariable:1");
    EXPECT_EQ(passVariables(*shaded), expected);
    EXPECT_EQ(shaded->getPendingTexture(0).textureState.calculation, TextureState::CalculationType_UNSPECIFIED);

    rezezaz::render::GeometryState geometry;
    ASSERT_TRUE(shaded->getRenderState()->getGeometryState(geometry));
    EXPECT_TRUE(geometry.sprite);
    EXPECT_EQ(geometry.size, 6.0f);
    EXPECT_TRUE(geometry.attenuated);
    EXPECT_EQ(geometry.constant, 1.0f);
    EXPECT_EQ(geometry.linear, 1.0f);
    EXPECT_EQ(geometry.quadratic, 1.0f);
    EXPECT_EQ(geometry.minSize, 1.0f);
    EXPECT_EQ(geometry.maxSize, 128.0f);
    EXPECT_EQ(shaded->getRenderState()->getNumSamplerStates(FRAGMENT),
              material->getPath("fixed")->getPass(0)->getNumTextures(FRAGMENT));
}

TEST_F(DiffuseMaterialCreatorTest, TheEngineFilesItsMaterialsWithoutAName)
{
    // Before the handlers there is no creator to ask.
    EXPECT_EQ(engine->createDiffuseMaterial(nullptr, nullptr), nullptr);
    EXPECT_EQ(engine->createPointSpriteMaterial(nullptr, 1.0f, false), nullptr);
    EXPECT_EQ(sceneWarnings(), (Names{"createDiffuseMaterial: no DiffuseMaterialCreator before installHandlers",
                                      "createPointSpriteMaterial: no DiffuseMaterialCreator before installHandlers"}));

    install(true, true);
    for (IntrusivePointer<Material> material :
         {engine->createDiffuseMaterial(texture.get(), nullptr), engine->createPointSpriteMaterial(nullptr, 2, false)}) {
        ASSERT_NE(material, nullptr);
        EXPECT_GT(material->getUniqueHandle(), 0);
        EXPECT_EQ(material->getName().c_str(), std::string(""));
        EXPECT_EQ(materials()->get(material->getUniqueHandle()).get(),
                  static_cast<rezezaz::core::Resource*>(material.get()));
    }
}

TEST_F(DiffuseMaterialCreatorTest, HandlersBeforeTheDeviceLeaveOnlyTheFixedPath)
{
    // The program's own order: without a device the unbacked engine has no shader states to give.
    installHandlers(*engine);
    attachDevice();
    EXPECT_EQ(creator()->getDiffuseShaderState(), nullptr);
    EXPECT_EQ(creator()->getDiffuseVertexShader(), nullptr);
    IntrusivePointer<Material> material = engine->createDiffuseMaterial(nullptr, nullptr);
    EXPECT_EQ(pathNames(*material), (Names{"fixed"}));
    EXPECT_EQ(material->getBestPath(), material->getPath("fixed"));
}

TEST_F(DiffuseMaterialCreatorTest, DestroyDropsTheShadersAndStatesInOrder)
{
    install(true, true);
    IntrusivePointer<Material> material = creator()->createDiffuseMaterial(nullptr, nullptr);
    // OpenGL draws point sprites without a geometry stage: its source is empty and makes no shader.
    EXPECT_NE(creator()->getDiffuseVertexShader(), nullptr);
    EXPECT_EQ(creator()->getPointSpriteGeometryShader(), nullptr);
    calls->take();
    creator()->destroy();
    EXPECT_EQ(calls->take(), (Names{"shader1.destroy()", "shader2.destroy()", "shader4.destroy()",
                                    "shaderState1.destroy()", "shaderState2.destroy()"}));
    EXPECT_EQ(creator()->getDiffuseShaderState(), nullptr);
    // The material keeps its reference to the (now destroyed) shader state.
    EXPECT_NE(material->getPath(0)->getPass(0)->getShaderState(), nullptr);
    // Looking a material up goes to the material manager.
    EXPECT_EQ(creator()->create("nothing.mat", nullptr, nullptr), nullptr);
}

TEST_F(DiffuseMaterialCreatorTest, AFontMaterialBlendsByTheAlphaOfItsAtlas)
{
    using rezezaz::render::BlendState;
    using rezezaz::render::TextureFormat;
    EXPECT_EQ(engine->createFontMaterial(nullptr), nullptr);
    EXPECT_EQ(sceneWarnings(), (Names{"createFontMaterial: no DiffuseMaterialCreator before installHandlers"}));
    install(true, true);
    EXPECT_EQ(creator()->createFontMaterial(nullptr), nullptr);
    EXPECT_EQ(engine->createFontMaterial(nullptr), nullptr);

    struct Case
    {
        int pixelFormat;
        int source;
        int dest;
    };
    const Case cases[] = {
        // Luminance alone adds its light; luminance with alpha blends by it.
        {TextureFormat::Format_L_8, BlendState::Operation_ONE, BlendState::Operation_ONE_MINUS_SRC_COLOR},
        {TextureFormat::Format_LA_8, BlendState::Operation_SRC_ALPHA, BlendState::Operation_ONE_MINUS_SRC_ALPHA},
        {TextureFormat::Format_RGBA_4_4_4_4, BlendState::Operation_SRC_ALPHA,
         BlendState::Operation_ONE_MINUS_SRC_ALPHA},
        {TextureFormat::Format_RGB_5_6_5, BlendState::Operation_ONE, BlendState::Operation_ONE_MINUS_SRC_COLOR},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pixelFormat);
        IntrusivePointer<support::RecordingTexture> atlas{new support::RecordingTexture(calls, "atlas")};
        atlas->create(1, new TextureFormat(TextureFormat::Dimension_2D, c.pixelFormat, 64, 64, 1, 0), nullptr);
        IntrusivePointer<rezezaz::scene::Font> font = new rezezaz::scene::Font(24, 0, atlas.get(), nullptr, nullptr, 0);
        IntrusivePointer<Material> material = engine->createFontMaterial(font.get());
        ASSERT_NE(material, nullptr);
        EXPECT_EQ(pathNames(*material), (Names{"shader", "fixed"}));
        EXPECT_GT(material->getUniqueHandle(), 0);
        EXPECT_EQ(materials()->get(material->getUniqueHandle()).get(),
                  static_cast<rezezaz::core::Resource*>(material.get()));

        RenderPass* shaded = material->getPath("shader")->getPass(0);
        EXPECT_EQ(shaded->getShaderState(), creator()->getDiffuseShaderState());
        EXPECT_EQ(passVariables(*shaded), DIFFUSE_VARIABLES);
        ASSERT_EQ(shaded->getNumPendingTextures(), 1);
        EXPECT_EQ(shaded->getPendingTexture(0).texture, atlas.get());
        EXPECT_EQ(shaded->getPendingTexture(0).samplerName.c_str(), std::string("samp"));
        RenderPass* fixed = material->getPath("fixed")->getPass(0);
        EXPECT_EQ(fixed->getRenderState(), shaded->getRenderState());
        ASSERT_EQ(fixed->getNumTextures(FRAGMENT), 1);
        EXPECT_EQ(fixed->getTexture(FRAGMENT, 0)->texture, atlas.get());
        EXPECT_EQ(fixed->getTexture(FRAGMENT, 0)->name.c_str(), std::string("tex"));

        rezezaz::render::RenderState* state = shaded->getRenderState();
        BlendState blend;
        ASSERT_TRUE(state->getBlendState(blend));
        EXPECT_EQ(blend.source, c.source);
        EXPECT_EQ(blend.dest, c.dest);
        EXPECT_EQ(blend.colorWrite, BlendState::ColorWrite_ALL);
        rezezaz::render::DepthState depth;
        ASSERT_TRUE(state->getDepthState(depth));
        EXPECT_EQ(depth.test, rezezaz::render::DepthState::DepthTest_LESS_EQUAL);
        EXPECT_FALSE(depth.write);
        rezezaz::render::RasterizerState rasterizer;
        ASSERT_TRUE(state->getRasterizerState(rasterizer));
        EXPECT_EQ(rasterizer.cull, rezezaz::render::RasterizerState::CullType_NONE);
        EXPECT_EQ(rasterizer.fill, rezezaz::render::RasterizerState::FillType_SOLID);
        rezezaz::render::MaterialState lit;
        ASSERT_TRUE(state->getMaterialState(lit));
        EXPECT_TRUE(lit.light);
        EXPECT_TRUE(lit.trackColor);
        EXPECT_EQ(lit.shade, rezezaz::render::MaterialState::ShadeType_FLAT);
        EXPECT_EQ(lit.normalize, rezezaz::render::MaterialState::Normalize_RESCALE);
    }
}

TEST(DiffuseMaterialCreatorAlphaBitsTest, CountsTheAlphaBitsOfEachFormat)
{
    using rezezaz::render::TextureFormat;
    const std::pair<int, int> cases[] = {
        {TextureFormat::Format_A_8, 8},          {TextureFormat::Format_BGRA_8, 8},
        {TextureFormat::Format_LA_FLOAT32, 32},  {TextureFormat::Format_RGBA_FLOAT32, 32},
        {TextureFormat::Format_BGRA_5_5_5_1, 1}, {TextureFormat::Format_BGRA_4_4_4_4, 4},
        {TextureFormat::Format_L_8, 0},          {TextureFormat::Format_RGB_FLOAT32, 0},
        {TextureFormat::Format_RGBA_DXT5, 0},    {TextureFormat::Format_UNKNOWN, 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DiffuseMaterialCreator::getAlphaBits(c.first), c.second) << c.first;
    }
}

} // namespace
