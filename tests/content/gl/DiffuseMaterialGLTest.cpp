#include "support/gl/GLEngineFixture.h"

#include "content/DiffuseMaterialCreator.h"
#include "core/math/Matrix4x4.h"
#include "core/math/Vector4.h"
#include "render/IndexData.h"
#include "render/TextureFormat.h"
#include "render/VertexData.h"
#include "scene/Engine.h"
#include "scene/MaterialManager.h"
#include "scene/TextureManager.h"
#include "scene/material/Material.h"
#include "scene/material/RenderPass.h"
#include "scene/material/RenderPath.h"
#include "scene/material/SceneParameters.h"

#include <string>
#include <vector>

namespace {

using rezezaz::core::IntrusivePointer;
using rezezaz::core::math::Matrix4x4;
using rezezaz::core::math::Vector3;
using rezezaz::core::math::Vector4;
using rezezaz::render::Shader;
using rezezaz::scene::material::Material;
using rezezaz::scene::material::RenderPass;
using rezezaz::scene::material::SceneParameters;

// The diffuse programs drawn with the light, ambient, material and fog parameters set here, which a
// test changes before it draws.
class DiffuseMaterialGLTest : public gltest::GLEngineFixture
{
protected:
    void SetUp() override
    {
        GLEngineFixture::SetUp();
        if (HasFatalFailure() || IsSkipped()) {
            return;
        }
        parameters = new SceneParameters();
        parameters->viewport.width = width;
        parameters->viewport.height = height;
        parameters->lightState.direction = Vector3(0.0f, 0.0f, -1.0f);
        parameters->lightState.diffuseColor = Vector4(0.5f, 0.25f, 1.0f, 1.0f);
        parameters->materialState = rezezaz::scene::DiffuseMaterialCreator::defaultMaterialState();
        parameters->ambientColor = Vector4(0.25f, 0.25f, 0.0f, 1.0f);
        parameters->materialState.ambient = Vector4(1.0f, 1.0f, 1.0f, 1.0f);
        parameters->fogState.density = 0.0f;
        parameters->fogState.nearDistance = 0.0f;
        parameters->fogState.farDistance = 2.0f;
    }

    IntrusivePointer<SceneParameters> parameters;
};

TEST_F(DiffuseMaterialGLTest, TheBuiltInProgramsCompileAndEveryVariableLinks)
{
    rezezaz::scene::DiffuseMaterialCreator* creator = engine->getDiffuseMaterialCreator();
    ASSERT_NE(creator->getDiffuseVertexShader(), nullptr);
    ASSERT_NE(creator->getDiffuseFragmentShader(), nullptr);
    ASSERT_NE(creator->getPointSpriteFragmentShader(), nullptr);

    IntrusivePointer<Material> diffuse = engine->createDiffuseMaterial(nullptr, nullptr);
    RenderPass* pass = shaderPass(*diffuse);
    ASSERT_NE(pass, nullptr);
    ASSERT_EQ(pass->getNumVariables(), 14);
    for (int i = 0; i < pass->getNumVariables(); ++i) {
        EXPECT_GE(pass->getVariable(i).location, 0) << pass->getVariable(i).name.c_str();
    }
    Shader::ShaderType type = Shader::ShaderType_GEOMETRY;
    int unit = -1;
    EXPECT_TRUE(pass->findTexture(type, unit, "tex", "samp"));
    EXPECT_EQ(sceneWarnings(), std::vector<std::string>{});

    // OpenGL draws the sprite without a geometry stage: its program has no use for the sprite's size,
    // the viewport or a texture matrix (the pipeline gives the point's own coordinates), and says so.
    IntrusivePointer<Material> sprite = engine->createPointSpriteMaterial(nullptr, 8.0f, false);
    EXPECT_EQ(creator->getPointSpriteGeometryShader(), nullptr);
    RenderPass* spritePass = shaderPass(*sprite);
    ASSERT_NE(spritePass, nullptr);
    ASSERT_EQ(spritePass->getNumVariables(), 16);
    for (int i = 0; i < spritePass->getNumVariables(); ++i) {
        const std::string name = spritePass->getVariable(i).name.c_str();
        const bool unused = name == "textureMatrix" || name == "pointSize" || name == "viewport";
        EXPECT_EQ(spritePass->getVariable(i).location >= 0, !unused) << name;
    }
    EXPECT_TRUE(spritePass->findTexture(type, unit, "tex", "samp"));
    EXPECT_EQ(sceneWarnings(), (std::vector<std::string>{"RenderVariable not found with name:textureMatrix",
                                                         "RenderVariable not found with name:pointSize",
                                                         "RenderVariable not found with name:viewport"}));
}

TEST_F(DiffuseMaterialGLTest, AQuadShowsTheColourTheVertexProgramComputes)
{
    IntrusivePointer<Material> material = engine->createDiffuseMaterial(nullptr, nullptr);
    RenderPass* pass = shaderPass(*material);
    ASSERT_NE(pass, nullptr);

    struct Case
    {
        const char* name;
        bool lit;
        float fogDensity;
        uint32_t colour;
    } cases[] = {
        // Light (0.5, 0.25, 1) on white, plus ambient (0.25, 0.25, 0).
        {"lit", true, 0.0f, 0xBF80FFu},
        // Unlit: white, plus ambient, clamped.
        {"unlit", false, 0.0f, 0xFFFFFFu},
        // At depth 0.5 with density 1 over 0 to 2 the fog weight is 0.75 of the colour, towards green.
        {"fogged", true, 1.0f, 0x8FA0BFu},
    };
    for (const Case& c : cases) {
        parameters->materialState.light = c.lit;
        parameters->fogState.density = c.fogDensity;
        parameters->fogState.color = Vector4(0.0f, 1.0f, 0.0f, 1.0f);
        drawQuad(pass, parameters.get(), 0.5f);
        const uint32_t got = pixel(width / 2, height / 2);
        for (int shift : {16, 8, 0}) {
            const int expected = static_cast<int>((c.colour >> shift) & 0xFF);
            const int actual = static_cast<int>((got >> shift) & 0xFF);
            EXPECT_NEAR(actual, expected, 2) << c.name << " channel " << shift << " got " << std::hex << got;
        }
    }
    EXPECT_EQ(sceneWarnings(), std::vector<std::string>{});
}

TEST_F(DiffuseMaterialGLTest, ATexturedQuadIsTheTextureTimesTheColour)
{
    IntrusivePointer<rezezaz::render::TextureFormat> format =
        new rezezaz::render::TextureFormat(2, 0x108, 1, 1, 1, 1);
    unsigned char texel[4] = {0xFF, 0x80, 0x00, 0xFF};
    IntrusivePointer<rezezaz::render::Texture> texture = engine->getTextureManager()->createTexture(1, format, texel);
    ASSERT_NE(texture, nullptr);
    IntrusivePointer<Material> material = engine->createDiffuseMaterial(texture.get(), nullptr);
    RenderPass* pass = shaderPass(*material);
    ASSERT_NE(pass, nullptr);
    EXPECT_EQ(sceneWarnings(), std::vector<std::string>{});

    parameters->materialState.light = false;
    parameters->ambientColor = Vector4(0.0f, 0.0f, 0.0f, 1.0f);
    drawQuad(pass, parameters.get(), 0.0f);
    const uint32_t got = pixel(width / 2, height / 2);
    EXPECT_NEAR(static_cast<int>(got >> 16), 0xFF, 2);
    EXPECT_NEAR(static_cast<int>((got >> 8) & 0xFF), 0x80, 2);
    EXPECT_NEAR(static_cast<int>(got & 0xFF), 0x00, 2);
}

} // namespace
