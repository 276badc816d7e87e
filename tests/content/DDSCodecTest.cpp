#include "content/DDSCodec.h"

#include "ImageOracles.h"
#include "core/Exception.h"
#include "core/Log.h"
#include "render/TextureFormat.h"
#include "support/LogCapture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <numeric>
#include <string>
#include <vector>

using contenttest::memoryStream;
using rezezaz::core::Exception;
using rezezaz::render::TextureFormat;
using rezezaz::scene::DDSCodec;
using rezezaz::scene::DecodedImage;

namespace {

const std::string DATA = std::string(PELOTUNE_TEST_DATA) + "/data/";

void put32(std::vector<unsigned char>& b, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; ++i) {
        b[at + i] = static_cast<unsigned char>(v >> (8 * i));
    }
}

// A DDS file of the given code, sides and flags whose data are `dataBytes` bytes counting up.
std::vector<unsigned char> ddsFile(const char* code, uint32_t width, uint32_t height, uint32_t flags,
                                   uint32_t mipCount, uint32_t linearSize, size_t dataBytes)
{
    std::vector<unsigned char> b(128, 0);
    std::memcpy(b.data(), "DDS ", 4);
    put32(b, 4, 124);
    put32(b, 8, flags);
    put32(b, 12, height);
    put32(b, 16, width);
    put32(b, 20, linearSize);
    put32(b, 28, mipCount);
    put32(b, 80, 0x4);
    std::memcpy(b.data() + 84, code, 4);
    for (size_t i = 0; i < dataBytes; ++i) {
        b.push_back(static_cast<unsigned char>(i));
    }
    return b;
}

DecodedImage read(const std::vector<unsigned char>& file)
{
    return DDSCodec::read(memoryStream(file).get());
}

std::vector<size_t> levelSizes(const DecodedImage& image)
{
    std::vector<size_t> sizes;
    for (const auto& level : image.levels) {
        sizes.push_back(level.size());
    }
    return sizes;
}

// Every fixture made by nvcompress: its levels, in whole blocks, are exactly the file's data.
TEST(DDSCodecTest, FixturesLevelsAreTheFilesData)
{
    struct Case
    {
        const char* file;
        int pixelFormat;
        int width;
        int height;
        int levels;
    };
    const Case cases[] = {
        {"bc1-6x6.dds", TextureFormat::Format_RGB_DXT1, 6, 6, 3},
        {"bc2-6x6.dds", TextureFormat::Format_RGBA_DXT3, 6, 6, 3},
        {"bc3-6x6.dds", TextureFormat::Format_RGBA_DXT5, 6, 6, 3},
        {"bc1-20x12.dds", TextureFormat::Format_RGB_DXT1, 20, 12, 5},
        {"bc2-20x12.dds", TextureFormat::Format_RGBA_DXT3, 20, 12, 5},
        {"bc3-20x12.dds", TextureFormat::Format_RGBA_DXT5, 20, 12, 5},
        {"bc1-36x36.dds", TextureFormat::Format_RGB_DXT1, 36, 36, 6},
        {"bc2-36x36.dds", TextureFormat::Format_RGBA_DXT3, 36, 36, 6},
        {"bc3-36x36.dds", TextureFormat::Format_RGBA_DXT5, 36, 36, 6},
        {"bc1-64x64.dds", TextureFormat::Format_RGB_DXT1, 64, 64, 7},
        {"bc2-64x64.dds", TextureFormat::Format_RGBA_DXT3, 64, 64, 7},
        {"bc3-64x64.dds", TextureFormat::Format_RGBA_DXT5, 64, 64, 7},
        {"bc1-top.dds", TextureFormat::Format_RGB_DXT1, 256, 256, 9},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        const auto file = contenttest::readFile(DATA + c.file);
        ASSERT_FALSE(file.empty());
        const DecodedImage image = read(file);
        ASSERT_TRUE(image.format);
        EXPECT_EQ(image.format->pixelFormat, c.pixelFormat);
        EXPECT_EQ(image.format->getWidth(), c.width);
        EXPECT_EQ(image.format->getHeight(), c.height);
        EXPECT_EQ(image.format->mipMax, c.levels);
        ASSERT_EQ(static_cast<int>(image.levels.size()), c.levels);
        std::vector<unsigned char> data;
        for (const auto& level : image.levels) {
            data.insert(data.end(), level.begin(), level.end());
        }
        EXPECT_EQ(data, std::vector<unsigned char>(file.begin() + 128, file.end()));
    }
    const DecodedImage top = read(contenttest::readFile(DATA + "bc1-top.dds"));
    EXPECT_EQ(levelSizes(top), (std::vector<size_t>{32768, 8192, 2048, 512, 128, 32, 8, 8, 8}));
    // 36 x 36 halves to 18, 9, 4, 2, 1: 944 bytes, not the 968 that rounding the sides up would read.
    const DecodedImage odd = read(contenttest::readFile(DATA + "bc1-36x36.dds"));
    EXPECT_EQ(levelSizes(odd), (std::vector<size_t>{648, 200, 72, 8, 8, 8}));
}

TEST(DDSCodecTest, LevelCountFollowsTheFlagsAndTheSides)
{
    struct Case
    {
        const char* name;
        uint32_t width;
        uint32_t height;
        uint32_t flags;
        uint32_t mipCount;
        std::vector<size_t> sizes;
    };
    const Case cases[] = {
        {"mip count not valid", 64, 64, 0x1007, 7, {4096}},
        {"mip count 0", 8, 8, 0x21007, 0, {64}},
        {"mip count above the sides", 8, 4, 0x21007, 30, {32, 16, 16, 16}},
        {"6 x 6, linear size checked", 6, 6, 0xA1007, 3, {64, 16, 16}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const DecodedImage image = read(ddsFile("DXT5", c.width, c.height, c.flags, c.mipCount,
                                                static_cast<uint32_t>(c.sizes[0]), 4096));
        EXPECT_EQ(levelSizes(image), c.sizes);
        EXPECT_EQ(image.format->mipMax, static_cast<int>(c.sizes.size()));
    }
}

TEST(DDSCodecTest, FilesThatDoNotHoldEveryLevelAreRefusedAsTruncated)
{
    struct Case
    {
        const char* name;
        std::vector<unsigned char> file;
        std::string text;
    };
    auto headerCut = ddsFile("DXT1", 4, 4, 0x1007, 1, 0, 0);
    headerCut.resize(100);
    const Case cases[] = {
        {"header cut", headerCut, "DDSStreamer: File is truncated: 124 bytes of header expected from position 4, 96 there"},
        {"level cut", ddsFile("DXT1", 4, 4, 0x1007, 1, 0, 5),
         "DDSStreamer: File is truncated: 8 bytes of level data expected from position 128, 5 there"},
        // 8 x 8 DXT5 in 4 levels: 64 + 16 + 16 + 16 bytes; the last level is missing.
        {"last level missing", ddsFile("DXT5", 8, 8, 0x21007, 4, 0, 96),
         "DDSStreamer: File is truncated: 112 bytes of level data expected from position 128, 96 there"},
        {"16384 square DXT5, header only", ddsFile("DXT5", 16384, 16384, 0xA1007, 15, 268435456, 0),
         "DDSStreamer: File is truncated: 357913968 bytes of level data expected from position 128, 0 there"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        try {
            read(c.file);
            ADD_FAILURE() << "no refusal";
        } catch (const Exception& e) {
            EXPECT_EQ(e.getError(), -1);
            EXPECT_EQ(std::string(e.getDescription()), c.text);
        }
    }
}

TEST(DDSCodecTest, RefusalsAndUnsupportedCodes)
{
    struct Case
    {
        const char* name;
        std::vector<unsigned char> file;
        std::string text;
    };
    auto badMagic = ddsFile("DXT1", 4, 4, 0x1007, 1, 8, 8);
    badMagic[3] = 'X';
    const Case cases[] = {
        {"bad magic", badMagic, "bad magic number"},
        {"empty", {}, "bad magic number"},
        {"no caps", ddsFile("DXT1", 4, 4, 0x1006, 1, 8, 8), "invalid format or caps"},
        {"no pixel format", ddsFile("DXT1", 4, 4, 0x0007, 1, 8, 8), "invalid format or caps"},
        {"wrong linear size", ddsFile("DXT1", 4, 4, 0x81007, 1, 16, 8), "incorrect size"},
        {"no width", ddsFile("DXT1", 0, 4, 0x1007, 1, 8, 8), "DDS size 0 x 4 is not supported"},
        {"huge", ddsFile("DXT1", 1u << 31, 4, 0x1007, 1, 8, 8), "DDS size 2147483648 x 4 is not supported"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        try {
            read(c.file);
            ADD_FAILURE() << "no refusal";
        } catch (const Exception& e) {
            EXPECT_EQ(e.getError(), -1);
            EXPECT_EQ(std::string(e.getDescription()), c.text);
        }
    }
    // The wrong linear size passes when the file does not claim it.
    EXPECT_EQ(read(ddsFile("DXT1", 4, 4, 0x1007, 1, 16, 8)).levels.size(), 1u);

    // Other codes and palettes are an alert and no image.
    auto palette = ddsFile("\0\0\0\0", 4, 4, 0x1007, 1, 0, 16);
    put32(palette, 80, 0x20);
    put32(palette, 88, 8);
    struct Other
    {
        std::vector<unsigned char> file;
        const char* alert;
    };
    for (const auto& o : {Other{ddsFile("DXT2", 4, 4, 0x1007, 1, 0, 16), "Other type"},
                          Other{ddsFile("DXT4", 4, 4, 0x1007, 1, 0, 16), "Other type"},
                          Other{palette, "Other palette"}}) {
        support::LogCapture log;
        rezezaz::core::Log::getInstance()->setMasterReportingLevel(5);
        const DecodedImage image = read(o.file);
        EXPECT_FALSE(image.format);
        EXPECT_TRUE(image.levels.empty());
        const auto texts = log.listener.texts();
        EXPECT_NE(std::find(texts.begin(), texts.end(), o.alert), texts.end()) << o.alert;
    }
}

} // namespace
