#include "core/Exception.h"
#include "render/TextureFormat.h"
#include "scene/Engine.h"
#include "scene/ShaderManager.h"
#include "scene/TextureManager.h"
#include "support/LogRecorder.h"
#include "support/RecordingRenderDevice.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

using rezezaz::core::IntrusivePointer;
using rezezaz::core::Logger;
using rezezaz::core::String;
using rezezaz::render::PixelBufferRenderTarget;
using rezezaz::render::Shader;
using rezezaz::render::Texture;
using rezezaz::render::TextureFormat;
using rezezaz::scene::Engine;
using rezezaz::scene::ShaderManager;
using rezezaz::scene::TextureManager;
using Calls = std::vector<std::string>;

const std::string SCENE = "rezezaz.scene";

std::string raised(const std::function<void()>& action)
{
    try {
        action();
    } catch (const rezezaz::core::Exception& e) {
        return e.getDescription();
    }
    return "";
}

// The calls made on one resource (by its label).
Calls callsOf(support::CallLog& log, const std::string& label)
{
    Calls kept;
    for (const std::string& call : log.take()) {
        if (call.rfind(label + ".", 0) == 0) {
            kept.push_back(call);
        }
    }
    return kept;
}

IntrusivePointer<TextureFormat> rgba(int width, int height)
{
    return IntrusivePointer<TextureFormat>(new TextureFormat(2, 0x108, width, height, 1, 1));
}

class TextureShaderManagerTest : public ::testing::Test
{
protected:
    TextureShaderManagerTest()
    {
        device.caps.textureAutogenMipMaps = true;
        device.caps.textureNonPowerOf2 = true;
        device.caps.maxTextureSize = 4096;
        device.caps.hasShader[0] = true;
        device.caps.hasShader[1] = true;
    }

    IntrusivePointer<Engine> makeEngine(bool backedTextures, bool backedShaders, bool withDevice)
    {
        IntrusivePointer<Engine> engine(new Engine(nullptr, nullptr));
        engine->setHasBackableFixed(backedTextures);
        engine->setHasBackableShader(backedShaders);
        if (withDevice) {
            engine->setRenderDevice(&device);
        }
        calls->take();
        return engine;
    }

    support::SharedCallLog calls = std::make_shared<support::CallLog>();
    support::RecordingRenderDevice device{calls};
    unsigned char pixels[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
};

TEST_F(TextureShaderManagerTest, ABackedTextureWaitsForItsDevice)
{
    IntrusivePointer<Engine> engine = makeEngine(true, false, false);
    TextureManager* textures = engine->getTextureManager();
    IntrusivePointer<Texture> texture = textures->createTexture(rgba(2, 2), pixels);
    ASSERT_NE(texture, nullptr);
    EXPECT_EQ(texture->getRootTexture(), nullptr);
    EXPECT_EQ(texture->getUniqueHandle(), 1);
    EXPECT_EQ(textures->get(1), texture);

    engine->setRenderDevice(&device);
    auto* back = static_cast<support::RecordingTexture*>(texture->getRootTexture());
    ASSERT_NE(back, nullptr);
    ASSERT_EQ(back->levels.size(), 1u);
    EXPECT_EQ(back->levels[0], std::vector<unsigned char>(pixels, pixels + 16));

    engine->setRenderDevice(nullptr);
    EXPECT_EQ(texture->getRootTexture(), nullptr);
}

TEST_F(TextureShaderManagerTest, TheShortFormsPassUsageAndDataAsTheySay)
{
    IntrusivePointer<Engine> engine = makeEngine(false, false, true);
    TextureManager* textures = engine->getTextureManager();
    unsigned char* levels[1] = {pixels};
    struct Case
    {
        const char* name;
        std::function<IntrusivePointer<Texture>()> create;
        std::string created;
    };
    const Case cases[] = {
        {"format and data", [&] { return textures->createTexture(rgba(2, 2), pixels); },
         "create(65,0x108 2x2x1 m1,1 levels)"},
        {"format and no data", [&] { return textures->createTexture(rgba(2, 2), static_cast<unsigned char*>(nullptr)); },
         "create(65,0x108 2x2x1 m1,no data)"},
        {"format and levels", [&] { return textures->createTexture(rgba(2, 2), levels); },
         "create(1,0x108 2x2x1 m1,1 levels)"},
        {"usage 0", [&] { return textures->createTexture(0, rgba(2, 2), pixels); },
         "create(65,0x108 2x2x1 m1,1 levels)"},
        {"usage 4", [&] { return textures->createTexture(4, rgba(2, 2), static_cast<unsigned char*>(nullptr)); },
         "create(4,0x108 2x2x1 m1,no data)"},
    };
    int made = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        IntrusivePointer<Texture> texture = c.create();
        ASSERT_NE(texture, nullptr);
        EXPECT_EQ(texture->getRootTexture(), texture.get());
        const std::string label = "texture" + std::to_string(++made);
        EXPECT_EQ(callsOf(*calls, label), Calls{label + "." + c.created});
    }
}

TEST_F(TextureShaderManagerTest, TexturesNeedABackedEngineOrADevice)
{
    IntrusivePointer<Engine> bare = makeEngine(false, false, false);
    support::LogRecorder log;
    EXPECT_EQ(bare->getTextureManager()->createTexture(rgba(2, 2), pixels), nullptr);
    EXPECT_EQ(bare->getTextureManager()->createPixelBufferRenderTarget(), nullptr);
    EXPECT_EQ(log.entries.size(), 0);

    IntrusivePointer<Engine> engine = makeEngine(false, false, true);
    EXPECT_EQ(raised([&] { engine->getTextureManager()->createTexture(1, nullptr, static_cast<unsigned char**>(nullptr)); }),
              "Error in texture convertCreate");
    EXPECT_TRUE(log.has(SCENE, Logger::ERROR, "Error in texture convertCreate"));
    EXPECT_EQ(engine->getTextureManager()->get(1), nullptr);
}

TEST_F(TextureShaderManagerTest, RenderTargetsAreListedApartFromTextures)
{
    IntrusivePointer<Engine> engine = makeEngine(false, false, true);
    TextureManager* textures = engine->getTextureManager();
    PixelBufferRenderTarget* target = textures->createPixelBufferRenderTarget().get();
    ASSERT_NE(target, nullptr);
    EXPECT_EQ(callsOf(*calls, "target1"), Calls{"target1.create()"});
    ASSERT_EQ(textures->getRenderTargets().size(), 1);
    EXPECT_EQ(textures->getNumResourceSlots(), 1);

    // Destroyed from elsewhere while the list holds its only reference: it leaves the list, and the
    // texture table (where it never was) is not asked.
    target->destroy();
    EXPECT_EQ(textures->getRenderTargets().size(), 0);

    IntrusivePointer<Engine> backed = makeEngine(true, false, false);
    IntrusivePointer<PixelBufferRenderTarget> waiting = backed->getTextureManager()->createPixelBufferRenderTarget();
    EXPECT_EQ(waiting->getRootPixelBufferRenderTarget(), nullptr);
    backed->setRenderDevice(&device);
    EXPECT_NE(waiting->getRootPixelBufferRenderTarget(), nullptr);
    backed->getTextureManager()->preContextReset(&device);
    backed->getTextureManager()->postContextReset(&device);
    EXPECT_EQ(callsOf(*calls, "target2"), (Calls{"target2.create()", "target2.resetDestroy()", "target2.resetCreate()"}));

    backed->getTextureManager()->destroy();
    EXPECT_EQ(backed->getTextureManager()->getRenderTargets().size(), 0);
}

TEST_F(TextureShaderManagerTest, LoadsConvertOnlyWhenThePixelFormatsDiffer)
{
    IntrusivePointer<Engine> engine = makeEngine(false, false, true);
    TextureManager* textures = engine->getTextureManager();
    IntrusivePointer<Texture> texture = textures->createTexture(rgba(2, 1), static_cast<unsigned char*>(nullptr));
    auto* recorded = static_cast<support::RecordingTexture*>(texture.get());
    calls->take();

    TextureFormat same(2, 0x108, 2, 1, 1, 1);
    EXPECT_TRUE(textures->textureLoad(texture, &same, pixels));
    EXPECT_EQ(recorded->loaded, std::vector<unsigned char>(pixels, pixels + 8));

    TextureFormat bgra(2, 0x109, 2, 1, 1, 1);
    EXPECT_TRUE(textures->textureLoad(texture, &bgra, pixels));
    EXPECT_EQ(recorded->loaded, (std::vector<unsigned char>{3, 2, 1, 4, 7, 6, 5, 8}));
    EXPECT_EQ(callsOf(*calls, "texture1"), (Calls{"texture1.load(0x108 2x1x1 m1)", "texture1.load(0x108 2x1x1 m1)"}));

    // A texture that was never made has no format to load into.
    IntrusivePointer<Texture> unmade(device.createTexture());
    EXPECT_FALSE(textures->textureLoad(unmade, &bgra, pixels));
}

TEST_F(TextureShaderManagerTest, ShadersSurviveADeviceThatRaises)
{
    const String profile("glsl");
    const String code("void main() {}");

    // Backed: the wrapper stays without a back until a device can make one.
    IntrusivePointer<Engine> engine = makeEngine(false, true, false);
    device.raiseFromCreateShader = true;
    engine->setRenderDevice(&device);
    ShaderManager* shaders = engine->getShaderManager();
    IntrusivePointer<Shader> shader = shaders->createShader(Shader::ShaderType_VERTEX, profile, code);
    ASSERT_NE(shader, nullptr);
    EXPECT_EQ(shader->getRootShader(), nullptr);
    EXPECT_EQ(shaders->get(1), shader);
    device.raiseFromCreateShader = false;
    shaders->contextActivate(&device);
    ASSERT_NE(shader->getRootShader(), nullptr);
    EXPECT_EQ(callsOf(*calls, "shader1"), Calls{"shader1.create(0,glsl,void main() {})"});
    shaders->contextDeactivate(&device);
    EXPECT_EQ(shader->getRootShader(), nullptr);
}

TEST_F(TextureShaderManagerTest, DeviceShadersAreCompiledDirectly)
{
    IntrusivePointer<Engine> engine = makeEngine(false, false, true);
    ShaderManager* shaders = engine->getShaderManager();
    const String profiles[2] = {"hlsl", "glsl"};
    const String codes[2] = {"float4 main() {}", "void main() {}"};

    IntrusivePointer<Shader> shader = shaders->createShader(Shader::ShaderType_FRAGMENT, profiles, codes, 2);
    ASSERT_NE(shader, nullptr);
    EXPECT_EQ(shader->getRootShader(), shader.get());
    EXPECT_EQ(callsOf(*calls, "shader1"), Calls{"shader1.create(1,glsl,void main() {})"});

    // The device has no geometry stage.
    EXPECT_EQ(shaders->createShader(Shader::ShaderType_GEOMETRY, profiles[1], codes[1]), nullptr);

    support::LogRecorder log;
    const std::string failure = "Error in shader convertCreate";
    EXPECT_EQ(raised([&] { shaders->createShader(Shader::ShaderType_VERTEX, String("glsl"), String("refused")); }),
              failure);
    device.raiseFromCreateShader = true;
    EXPECT_EQ(raised([&] { shaders->createShader(Shader::ShaderType_VERTEX, profiles[1], codes[1]); }), failure);
    EXPECT_TRUE(log.has(SCENE, Logger::ERROR, failure));
    EXPECT_EQ(raised([&] { shaders->createShader(static_cast<Shader::ShaderType>(3), profiles[1], codes[1]); }),
              "createShader: unknown shader type 3");
    EXPECT_EQ(shaders->get(2), nullptr);
}

} // namespace
