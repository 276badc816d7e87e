#pragma once

#include "render/Texture.h"
#include "render/TextureFormat.h"

#include <gtest/gtest.h>

#include <vector>

namespace contenttest {

// The bytes of a texture's first level as it holds them.
inline std::vector<unsigned char> texturePixels(rezezaz::render::Texture* texture)
{
    rezezaz::render::TextureFormat box(texture->getFormat(), 0);
    std::vector<unsigned char> bytes(static_cast<size_t>(box.getDataSize()));
    EXPECT_TRUE(texture->read(&box, bytes.data()));
    return bytes;
}

} // namespace contenttest
