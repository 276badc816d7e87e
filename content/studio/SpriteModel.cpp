#include "content/studio/SpriteModel.h"

#include <cstring>

namespace rezezaz::scene::studio {

void SpriteModel::destroy()
{
    buffer_.reset();
    bufferLength_ = 0;
    palette_ = nullptr;
    paletteColorCount_ = 0;
    textures_.clear();
    materials_.clear();
    BaseResource::destroy();
}

void SpriteModel::setBuffer(unsigned char* buffer, int length)
{
    buffer_.reset(buffer);
    bufferLength_ = length;
}

SpriteModel::header SpriteModel::getHeader() const
{
    header head;
    std::memset(&head, 0, sizeof head);
    if (buffer_ && bufferLength_ >= int(sizeof head)) {
        std::memcpy(&head, buffer_.get(), sizeof head);
    }
    return head;
}

void SpriteModel::setPalette(const unsigned char* palette, int colorCount)
{
    palette_ = palette;
    paletteColorCount_ = colorCount;
}

} // namespace rezezaz::scene::studio
