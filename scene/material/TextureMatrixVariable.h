#pragma once

#include "core/String.h"
#include "render/Shader.h"
#include "render/TextureState.h"
#include "scene/material/RenderVariable.h"

namespace rezezaz::scene::material {

// The matrix of the texture state at the unit of a named texture location in the render state of the
// pass being drawn (the identity where the render state has none). Its format carries the unit plus
// one in bits 16 and up, which tells the device to apply that unit's own texture matrix as well.
// Writes nothing when the name matched no unit of the pass it was linked in.
class TextureMatrixVariable : public RenderVariable
{
public:
    explicit TextureMatrixVariable(const core::String& textureName);

    int getFormat() override;
    // Finds the unit of the texture name among the pass's texture locations.
    void linked(RenderPass* pass) override;
    void update(unsigned char* data, SceneParameters* parameters) override;

    const core::String& getTextureName() const { return textureName; }
    render::Shader::ShaderType getShaderType() const { return shaderType; }
    int getTextureIndex() const { return textureIndex; }

private:
    core::String textureName;
    render::Shader::ShaderType shaderType = render::Shader::ShaderType_VERTEX;
    int textureIndex = -1;
    // Filled in place, so that update allocates nothing.
    render::TextureState state;
};

} // namespace rezezaz::scene::material
