#pragma once

#include "core/math/Vector4.h"

#include <cstdint>

namespace rezezaz::render {

// Filtering and addressing of one texture stage.
struct SamplerState
{
    enum FilterType : int32_t
    {
        FilterType_NONE = 0,
        FilterType_NEAREST = 1,
        FilterType_LINEAR = 2,
    };

    enum AddressType : int32_t
    {
        AddressType_REPEAT = 0,
        AddressType_CLAMP_TO_EDGE = 1,
        AddressType_CLAMP_TO_BORDER = 2,
        AddressType_MIRRORED_REPEAT = 3,
    };

    int32_t minFilter = FilterType_NEAREST;
    // None means no mipmapping.
    int32_t mipFilter = FilterType_NONE;
    int32_t magFilter = FilterType_NEAREST;
    int32_t uAddress = AddressType_REPEAT;
    int32_t vAddress = AddressType_REPEAT;
    int32_t wAddress = AddressType_REPEAT;
    // Kept with the record; the render device does not apply them.
    core::math::Vector4 borderColor;
    int32_t maxAnisotropy = 0;
    int32_t mipBias = 0;
    bool compare = false;
};

} // namespace rezezaz::render
