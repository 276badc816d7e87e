// The sky-box and water programs on Mesa: they compile, link and take every variable their materials
// bind; a sky-box quad shows its texture unlit.
#include "support/gl/GLEngineFixture.h"

#include "content/SkyBoxMaterialCreator.h"
#include "content/WaterMaterialCreator.h"
#include "render/IndexData.h"
#include "render/TextureFormat.h"
#include "render/VertexData.h"
#include "scene/Camera.h"
#include "scene/Engine.h"
#include "scene/TextureManager.h"
#include "scene/material/Material.h"
#include "scene/material/RenderPass.h"
#include "scene/material/RenderPath.h"
#include "scene/material/SceneParameters.h"

#include <string>
#include <vector>

namespace {

using rezezaz::core::IntrusivePointer;
using rezezaz::core::math::Vector3;
using rezezaz::core::math::Vector4;
using rezezaz::render::Shader;
using rezezaz::scene::material::Material;
using rezezaz::scene::material::RenderPass;
using rezezaz::scene::material::SceneParameters;
using Names = std::vector<std::string>;

class MaterialCreatorsGLTest : public gltest::GLEngineFixture
{
protected:
    static void expectAllVariablesLinked(const RenderPass& pass, int count)
    {
        ASSERT_EQ(pass.getNumVariables(), count);
        for (int i = 0; i < pass.getNumVariables(); ++i) {
            EXPECT_GE(pass.getVariable(i).location, 0) << pass.getVariable(i).name.c_str();
        }
    }

    static void expectTexture(const RenderPass& pass, const char* name, const char* sampler)
    {
        Shader::ShaderType type = Shader::ShaderType_GEOMETRY;
        int unit = -1;
        EXPECT_TRUE(pass.findTexture(type, unit, name, sampler)) << name;
    }

    static void expectColour(uint32_t got, int r, int g, int b, const char* what)
    {
        EXPECT_NEAR(static_cast<int>(got >> 16), r, 3) << what << " got " << std::hex << got;
        EXPECT_NEAR(static_cast<int>((got >> 8) & 0xFF), g, 3) << what << " got " << std::hex << got;
        EXPECT_NEAR(static_cast<int>(got & 0xFF), b, 3) << what << " got " << std::hex << got;
    }

};

TEST_F(MaterialCreatorsGLTest, TheSkyBoxProgramsLinkEveryVariable)
{
    ASSERT_NE(engine->getSkyBoxMaterialCreator()->getSkyBoxVertexShader(), nullptr);
    ASSERT_NE(engine->getSkyBoxMaterialCreator()->getSkyBoxFragmentShader(), nullptr);
    IntrusivePointer<Material> material = engine->createSkyBoxMaterial(nullptr, true, nullptr);
    RenderPass* pass = shaderPass(*material);
    ASSERT_NE(pass, nullptr);
    EXPECT_EQ(std::string(material->getBestPath()->getName().c_str()), "shader");
    expectAllVariablesLinked(*pass, 3);
    expectTexture(*pass, "tex", "samp");
    EXPECT_EQ(sceneWarnings(), Names{});
}

TEST_F(MaterialCreatorsGLTest, TheWaterProgramsLinkEveryVariable)
{
    ASSERT_NE(engine->getWaterMaterialCreator()->getWaterVertexShader(), nullptr);
    ASSERT_NE(engine->getWaterMaterialCreator()->getWaterFragmentShader(), nullptr);
    IntrusivePointer<Material> material = engine->createWaterMaterial(nullptr, nullptr, nullptr, Vector4());
    RenderPass* pass = shaderPass(*material);
    ASSERT_NE(pass, nullptr);
    expectAllVariablesLinked(*pass, 13);
    expectTexture(*pass, "reflectTex", "reflectSamp");
    expectTexture(*pass, "refractTex", "refractSamp");
    expectTexture(*pass, "waveTex", "bumpSamp");
    EXPECT_EQ(sceneWarnings(), Names{});
}

TEST_F(MaterialCreatorsGLTest, ASkyBoxQuadShowsItsTextureUnlit)
{
    IntrusivePointer<rezezaz::render::Texture> texture = texel(0x20, 0x80, 0xE0);
    ASSERT_NE(texture, nullptr);
    IntrusivePointer<Material> material = engine->createSkyBoxMaterial(texture.get(), true, nullptr);
    RenderPass* pass = shaderPass(*material);
    ASSERT_NE(pass, nullptr);
    // A scene lit by a red light: the sky takes no notice.
    IntrusivePointer<SceneParameters> parameters = new SceneParameters();
    parameters->lightState.diffuseColor = Vector4(1.0f, 0.0f, 0.0f, 1.0f);
    drawQuad(pass, parameters.get(), 0.0f);
    expectColour(pixel(width / 2, height / 2), 0x20, 0x80, 0xE0, "sky");
    EXPECT_EQ(sceneWarnings(), Names{});
}

TEST_F(MaterialCreatorsGLTest, WaterShowsTheReflectionOrTheRefractionByItsFresnelTerm)
{
    IntrusivePointer<rezezaz::render::Texture> red = texel(0xFF, 0, 0);
    IntrusivePointer<rezezaz::render::Texture> green = texel(0, 0xFF, 0);
    struct Case
    {
        const char* name;
        // The wave normal, as the texture holds it, and where the camera looks from.
        unsigned char wave[3];
        Vector3 camera;
        // The reflection or refraction, dulled a fifth toward (0.1, 0.1, 0.2).
        int r, g, b;
    } cases[] = {
        // The eye leans along a wave normal longer than 1: 1 - eye . bump is below 0, and its fifth power
        // takes the Fresnel term below 0, clamped to the reflection alone.
        {"along the waves", {0xFF, 0xFF, 0xFF}, {10, 10, 10}, 209, 5, 10},
        // The wave normal points away from the eye: the term saturates to the refraction.
        {"against the waves", {0x80, 0x80, 0x00}, {0, 0, 10}, 5, 209, 10},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        IntrusivePointer<rezezaz::render::Texture> wave = texel(c.wave[0], c.wave[1], c.wave[2]);
        IntrusivePointer<Material> material =
            engine->createWaterMaterial(red.get(), green.get(), wave.get(), Vector4());
        RenderPass* pass = shaderPass(*material);
        ASSERT_NE(pass, nullptr);
        IntrusivePointer<rezezaz::scene::Camera> camera = new rezezaz::scene::Camera(engine.get());
        camera->setPosition(c.camera);
        IntrusivePointer<SceneParameters> parameters = new SceneParameters();
        parameters->camera = camera.get();
        // No highlight; the fog and the refraction's fade start beyond the quad.
        parameters->lightState.direction = Vector3(0, 0, -1);
        parameters->lightState.specularColor = Vector4(0, 0, 0, 0);
        parameters->fogState.nearDistance = 10.0f;
        parameters->fogState.farDistance = 20.0f;
        parameters->fogState.color = Vector4(0, 0, 1, 1);
        drawQuad(pass, parameters.get(), 0.0f);
        expectColour(pixel(width / 2, height / 2), c.r, c.g, c.b, "water");
    }
    EXPECT_EQ(sceneWarnings(), Names{});
}

} // namespace
