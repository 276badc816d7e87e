#pragma once

#include "core/Object.h"
#include "core/math/Matrix4x4.h"
#include "core/math/Vector4.h"
#include "render/FogState.h"
#include "render/GeometryState.h"
#include "render/LightState.h"
#include "render/MaterialState.h"
#include "render/Viewport.h"

namespace rezezaz::scene {
class Camera;
class Renderable;
class Scene;
} // namespace rezezaz::scene

namespace rezezaz::scene::material {

class RenderPass;

// The scene's current values that render variables write into shader variables: the viewport, the
// matrices of the item being drawn, the pass being set up and copies of the current material,
// geometry, fog and first light states. The render manager owns one and keeps it current.
class SceneParameters : public core::Object
{
public:
    SceneParameters() = default;

    render::Viewport viewport;
    core::math::Matrix4x4 projectionMatrix;
    core::math::Matrix4x4 viewMatrix;
    core::math::Matrix4x4 modelMatrix;
    // Not owned; null between passes.
    RenderPass* renderPass = nullptr;
    render::MaterialState materialState;
    render::GeometryState geometryState;
    render::FogState fogState;
    render::LightState lightState;
    // The ambient colour of the item being drawn.
    core::math::Vector4 ambientColor;
    // Not owned: the scene drawn, the camera of the render in progress and the item being drawn
    // (null outside a render or an item).
    Scene* scene = nullptr;
    Camera* camera = nullptr;
    Renderable* renderable = nullptr;
};

} // namespace rezezaz::scene::material
