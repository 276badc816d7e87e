#include "content/studio/StudioModel.h"

namespace rezezaz::scene::studio {

void StudioModel::destroy()
{
    buffer_.reset();
    bufferLength_ = 0;
    header_ = nullptr;
    textures_.clear();
    materials_.clear();
    meshData_.clear();
    BaseResource::destroy();
}

void StudioModel::setBuffer(unsigned char* buffer, int length)
{
    buffer_.reset(buffer);
    bufferLength_ = length;
    header_ = buffer;
}

} // namespace rezezaz::scene::studio
