#pragma once

#include "core/Interface.h"
#include "core/math/Vector4.h"

namespace rezezaz::render {
class RenderDevice;
}

namespace rezezaz::scene {

class Camera;
class Node;
class Renderable;

namespace material {
class RenderPass;
}

// How the scene and the drawable pieces reach the manager that draws a scene for a camera.
class RenderManager : public core::Interface
{
public:
    virtual void renderScene(render::RenderDevice* device, Node* node, Camera* camera) = 0;
    virtual void setupPass(material::RenderPass* pass, render::RenderDevice* device) = 0;
    virtual void setupPassForRenderable(material::RenderPass* pass, render::RenderDevice* device,
                                        Renderable* renderable, const core::math::Vector4& ambient) = 0;
    virtual render::RenderDevice* getDevice() = 0;
};

} // namespace rezezaz::scene
