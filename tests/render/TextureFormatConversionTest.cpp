#include "render/TextureFormatConversion.h"

#include "core/Exception.h"
#include "support/LogCapture.h"

#include <gtest/gtest.h>
#include <pixman.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

namespace rezezaz::render {
namespace {

using Bytes = std::vector<uint8_t>;
using F = TextureFormat;

// Converts a row of pixels of width `width` from src in code `from` to code `to`; the destination
// starts filled with 0xEE so untouched bytes show.
Bytes convertRow(int from, int to, Bytes src, int width, size_t dstSize)
{
    F srcFormat(2, from, width, 1, 1, 1);
    F dstFormat(2, to, width, 1, 1, 1);
    Bytes dst(dstSize, 0xEE);
    EXPECT_TRUE(TextureFormatConversion::convert(src.data(), &srcFormat, dst.data(), &dstFormat));
    return dst;
}

TEST(TextureFormatConversionTest, EveryRule)
{
    const Bytes l = {10, 200};
    const Bytes la = {10, 20, 200, 210};
    const Bytes rgb = {1, 2, 3, 4, 5, 6};
    const Bytes rgba = {1, 2, 3, 4, 5, 6, 7, 8};
    struct Case
    {
        int from;
        int to;
        Bytes src;
        Bytes expected;
    };
    const Case cases[] = {
        {0x101, 0x103, l, {255, 10, 255, 200}},
        {0x103, 0x101, la, {20, 210}},
        {0x102, 0x103, l, {10, 255, 200, 255}},
        {0x103, 0x102, la, {10, 200}},
        {0x101, 0x108, l, {10, 10, 10, 255, 200, 200, 200, 255}},
        {0x101, 0x109, l, {10, 10, 10, 255, 200, 200, 200, 255}},
        {0x108, 0x101, rgba, {1, 5}},
        {0x109, 0x101, rgba, {1, 5}},
        {0x101, 0x106, l, {10, 10, 10, 200, 200, 200}},
        {0x101, 0x107, l, {10, 10, 10, 200, 200, 200}},
        {0x106, 0x101, rgb, {1, 4}},
        {0x107, 0x101, rgb, {1, 4}},
        {0x102, 0x108, l, {255, 255, 255, 10, 255, 255, 255, 200}},
        {0x102, 0x109, l, {255, 255, 255, 10, 255, 255, 255, 200}},
        {0x108, 0x102, rgba, {4, 8}},
        {0x109, 0x102, rgba, {4, 8}},
        {0x103, 0x108, la, {10, 10, 10, 20, 200, 200, 200, 210}},
        {0x103, 0x109, la, {10, 10, 10, 20, 200, 200, 200, 210}},
        {0x108, 0x103, rgba, {1, 4, 5, 8}},
        {0x109, 0x103, rgba, {1, 4, 5, 8}},
        {0x106, 0x108, rgb, {1, 2, 3, 255, 4, 5, 6, 255}},
        {0x107, 0x109, rgb, {1, 2, 3, 255, 4, 5, 6, 255}},
        {0x108, 0x106, rgba, {1, 2, 3, 5, 6, 7}},
        {0x109, 0x107, rgba, {1, 2, 3, 5, 6, 7}},
        {0x106, 0x109, rgb, {3, 2, 1, 255, 6, 5, 4, 255}},
        {0x107, 0x108, rgb, {3, 2, 1, 255, 6, 5, 4, 255}},
        {0x109, 0x106, rgba, {3, 2, 1, 7, 6, 5}},
        {0x108, 0x107, rgba, {3, 2, 1, 7, 6, 5}},
        {0x106, 0x107, rgb, {3, 2, 1, 6, 5, 4}},
        {0x107, 0x106, rgb, {3, 2, 1, 6, 5, 4}},
        {0x108, 0x109, rgba, {3, 2, 1, 4, 7, 6, 5, 8}},
        {0x109, 0x108, rgba, {3, 2, 1, 4, 7, 6, 5, 8}},
        // Studio-range BT.601: black and white, then a saturated pair; alpha is written as 0.
        {0x100C, 0x108, {16, 128, 235, 128}, {0, 0, 0, 0, 255, 255, 255, 0}},
        {0x100C, 0x109, {16, 128, 235, 128}, {0, 0, 0, 0, 255, 255, 255, 0}},
        {0x100C, 0x108, {81, 90, 145, 240}, {255, 0, 0, 0, 255, 74, 74, 0}},
        {0x100C, 0x109, {81, 90, 145, 240}, {0, 0, 255, 0, 74, 74, 255, 0}},
        // Codes without a size of their own: every pixel reads, or writes, the first byte.
        {0x104, 0x108, l, {10, 10, 10, 255, 10, 10, 10, 255}},
        {0x104, 0x106, l, {10, 10, 10, 10, 10, 10}},
        {0x106, 0x104, rgb, {4}},
        {0x107, 0x104, rgb, {4}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << std::hex << c.from << " to " << c.to);
        EXPECT_TRUE(TextureFormatConversion::canConvert(c.from, c.to));
        EXPECT_EQ(convertRow(c.from, c.to, c.src, 2, c.expected.size()), c.expected);
    }
}

TEST(TextureFormatConversionTest, WideRowsMatchPixelByPixel)
{
    // Long rows go through the converter's vector loops, single pixels through its plain ones; both
    // must give the same bytes, at every width around the vector steps.
    const int pairs[][2] = {{0x106, 0x108}, {0x107, 0x109}, {0x106, 0x109}, {0x107, 0x108}, {0x101, 0x108},
                            {0x101, 0x109}, {0x108, 0x109}, {0x109, 0x108}, {0x106, 0x107}, {0x107, 0x106},
                            {0x108, 0x106}, {0x109, 0x106}, {0x103, 0x108}, {0x100C, 0x108}, {0x100C, 0x109}};
    std::mt19937 random(7);
    for (const auto& pair : pairs) {
        const int srcSize = F::getPixelSize(pair[0]);
        const int dstSize = F::getPixelSize(pair[1]);
        for (int width = 1; width <= 70; ++width) {
            SCOPED_TRACE(::testing::Message() << std::hex << pair[0] << " to " << pair[1] << std::dec << " width "
                                              << width);
            Bytes src(static_cast<size_t>(width) * srcSize);
            for (uint8_t& byte : src) {
                byte = static_cast<uint8_t>(random());
            }
            Bytes whole = convertRow(pair[0], pair[1], src, width, static_cast<size_t>(width) * dstSize);
            // YUV pixels come in pairs; the rest one by one.
            const int step = pair[0] == 0x100C ? 2 : 1;
            Bytes single(whole.size(), 0xEE);
            for (int x = 0; x + step <= width; x += step) {
                Bytes part(src.begin() + x * srcSize, src.begin() + (x + step) * srcSize);
                Bytes out = convertRow(pair[0], pair[1], part, step, static_cast<size_t>(step) * dstSize);
                std::copy(out.begin(), out.end(), single.begin() + x * dstSize);
            }
            if (width % step != 0) {
                Bytes part(src.end() - srcSize, src.end());
                Bytes out = convertRow(pair[0], pair[1], part, 1, dstSize);
                std::copy(out.begin(), out.end(), single.end() - dstSize);
            }
            ASSERT_EQ(whole, single);
        }
    }
}

TEST(TextureFormatConversionTest, TightBoxesMatchRowByRow)
{
    // A box whose rows and slices follow each other without gaps is converted in one sweep; it must
    // give what converting it row by row gives, odd YUV rows included.
    const int pairs[][2] = {{0x106, 0x109}, {0x101, 0x108}, {0x109, 0x108}, {0x107, 0x106}, {0x108, 0x103},
                            {0x100C, 0x108}, {0x108, 0x108}, {0x104, 0x106}};
    std::mt19937 random(3);
    for (const auto& pair : pairs) {
        for (int width : {1, 3, 16, 37}) {
            SCOPED_TRACE(::testing::Message() << std::hex << pair[0] << " to " << pair[1] << std::dec << " width "
                                              << width);
            const int height = 5;
            const int depth = 2;
            F from(3, pair[0], width, height, depth, 1);
            F to(3, pair[1], width, height, depth, 1);
            Bytes src(static_cast<size_t>(std::max(from.getDataSize(), 1)));
            for (uint8_t& byte : src) {
                byte = static_cast<uint8_t>(random());
            }
            Bytes whole(static_cast<size_t>(std::max(to.getDataSize(), 1)), 0xEE);
            ASSERT_TRUE(TextureFormatConversion::convert(src.data(), &from, whole.data(), &to));
            Bytes rows(whole.size(), 0xEE);
            for (int z = 0; z < depth; ++z) {
                for (int y = 0; y < height; ++y) {
                    F rowFrom(2, pair[0], width, 1, 1, 1);
                    F rowTo(2, pair[1], width, 1, 1, 1);
                    ASSERT_TRUE(TextureFormatConversion::convert(src.data() + z * from.yPitch + y * from.xPitch,
                                                                 &rowFrom,
                                                                 rows.data() + z * to.yPitch + y * to.xPitch, &rowTo));
                }
            }
            EXPECT_EQ(whole, rows);
        }
    }
}

TEST(TextureFormatConversionTest, OddYuvRowEndsWithinItsRow)
{
    // Three pixels: one pair and a lone pixel that has only its luma and U in the row.
    F srcFormat(2, 0x100C, 3, 1, 1, 1);
    F dstFormat(2, 0x108, 3, 1, 1, 1);
    Bytes src = {235, 128, 16, 128, 235, 0};
    Bytes dst(12, 0xEE);
    EXPECT_TRUE(TextureFormatConversion::convert(src.data(), &srcFormat, dst.data(), &dstFormat));
    EXPECT_EQ(dst, (Bytes{255, 255, 255, 0, 0, 0, 0, 0, 255, 255, 255, 0}));
}

TEST(TextureFormatConversionTest, YuvFollowsTheStudioRangeFormula)
{
    // Every luma against a grid of chroma pairs that includes both ends, checked against the 8.8
    // formula itself; the rows are long, so the vector loops take them.
    std::vector<int> chroma;
    for (int c = 0; c < 256; c += 3) {
        chroma.push_back(c);
    }
    chroma.push_back(255);
    auto clamp = [](int v) { return v < 0 ? 0 : (v > 255 ? 255 : v); };
    const int pairs = static_cast<int>(chroma.size() * chroma.size());
    F from(2, 0x100C, pairs * 2, 1, 1, 1);
    F to(2, 0x108, pairs * 2, 1, 1, 1);
    Bytes src(static_cast<size_t>(pairs) * 4);
    Bytes dst(static_cast<size_t>(pairs) * 8);
    for (int y = 0; y < 256; ++y) {
        size_t n = 0;
        for (int u : chroma) {
            for (int v : chroma) {
                src[n * 4] = static_cast<uint8_t>(y);
                src[n * 4 + 1] = static_cast<uint8_t>(u);
                src[n * 4 + 2] = static_cast<uint8_t>(255 - y);
                src[n * 4 + 3] = static_cast<uint8_t>(v);
                ++n;
            }
        }
        ASSERT_TRUE(TextureFormatConversion::convert(src.data(), &from, dst.data(), &to));
        for (size_t i = 0; i < n * 2; ++i) {
            const int luma = src[(i / 2) * 4 + (i % 2) * 2];
            const int d = src[(i / 2) * 4 + 1] - 128;
            const int e = src[(i / 2) * 4 + 3] - 128;
            const uint8_t expected[4] = {static_cast<uint8_t>(clamp((298 * luma + 409 * e - 4640) >> 8)),
                                         static_cast<uint8_t>(clamp((298 * luma - 100 * d - 208 * e - 4640) >> 8)),
                                         static_cast<uint8_t>(clamp((298 * luma + 516 * d - 4640) >> 8)), 0};
            if (std::memcmp(&dst[i * 4], expected, 4) != 0) {
                FAIL() << "Y " << luma << " U " << d + 128 << " V " << e + 128 << ": " << int(dst[i * 4]) << " "
                       << int(dst[i * 4 + 1]) << " " << int(dst[i * 4 + 2]) << " " << int(dst[i * 4 + 3]);
            }
        }
    }
}

TEST(TextureFormatConversionTest, PitchesAddressRowsAndSlices)
{
    // Two slices of 2 x 2 RGB pixels, rows padded to 8 bytes and slices to 20.
    F srcFormat(3, 0x106, 2, 2, 2, 1);
    srcFormat.xPitch = 8;
    srcFormat.yPitch = 20;
    srcFormat.zPitch = 40;
    Bytes src(40, 0);
    for (int z = 0; z < 2; ++z) {
        for (int y = 0; y < 2; ++y) {
            for (int x = 0; x < 2; ++x) {
                for (int c = 0; c < 3; ++c) {
                    src[z * 20 + y * 8 + x * 3 + c] = static_cast<uint8_t>(100 * z + 10 * y + 3 * x + c);
                }
            }
        }
    }
    struct Case
    {
        const char* name;
        int xPitch;
        bool bottomUp;
    };
    const Case cases[] = {{"top-down", 8, false}, {"bottom-up source", -8, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // With a negative pitch the first row in memory is the box's last: start + zPitch + xPitch.
        F from(&srcFormat, -1);
        from.xPitch = c.xPitch;
        from.yPitch = 20;
        from.zPitch = c.bottomUp ? 16 : 40;
        Bytes dst(2 * 2 * 2 * 4, 0);
        F to(3, 0x109, 2, 2, 2, 1);
        if (c.bottomUp) {
            // One slice per call: a bottom-up box is addressed from its own data size.
            from.zMax = 1;
            to.zMax = 1;
        }
        ASSERT_TRUE(TextureFormatConversion::convert(src.data(), &from, dst.data(), &to));
        for (int y = 0; y < 2; ++y) {
            int memoryRow = c.bottomUp ? 1 - y : y;
            for (int x = 0; x < 2; ++x) {
                const uint8_t* in = &src[memoryRow * 8 + x * 3];
                const uint8_t* out = &dst[y * 8 + x * 4];
                EXPECT_EQ(out[0], in[2]);
                EXPECT_EQ(out[1], in[1]);
                EXPECT_EQ(out[2], in[0]);
                EXPECT_EQ(out[3], 255);
            }
        }
        if (!c.bottomUp) {
            EXPECT_EQ(dst[16 + 8 + 4 + 2], src[20 + 8 + 3 + 0]);
        }
    }

    // A bottom-up destination: the first source row lands in the last row of memory.
    F tight(2, 0x101, 3, 2, 1, 1);
    F flipped(2, 0x101, 3, 2, 1, 1);
    flipped.xPitch = -3;
    Bytes lum = {1, 2, 3, 4, 5, 6};
    Bytes out(6, 0);
    ASSERT_TRUE(TextureFormatConversion::convert(lum.data(), &tight, out.data(), &flipped));
    EXPECT_EQ(out, (Bytes{4, 5, 6, 1, 2, 3}));
}

TEST(TextureFormatConversionTest, EqualCodesCopyWholeRowsWithinBothPitches)
{
    // A tight 2 x 2 RGBA source into a destination padded to 12 bytes a row, and back. The copy
    // moves 8 bytes a row either way, so neither side is read or written past its rows.
    Bytes tightData = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    F tight(2, 0x108, 2, 2, 1, 1);
    F padded(2, 0x108, 2, 2, 1, 1);
    padded.xPitch = 12;
    padded.yPitch = 24;
    padded.zPitch = 24;
    Bytes paddedData(20, 0xEE);
    ASSERT_TRUE(TextureFormatConversion::convert(tightData.data(), &tight, paddedData.data(), &padded));
    EXPECT_EQ(paddedData, (Bytes{1, 2, 3, 4, 5, 6, 7, 8, 0xEE, 0xEE, 0xEE, 0xEE, 9, 10, 11, 12, 13, 14, 15, 16}));
    Bytes back(16, 0);
    ASSERT_TRUE(TextureFormatConversion::convert(paddedData.data(), &padded, back.data(), &tight));
    EXPECT_EQ(back, tightData);

    // Compressed codes copy their pitch's worth: an 8 x 8 DXT1 box is 32 bytes.
    F dxt1(2, 0xB06, 8, 8, 1, 1);
    Bytes blocks(32);
    for (size_t i = 0; i < blocks.size(); ++i) {
        blocks[i] = static_cast<uint8_t>(i * 7 + 1);
    }
    Bytes copy(32, 0);
    ASSERT_TRUE(TextureFormatConversion::convert(blocks.data(), &dxt1, copy.data(), &dxt1));
    EXPECT_EQ(copy, blocks);
    // Levels below a block still move their whole block.
    for (int code : {0xB06, 0xF08}) {
        F small(2, code, 2, 1, 1, 1);
        ASSERT_EQ(small.zPitch, code == 0xB06 ? 8 : 16);
        Bytes block(blocks.begin(), blocks.begin() + small.zPitch);
        Bytes out(block.size(), 0);
        ASSERT_TRUE(TextureFormatConversion::convert(block.data(), &small, out.data(), &small));
        EXPECT_EQ(out, block) << std::hex << code;
    }

    // Codes without a pixel size have no pitches: nothing moves.
    for (int code : {0x110C, 0x20D, 0x104}) {
        F sizeless(2, code, 4, 4, 1, 1);
        Bytes in(16, 1);
        Bytes outBytes(16, 0);
        EXPECT_TRUE(TextureFormatConversion::convert(in.data(), &sizeless, outBytes.data(), &sizeless));
        EXPECT_EQ(outBytes, Bytes(16, 0));
    }
}

TEST(TextureFormatConversionTest, BoxesOutsideTheirDataAreRefused)
{
    // Each case states a data size (zPitch) that the box does not fit in; the converter must neither
    // read nor write.
    struct Case
    {
        const char* name;
        int from;
        int to;
        int srcXPitch, srcZPitch;
        int dstXPitch, dstZPitch;
    };
    const Case cases[] = {
        {"source rows longer than its data", 0x108, 0x109, 8, 12, 8, 16},
        {"destination rows longer than its data", 0x106, 0x108, 6, 12, 8, 12},
        {"padded destination too small", 0x108, 0x108, 8, 16, 12, 16},
        {"bottom-up source starting before its data", 0x101, 0x101, -2, 2, 2, 4},
        {"bottom-up destination without room", 0x106, 0x107, 6, 12, -6, 6},
        {"row pitch shorter than a row, bottom-up", 0x108, 0x106, -4, 16, 6, 12},
        {"sized source that states no data", 0x108, 0x109, 8, 0, 8, 16},
        {"sized destination that states no data", 0x106, 0x108, 6, 12, 8, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        support::LogCapture log;
        F from(2, c.from, 2, 2, 1, 1);
        from.xPitch = c.srcXPitch;
        from.yPitch = from.zPitch = c.srcZPitch;
        F to(2, c.to, 2, 2, 1, 1);
        to.xPitch = c.dstXPitch;
        to.yPitch = to.zPitch = c.dstZPitch;
        Bytes src(64, 7);
        Bytes dst(64, 0);
        // Both pointers in the middle, so a stray access would still be inside the vectors.
        EXPECT_FALSE(TextureFormatConversion::convert(src.data() + 32, &from, dst.data() + 32, &to));
        EXPECT_EQ(dst, Bytes(64, 0));
        ASSERT_EQ(log.listener.entries.size(), 1u);
        EXPECT_EQ(log.listener.entries[0].categoryName, "rezezaz.core");
    }
}

TEST(TextureFormatConversionTest, UnsupportedPairsAreRefused)
{
    struct Case
    {
        int from;
        int to;
    };
    const Case cases[] = {{0x108, 0x706}, {0x101, 0x102}, {0x108, 0x104}, {0x104, 0x101},
                          {0x109, 0x100C}, {0x606, 0x106}, {0xB06, 0xF08}, {0x100C, 0x106}};
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << std::hex << c.from << " to " << c.to);
        support::LogCapture log;
        EXPECT_FALSE(TextureFormatConversion::canConvert(c.from, c.to));
        F from(2, c.from, 2, 2, 1, 1);
        F to(2, c.to, 2, 2, 1, 1);
        Bytes src(64, 1);
        Bytes dst(64, 0);
        try {
            TextureFormatConversion::convert(src.data(), &from, dst.data(), &to);
            ADD_FAILURE() << "converted";
        } catch (const core::Exception& e) {
            EXPECT_EQ(e.getError(), -1);
            EXPECT_STREQ(e.getDescription(), "no format conversion available");
        }
        EXPECT_EQ(dst, Bytes(64, 0));
        ASSERT_EQ(log.listener.entries.size(), 1u);
        EXPECT_EQ(log.listener.entries[0].categoryName, "rezezaz.core");
        EXPECT_EQ(log.listener.entries[0].text, "no format conversion available");
    }
}

TEST(TextureFormatConversionTest, EmptyBoxesConvertNothing)
{
    F empty(2, 0x106, 0, 4, 1, 1);
    F to(2, 0x108, 0, 4, 1, 1);
    EXPECT_TRUE(TextureFormatConversion::convert(nullptr, &empty, nullptr, &to));
    F flat(2, 0x106, 4, 4, 0, 1);
    EXPECT_TRUE(TextureFormatConversion::convert(nullptr, &flat, nullptr, &to));
}

// The conversions that pixman also makes, on a box with padded rows, pixel for pixel.
pixman_format_code_t pixmanFormat(int code)
{
    switch (code) {
    case 0x102:
        return PIXMAN_a8;
    case 0x106:
        return PIXMAN_b8g8r8;
    case 0x107:
        return PIXMAN_r8g8b8;
    case 0x108:
        return PIXMAN_a8b8g8r8;
    default:
        return PIXMAN_a8r8g8b8;
    }
}

TEST(TextureFormatConversionTest, AgreesWithPixman)
{
    const int pairs[][2] = {{0x106, 0x108}, {0x107, 0x109}, {0x106, 0x109}, {0x107, 0x108}, {0x108, 0x106},
                            {0x109, 0x107}, {0x109, 0x106}, {0x108, 0x107}, {0x106, 0x107}, {0x107, 0x106},
                            {0x108, 0x109}, {0x109, 0x108}, {0x108, 0x102}, {0x109, 0x102}};
    const int width = 37;
    const int height = 13;
    std::mt19937 random(15);
    for (const auto& pair : pairs) {
        SCOPED_TRACE(::testing::Message() << std::hex << pair[0] << " to " << pair[1]);
        // pixman wants rows of whole 32-bit words; pad them further to keep the rows apart.
        const int srcPitch = (width * F::getPixelSize(pair[0]) + 3) / 4 * 4 + 8;
        const int dstPitch = (width * F::getPixelSize(pair[1]) + 3) / 4 * 4 + 4;
        std::vector<uint32_t> srcWords(static_cast<size_t>(srcPitch) * height / 4);
        for (uint32_t& word : srcWords) {
            word = random();
        }
        std::vector<uint32_t> ours(static_cast<size_t>(dstPitch) * height / 4, 0);
        std::vector<uint32_t> theirs(ours.size(), 0);

        F from(2, pair[0], width, height, 1, 1);
        from.xPitch = srcPitch;
        from.yPitch = from.zPitch = srcPitch * height;
        F to(2, pair[1], width, height, 1, 1);
        to.xPitch = dstPitch;
        to.yPitch = to.zPitch = dstPitch * height;
        ASSERT_TRUE(TextureFormatConversion::convert(reinterpret_cast<uint8_t*>(srcWords.data()), &from,
                                                     reinterpret_cast<uint8_t*>(ours.data()), &to));

        pixman_image_t* srcImage =
            pixman_image_create_bits(pixmanFormat(pair[0]), width, height, srcWords.data(), srcPitch);
        pixman_image_t* dstImage =
            pixman_image_create_bits(pixmanFormat(pair[1]), width, height, theirs.data(), dstPitch);
        ASSERT_NE(srcImage, nullptr);
        ASSERT_NE(dstImage, nullptr);
        pixman_image_composite32(PIXMAN_OP_SRC, srcImage, nullptr, dstImage, 0, 0, 0, 0, 0, 0, width, height);
        pixman_image_unref(srcImage);
        pixman_image_unref(dstImage);

        const uint8_t* a = reinterpret_cast<const uint8_t*>(ours.data());
        const uint8_t* b = reinterpret_cast<const uint8_t*>(theirs.data());
        const int rowBytes = width * F::getPixelSize(pair[1]);
        int mismatches = 0;
        for (int y = 0; y < height; ++y) {
            for (int i = 0; i < rowBytes; ++i) {
                if (a[y * dstPitch + i] != b[y * dstPitch + i] && mismatches++ < 5) {
                    ADD_FAILURE() << "row " << y << " byte " << i << ": " << int(a[y * dstPitch + i])
                                  << " against " << int(b[y * dstPitch + i]);
                }
            }
        }
        EXPECT_EQ(mismatches, 0);
    }
}

} // namespace
} // namespace rezezaz::render
