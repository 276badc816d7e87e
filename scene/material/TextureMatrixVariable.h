#pragma once

#include "core/String.h"
#include "render/TextureState.h"
#include "scene/material/TextureLocationVariable.h"

namespace rezezaz::scene::material {

// The matrix of the texture state at the unit of a named texture location in the render state of the
// pass being drawn (the identity where the render state has none). Its format carries the unit plus
// one in bits 16 and up, which tells the device to apply that unit's own texture matrix as well.
// Writes nothing when the name matched no unit of the pass it was linked in.
class TextureMatrixVariable : public TextureLocationVariable
{
public:
    explicit TextureMatrixVariable(const core::String& textureName);

    int getFormat() override;
    void update(unsigned char* data, SceneParameters* parameters) override;

private:
    // Filled in place, so that update allocates nothing.
    render::TextureState state;
};

} // namespace rezezaz::scene::material
