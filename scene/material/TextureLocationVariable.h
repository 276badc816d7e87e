#pragma once

#include "core/String.h"
#include "render/Shader.h"
#include "scene/material/RenderVariable.h"

namespace rezezaz::scene::material {

// Base of the variables that describe the texture at a named texture location of the pass: linking
// finds the location's shader type and unit among the pass's texture locations; a name that matched
// none leaves the unit at -1, and the variable then writes nothing.
class TextureLocationVariable : public RenderVariable
{
public:
    explicit TextureLocationVariable(const core::String& textureName);

    void linked(RenderPass* pass) override;

    const core::String& getTextureName() const { return textureName; }
    render::Shader::ShaderType getShaderType() const { return shaderType; }
    int getTextureIndex() const { return textureIndex; }

protected:
    core::String textureName;
    render::Shader::ShaderType shaderType = render::Shader::ShaderType_VERTEX;
    int textureIndex = -1;
};

} // namespace rezezaz::scene::material
