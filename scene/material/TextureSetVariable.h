#pragma once

#include "core/String.h"
#include "scene/material/TextureLocationVariable.h"

namespace rezezaz::scene::material {

// 1 while the pass being drawn has a texture at the unit of a named texture location, else 0. Writes
// nothing when the name matched no unit of the pass it was linked in.
class TextureSetVariable : public TextureLocationVariable
{
public:
    explicit TextureSetVariable(const core::String& textureName);

    int getFormat() override;
    void update(unsigned char* data, SceneParameters* parameters) override;
};

} // namespace rezezaz::scene::material
