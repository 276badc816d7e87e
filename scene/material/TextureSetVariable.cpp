#include "scene/material/TextureSetVariable.h"

#include "scene/material/RenderPass.h"
#include "scene/material/SceneParameters.h"

#include <cstring>

namespace rezezaz::scene::material {

TextureSetVariable::TextureSetVariable(const core::String& textureName_) : TextureLocationVariable(textureName_) {}

int TextureSetVariable::getFormat()
{
    return FORMAT_FLOAT1;
}

void TextureSetVariable::update(unsigned char* data, SceneParameters* parameters)
{
    if (textureIndex < 0) {
        return;
    }
    const RenderPass* pass = parameters->renderPass;
    const RenderPass::TextureData* entry = pass != nullptr ? pass->getTexture(shaderType, textureIndex) : nullptr;
    const float value = entry != nullptr && entry->texture ? 1.0f : 0.0f;
    std::memcpy(data, &value, sizeof value);
}

} // namespace rezezaz::scene::material
