#pragma once

#include "ImageOracles.h"
#include "TextureReadBack.h"
#include "content/EngineHandlers.h"
#include "core/Exception.h"
#include "core/IntrusivePointer.h"
#include "scene/Engine.h"
#include "support/LogCapture.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace contenttest {

// An engine with its handlers and device-independent textures, buffers and render states, and no
// device, and a model reader of type Streamer on it: what the reader made can be read back.
template <class Streamer, class Model> class ModelStreamerFixture : public ::testing::Test
{
protected:
    using Bytes = std::vector<unsigned char>;

    void SetUp() override
    {
        engine = new rezezaz::scene::Engine(nullptr, nullptr);
        engine->setHasBackableFixed(true);
        installHandlers(*engine);
        streamer = new Streamer(engine.get());
    }

    void TearDown() override
    {
        streamer = nullptr;
        engine->destroy();
        engine = nullptr;
    }

    rezezaz::core::IntrusivePointer<Model> load(const Bytes& file)
    {
        auto resource = streamer->load(memoryStream(file), nullptr, nullptr);
        return rezezaz::core::IntrusivePointer<Model>(dynamic_cast<Model*>(resource.get()));
    }

    // The description of the error the reader raises for the file (its code -1), "" for none.
    std::string refusal(const Bytes& file)
    {
        try {
            load(file);
        } catch (const rezezaz::core::Exception& e) {
            EXPECT_EQ(e.getError(), -1);
            return e.getDescription();
        }
        return "";
    }

    support::LogCapture log;
    rezezaz::core::IntrusivePointer<rezezaz::scene::Engine> engine;
    rezezaz::core::IntrusivePointer<Streamer> streamer;
};

} // namespace contenttest
