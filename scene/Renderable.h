#pragma once

namespace rezezaz::scene {

class Bound;
class RenderManager;
class Transform;

namespace material {
class Material;
}

// One drawable piece: its material (may be null), where to draw it, its world bound, and the draw
// calls it issues through the render manager.
class Renderable
{
public:
    virtual ~Renderable() = default;

    virtual material::Material* getRenderMaterial() = 0;
    virtual Transform* getRenderTransform() = 0;
    virtual Bound* getRenderBound() = 0;
    virtual void render(RenderManager* manager) = 0;
};

} // namespace rezezaz::scene
