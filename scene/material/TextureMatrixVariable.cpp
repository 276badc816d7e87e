#include "scene/material/TextureMatrixVariable.h"

#include "scene/material/RenderPass.h"
#include "scene/material/SceneParameters.h"

#include <cstring>

namespace rezezaz::scene::material {

TextureMatrixVariable::TextureMatrixVariable(const core::String& textureName_) : TextureLocationVariable(textureName_) {}

int TextureMatrixVariable::getFormat()
{
    return FORMAT_MATRIX4X4 + ((textureIndex + 1) << 16);
}

void TextureMatrixVariable::update(unsigned char* data, SceneParameters* parameters)
{
    if (textureIndex < 0) {
        return;
    }
    state.matrix = core::math::Matrix4x4();
    const RenderPass* pass = parameters->renderPass;
    if (pass != nullptr && pass->getRenderState() != nullptr) {
        pass->getRenderState()->getTextureState(shaderType, textureIndex, state);
    }
    std::memcpy(data, state.matrix.data, sizeof state.matrix.data);
}

} // namespace rezezaz::scene::material
