#include "core/Exception.h"
#include "render/VertexFormat.h"
#include "scene/ArchiveManager.h"
#include "scene/AudioManager.h"
#include "scene/BufferManager.h"
#include "scene/Engine.h"
#include "scene/FontManager.h"
#include "scene/MaterialManager.h"
#include "scene/ShaderManager.h"
#include "scene/TextureManager.h"
#include "support/LogRecorder.h"
#include "support/LogToCallLog.h"
#include "support/MemoryArchive.h"
#include "support/NullAudioDevice.h"
#include "support/RecordingContextListener.h"
#include "support/RecordingRenderDevice.h"
#include "support/RecordingResource.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace {

using rezezaz::core::IntrusivePointer;
using rezezaz::core::Logger;
using rezezaz::render::RenderCaps;
using rezezaz::render::VertexFormat;
using rezezaz::scene::Engine;
using rezezaz::scene::VertexFormats;
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

class EngineTest : public ::testing::Test
{
protected:
    EngineTest()
    {
        deviceA.label = "A";
        deviceB.label = "B";
    }

    // A fresh engine with the listeners added, and an empty log.
    IntrusivePointer<Engine> makeEngine(bool backed)
    {
        IntrusivePointer<Engine> engine(new Engine(nullptr, nullptr));
        engine->setHasBackableFixed(backed);
        engine->addContextListener(&first);
        engine->addContextListener(&second);
        calls->take();
        return engine;
    }

    support::SharedCallLog calls = std::make_shared<support::CallLog>();
    support::RecordingRenderDevice deviceA{calls};
    support::RecordingRenderDevice deviceB{calls};
    support::RecordingContextListener first{calls, "first"};
    support::RecordingContextListener second{calls, "second"};
};

TEST_F(EngineTest, AnnouncesItselfAndMakesTheStandardFormatsBeforeAnyDevice)
{
    support::LogRecorder log;
    IntrusivePointer<Engine> engine(new Engine(nullptr, nullptr));
    EXPECT_TRUE(log.has(SCENE, Logger::DEBUG, "allocating rezezaz.scene.Engine:0.9.0"));

    // Every manager slot, in the order the engine makes them.
    const std::vector<std::pair<const char*, const void*>> slots = {
        {"archive", engine->getArchiveManager()},
        {"texture", engine->getTextureManager()},
        {"buffer", engine->getBufferManager()},
        {"shader", engine->getShaderManager()},
        {"material", engine->getMaterialManager()},
        {"mesh", engine->getMeshManager()},
        {"audio", engine->getAudioManager()},
        {"studio model", engine->getStudioModelManager()},
        {"sprite model", engine->getSpriteModelManager()},
    };
    std::set<const void*> distinct;
    for (const auto& slot : slots) {
        EXPECT_NE(slot.second, nullptr) << slot.first;
        distinct.insert(slot.second);
    }
    EXPECT_EQ(distinct.size(), slots.size());

    const int xyz = VertexFormat::makeFormat(6, 3);
    const int uv = VertexFormat::makeFormat(6, 2);
    const int xyzw = VertexFormat::makeFormat(6, 4);
    const int rgba = VertexFormat::Format_COLOR;
    struct Row
    {
        const char* name;
        VertexFormats::Format VertexFormats::*field;
        std::vector<std::pair<int, int>> elements; // semantic, format
    };
    const Row rows[] = {
        {"POSITION", &VertexFormats::POSITION, {{0, xyz}}},
        {"POSITION_NORMAL", &VertexFormats::POSITION_NORMAL, {{0, xyz}, {3, xyz}}},
        {"POSITION_COLOR", &VertexFormats::POSITION_COLOR, {{0, xyz}, {4, rgba}}},
        {"POSITION_TEX_COORD", &VertexFormats::POSITION_TEX_COORD, {{0, xyz}, {5, uv}}},
        {"POSITION_NORMAL_COLOR", &VertexFormats::POSITION_NORMAL_COLOR, {{0, xyz}, {3, xyz}, {4, rgba}}},
        {"POSITION_NORMAL_TEX_COORD", &VertexFormats::POSITION_NORMAL_TEX_COORD, {{0, xyz}, {3, xyz}, {5, uv}}},
        {"POSITION_COLOR_TEX_COORD", &VertexFormats::POSITION_COLOR_TEX_COORD, {{0, xyz}, {4, rgba}, {5, uv}}},
        {"POSITION_NORMAL_COLOR_TEX_COORD", &VertexFormats::POSITION_NORMAL_COLOR_TEX_COORD,
         {{0, xyz}, {3, xyz}, {4, rgba}, {5, uv}}},
        {"POSITION_SEMANTIC7_SEMANTIC6", &VertexFormats::POSITION_SEMANTIC7_SEMANTIC6, {{0, xyz}, {7, xyzw}, {6, xyz}}},
        {"COLOR", &VertexFormats::COLOR, {{4, xyzw}}},
    };
    const auto& listed = engine->getBufferManager()->getVertexFormats();
    ASSERT_EQ(listed.size(), 10);
    int index = 0;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        VertexFormat* format = (engine->getVertexFormats().*row.field).get();
        ASSERT_NE(format, nullptr);
        EXPECT_EQ(listed[index++], format);
        // Made before any device: a wrapper without a back.
        EXPECT_EQ(format->getRootVertexFormat(), nullptr);
        ASSERT_EQ(format->getNumElements(), static_cast<int>(row.elements.size()));
        for (int e = 0; e < format->getNumElements(); ++e) {
            EXPECT_EQ(format->getElementSemantic(e), row.elements[e].first);
            EXPECT_EQ(format->getElementIndex(e), 0);
            EXPECT_EQ(format->getElementFormat(e), row.elements[e].second);
        }
    }

    // The merged record stays the fresh one until a device or a setter comes.
    const RenderCaps& caps = engine->getRenderCaps();
    EXPECT_EQ(caps.vertexElementType, 6);
    EXPECT_EQ(caps.maxTextureStages, 0);
    EXPECT_EQ(caps.maxLights, 0);
    EXPECT_FALSE(caps.triangleFan);
    EXPECT_FALSE(caps.hasFixed[0]);
    EXPECT_FALSE(engine->isBacked());
}

TEST_F(EngineTest, MergesTheDevicesCapabilitiesAndLogsThem)
{
    IntrusivePointer<Engine> engine = makeEngine(false);
    deviceA.caps.maxTextureStages = 8;
    deviceA.caps.maxTextureSize = 8192;
    deviceA.caps.maxLights = 8;
    deviceA.caps.triangleFan = true;
    deviceA.caps.hasShader[0] = true;
    deviceA.caps.hasShader[1] = true;
    deviceA.caps.hasFixed[2] = true;
    deviceA.caps.renderToTexture = true;
    deviceA.caps.textureAutogenMipMaps = true;
    deviceA.caps.pointSprites = true;

    support::RecordingLoggerListener lines;
    rezezaz::core::Log::getInstance()->addLoggerListener(&lines);
    EXPECT_TRUE(engine->setRenderDevice(&deviceA));
    rezezaz::core::Log::getInstance()->removeLoggerListener(&lines);

    const RenderCaps& caps = engine->getRenderCaps();
    // The limits are the engine's own; the flags follow the device.
    EXPECT_EQ(caps.maxTextureStages, 512);
    EXPECT_EQ(caps.maxTextureSize, 65536);
    EXPECT_EQ(caps.maxLights, 512);
    EXPECT_TRUE(caps.triangleFan);
    EXPECT_TRUE(caps.hasShader[0]);
    EXPECT_TRUE(caps.hasShader[1]);
    EXPECT_FALSE(caps.hasShader[2]);
    EXPECT_FALSE(caps.hasFixed[0]);
    EXPECT_TRUE(caps.hasFixed[2]);
    EXPECT_TRUE(caps.pointSprites);
    EXPECT_EQ(engine->getRenderDeviceCaps().maxTextureStages, 8);

    // A maximum record can still forbid what the device has.
    engine->setHasMaximumShader(false);
    EXPECT_FALSE(engine->getRenderCaps().hasShader[0]);
    EXPECT_EQ(Engine::mergeCap(8, 512, 512), 512);
    EXPECT_EQ(Engine::mergeCap(1024, 512, 0), 512);
    EXPECT_EQ(Engine::mergeCap(1, 1, 0), 1);

    Calls alerts;
    for (const auto& entry : lines.entries.snapshot()) {
        if (entry.level == Logger::ALERT && entry.categoryName == SCENE) {
            alerts.push_back(entry.text);
        }
    }
    EXPECT_EQ(alerts, (Calls{"RenderDevice Capabilities:", "\tmaxTextureStages:8", "\tmaxTextureSize:8192",
                             "\trenderToTexture:1", "\trenderToDepthTexture:0",
                             "\trenderToTextureNonPowerOf2Restricted:0", "\ttextureDot3:0",
                             "\ttextureNonPowerOf2Restricted:0", "\ttextureNonPowerOf2:0",
                             "\ttextureAutogenMipMaps:1"}));
}

TEST_F(EngineTest, TakesDevicesByTheRulesOfItsKind)
{
    const std::string refused = "can not change RenderDevice in an unbacked engine";
    struct Step
    {
        support::RecordingRenderDevice* device; // null: no device
        const char* error;                      // empty when taken
        Calls calls;                            // the devices' context calls
    };
    struct Case
    {
        const char* name;
        bool backed;
        std::vector<Step> steps;
    };
    auto* a = &deviceA;
    auto* b = &deviceB;
    const Case cases[] = {
        {"null first, then a device", false, {{nullptr, "", {}}, {a, "", {"A.activate()"}}}},
        {"unbacked, another device", false, {{a, "", {"A.activate()"}}, {b, refused.c_str(), {}}}},
        {"unbacked, the same device", false, {{a, "", {"A.activate()"}}, {a, refused.c_str(), {}}}},
        {"unbacked, after null",
         false,
         {{a, "", {"A.activate()"}}, {nullptr, "", {"A.activate()"}}, {a, refused.c_str(), {}}}},
        {"backed, the same device", true, {{a, "", {"A.activate()"}}, {a, "", {}}}},
        {"backed, A to B",
         true,
         {{a, "", {"A.activate()"}}, {b, "", {"A.activate()", "B.activate()", "B.reset()"}}}},
        {"backed, A, null, A",
         true,
         {{a, "", {"A.activate()"}}, {nullptr, "", {"A.activate()"}}, {a, "", {"A.activate()", "A.reset()"}}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        IntrusivePointer<Engine> engine = makeEngine(c.backed);
        for (const Step& step : c.steps) {
            rezezaz::render::RenderDevice* before = engine->getRenderDevice();
            const std::string error = raised([&] { EXPECT_TRUE(engine->setRenderDevice(step.device)); });
            EXPECT_EQ(error, step.error);
            EXPECT_EQ(engine->getRenderDevice(), *step.error ? before : step.device);
            Calls deviceCalls;
            for (const std::string& call : calls->take()) {
                if (call.rfind("A.", 0) == 0 || call.rfind("B.", 0) == 0) {
                    deviceCalls.push_back(call);
                }
            }
            EXPECT_EQ(deviceCalls, step.calls);
        }
    }
}

TEST_F(EngineTest, RunsTheContextLifeCycleInOneOrder)
{
    IntrusivePointer<Engine> engine = makeEngine(true);
    support::LogToCallLog debugLines(calls, Logger::DEBUG);

    engine->setRenderDevice(&deviceA);
    EXPECT_EQ(calls->take(), (Calls{"log.Engine::contextActivate", "A.activate()", "first.preContextActivate",
                                    "second.preContextActivate", "log.ShaderManager::contextActivate",
                                    "log.BufferManager::contextActivate", "log.TextureManager::contextActivate",
                                    "log.MaterialManager::contextActivate", "first.postContextActivate", "second.postContextActivate"}));

    engine->setRenderDevice(&deviceB);
    EXPECT_EQ(calls->take(),
              (Calls{"log.Engine::contextDeactivate", "A.activate()", "first.preContextDeactivate",
                     "second.preContextDeactivate", "log.ShaderManager::contextDeactivate",
                     "log.BufferManager::contextDeactivate", "log.TextureManager::contextDeactivate",
                     "log.MaterialManager::contextDeactivate", "first.postContextDeactivate", "second.postContextDeactivate",
                     "log.Engine::contextActivate", "B.activate()", "first.preContextActivate",
                     "second.preContextActivate", "log.ShaderManager::contextActivate",
                     "log.BufferManager::contextActivate", "log.TextureManager::contextActivate",
                     "log.MaterialManager::contextActivate", "first.postContextActivate", "second.postContextActivate", "log.Engine::contextReset",
                     "first.preContextReset", "second.preContextReset", "log.BufferManager::preContextReset",
                     "log.TextureManager::preContextReset", "B.reset()", "log.BufferManager::postContextReset",
                     "log.TextureManager::postContextReset", "first.postContextReset",
                     "second.postContextReset"}));

    // A listener that leaves hears no more.
    engine->removeContextListener(&first);
    engine->setRenderDevice(nullptr);
    for (const std::string& call : calls->take()) {
        EXPECT_EQ(call.rfind("first.", 0), std::string::npos) << call;
    }
}

TEST_F(EngineTest, DestroyEmptiesTheManagersInOneOrder)
{
    IntrusivePointer<Engine> engine = makeEngine(false);
    engine->setRenderDevice(&deviceA);
    IntrusivePointer<support::MemoryArchive> archive(new support::MemoryArchive());
    archive->calls = calls;
    engine->getArchiveManager()->manage(static_cast<rezezaz::core::io::Archive*>(archive.get()), "");

    std::vector<IntrusivePointer<support::RecordingResource>> held;
    auto file = [&](rezezaz::scene::ResourceManager* manager, const char* label) {
        held.emplace_back(new support::RecordingResource(calls, label));
        manager->manage(held.back().get(), "");
    };
    file(engine->getMeshManager(), "mesh");
    file(engine->getStudioModelManager(), "studio");
    file(engine->getSpriteModelManager(), "sprite");
    file(engine->getAudioManager(), "audio");
    file(engine->getShaderManager(), "shader");
    file(engine->getTextureManager(), "texture");
    file(engine->getMaterialManager(), "material");
    file(engine->getFontManager(), "font");
    IntrusivePointer<rezezaz::render::IndexBuffer> indices = engine->getBufferManager()->createIndexBuffer(
        1, 2, rezezaz::render::IndexBuffer::IndexFormat_UINT16, 3);
    indices->setName("indices");
    calls->take();

    support::LogToCallLog debugLines(calls, Logger::DEBUG);
    engine->destroy();
    EXPECT_EQ(calls->take(), (Calls{"log.Engine::destroy", "A.activate()", "studio.destroy()", "sprite.destroy()",
                                    "audio.destroy()", "mesh.destroy()", "shader.destroy()", "material.destroy()",
                                    "font.destroy()", "indexBuffer1.destroy()",
                                    "texture.destroy()", "archive.destroy()"}));
    EXPECT_TRUE(engine->getBufferManager()->getIndexBuffers().size() == 0);
    EXPECT_EQ(engine->getRenderDevice(), &deviceA);

    // The last release destroys again (nothing is left) and then frees the engine.
    engine = nullptr;
    EXPECT_EQ(calls->take(), (Calls{"log.Engine::destroy", "A.activate()", "log.Engine::~Engine"}));
}

TEST_F(EngineTest, DestroyNamesWhatEachManagerStillHolds)
{
    IntrusivePointer<Engine> engine = makeEngine(true);
    // Held past the engine's teardown by their makers: forgotten destroys.
    std::vector<IntrusivePointer<support::RecordingResource>> held;
    auto file = [&](rezezaz::scene::ResourceManager* manager, const char* name) {
        held.emplace_back(new support::RecordingResource());
        manager->manage(held.back().get(), name);
    };
    file(engine->getTextureManager(), "sky.tga");
    file(engine->getTextureManager(), "");
    file(engine->getMeshManager(), "grid");
    IntrusivePointer<rezezaz::render::IndexBuffer> indices = engine->getBufferManager()->createIndexBuffer(
        1, 2, rezezaz::render::IndexBuffer::IndexFormat_UINT16, 3);
    indices->setName("indices");
    // Made and destroyed again: nothing to say about it.
    file(engine->getMaterialManager(), "gone");
    held.back()->destroy();

    support::LogRecorder log;
    engine->destroy();
    EXPECT_EQ(log.texts(SCENE, Logger::ALERT),
              (Calls{"Engine::destroy: mesh manager still holds 1 resource: grid",
                     "Engine::destroy: buffer manager still holds 1 resource: indices",
                     "Engine::destroy: texture manager still holds 2 resources: sky.tga, (unnamed)"}));

    // The teardown destroyed them; the last release finds nothing left.
    engine = nullptr;
    EXPECT_EQ(log.texts(SCENE, Logger::ALERT).size(), 3u);
}

TEST_F(EngineTest, TakesOneAudioDeviceAndAlwaysNull)
{
    IntrusivePointer<Engine> engine = makeEngine(false);
    support::NullAudioDevice deviceOne;
    support::NullAudioDevice deviceTwo;
    rezezaz::audio::AudioDevice* one = &deviceOne;
    rezezaz::audio::AudioDevice* two = &deviceTwo;
    EXPECT_TRUE(engine->setAudioDevice(nullptr));
    EXPECT_TRUE(engine->setAudioDevice(nullptr));
    EXPECT_TRUE(engine->setAudioDevice(one));
    EXPECT_EQ(engine->getAudioDevice(), one);
    EXPECT_TRUE(engine->setAudioDevice(nullptr));
    EXPECT_EQ(engine->getAudioDevice(), nullptr);
    support::LogRecorder log;
    EXPECT_EQ(raised([&] { engine->setAudioDevice(two); }), "can not change AudioDevice");
    EXPECT_TRUE(log.has(SCENE, Logger::ERROR, "can not change AudioDevice"));
    EXPECT_EQ(engine->getAudioDevice(), nullptr);
}

} // namespace
