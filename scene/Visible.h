#pragma once

namespace rezezaz::render {
class RenderState;
}

namespace rezezaz::scene {

class Camera;
class RenderableSet;

// A component that puts drawable pieces into the render queue when its node is gathered.
class Visible
{
public:
    virtual ~Visible() = default;

    virtual bool getRendered() = 0;
    virtual void setRendered(bool rendered) = 0;
    virtual void setSharedRenderState(render::RenderState* state) = 0;
    virtual render::RenderState* getSharedRenderState() = 0;
    virtual void gatherRenderables(Camera* camera, RenderableSet* set) = 0;
};

} // namespace rezezaz::scene
