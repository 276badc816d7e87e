#include "scene/material/TextureLocationVariable.h"

#include "scene/material/RenderPass.h"

namespace rezezaz::scene::material {

TextureLocationVariable::TextureLocationVariable(const core::String& textureName_) : textureName(textureName_) {}

void TextureLocationVariable::linked(RenderPass* pass)
{
    render::Shader::ShaderType type = shaderType;
    int index = textureIndex;
    if (pass != nullptr && pass->findTexture(type, index, textureName, core::String())) {
        shaderType = type;
        textureIndex = index;
    }
}

} // namespace rezezaz::scene::material
