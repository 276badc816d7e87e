#pragma once

#include "core/IntrusivePointer.h"
#include "core/Logger.h"
#include "scene/Engine.h"
#include "scene/MaterialManager.h"
#include "support/CallLog.h"
#include "support/LogRecorder.h"
#include "support/RecordingRenderDevice.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace scenetest {

// An engine (not backed) on a recording device whose capabilities a test sets before attaching it.
class MaterialFixture : public ::testing::Test
{
protected:
    template <class T> using Pointer = rezezaz::core::IntrusivePointer<T>;

    MaterialFixture()
    {
        device.caps.maxTextureStages = 8;
        for (int t = 0; t < 3; ++t) {
            device.caps.hasShader[t] = true;
            device.caps.hasFixed[t] = true;
        }
    }

    void attachDevice() { engine->setRenderDevice(&device); }

    rezezaz::scene::MaterialManager* materials() const { return engine->getMaterialManager(); }

    // The texts of the warnings logged under the scene category.
    std::vector<std::string> sceneWarnings() const
    {
        return logs.texts("rezezaz.scene", rezezaz::core::Logger::WARNING);
    }

    support::SharedCallLog calls = std::make_shared<support::CallLog>();
    support::RecordingRenderDevice device{calls};
    Pointer<rezezaz::scene::Engine> engine{new rezezaz::scene::Engine(nullptr, nullptr)};
    support::LogRecorder logs;
};

} // namespace scenetest
