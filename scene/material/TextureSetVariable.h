#pragma once

#include "core/String.h"
#include "render/Shader.h"
#include "scene/material/RenderVariable.h"

namespace rezezaz::scene::material {

// 1 while the pass being drawn has a texture at the unit of a named texture location, else 0. Writes
// nothing when the name matched no unit of the pass it was linked in.
class TextureSetVariable : public RenderVariable
{
public:
    explicit TextureSetVariable(const core::String& textureName);

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
};

} // namespace rezezaz::scene::material
