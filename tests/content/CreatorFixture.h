#pragma once

#include "content/EngineHandlers.h"
#include "core/Exception.h"
#include "core/IntrusivePointer.h"
#include "core/Logger.h"
#include "core/math/Vector4.h"
#include "render/DepthState.h"
#include "render/MaterialState.h"
#include "render/RenderState.h"
#include "scene/Engine.h"
#include "scene/material/Material.h"
#include "scene/material/RenderPass.h"
#include "scene/material/RenderPath.h"
#include "support/CallLog.h"
#include "support/LogRecorder.h"
#include "support/MaterialNames.h"
#include "support/RecordingRenderDevice.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace contenttest {

using Names = std::vector<std::string>;

// An engine for the built-in creators: on a recording device whose capabilities a test chooses
// (materials), or backed without a device (its buffers and textures keep their data for reading back).
class CreatorFixture : public ::testing::Test
{
protected:
    template <class T> using Pointer = rezezaz::core::IntrusivePointer<T>;

    CreatorFixture() { device.caps.maxTextureStages = 8; }

    // The device first, then the handlers, so that the creators have shader states to give.
    void installOnDevice(bool shaders, bool fixed)
    {
        for (int t = 0; t < 3; ++t) {
            device.caps.hasShader[t] = shaders;
            device.caps.hasFixed[t] = fixed;
        }
        engine->setRenderDevice(&device);
        installHandlers(*engine);
        calls->take();
    }

    // Backed by shaders and the fixed pipeline, without a device.
    void installBacked()
    {
        engine->setHasBackableShader(true);
        engine->setHasBackableFixed(true);
        installHandlers(*engine);
    }

    // The texts of the warnings logged under the scene category.
    Names sceneWarnings() const
    {
        return logs.texts("rezezaz.scene", rezezaz::core::Logger::WARNING);
    }

    static Names pathNames(const rezezaz::scene::material::Material& material)
    {
        return support::pathNames(material);
    }

    // Each variable of a pass as "name:Class:scope".
    static Names variables(const rezezaz::scene::material::RenderPass& pass)
    {
        return support::passVariables(pass);
    }

    // The render state's depth is tested less-or-equal and not written.
    static void expectReadOnlyDepth(rezezaz::render::RenderState* state)
    {
        rezezaz::render::DepthState depth;
        ASSERT_TRUE(state->getDepthState(depth));
        EXPECT_EQ(depth.test, rezezaz::render::DepthState::DepthTest_LESS_EQUAL);
        EXPECT_FALSE(depth.write);
    }

    // The render state's material state: lit or not, with that ambient colour and shininess, and
    // otherwise untracked colours, smooth shading, rescaled normals, white diffuse and specular
    // colours, no emission and no alpha test.
    static void expectMaterialState(rezezaz::render::RenderState* state, bool light,
                                    const rezezaz::core::math::Vector4& ambient, float shininess)
    {
        using rezezaz::core::math::Vector4;
        rezezaz::render::MaterialState lighting;
        ASSERT_TRUE(state->getMaterialState(lighting));
        EXPECT_EQ(lighting.light, light);
        EXPECT_FALSE(lighting.trackColor);
        EXPECT_EQ(lighting.shade, rezezaz::render::MaterialState::ShadeType_GOURAUD);
        EXPECT_EQ(lighting.normalize, rezezaz::render::MaterialState::Normalize_RESCALE);
        EXPECT_EQ(lighting.ambient, ambient);
        EXPECT_EQ(lighting.diffuse, Vector4(1, 1, 1, 1));
        EXPECT_EQ(lighting.specular, Vector4(1, 1, 1, 1));
        EXPECT_EQ(lighting.shininess, shininess);
        EXPECT_EQ(lighting.emissive, Vector4(0, 0, 0, 0));
        EXPECT_EQ(lighting.alphaTest, rezezaz::render::MaterialState::AlphaTest_NONE);
        EXPECT_EQ(lighting.alphaCutoff, 0.5f);
    }

    // The description of the engine error the call raises, "" for none.
    static std::string raised(const std::function<void()>& call)
    {
        try {
            call();
        } catch (const rezezaz::core::Exception& e) {
            return e.getDescription();
        }
        return "";
    }

    support::SharedCallLog calls = std::make_shared<support::CallLog>();
    support::RecordingRenderDevice device{calls};
    Pointer<rezezaz::scene::Engine> engine{new rezezaz::scene::Engine(nullptr, nullptr)};
    support::LogRecorder logs;
};

} // namespace contenttest
