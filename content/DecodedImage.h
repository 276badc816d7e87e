#pragma once

#include "core/IntrusivePointer.h"
#include "render/TextureFormat.h"

#include <cstdint>
#include <vector>

namespace rezezaz::scene {

// What an image reader hands to the texture manager: the texture format and the bytes of each of
// its levels, largest first. A reader that recognises the file but cannot build a texture of it
// leaves the format null. The streamers own one only for the length of a load.
struct DecodedImage
{
    core::IntrusivePointer<render::TextureFormat> format;
    std::vector<std::vector<unsigned char>> levels;

    // The level pointers in the shape the texture manager takes them.
    std::vector<unsigned char*> levelPointers()
    {
        std::vector<unsigned char*> pointers;
        pointers.reserve(levels.size());
        for (auto& level : levels) {
            pointers.push_back(level.data());
        }
        return pointers;
    }
};

// The largest image the readers take: sides up to 16384 pixels and no more than 256 MiB of pixels
// (each reader takes a smaller byte limit when asked), checked in 64 bits before anything is allocated.
struct ImageLimits
{
    static constexpr int64_t MAX_SIDE = 16384;
    static constexpr int64_t MAX_BYTES = int64_t(1) << 28;

    static bool fits(int64_t width, int64_t height, int64_t pixelBytes, int64_t maxBytes = MAX_BYTES)
    {
        return width > 0 && height > 0 && width <= MAX_SIDE && height <= MAX_SIDE &&
               width * height * pixelBytes <= maxBytes;
    }
};

} // namespace rezezaz::scene
