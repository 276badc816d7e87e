#pragma once

#include "core/math/Vector4.h"

#include <cstddef>
#include <cstdint>

namespace rezezaz::render {

// Fixed-function lighting material and alpha test. Mesh files store the record raw (112 bytes, the
// colours aligned to 16), so its field order, widths and padding are a stored format; a reader
// ignores the padding.
struct alignas(16) MaterialState
{
    enum ShadeType : int32_t
    {
        ShadeType_FLAT = 0,
        ShadeType_GOURAUD = 1,
        ShadeType_PHONG = 2,
    };

    enum Normalize : int32_t
    {
        Normalize_NONE = 0,
        Normalize_RESCALE = 1,
        Normalize_NORMALIZE = 2,
    };

    enum AlphaTest : int32_t
    {
        AlphaTest_NONE = 0,
        AlphaTest_LESS = 1,
        AlphaTest_EQUAL = 2,
        AlphaTest_LESS_EQUAL = 3,
        AlphaTest_GREATER = 4,
        AlphaTest_NOT_EQUAL = 5,
        AlphaTest_GREATER_EQUAL = 6,
        AlphaTest_ALWAYS = 7,
    };

    bool light = false;
    bool trackColor = false;
    uint8_t padding0[2] = {0, 0};
    int32_t shade = ShadeType_GOURAUD;
    int32_t normalize = Normalize_NONE;
    uint8_t padding1[4] = {0, 0, 0, 0};
    core::math::Vector4 ambient;
    core::math::Vector4 diffuse;
    core::math::Vector4 specular;
    float shininess = 0.0f;
    uint8_t padding2[12] = {};
    core::math::Vector4 emissive;
    int32_t alphaTest = AlphaTest_NONE;
    float alphaCutoff = 0.0f;
    uint8_t padding3[8] = {};
};

static_assert(sizeof(MaterialState) == 112, "MaterialState is stored raw in mesh files");
static_assert(alignof(MaterialState) == 16, "MaterialState is stored raw in mesh files");
static_assert(offsetof(MaterialState, light) == 0 && offsetof(MaterialState, trackColor) == 1 &&
                  offsetof(MaterialState, shade) == 4 && offsetof(MaterialState, normalize) == 8 &&
                  offsetof(MaterialState, ambient) == 16 && offsetof(MaterialState, diffuse) == 32 &&
                  offsetof(MaterialState, specular) == 48 && offsetof(MaterialState, shininess) == 64 &&
                  offsetof(MaterialState, emissive) == 80 && offsetof(MaterialState, alphaTest) == 96 &&
                  offsetof(MaterialState, alphaCutoff) == 100,
              "MaterialState is stored raw in mesh files");

} // namespace rezezaz::render
