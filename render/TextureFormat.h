#pragma once

#include "core/IntrusivePointer.h"
#include "core/Object.h"

#include <cstdint>

namespace rezezaz::render {

// A box of pixels: the kind of texture, the pixel-format code, where the box starts and ends, the
// bytes between its rows and slices, and the mip levels it stands for. Every texture, pixel buffer
// and image loader creates or passes one.
//
// A pixel-format code is a channel layout in the low byte and a component type in bits 8-15.
class TextureFormat : public core::Object
{
public:
    enum Dimension : int
    {
        Dimension_1D = 1,
        Dimension_2D = 2,
        Dimension_3D = 3,
        Dimension_CUBE = 4,
    };

    enum Layout : int
    {
        Layout_L = 1,
        Layout_A = 2,
        Layout_LA = 3,
        Layout_RGB = 6,
        Layout_BGR = 7,
        Layout_RGBA = 8,
        Layout_BGRA = 9,
        Layout_YUV = 12,
        Layout_DEPTH = 13,
    };

    enum Type : int
    {
        Type_UINT8 = 0x100,
        Type_DEPTH16 = 0x200,
        Type_DEPTH24 = 0x300,
        Type_DEPTH32 = 0x400,
        Type_FLOAT32 = 0x600,
        Type_UINT16_5_6_5 = 0x700,
        Type_UINT16_5_5_5_1 = 0x800,
        Type_UINT16_4_4_4_4 = 0xA00,
        Type_DXT1 = 0xB00,
        Type_DXT2 = 0xC00,
        Type_DXT3 = 0xD00,
        Type_DXT4 = 0xE00,
        Type_DXT5 = 0xF00,
        // Each pair of pixels is the four bytes Y0, U, Y1, V.
        Type_YUV_422 = 0x1000,
        Type_YUV_OTHER = 0x1100,
    };

    enum Format : int
    {
        Format_UNKNOWN = 0,
        Format_L_8 = 0x101,
        Format_A_8 = 0x102,
        Format_LA_8 = 0x103,
        // Two single-byte codes without a size of their own: the converter reads and writes the
        // first like L, the device offers RGB for both.
        Format_RESERVED_104 = 0x104,
        Format_RESERVED_105 = 0x105,
        Format_RGB_8 = 0x106,
        Format_BGR_8 = 0x107,
        Format_RGBA_8 = 0x108,
        Format_BGRA_8 = 0x109,
        Format_L_FLOAT32 = 0x601,
        Format_A_FLOAT32 = 0x602,
        Format_LA_FLOAT32 = 0x603,
        Format_RGB_FLOAT32 = 0x606,
        Format_BGR_FLOAT32 = 0x607,
        Format_RGBA_FLOAT32 = 0x608,
        Format_BGRA_FLOAT32 = 0x609,
        Format_RGB_5_6_5 = 0x706,
        Format_BGR_5_6_5 = 0x707,
        Format_RGBA_5_5_5_1 = 0x808,
        Format_BGRA_5_5_5_1 = 0x809,
        Format_RGBA_4_4_4_4 = 0xA08,
        Format_BGRA_4_4_4_4 = 0xA09,
        Format_RGB_DXT1 = 0xB06,
        Format_RGBA_DXT2 = 0xC08,
        Format_RGBA_DXT3 = 0xD08,
        Format_RGBA_DXT4 = 0xE08,
        Format_RGBA_DXT5 = 0xF08,
        Format_YUV_422 = 0x100C,
        Format_YUV_OTHER = 0x110C,
        Format_DEPTH_16 = 0x20D,
        Format_DEPTH_24 = 0x30D,
        Format_DEPTH_32 = 0x40D,
    };

    static constexpr int getLayout(int pixelFormat) { return pixelFormat & 0xFF; }
    static constexpr int getType(int pixelFormat) { return pixelFormat & 0xFF00; }
    // Tightly packed pitches of a box, in 64 bits so that no size wraps: bytes from one row to the
    // next, from one slice to the next, and of the whole box.
    struct Pitches
    {
        int64_t row = 0;
        int64_t slice = 0;
        int64_t box = 0;

        // True when all three fit the 32-bit pitch fields.
        bool fit() const;
    };

    // Bytes per pixel, the size that sets the row pitch; 0 for codes without a size of their own.
    // DXT1 takes half a byte and answers 0 here: its pitches come from getPitches.
    static int getPixelSize(int pixelFormat);
    // The pitches of a width x height x depth box in pixelFormat. A DXT level is stored in whole 4x4
    // blocks, max(1, ceil(w/4)) x max(1, ceil(h/4)) of them, 8 bytes each for DXT1 and 16 for DXT2 to
    // DXT5; its row pitch is a quarter of a block row (width / 2 bytes for DXT1, width bytes for the
    // others when the width is a multiple of 4) and its slice holds the whole block rows, so a 2x2 or
    // 1x1 level takes one whole block. A box without size (a width, height or depth of 0) has none;
    // a negative side gives negative pitches of the same size.
    static Pitches getPitches(int pixelFormat, int64_t width, int64_t height, int64_t depth);
    // Bytes of a row of width pixels (getPitches' row pitch); 0 when that does not fit in 32 bits.
    static int getRowPitch(int pixelFormat, int width);
    static bool isCompressed(int pixelFormat);

    // All fields zero.
    TextureFormat() = default;
    // A whole image: origin 0, the box width x height x depth, tightly packed pitches, mipMin 0. A box
    // whose pitches would not fit in 32 bits gets all three pitches 0: it states no data.
    TextureFormat(int dimension, int pixelFormat, int width, int height, int depth, int mipMax);
    // The format of mip level `level` of base; a plain copy with level -1. A null base counts as
    // an all-zero format.
    TextureFormat(const TextureFormat* base, int level);

    int getWidth() const { return xMax - xMin; }
    int getHeight() const { return yMax - yMin; }
    int getDepth() const { return zMax - zMin; }
    // Bytes of the whole box.
    int getDataSize() const { return zPitch; }
    // This box (its place, size and mip range) in another pixel format with tightly packed pitches;
    // null when those pitches do not fit in 32 bits, so no caller allocates a wrapped size.
    core::IntrusivePointer<TextureFormat> withPixelFormat(int pixelFormat) const;

    // True when all thirteen fields are equal.
    bool equals(const TextureFormat& other) const;
    // True when box is a non-empty box that lies within this format's box.
    bool containsBox(const TextureFormat& box) const;

    int32_t dimension = 0;
    int32_t pixelFormat = 0;
    int32_t xMin = 0;
    int32_t yMin = 0;
    int32_t zMin = 0;
    int32_t xMax = 0;
    int32_t yMax = 0;
    int32_t zMax = 0;
    int32_t xPitch = 0;
    int32_t yPitch = 0;
    int32_t zPitch = 0;
    int32_t mipMin = 0;
    // The number of levels a loader provides, 1 for a single level.
    int32_t mipMax = 0;

private:
    void computePitches();
};

} // namespace rezezaz::render
