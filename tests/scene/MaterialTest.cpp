#include "MaterialFixture.h"

#include "render/BackableShader.h"
#include "scene/material/Material.h"
#include "scene/material/RenderPass.h"
#include "scene/material/RenderPath.h"
#include "support/RecordingRenderState.h"
#include "support/RecordingShader.h"
#include "support/RecordingShaderState.h"
#include "support/RecordingTexture.h"

#include <string>
#include <vector>

namespace {

using rezezaz::core::IntrusivePointer;
using rezezaz::core::String;
using rezezaz::render::SamplerState;
using rezezaz::render::Shader;
using rezezaz::render::TextureState;
using rezezaz::scene::material::Material;
using rezezaz::scene::material::RenderPass;
using rezezaz::scene::material::RenderPath;

class MaterialTest : public scenetest::MaterialFixture
{
protected:
    // A pass that runs a device vertex shader (one with a device object behind it).
    RenderPass* shaderPass(RenderPath* path)
    {
        IntrusivePointer<support::RecordingShaderState> program = new support::RecordingShaderState(calls, "program");
        program->shaders[Shader::ShaderType_VERTEX] = new support::RecordingShader(calls, "vertex");
        held.push_back(program);
        return path->addPass(renderState.get(), program.get());
    }

    IntrusivePointer<support::RecordingRenderState> renderState{new support::RecordingRenderState(calls, "state")};
    std::vector<IntrusivePointer<support::RecordingShaderState>> held;
};

TEST_F(MaterialTest, GetPassMakesTheDefaultPathAndPassOnceAndBoundsOtherIndices)
{
    IntrusivePointer<Material> material = new Material(materials());
    RenderPass* pass = material->getPass(-1, -1);
    ASSERT_NE(pass, nullptr);
    EXPECT_EQ(pass->getRenderState(), nullptr);
    EXPECT_EQ(pass->getShaderState(), nullptr);
    ASSERT_EQ(material->getNumPaths(), 1);
    EXPECT_EQ(material->getPath(0)->getName().c_str(), std::string(""));

    struct Case
    {
        int path;
        int pass;
        RenderPass* expected;
    } cases[] = {{-1, -1, pass}, {0, 0, pass}, {0, -1, pass}, {1, -1, nullptr}, {0, 1, nullptr},
                 {-2, -1, nullptr}, {0, -2, nullptr}, {-1, 5, nullptr}};
    for (const Case& c : cases) {
        EXPECT_EQ(material->getPass(c.path, c.pass), c.expected) << c.path << "," << c.pass;
    }
    EXPECT_EQ(material->getNumPaths(), 1);
    EXPECT_EQ(material->getPath(0)->getNumPasses(), 1);
}

TEST_F(MaterialTest, CompilingWithoutADeviceChoosesNoPath)
{
    IntrusivePointer<Material> material = new Material(materials());
    material->addPath("fixed")->addPass(renderState.get(), nullptr);
    EXPECT_FALSE(material->compile());
    EXPECT_EQ(material->getBestPath(), nullptr);

    IntrusivePointer<Material> unmanaged = new Material(nullptr);
    unmanaged->addPath("fixed")->addPass(renderState.get(), nullptr);
    EXPECT_FALSE(unmanaged->compile());
}

TEST_F(MaterialTest, ChoosesTheFirstPathTheDevicesOwnCapabilitiesAllow)
{
    struct Case
    {
        const char* name;
        bool shaders;
        bool fixed;
        int fragmentTextures;
        bool rootlessShader;
        const char* chosen;
    } cases[] = {
        {"shaders and fixed", true, true, 1, false, "shader"},
        {"fixed only", false, true, 1, false, "fixed"},
        {"neither", false, false, 1, false, nullptr},
        {"as many textures as stages", true, true, 8, false, "shader"},
        // The engine's merged record says 512 stages; the device has 8.
        {"more textures than stages", true, true, 9, false, nullptr},
        {"a shader without a device object", true, true, 1, true, "fixed"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        support::RecordingRenderDevice caseDevice(calls);
        caseDevice.caps.maxTextureStages = 8;
        for (int t = 0; t < 3; ++t) {
            caseDevice.caps.hasShader[t] = c.shaders;
            caseDevice.caps.hasFixed[t] = c.fixed;
        }
        IntrusivePointer<rezezaz::scene::Engine> caseEngine = new rezezaz::scene::Engine(nullptr, nullptr);
        caseEngine->setRenderDevice(&caseDevice);
        EXPECT_EQ(caseEngine->getRenderCaps().maxTextureStages, 512);

        IntrusivePointer<Material> material = new Material(caseEngine->getMaterialManager());
        RenderPass* shaded = shaderPass(material->addPath("shader"));
        if (c.rootlessShader) {
            held.back()->shaders[Shader::ShaderType_FRAGMENT] = new rezezaz::render::BackableShader();
        }
        RenderPass* fixed = material->addPath("fixed")->addPass(renderState.get(), nullptr);
        IntrusivePointer<support::RecordingTexture> texture = new support::RecordingTexture(calls, "image");
        for (int unit = 0; unit < c.fragmentTextures; ++unit) {
            shaded->setTexture(Shader::ShaderType_FRAGMENT, unit, texture.get(), SamplerState(), TextureState());
            fixed->setTexture(Shader::ShaderType_FRAGMENT, unit, texture.get(), SamplerState(), TextureState());
        }

        EXPECT_EQ(material->compile(), c.chosen != nullptr);
        EXPECT_EQ(material->getBestPath(), c.chosen ? material->getPath(String(c.chosen)) : nullptr);
        if (c.chosen) {
            EXPECT_EQ(material->getPass(-1, -1), material->getPath(String(c.chosen))->getPass(0));
        }
    }
}

TEST_F(MaterialTest, DepthSortingFollowsTheSortModeOrTheBestPath)
{
    attachDevice();
    IntrusivePointer<Material> material = new Material(materials());
    material->addPath("fixed")->addPass(renderState.get(), nullptr);
    rezezaz::render::DepthState depth;
    depth.write = false;
    renderState->setDepthState(depth);

    EXPECT_FALSE(material->isDepthSorted());
    material->setSort(Material::Sort_ALWAYS);
    EXPECT_TRUE(material->isDepthSorted());
    material->setSort(Material::Sort_PATH);
    ASSERT_TRUE(material->compile());
    EXPECT_TRUE(material->isDepthSorted());
    material->setSort(Material::Sort_NEVER);
    EXPECT_FALSE(material->isDepthSorted());
}

TEST_F(MaterialTest, APathFindsATextureInItsFirstPassThatBindsIt)
{
    IntrusivePointer<RenderPath> path = new RenderPath(materials());
    RenderPass* first = path->addPass(renderState.get(), nullptr);
    RenderPass* second = path->addPass(renderState.get(), nullptr);
    second->setTextureLocationName(Shader::ShaderType_VERTEX, 0, "diffuse");
    first->setTextureLocationName(Shader::ShaderType_FRAGMENT, 1, "diffuse");

    Shader::ShaderType type = Shader::ShaderType_GEOMETRY;
    int index = -1;
    EXPECT_EQ(path->findTexture(type, index, "diffuse"), first);
    EXPECT_EQ(type, Shader::ShaderType_FRAGMENT);
    EXPECT_EQ(index, 1);
    EXPECT_EQ(path->findTexture(type, index, "missing"), nullptr);
    EXPECT_FALSE(path->isDepthSorted());
    EXPECT_FALSE(IntrusivePointer<RenderPath>(new RenderPath(materials()))->isDepthSorted());
}

TEST_F(MaterialTest, DestroyingAManagedMaterialTearsItDownAndUnmanagesIt)
{
    attachDevice();
    IntrusivePointer<Material> material = materials()->createMaterial();
    IntrusivePointer<RenderPass> pass = material->getPass(-1, -1);
    pass->setRenderState(renderState.get());
    const int handle = material->getUniqueHandle();
    ASSERT_EQ(materials()->get(handle).get(), static_cast<rezezaz::core::Resource*>(material.get()));

    material->destroy();
    EXPECT_EQ(material->getNumPaths(), 0);
    EXPECT_EQ(pass->getRenderState(), nullptr);
    EXPECT_EQ(materials()->get(handle), nullptr);
}

} // namespace
