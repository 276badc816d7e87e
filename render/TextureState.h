#pragma once

#include "core/math/Matrix4x4.h"
#include "core/math/Vector4.h"

#include <cstdint>

namespace rezezaz::render {

// How one texture stage combines its texture with the previous stage, and how its texture
// coordinates are made.
struct TextureState
{
    enum Operation : int32_t
    {
        Operation_UNSPECIFIED = 0,
        Operation_REPLACE = 1,
        Operation_ADD = 2,
        Operation_MODULATE = 3,
        Operation_MODULATE_2X = 4,
        Operation_MODULATE_4X = 5,
        Operation_DOTPRODUCT = 6,
        Operation_ALPHABLEND = 7,
    };

    enum Source : int32_t
    {
        Source_UNSPECIFIED = 0,
        Source_PREVIOUS = 1,
        Source_TEXTURE = 2,
        Source_PRIMARY_COLOR = 3,
        Source_CONSTANT_COLOR = 4,
    };

    enum ShadowResult : int32_t
    {
        ShadowResult_NONE = 0,
        ShadowResult_LUMINANCE = 1,
        ShadowResult_INTENSITY = 2,
    };

    enum CalculationType : int32_t
    {
        CalculationType_UNSPECIFIED = 0,
        CalculationType_NORMAL = 1,
        CalculationType_OBJECTSPACE = 2,
        CalculationType_CAMERASPACE = 3,
    };

    int32_t colorOperation = Operation_UNSPECIFIED;
    int32_t colorSource1 = Source_UNSPECIFIED;
    int32_t colorSource2 = Source_UNSPECIFIED;
    int32_t colorSource3 = Source_UNSPECIFIED;
    int32_t alphaOperation = Operation_UNSPECIFIED;
    int32_t alphaSource1 = Source_UNSPECIFIED;
    int32_t alphaSource2 = Source_UNSPECIFIED;
    int32_t alphaSource3 = Source_UNSPECIFIED;
    core::math::Vector4 constantColor;
    int32_t shadowResult = ShadowResult_NONE;
    int32_t texCoordIndex = 0;
    int32_t calculation = CalculationType_UNSPECIFIED;
    // The texture matrix, or the coordinate generation planes; the identity by default.
    core::math::Matrix4x4 matrix;
};

} // namespace rezezaz::render
