#pragma once

namespace rezezaz::render {
class RenderDevice;
}

namespace rezezaz::scene {

// Told around each step of the render context's life: the engine calls the "pre" operation before
// its managers move their device resources and the "post" one after. Listeners are not owned; a
// scene adds itself to its engine's listeners when it is made.
class ContextListener
{
public:
    virtual ~ContextListener() = default;

    virtual void preContextReset(render::RenderDevice* device) = 0;
    virtual void postContextReset(render::RenderDevice* device) = 0;
    virtual void preContextActivate(render::RenderDevice* device) = 0;
    virtual void postContextActivate(render::RenderDevice* device) = 0;
    virtual void preContextDeactivate(render::RenderDevice* device) = 0;
    virtual void postContextDeactivate(render::RenderDevice* device) = 0;
};

} // namespace rezezaz::scene
