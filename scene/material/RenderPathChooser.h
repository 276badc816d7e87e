#pragma once

#include "core/IntrusivePointer.h"
#include "scene/material/RenderPath.h"

namespace rezezaz::scene::material {

class Material;

// Chooses the render path a material is drawn with, in place of the material manager's own choice
// of the first path the render device can run. Installed by an application that wants to choose.
class RenderPathChooser
{
public:
    virtual ~RenderPathChooser() = default;

    // The path to draw the material with, or null for none.
    virtual core::IntrusivePointer<RenderPath> choosePath(Material* material) = 0;
};

} // namespace rezezaz::scene::material
