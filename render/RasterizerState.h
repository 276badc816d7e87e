#pragma once

#include <cstddef>
#include <cstdint>

namespace rezezaz::render {

// How primitives become pixels: culling, fill mode, depth bias, multisampling, dithering and line
// width. Mesh files store the record raw (24 bytes), so its field order, widths and padding are a
// stored format; a reader ignores the two padding bytes.
struct RasterizerState
{
    enum CullType : int32_t
    {
        CullType_NONE = 0,
        CullType_FRONT = 1,
        CullType_BACK = 2,
    };

    enum FillType : int32_t
    {
        FillType_POINT = 0,
        FillType_LINE = 1,
        FillType_SOLID = 2,
    };

    int32_t cull = CullType_BACK;
    int32_t fill = FillType_SOLID;
    float depthBiasConstant = 0.0f;
    float depthBiasSlope = 0.0f;
    bool multisample = false;
    bool dither = false;
    uint8_t padding[2] = {0, 0};
    float lineSize = 1.0f;
};

static_assert(sizeof(RasterizerState) == 24, "RasterizerState is stored raw in mesh files");
static_assert(offsetof(RasterizerState, cull) == 0 && offsetof(RasterizerState, fill) == 4 &&
                  offsetof(RasterizerState, depthBiasConstant) == 8 &&
                  offsetof(RasterizerState, depthBiasSlope) == 12 &&
                  offsetof(RasterizerState, multisample) == 16 && offsetof(RasterizerState, dither) == 17 &&
                  offsetof(RasterizerState, lineSize) == 20,
              "RasterizerState is stored raw in mesh files");

} // namespace rezezaz::render
