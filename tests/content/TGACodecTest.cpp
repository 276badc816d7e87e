#include "content/TGACodec.h"

#include "ImageOracles.h"
#include "core/Exception.h"
#include "render/TextureFormat.h"
#include "support/QuietLog.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

using contenttest::memoryStream;
using rezezaz::core::Exception;
using rezezaz::render::TextureFormat;
using rezezaz::scene::DecodedImage;
using rezezaz::scene::TGACodec;

namespace {

const std::string DATA = std::string(PELOTUNE_TEST_DATA) + "/data/";

std::vector<unsigned char> tgaHeader(int type, int width, int height, int depth, int descriptor)
{
    std::vector<unsigned char> h(18, 0);
    h[2] = static_cast<unsigned char>(type);
    h[12] = static_cast<unsigned char>(width);
    h[13] = static_cast<unsigned char>(width >> 8);
    h[14] = static_cast<unsigned char>(height);
    h[15] = static_cast<unsigned char>(height >> 8);
    h[16] = static_cast<unsigned char>(depth);
    h[17] = static_cast<unsigned char>(descriptor);
    return h;
}

std::vector<unsigned char> operator+(std::vector<unsigned char> a, const std::vector<unsigned char>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

DecodedImage read(const std::vector<unsigned char>& file)
{
    return TGACodec::read(memoryStream(file).get());
}

std::string refusal(const std::vector<unsigned char>& file)
{
    try {
        read(file);
    } catch (const Exception& e) {
        EXPECT_EQ(e.getError(), -1);
        return e.getDescription();
    }
    return "";
}

class TGACodecTest : public ::testing::Test
{
protected:
    support::QuietLog quiet;
};

// Each file against SDL2_image: our row i is its row h - 1 - i with blue and red swapped.
TEST_F(TGACodecTest, RealFilesAndFixturesMatchSDLImageRowForRow)
{
    const std::vector<std::string> files = {
        "/usr/share/assimp/models/X/top.tga",
        "/usr/share/assimp/models/X/bottom.tga",
        "/usr/share/assimp/models/X/updown.tga",
        "/usr/share/assimp/models/Collada/duckCM.tga",
        "/usr/share/assimp/models/SMD/holygrail.tga",
        DATA + "rle24.tga",
        DATA + "rle32.tga",
        DATA + "topLeft24.tga",
        DATA + "topLeftRle24.tga",
        DATA + "topRle.tga",
    };
    int checked = 0;
    for (const auto& path : files) {
        SCOPED_TRACE(path);
        const auto file = contenttest::readFile(path);
        if (file.empty()) {
            if (contenttest::inCI() || path.rfind(DATA, 0) == 0) {
                ADD_FAILURE() << "missing " << path;
            }
            continue;
        }
        const DecodedImage image = read(file);
        const int channels = image.format->pixelFormat == TextureFormat::Format_BGRA_8 ? 4 : 3;
        EXPECT_EQ(channels, file[16] / 8);
        contenttest::OracleImage oracle;
        ASSERT_TRUE(contenttest::decodeWithSDLImage(file, true, channels, oracle));
        ASSERT_EQ(image.format->getWidth(), oracle.width);
        ASSERT_EQ(image.format->getHeight(), oracle.height);
        const size_t row = size_t(oracle.width) * channels;
        for (int i = 0; i < oracle.height; ++i) {
            const unsigned char* ours = image.levels[0].data() + i * row;
            const unsigned char* theirs = oracle.pixels.data() + (oracle.height - 1 - i) * row;
            for (int x = 0; x < oracle.width; ++x) {
                const unsigned char* a = ours + x * channels;
                const unsigned char* b = theirs + x * channels;
                ASSERT_TRUE(a[0] == b[2] && a[1] == b[1] && a[2] == b[0] && (channels == 3 || a[3] == b[3]))
                    << "row " << i << " pixel " << x;
            }
        }
        ++checked;
    }
    EXPECT_GE(checked, 5);
}

TEST_F(TGACodecTest, RunLengthPacketsRepeatOrCopyPixels)
{
    // 0x83: one pixel four times; 0x01: two pixels as they stand.
    const auto file = tgaHeader(10, 6, 1, 24, 0) + std::vector<unsigned char>{0x83, 1, 2, 3, 0x01, 4, 5, 6, 7, 8, 9};
    const DecodedImage image = read(file);
    EXPECT_EQ(image.format->pixelFormat, TextureFormat::Format_BGR_8);
    EXPECT_EQ(image.levels[0],
              (std::vector<unsigned char>{1, 2, 3, 1, 2, 3, 1, 2, 3, 1, 2, 3, 4, 5, 6, 7, 8, 9}));
}

TEST_F(TGACodecTest, RunsThatPassTheImageAreCutAtItsEnd)
{
    struct Case
    {
        const char* name;
        std::vector<unsigned char> packets;
        std::vector<unsigned char> pixels;
    };
    const Case cases[] = {
        // A run of 128 into an image of 2 pixels is cut at the image's end.
        {"long run", {0xFF, 1, 2, 3}, {1, 2, 3, 1, 2, 3}},
        {"long copy", {0x7F, 1, 2, 3, 4, 5, 6, 7, 8, 9}, {1, 2, 3, 4, 5, 6}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(read(tgaHeader(10, 2, 1, 24, 0) + c.packets).levels[0], c.pixels);
    }
}

TEST_F(TGACodecTest, FilesThatDoNotHoldWhatTheirHeaderDeclaresAreRefusedAsTruncated)
{
    struct Case
    {
        const char* name;
        std::vector<unsigned char> file;
        std::string text;
    };
    auto cutHeader = tgaHeader(2, 2, 1, 24, 0);
    cutHeader.resize(17);
    const Case cases[] = {
        {"header cut", cutHeader, "TGAStreamer: File is truncated: 18 bytes of header expected from position 0, 17 there"},
        {"header only", tgaHeader(2, 16384, 4096, 32, 8),
         "TGAStreamer: File is truncated: 268435456 bytes of pixels expected from position 18, 0 there"},
        {"pixels cut", tgaHeader(2, 2, 1, 24, 0) + std::vector<unsigned char>{1, 2, 3, 4, 5},
         "TGAStreamer: File is truncated: 6 bytes of pixels expected from position 18, 5 there"},
        // Run-length data need at least one packet of 1 + 4 bytes per 128 pixels.
        {"run-length header only", tgaHeader(10, 16384, 4096, 32, 8),
         "TGAStreamer: File is truncated: 2621440 bytes of run-length packets expected from position 18, 0 there"},
        {"copy cut short", tgaHeader(10, 2, 1, 24, 0) + std::vector<unsigned char>{0x01, 1, 2, 3, 4},
         "TGAStreamer: File is truncated: 6 bytes of decoded pixels expected from position 18, 4 there"},
        {"run without its pixel", tgaHeader(10, 2, 1, 24, 0) + std::vector<unsigned char>{0x81, 1, 2},
         "TGAStreamer: File is truncated: 4 bytes of run-length packets expected from position 18, 3 there"},
        {"runs ending before the image", tgaHeader(10, 3, 1, 24, 0) + std::vector<unsigned char>{0x81, 1, 2, 3},
         "TGAStreamer: File is truncated: 9 bytes of decoded pixels expected from position 18, 6 there"},
        {"no packets", tgaHeader(10, 1, 1, 24, 0),
         "TGAStreamer: File is truncated: 4 bytes of run-length packets expected from position 18, 0 there"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(refusal(c.file), c.text);
    }
}

// Bits 6 and 7 of the descriptor interleave the rows; bit 5 puts the first row at the top, bits 0
// to 3 count the alpha bits.
TEST_F(TGACodecTest, OnlyDescriptorBitsSixAndSevenAreInterleaving)
{
    struct Case
    {
        const char* name;
        int depth;
        int descriptor;
        std::vector<unsigned char> pixels;
    };
    const std::vector<unsigned char> bgra = {1, 2, 3, 4, 5, 6, 7, 8};
    const std::vector<unsigned char> turned = {5, 6, 7, 8, 1, 2, 3, 4};
    const Case loaded[] = {
        {"32 bits top-left with 8 alpha bits", 32, 0x28, turned},
        {"32 bits bottom-left with 8 alpha bits", 32, 0x08, bgra},
        {"32 bits top-left without alpha bits", 32, 0x20, turned},
        {"24 bits top-left", 24, 0x20, {4, 5, 6, 1, 2, 3}},
    };
    for (const auto& c : loaded) {
        SCOPED_TRACE(c.name);
        const DecodedImage image = read(tgaHeader(2, 1, 2, c.depth, c.descriptor) +
                                        (c.depth == 32 ? bgra : std::vector<unsigned char>{1, 2, 3, 4, 5, 6}));
        EXPECT_EQ(image.levels[0], c.pixels);
    }
    for (const int descriptor : {0x48, 0x88, 0xC8, 0x40}) {
        SCOPED_TRACE(descriptor);
        EXPECT_EQ(refusal(tgaHeader(2, 1, 2, 32, descriptor) + bgra), "Interleaved not currently supported");
    }
}

TEST_F(TGACodecTest, PixelsKeepTheFilesChannelsAndStartAfterIdAndColourMap)
{
    // 32 bits come as stored (BGRA); an ID of 3 bytes and a colour map of 2 x 24-bit entries come
    // before the pixels and are skipped.
    auto file = tgaHeader(2, 1, 2, 32, 0x08);
    file[0] = 3;
    file[1] = 1;
    file[5] = 2;
    file[7] = 24;
    file = file + std::vector<unsigned char>{'i', 'd', '!', 9, 9, 9, 9, 9, 9, 10, 20, 30, 40, 50, 60, 70, 80};
    const DecodedImage image = read(file);
    EXPECT_EQ(image.format->pixelFormat, TextureFormat::Format_BGRA_8);
    EXPECT_EQ(image.levels[0], (std::vector<unsigned char>{10, 20, 30, 40, 50, 60, 70, 80}));
}

TEST_F(TGACodecTest, TopLeftImagesComeBottomRowFirst)
{
    const auto pixels = std::vector<unsigned char>{1, 1, 1, 2, 2, 2, 3, 3, 3};
    EXPECT_EQ(read(tgaHeader(2, 1, 3, 24, 0x20) + pixels).levels[0],
              (std::vector<unsigned char>{3, 3, 3, 2, 2, 2, 1, 1, 1}));
    EXPECT_EQ(read(tgaHeader(2, 1, 3, 24, 0x00) + pixels).levels[0], pixels);
}

// Bit 4 of the descriptor runs the pixels of each row right to left, bit 5 the rows top down: the
// image comes out bottom row first, left to right, from whichever corner it starts. A 3 x 2 image
// of six distinct pixels, raw and in one run-length copy packet, at both depths.
TEST_F(TGACodecTest, EveryOriginCornerComesOutBottomLeftFirst)
{
    struct Corner
    {
        const char* name;
        int descriptor;
        // The file's pixel that lands at each place of the output.
        std::vector<int> order;
    };
    const Corner corners[] = {
        {"bottom left", 0x00, {0, 1, 2, 3, 4, 5}},
        {"bottom right", 0x10, {2, 1, 0, 5, 4, 3}},
        {"top left", 0x20, {3, 4, 5, 0, 1, 2}},
        {"top right", 0x30, {5, 4, 3, 2, 1, 0}},
    };
    for (const Corner& corner : corners) {
        for (int depth : {24, 32}) {
            for (int type : {2, 10}) {
                SCOPED_TRACE(std::string(corner.name) + ", " + std::to_string(depth) + " bits" +
                             (type == 10 ? ", run-length" : ", raw"));
                const int bytes = depth / 8;
                std::vector<unsigned char> stored;
                for (int p = 0; p < 6; ++p) {
                    for (int b = 0; b < bytes; ++b) {
                        stored.push_back(static_cast<unsigned char>(16 * p + b + 1));
                    }
                }
                std::vector<unsigned char> body = stored;
                if (type == 10) {
                    body.insert(body.begin(), 0x05);
                }
                std::vector<unsigned char> expected;
                for (int p : corner.order) {
                    expected.insert(expected.end(), stored.begin() + p * bytes, stored.begin() + (p + 1) * bytes);
                }
                const int alphaBits = depth == 32 ? 8 : 0;
                EXPECT_EQ(read(tgaHeader(type, 3, 2, depth, corner.descriptor | alphaBits) + body).levels[0],
                          expected);
            }
        }
    }
}

TEST_F(TGACodecTest, RefusalsNameTheProblem)
{
    struct Case
    {
        const char* name;
        std::vector<unsigned char> header;
        std::string text;
    };
    auto withColourMapType = [](int type) {
        auto h = tgaHeader(2, 2, 2, 24, 0);
        h[1] = static_cast<unsigned char>(type);
        return h;
    };
    const Case cases[] = {
        {"colour map type 2", withColourMapType(2), "Invalid color map type"},
        {"palette image", tgaHeader(1, 2, 2, 8, 0), "Only truecolor currently supported"},
        {"grey run-length image", tgaHeader(11, 2, 2, 8, 0), "Only truecolor currently supported"},
        {"two-way interleaved", tgaHeader(2, 2, 2, 32, 0x48), "Interleaved not currently supported"},
        {"16 bits", tgaHeader(2, 2, 2, 16, 0), "TGAStreamer: Format is 16, not 1, 2, 4, 8, 24, or 32 bit"},
        {"8 bits", tgaHeader(2, 2, 2, 8, 0), "TGAStreamer: Format is 8, not 1, 2, 4, 8, 24, or 32 bit"},
        {"1 bit", tgaHeader(2, 2, 2, 1, 0), "TGAStreamer: Format is 1, not 1, 2, 4, 8, 24, or 32 bit"},
        {"no width", tgaHeader(2, 0, 2, 24, 0), "TGAStreamer: Size 0 x 2 is not supported"},
        {"no height", tgaHeader(10, 2, 0, 24, 0), "TGAStreamer: Size 2 x 0 is not supported"},
        // 65535 x 65535 x 4 does not fit in 32 bits.
        {"65535 square", tgaHeader(2, 65535, 65535, 32, 8), "TGAStreamer: Size 65535 x 65535 is not supported"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(refusal(c.header), c.text);
    }
    // A caller's smaller limit.
    try {
        TGACodec::read(memoryStream(tgaHeader(2, 100, 100, 24, 0)).get(), 29999);
        ADD_FAILURE() << "no refusal";
    } catch (const Exception& e) {
        EXPECT_STREQ(e.getDescription(), "TGAStreamer: Size 100 x 100 is not supported");
    }
    EXPECT_EQ(TGACodec::read(memoryStream(tgaHeader(2, 100, 100, 24, 0) + std::vector<unsigned char>(30000)).get(),
                             30000)
                  .levels[0]
                  .size(),
              30000u);
    // The same descriptor without the top-left bit loads.
    EXPECT_EQ(read(tgaHeader(2, 1, 1, 32, 0x08) + std::vector<unsigned char>{1, 2, 3, 4}).levels[0],
              (std::vector<unsigned char>{1, 2, 3, 4}));
    try {
        TGACodec::read(nullptr);
        ADD_FAILURE() << "no refusal";
    } catch (const Exception& e) {
        EXPECT_EQ(e.getError(), 3);
        EXPECT_STREQ(e.getDescription(), "Stream is NULL");
    }
}

} // namespace
