#pragma once

#include <cstddef>
#include <cstdint>

namespace rezezaz::render {

// How drawn colours combine with the target's. Mesh files store the record raw (12 bytes), so its
// field order and widths are a stored format. Source one, destination zero and a full write mask
// mean no blending.
struct BlendState
{
    enum Operation : int32_t
    {
        Operation_ONE = 0,
        Operation_ZERO = 1,
        Operation_DEST_COLOR = 2,
        Operation_SRC_COLOR = 3,
        Operation_ONE_MINUS_DEST_COLOR = 4,
        Operation_ONE_MINUS_SRC_COLOR = 5,
        Operation_DEST_ALPHA = 6,
        Operation_SRC_ALPHA = 7,
        Operation_ONE_MINUS_DEST_ALPHA = 8,
        Operation_ONE_MINUS_SRC_ALPHA = 9,
    };

    enum ColorWrite : int32_t
    {
        ColorWrite_RED = 1,
        ColorWrite_GREEN = 2,
        ColorWrite_BLUE = 4,
        ColorWrite_ALPHA = 8,
        ColorWrite_ALL = 15,
    };

    int32_t source = Operation_ONE;
    int32_t dest = Operation_ZERO;
    int32_t colorWrite = ColorWrite_ALL;

    // True unless this is the record for blending off (one, zero, all channels written).
    bool blends() const { return !(source == Operation_ONE && dest == Operation_ZERO && colorWrite == ColorWrite_ALL); }
};

static_assert(sizeof(BlendState) == 12, "BlendState is stored raw in mesh files");
static_assert(offsetof(BlendState, source) == 0 && offsetof(BlendState, dest) == 4 &&
                  offsetof(BlendState, colorWrite) == 8,
              "BlendState is stored raw in mesh files");

} // namespace rezezaz::render
