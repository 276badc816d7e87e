#pragma once

#include "support/LogRecorder.h"
#include "support/gl/GLDrawFixture.h"

#include "content/EngineHandlers.h"
#include "core/IntrusivePointer.h"
#include "core/Logger.h"
#include "core/math/Vector3.h"
#include "render/IndexData.h"
#include "render/LightState.h"
#include "render/Shader.h"
#include "render/Texture.h"
#include "render/TextureFormat.h"
#include "render/VertexData.h"
#include "scene/BaseComponent.h"
#include "scene/Bound.h"
#include "scene/Engine.h"
#include "scene/LightComponent.h"
#include "scene/Node.h"
#include "scene/RenderableSet.h"
#include "scene/Renderable.h"
#include "scene/Scene.h"
#include "scene/Spacial.h"
#include "scene/TextureManager.h"
#include "scene/Visible.h"
#include "scene/material/Material.h"
#include "scene/material/RenderPass.h"
#include "scene/material/RenderPath.h"
#include "scene/material/SceneParameters.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace gltest {

// An engine on the test's OpenGL device, its handlers installed once the device is there so that the
// built-in creators build their programs on it; with the scene warnings recorded and helpers to make
// textures, pick a material's shader pass and draw a pass over the viewport.
class GLEngineFixture : public GLDrawFixture
{
protected:
    void SetUp() override
    {
        GLDrawFixture::SetUp();
        if (HasFatalFailure() || IsSkipped()) {
            return;
        }
        engine = new rezezaz::scene::Engine(nullptr, nullptr);
        engine->setRenderDevice(device.get());
        installHandlers(*engine);
    }

    void TearDown() override
    {
        if (engine) {
            engine->destroy();
            engine = nullptr;
        }
        GLDrawFixture::TearDown();
    }

    // The scene warnings: variables and textures that did not link.
    std::vector<std::string> sceneWarnings() const
    {
        return logs.texts("rezezaz.scene", rezezaz::core::Logger::WARNING);
    }

    // A texture of one opaque texel.
    rezezaz::core::IntrusivePointer<rezezaz::render::Texture> texel(unsigned char r, unsigned char g,
                                                                    unsigned char b)
    {
        rezezaz::core::IntrusivePointer<rezezaz::render::TextureFormat> format =
            new rezezaz::render::TextureFormat(2, rezezaz::render::TextureFormat::Format_RGBA_8, 1, 1, 1, 1);
        unsigned char rgba[4] = {r, g, b, 0xFF};
        return engine->getTextureManager()->createTexture(1, format, rgba);
    }

    // The same of the colour 0xRRGGBB.
    rezezaz::core::IntrusivePointer<rezezaz::render::Texture> texel(uint32_t colour)
    {
        return texel(static_cast<unsigned char>(colour >> 16), static_cast<unsigned char>(colour >> 8),
                     static_cast<unsigned char>(colour));
    }

    // The shader pass the material manager chose: the material's first path.
    static rezezaz::scene::material::RenderPass* shaderPass(rezezaz::scene::material::Material& material)
    {
        EXPECT_NE(material.getBestPath(), nullptr);
        EXPECT_EQ(material.getBestPath(), material.getPath(0));
        return material.getBestPath() ? material.getBestPath()->getPass(0) : nullptr;
    }

    // Draws a quad over the whole viewport at depth z, facing +z, through the pass (identity
    // matrices), its variables taken from the parameters with the viewport set to the window's.
    void drawQuad(rezezaz::scene::material::RenderPass* pass, rezezaz::scene::material::SceneParameters* parameters,
                  float z)
    {
        using rezezaz::render::IndexData;
        using rezezaz::render::Shader;
        constexpr int FLOAT2 = VertexFormat::makeFormat(VertexFormat::Type_FLOAT32, 2);
        constexpr int FLOAT3 = VertexFormat::makeFormat(VertexFormat::Type_FLOAT32, 3);
        rezezaz::core::IntrusivePointer<VertexFormat> layout =
            makeFormat({{VertexFormat::Semantic_POSITION, 0, FLOAT3},
                        {VertexFormat::Semantic_NORMAL, 0, FLOAT3},
                        {VertexFormat::Semantic_TEXCOORD, 0, FLOAT2}});
        const float vertices[] = {-1, -1, z, 0, 0, 1, 0, 0, 1,  -1, z, 0, 0, 1, 1, 0,
                                  1,  1,  z, 0, 0, 1, 1, 1, -1, 1,  z, 0, 0, 1, 0, 1};
        rezezaz::core::IntrusivePointer<rezezaz::render::VertexData> data =
            new rezezaz::render::VertexData(makeVertices(layout, vertices, 4));
        rezezaz::core::IntrusivePointer<IndexData> fan = new IndexData(IndexData::Primitive_TRIANGLE_FAN, nullptr, 0, 4);
        parameters->viewport.width = width;
        parameters->viewport.height = height;
        parameters->renderPass = pass;
        ASSERT_TRUE(device->setRenderState(pass->getRenderState()));
        ASSERT_TRUE(device->setShaderState(pass->getShaderState()));
        pass->updateVariables(1, parameters);
        pass->updateVariables(2, parameters);
        for (int t = 0; t < Shader::NUM_SHADER_TYPES; ++t) {
            const auto type = static_cast<Shader::ShaderType>(t);
            for (int j = 0; j < pass->getNumBuffers(type); ++j) {
                device->setBuffer(type, j, pass->getBuffer(type, j)->buffer.get());
            }
            for (int unit = 0; unit < pass->getNumTextures(type); ++unit) {
                device->setTexture(type, unit, pass->getTexture(type, unit)->texture.get());
            }
        }
        clear();
        device->renderPrimitive(data.get(), fan.get());
    }

    // A node under the scene's root with a light of the default state shining along direction.
    static void addLamp(rezezaz::scene::Scene* scene, const rezezaz::core::math::Vector3& direction)
    {
        rezezaz::core::IntrusivePointer<rezezaz::scene::Node> lamp(new rezezaz::scene::Node(scene));
        rezezaz::core::IntrusivePointer<rezezaz::scene::LightComponent> light(new rezezaz::scene::LightComponent());
        rezezaz::render::LightState state = rezezaz::scene::LightComponent::defaultLightState();
        state.direction = direction;
        light->setLightState(state);
        lamp->attach(light.get());
        scene->getRoot()->attach(lamp.get());
    }

    support::LogRecorder logs;
    rezezaz::core::IntrusivePointer<rezezaz::scene::Engine> engine;
};

// A component a test draws through a scene: spacial and visible on its node, always rendered, queued
// whole, with a local bound the test sets (or shares) and the world bound following its node. What it
// draws, and with which material, is the test's.
class DrawnComponent : public rezezaz::scene::BaseComponent,
                       public rezezaz::scene::Spacial,
                       public rezezaz::scene::Visible,
                       public rezezaz::scene::Renderable
{
public:
    void parentChanged(rezezaz::scene::Node* node) override
    {
        if (parent != nullptr) {
            parent->spacialRemoved(this);
            parent->visibleRemoved(this);
        }
        BaseComponent::parentChanged(node);
        if (parent != nullptr) {
            parent->spacialAttached(this);
            parent->visibleAttached(this);
        }
    }

    rezezaz::scene::Transform* getTransform() override { return nullptr; }
    rezezaz::scene::Transform* getWorldTransform() override { return nullptr; }
    rezezaz::scene::Bound* getBound() override { return bound.get(); }
    rezezaz::scene::Bound* getWorldBound() override { return worldBound.get(); }
    void transformChanged(rezezaz::scene::Transform*) override
    {
        if (parent != nullptr) {
            worldBound->transform(*bound, *parent->getWorldTransform());
        }
    }

    bool getRendered() override { return true; }
    void setRendered(bool) override {}
    void setSharedRenderState(rezezaz::render::RenderState*) override {}
    rezezaz::render::RenderState* getSharedRenderState() override { return nullptr; }
    void gatherRenderables(rezezaz::scene::Camera*, rezezaz::scene::RenderableSet* set) override
    {
        set->queueRenderable(this);
    }

    rezezaz::scene::Transform* getRenderTransform() override { return parent->getWorldTransform(); }
    rezezaz::scene::Bound* getRenderBound() override { return worldBound.get(); }

    rezezaz::core::IntrusivePointer<rezezaz::scene::Bound> bound{new rezezaz::scene::Bound()};
    rezezaz::core::IntrusivePointer<rezezaz::scene::Bound> worldBound{new rezezaz::scene::Bound()};
};

} // namespace gltest
