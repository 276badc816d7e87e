#include "render/TextureFormat.h"

#include "core/IntrusivePointer.h"

#include <gtest/gtest.h>

namespace rezezaz::render {
namespace {

using F = TextureFormat;

TEST(TextureFormatTest, PixelSizes)
{
    struct Case
    {
        int code;
        int size;
    };
    const Case cases[] = {
        {0x101, 1},  {0x102, 1},  {0x103, 2},  {0x104, 0},  {0x105, 0}, {0x106, 3},  {0x107, 3},
        {0x108, 4},  {0x109, 4},  {0x601, 4},  {0x602, 4},  {0x603, 8}, {0x606, 12}, {0x607, 12},
        {0x608, 16}, {0x609, 16}, {0x706, 2},  {0x707, 2},  {0x808, 2}, {0x809, 2},  {0xA08, 2},
        {0xA09, 2},  {0xC08, 1},  {0xD08, 1},  {0xE08, 1},  {0xF08, 1}, {0x100C, 2}, {0x110C, 0},
        {0x20D, 0},  {0x30D, 0},  {0x40D, 0},  {0x10A, 0},  {0, 0},     {0x606 | 0x10000, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(F::getPixelSize(c.code), c.size) << std::hex << c.code;
    }
    // DXT1 takes half a byte a pixel, in whole blocks.
    EXPECT_EQ(F::getRowPitch(F::Format_RGB_DXT1, 8), 4);
    EXPECT_EQ(F::getRowPitch(F::Format_RGB_DXT1, 1), 2);
    EXPECT_EQ(F::getRowPitch(F::Format_RGBA_DXT5, 8), 8);
}

TEST(TextureFormatTest, CompressedLevelsTakeWholeBlocks)
{
    // max(1, ceil(w/4)) x max(1, ceil(h/4)) blocks of 8 (DXT1) or 16 bytes; multiples of 4 keep
    // width / 2 or width bytes a row.
    struct Case
    {
        int code, width, height, depth;
        int xPitch, yPitch, zPitch;
    };
    const Case cases[] = {
        {0xB06, 64, 64, 1, 32, 2048, 2048}, {0xB06, 4, 4, 1, 2, 8, 8},    {0xB06, 2, 2, 1, 2, 8, 8},
        {0xB06, 1, 1, 1, 2, 8, 8},          {0xB06, 5, 3, 1, 4, 16, 16},  {0xB06, 8, 4, 3, 4, 16, 48},
        {0xF08, 64, 64, 1, 64, 4096, 4096}, {0xF08, 2, 2, 1, 4, 16, 16},  {0xF08, 1, 1, 1, 4, 16, 16},
        {0xC08, 6, 9, 1, 8, 96, 96},        {0xD08, 1, 4, 1, 4, 16, 16},  {0xE08, 4, 1, 1, 4, 16, 16},
        // A code of a compressed type without a size of its own has no pitches.
        {0xB08, 8, 8, 1, 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << std::hex << c.code << std::dec << " " << c.width << "x" << c.height);
        F format(2, c.code, c.width, c.height, c.depth, 1);
        EXPECT_EQ(format.xPitch, c.xPitch);
        EXPECT_EQ(format.yPitch, c.yPitch);
        EXPECT_EQ(format.zPitch, c.zPitch);
    }

    // A 64x64 chain keeps a whole block in its last three levels.
    for (int code : {0xB06, 0xF08}) {
        const int block = code == 0xB06 ? 8 : 16;
        F base(2, code, 64, 64, 1, 7);
        for (int level = 4; level <= 6; ++level) {
            EXPECT_EQ(F(&base, level).zPitch, block) << std::hex << code << std::dec << " level " << level;
        }
    }
}

TEST(TextureFormatTest, BoxesInAnotherPixelFormat)
{
    // The place, size and mip range stay; the pitches are made for the new format, in 64 bits.
    F box(3, 0x106, 10, 6, 2, 4);
    box.xMin = 2;
    box.yMin = 1;
    box.mipMin = 1;
    core::IntrusivePointer<F> rgba = box.withPixelFormat(0x608);
    ASSERT_TRUE(rgba);
    EXPECT_EQ(rgba->pixelFormat, 0x608);
    EXPECT_EQ(rgba->dimension, 3);
    EXPECT_EQ(rgba->xMin, 2);
    EXPECT_EQ(rgba->yMin, 1);
    EXPECT_EQ(rgba->xMax, 10);
    EXPECT_EQ(rgba->mipMin, 1);
    EXPECT_EQ(rgba->mipMax, 4);
    EXPECT_EQ(rgba->xPitch, 8 * 16);
    EXPECT_EQ(rgba->yPitch, 5 * 8 * 16);
    EXPECT_EQ(rgba->zPitch, 2 * 5 * 8 * 16);
    // 8x5 pixels are 2x2 blocks of 8 bytes in each of the two slices.
    EXPECT_EQ(box.withPixelFormat(0xB06)->zPitch, 2 * 2 * 8 * 2);

    // A box whose size wraps in 32 bits in the new format (but not in its own) has no copy.
    struct Case
    {
        int code, width, height, depth, newCode;
    };
    const Case cases[] = {
        {0x101, 0x20000000, 1, 1, 0x608},
        {0x101, 65536, 16384, 1, 0x108},
        {0x101, 1024, 1024, 1024, 0x608},
    };
    for (const Case& c : cases) {
        F format(3, c.code, c.width, c.height, c.depth, 1);
        EXPECT_FALSE(format.withPixelFormat(c.newCode)) << c.width << "x" << c.height << "x" << c.depth;
    }
    const F::Pitches large = F::getPitches(0x608, 0x20000000, 1, 1);
    EXPECT_EQ(large.row, int64_t(0x20000000) * 16);
    EXPECT_FALSE(large.fit());
}

TEST(TextureFormatTest, WholeImages)
{
    struct Case
    {
        int dimension, code, width, height, depth;
        int xPitch, yPitch, zPitch;
    };
    const Case cases[] = {
        {2, 0x108, 256, 64, 1, 1024, 65536, 65536},
        {3, 0x106, 5, 3, 2, 15, 45, 90},
        {2, 0xB06, 8, 8, 1, 4, 32, 32},
        {2, 0xD08, 8, 8, 1, 8, 64, 64},
        {2, 0x100C, 4, 2, 1, 8, 16, 16},
        {2, 0x40D, 16, 16, 1, 0, 0, 0},
        {2, 0x104, 16, 16, 1, 0, 0, 0},
        // Too large for 32-bit pitches (a damaged header): no data rather than a wrapped size.
        {2, 0x108, 65536, 65536, 1, 0, 0, 0},
        {3, 0x608, 4096, 4096, 64, 0, 0, 0},
        {2, 0x108, 0x40000000, 1, 1, 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        core::IntrusivePointer<F> format(new F(c.dimension, c.code, c.width, c.height, c.depth, 1));
        EXPECT_EQ(format->dimension, c.dimension);
        EXPECT_EQ(format->pixelFormat, c.code);
        EXPECT_EQ(format->xMin, 0);
        EXPECT_EQ(format->getWidth(), c.width);
        EXPECT_EQ(format->getHeight(), c.height);
        EXPECT_EQ(format->getDepth(), c.depth);
        EXPECT_EQ(format->xPitch, c.xPitch);
        EXPECT_EQ(format->yPitch, c.yPitch);
        EXPECT_EQ(format->zPitch, c.zPitch);
        EXPECT_EQ(format->getDataSize(), c.zPitch);
        EXPECT_EQ(format->mipMin, 0);
        EXPECT_EQ(format->mipMax, 1);
    }
}

TEST(TextureFormatTest, MipLevels)
{
    struct Case
    {
        int dimension, code, width, height, depth;
        int level;
        int xMin, yMin, xMax, yMax, zMax;
        int xPitch, yPitch, zPitch;
    };
    const Case cases[] = {
        {2, 0x108, 256, 64, 1, 3, 0, 0, 32, 8, 1, 128, 1024, 1024},
        {2, 0x108, 256, 64, 1, 7, 0, 0, 2, 1, 1, 8, 8, 8},
        {2, 0x108, 256, 64, 1, 0, 0, 0, 256, 64, 1, 1024, 65536, 65536},
        {2, 0x108, 1, 1, 1, 4, 0, 0, 1, 1, 1, 4, 4, 4},
        {2, 0xB06, 1, 1, 1, 0, 0, 0, 1, 1, 1, 2, 8, 8},
        {2, 0xB06, 64, 64, 1, 3, 0, 0, 8, 8, 1, 4, 32, 32},
        {3, 0x101, 8, 8, 8, 2, 0, 0, 2, 2, 2, 2, 4, 8},
        {2, 0x108, 1 << 20, 4, 1, 40, 0, 0, 1, 1, 1, 4, 4, 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << std::hex << c.code << " level " << std::dec << c.level);
        F base(c.dimension, c.code, c.width, c.height, c.depth, 9);
        F mip(&base, c.level);
        EXPECT_EQ(mip.dimension, c.dimension);
        EXPECT_EQ(mip.pixelFormat, c.code);
        EXPECT_EQ(mip.mipMin, c.level);
        EXPECT_EQ(mip.mipMax, c.level);
        EXPECT_EQ(mip.xMin, c.xMin);
        EXPECT_EQ(mip.yMin, c.yMin);
        EXPECT_EQ(mip.xMax, c.xMax);
        EXPECT_EQ(mip.yMax, c.yMax);
        EXPECT_EQ(mip.zMax, c.zMax);
        EXPECT_EQ(mip.xPitch, c.xPitch);
        EXPECT_EQ(mip.yPitch, c.yPitch);
        EXPECT_EQ(mip.zPitch, c.zPitch);
    }

    // A sub-box: mins divide toward zero and are not clamped.
    F subBox(2, 0x108, 64, 64, 1, 7);
    subBox.xMin = 3;
    subBox.yMin = -3;
    subBox.xMax = 11;
    subBox.yMax = 9;
    F mip(&subBox, 1);
    EXPECT_EQ(mip.xMin, 1);
    EXPECT_EQ(mip.yMin, -1);
    EXPECT_EQ(mip.xMax, 5);
    EXPECT_EQ(mip.yMax, 4);
    EXPECT_EQ(mip.xPitch, 16);
    EXPECT_EQ(mip.yPitch, 80);
    EXPECT_EQ(mip.zPitch, 80);
}

TEST(TextureFormatTest, CopiesAndNullBases)
{
    F base(4, 0x109, 32, 32, 6, 6);
    base.xMin = 2;
    F copy(&base, -1);
    EXPECT_TRUE(copy.equals(base));
    copy.mipMax = 5;
    EXPECT_FALSE(copy.equals(base));

    F none(nullptr, -1);
    EXPECT_TRUE(none.equals(F()));
    EXPECT_EQ(none.xMax, 0);

    F level(nullptr, 2);
    EXPECT_EQ(level.xMax, 1);
    EXPECT_EQ(level.yMax, 1);
    EXPECT_EQ(level.zMax, 1);
    EXPECT_EQ(level.xPitch, 0);
    EXPECT_EQ(level.zPitch, 0);
    EXPECT_EQ(level.mipMin, 2);
}

TEST(TextureFormatTest, BoxesInsideAFormat)
{
    F image(2, 0x108, 16, 8, 1, 1);
    F box(&image, -1);
    EXPECT_TRUE(image.containsBox(box));
    box.xMin = 4;
    box.xMax = 16;
    EXPECT_TRUE(image.containsBox(box));
    box.xMax = 17;
    EXPECT_FALSE(image.containsBox(box));
    box.xMax = 16;
    box.yMin = -1;
    EXPECT_FALSE(image.containsBox(box));
    box.yMin = 8;
    EXPECT_FALSE(image.containsBox(box));
}

} // namespace
} // namespace rezezaz::render
