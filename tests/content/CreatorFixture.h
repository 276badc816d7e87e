#pragma once

#include "core/Exception.h"
#include "core/IntrusivePointer.h"
#include "core/Logger.h"
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
        engine->installHandlers();
        calls->take();
    }

    // Backed by shaders and the fixed pipeline, without a device.
    void installBacked()
    {
        engine->setHasBackableShader(true);
        engine->setHasBackableFixed(true);
        engine->installHandlers();
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
