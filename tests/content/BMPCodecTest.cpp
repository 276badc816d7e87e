#include "content/BMPCodec.h"

#include "ImageOracles.h"
#include "core/Exception.h"
#include "core/io/MemoryStream.h"
#include "render/TextureFormat.h"
#include "support/QuietLog.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

using contenttest::memoryStream;
using rezezaz::core::Exception;
using rezezaz::core::IntrusivePointer;
using rezezaz::render::TextureFormat;
using rezezaz::scene::BMPCodec;
using rezezaz::scene::DecodedImage;

namespace {

void put16(std::vector<unsigned char>& b, size_t at, uint32_t v)
{
    b[at] = static_cast<unsigned char>(v);
    b[at + 1] = static_cast<unsigned char>(v >> 8);
}

void put32(std::vector<unsigned char>& b, size_t at, uint32_t v)
{
    put16(b, at, v);
    put16(b, at + 2, v >> 16);
}

// A BMP file with a 40-byte header, the given palette (blue, green, red, reserved entries) and
// pixel rows, bottom row first, each already padded.
std::vector<unsigned char> bmpFile(int width, int height, int bitCount, const std::vector<unsigned char>& palette,
                                   const std::vector<unsigned char>& rows)
{
    std::vector<unsigned char> b(54);
    b[0] = 'B';
    b[1] = 'M';
    put32(b, 2, static_cast<uint32_t>(54 + palette.size() + rows.size()));
    put32(b, 10, static_cast<uint32_t>(54 + palette.size()));
    put32(b, 14, 40);
    put32(b, 18, static_cast<uint32_t>(width));
    put32(b, 22, static_cast<uint32_t>(height));
    put16(b, 26, 1);
    put16(b, 28, static_cast<uint32_t>(bitCount));
    b.insert(b.end(), palette.begin(), palette.end());
    b.insert(b.end(), rows.begin(), rows.end());
    return b;
}

DecodedImage read(const std::vector<unsigned char>& file)
{
    return BMPCodec::read(memoryStream(file).get());
}

std::string refusal(const std::vector<unsigned char>& file, int* code = nullptr)
{
    try {
        read(file);
    } catch (const Exception& e) {
        if (code != nullptr) {
            *code = e.getError();
        }
        return e.getDescription();
    }
    return "";
}

class BMPCodecTest : public ::testing::Test
{
protected:
    support::QuietLog quiet;
};

TEST_F(BMPCodecTest, RealFilesMatchSDLImageRowForRow)
{
    const std::vector<std::string> files = {
        "/usr/share/doc/fp-compiler/3.2.2/palmos/pilrc.bmp",
        "/usr/share/doc/fp-compiler/3.2.2/palmos/pilrcic.bmp",
        "/usr/lib/python3/dist-packages/pygame/pygame_icon.bmp",
        "/usr/share/assimp/models/MD2/sydney.bmp",
        "/usr/share/assimp/models/MD2/faerie2.bmp",
        "/usr/share/assimp/models/LWO/LWO2/white.bmp",
        "/usr/share/games/0ad/tools/atlas/buttons/play_s.bmp",
        "/usr/share/games/0ad/tools/atlas/buttons/pause_s.bmp",
        "/usr/share/games/0ad/tools/atlas/buttons/stop_s.bmp",
        "/usr/share/games/0ad/tools/atlas/buttons/next_s.bmp",
        "/usr/share/games/0ad/tools/atlas/buttons/previous_s.bmp",
        "/usr/share/games/0ad/tools/atlas/buttons/record_s.bmp",
    };
    int checked = 0;
    for (const auto& path : files) {
        SCOPED_TRACE(path);
        const auto file = contenttest::readFile(path);
        if (file.empty()) {
            if (contenttest::inCI()) {
                ADD_FAILURE() << "missing " << path;
            }
            continue;
        }
        contenttest::OracleImage oracle;
        ASSERT_TRUE(contenttest::decodeWithSDLImage(file, false, 3, oracle));
        const DecodedImage image = read(file);
        ASSERT_EQ(image.format->pixelFormat, TextureFormat::Format_RGB_8);
        ASSERT_EQ(image.format->getWidth(), oracle.width);
        ASSERT_EQ(image.format->getHeight(), oracle.height);
        ASSERT_EQ(image.levels.size(), 1u);
        const size_t row = size_t(oracle.width) * 3;
        for (int i = 0; i < oracle.height; ++i) {
            ASSERT_EQ(0, std::memcmp(image.levels[0].data() + i * row,
                                     oracle.pixels.data() + (oracle.height - 1 - i) * row, row))
                << "row " << i;
        }
        ++checked;
    }
    if (checked == 0) {
        GTEST_SKIP() << "none of the real BMP files is installed";
    }
}

TEST_F(BMPCodecTest, MacIconWithLongHeaderAndBitfieldsIsRefused)
{
    const auto file = contenttest::readFile("/usr/lib/python3/dist-packages/pygame/pygame_icon_mac.bmp");
    if (file.empty()) {
        if (contenttest::inCI()) {
            FAIL() << "missing pygame_icon_mac.bmp";
        }
        GTEST_SKIP() << "pygame_icon_mac.bmp is not installed";
    }
    EXPECT_EQ(refusal(file), "BMPStreamer: Compression is 3, not BI_RGB");
}

TEST_F(BMPCodecTest, PaletteImagesTakeIndicesMostSignificantBitsFirst)
{
    // 1 bit, width 9: rows of 2 bytes padded to 4; pixel 8 is the top bit of the second byte.
    {
        const std::vector<unsigned char> palette = {0, 0, 0, 0, 30, 20, 10, 0};
        const std::vector<unsigned char> rows = {0x80, 0x80, 0xEE, 0xEE, 0x00, 0x00, 0xEE, 0xEE};
        const DecodedImage image = read(bmpFile(9, 2, 1, palette, rows));
        ASSERT_EQ(image.levels[0].size(), 9u * 2 * 3);
        const unsigned char* p = image.levels[0].data();
        EXPECT_EQ(std::vector<unsigned char>(p, p + 3), (std::vector<unsigned char>{10, 20, 30}));
        for (int x = 1; x < 8; ++x) {
            EXPECT_EQ(p[x * 3], 0) << x;
        }
        EXPECT_EQ(std::vector<unsigned char>(p + 24, p + 27), (std::vector<unsigned char>{10, 20, 30}));
        EXPECT_EQ(p[27 + 24], 0);
    }
    // 4 bits: even pixels the high nibble, odd pixels the low one.
    {
        std::vector<unsigned char> palette(16 * 4, 0);
        palette[1 * 4 + 2] = 111;
        palette[2 * 4 + 1] = 222;
        const DecodedImage image = read(bmpFile(3, 1, 4, palette, {0x12, 0x10, 0, 0}));
        EXPECT_EQ(image.levels[0], (std::vector<unsigned char>{111, 0, 0, 0, 222, 0, 111, 0, 0}));
    }
    // 8 bits with a header colour count of 2: the palette is still read as 256 entries, so index
    // 255 finds its colour right before the pixels.
    {
        std::vector<unsigned char> palette(256 * 4, 0);
        palette[255 * 4 + 0] = 7;
        palette[255 * 4 + 1] = 8;
        palette[255 * 4 + 2] = 9;
        auto file = bmpFile(1, 1, 8, palette, {255, 0, 0, 0});
        put32(file, 46, 2);
        EXPECT_EQ(read(file).levels[0], (std::vector<unsigned char>{9, 8, 7}));
    }
}

TEST_F(BMPCodecTest, TrueColourRowsArePaddedAndSwapped)
{
    // 24 bits, width 1: 4-byte rows, 3 of pixel and 1 of padding.
    const DecodedImage rgb = read(bmpFile(1, 2, 24, {}, {1, 2, 3, 99, 4, 5, 6, 99}));
    EXPECT_EQ(rgb.format->pixelFormat, TextureFormat::Format_RGB_8);
    EXPECT_EQ(rgb.levels[0], (std::vector<unsigned char>{3, 2, 1, 6, 5, 4}));
    // 32 bits: blue, green, red, alpha become red, green, blue, alpha.
    const DecodedImage rgba = read(bmpFile(2, 1, 32, {}, {1, 2, 3, 4, 5, 6, 7, 8}));
    EXPECT_EQ(rgba.format->pixelFormat, TextureFormat::Format_RGBA_8);
    EXPECT_EQ(rgba.levels[0], (std::vector<unsigned char>{3, 2, 1, 4, 7, 6, 5, 8}));
}

TEST_F(BMPCodecTest, FilesThatDoNotHoldWhatTheirHeaderDeclaresAreRefusedAsTruncated)
{
    struct Case
    {
        const char* name;
        std::vector<unsigned char> file;
        const char* text;
    };
    const auto rows24 = std::vector<unsigned char>{1, 2, 3, 4, 5, 6, 0, 0, 7, 8, 9, 10, 11, 12, 0, 0};
    auto cut = [](std::vector<unsigned char> file, size_t bytes) {
        file.resize(file.size() - bytes);
        return file;
    };
    const Case cases[] = {
        {"24 bits, last row cut", cut(bmpFile(2, 2, 24, {}, rows24), 10),
         "BMPStreamer: File is truncated: 14 bytes of pixels expected from position 54, 6 there"},
        {"32 bits, header only", bmpFile(8192, 8192, 32, {}, {}),
         "BMPStreamer: File is truncated: 268435456 bytes of pixels expected from position 54, 0 there"},
        {"8 bits, palette cut", cut(bmpFile(1, 1, 8, std::vector<unsigned char>(1024, 7), {0}), 1000),
         "BMPStreamer: File is truncated: 1024 bytes of palette expected from position 54, 25 there"},
        {"1 bit, rows cut", cut(bmpFile(9, 2, 1, std::vector<unsigned char>(8, 0), std::vector<unsigned char>(8, 0)), 3),
         "BMPStreamer: File is truncated: 6 bytes of pixels expected from position 62, 5 there"},
        {"header cut", cut(bmpFile(2, 2, 24, {}, {}), 10),
         "BMPStreamer: File is truncated: 54 bytes of header expected from position 0, 44 there"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        int code = 0;
        EXPECT_EQ(refusal(c.file, &code), c.text);
        EXPECT_EQ(code, -1);
    }
    // The last row needs no padding: 24-bit width 2 takes 6 of its 8 bytes.
    const DecodedImage image = read(cut(bmpFile(2, 2, 24, {}, rows24), 2));
    EXPECT_EQ(image.levels[0], (std::vector<unsigned char>{3, 2, 1, 6, 5, 4, 9, 8, 7, 12, 11, 10}));
}

// The fourth byte of a 32-bit pixel is alpha, unless the writer left it 0 in every pixel: such an
// image is opaque.
TEST_F(BMPCodecTest, ThirtyTwoBitPixelsKeepTheirAlphaUnlessItIsZeroEverywhere)
{
    struct Case
    {
        const char* name;
        std::vector<unsigned char> rows;
        std::vector<unsigned char> pixels;
    };
    const Case cases[] = {
        {"alpha 0 in every pixel", {1, 2, 3, 0, 5, 6, 7, 0}, {3, 2, 1, 255, 7, 6, 5, 255}},
        {"alpha in one pixel", {1, 2, 3, 0, 5, 6, 7, 9}, {3, 2, 1, 0, 7, 6, 5, 9}},
        {"alpha 255 in one pixel", {1, 2, 3, 255, 5, 6, 7, 0}, {3, 2, 1, 255, 7, 6, 5, 0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(read(bmpFile(2, 1, 32, {}, c.rows)).levels[0], c.pixels);
    }
}

// Pixels that would start inside the headers or the palette the file declares are refused; a
// palette shorter than 2^bitCount entries, by the header's colour count, may be followed by the
// pixels right away.
TEST_F(BMPCodecTest, PixelsThatStartInsideTheHeadersOrPaletteAreRefused)
{
    const std::vector<unsigned char> fullPalette(1024, 0);
    std::vector<unsigned char> palette252(252 * 4, 0);
    palette252[1 * 4 + 2] = 200;
    struct Case
    {
        const char* name;
        std::vector<unsigned char> file;
        uint32_t offset;
        uint32_t colorsUsed;
        const char* text;
    };
    const Case cases[] = {
        {"24 bits, inside the headers", bmpFile(1, 1, 24, {}, {1, 2, 3, 0}), 40, 0,
         "BMPStreamer: Pixel data offset 40 lies inside the headers and palette, which end at 54"},
        {"24 bits, at the file's start", bmpFile(1, 1, 24, {}, {1, 2, 3, 0}), 0, 0,
         "BMPStreamer: Pixel data offset 0 lies inside the headers and palette, which end at 54"},
        {"8 bits, 256 entries, at 54", bmpFile(1, 1, 8, fullPalette, {1, 0, 0, 0}), 54, 0,
         "BMPStreamer: Pixel data offset 54 lies inside the headers and palette, which end at 1078"},
        {"8 bits, 252 entries, at 54", bmpFile(1, 1, 8, palette252, {1, 0, 0, 0}), 54, 252,
         "BMPStreamer: Pixel data offset 54 lies inside the headers and palette, which end at 1062"},
        {"8 bits, 252 entries, within them", bmpFile(1, 1, 8, palette252, {1, 0, 0, 0}), 1058, 252,
         "BMPStreamer: Pixel data offset 1058 lies inside the headers and palette, which end at 1062"},
        {"1 bit, inside its palette", bmpFile(1, 1, 1, std::vector<unsigned char>(8, 0), {0, 0, 0, 0}), 58, 0,
         "BMPStreamer: Pixel data offset 58 lies inside the headers and palette, which end at 62"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto file = c.file;
        put32(file, 10, c.offset);
        put32(file, 46, c.colorsUsed);
        int code = 0;
        EXPECT_EQ(refusal(file, &code), c.text);
        EXPECT_EQ(code, -1);
    }
    // Right after its 252 colours, in a file that holds the 256 entries the reader takes: index 1
    // is red.
    std::vector<unsigned char> rows(16, 0);
    rows[0] = 1;
    auto file = bmpFile(4, 4, 8, palette252, rows);
    put32(file, 46, 252);
    const DecodedImage image = read(file);
    EXPECT_EQ(std::vector<unsigned char>(image.levels[0].begin(), image.levels[0].begin() + 6),
              (std::vector<unsigned char>{200, 0, 0, 0, 0, 0}));
}

// Headers shorter than 40 bytes (OS/2's 12-byte core header, its short 16-byte form) are named by
// their size, before any field that they lay out otherwise is looked at.
TEST_F(BMPCodecTest, ShortInformationHeadersAreNamedBeforeTheirFields)
{
    // An OS/2 core header: u16 width, height, planes, bit count at 18, 20, 22, 24; a 2 x 2 24-bit
    // image of 16 bytes after it.
    auto os2 = [](size_t pixelBytes) {
        std::vector<unsigned char> b(26);
        b[0] = 'B';
        b[1] = 'M';
        put32(b, 2, static_cast<uint32_t>(26 + pixelBytes));
        put32(b, 10, 26);
        put32(b, 14, 12);
        put16(b, 18, 2);
        put16(b, 20, 2);
        put16(b, 22, 1);
        put16(b, 24, 24);
        b.resize(26 + pixelBytes, 0);
        return b;
    };
    auto sixteen = bmpFile(2, 2, 24, {}, std::vector<unsigned char>(16, 0));
    put32(sixteen, 14, 16);
    struct Case
    {
        const char* name;
        std::vector<unsigned char> file;
        const char* text;
    };
    const Case cases[] = {
        {"OS/2 core header", os2(64), "BMPStreamer: Information header is 12 bytes, not 40"},
        {"OS/2 core header, file shorter than 54 bytes", os2(16),
         "BMPStreamer: Information header is 12 bytes, not 40"},
        {"16-byte header", sixteen, "BMPStreamer: Information header is 16 bytes, not 40"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        int code = 0;
        EXPECT_EQ(refusal(c.file, &code), c.text);
        EXPECT_EQ(code, -1);
    }
}

TEST_F(BMPCodecTest, RefusalsNameTheField)
{
    struct Case
    {
        const char* name;
        size_t at;
        uint32_t value;
        const char* text;
    };
    const Case cases[] = {
        {"planes", 26, 2, "BMPStreamer: Planes are 2, not 1"},
        {"16 bits", 28, 16, "BMPStreamer: Format is 16, not 1, 2, 4, 8, 24, or 32 bit"},
        {"run-length", 30, 1, "BMPStreamer: Compression is 1, not BI_RGB"},
        {"long header", 14, 108, "BMPStreamer: Information header is 108 bytes, not 40"},
        {"top-down", 22, uint32_t(-2), "BMPStreamer: Height is -2, top-down images are not supported"},
        {"no width", 18, 0, "BMPStreamer: Size 0 x 2 is not supported"},
        {"no height", 22, 0, "BMPStreamer: Size 2 x 0 is not supported"},
        {"65535 square", 18, 65535, "BMPStreamer: Size 65535 x 65535 is not supported"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto file = bmpFile(2, 2, 24, {}, std::vector<unsigned char>(16, 0));
        put32(file, c.at, c.value);
        if (std::string(c.name) == "65535 square") {
            put32(file, 22, 65535);
        }
        int code = 0;
        EXPECT_EQ(refusal(file, &code), c.text);
        EXPECT_EQ(code, -1);
    }
    int code = 0;
    try {
        BMPCodec::read(nullptr);
    } catch (const Exception& e) {
        code = e.getError();
        EXPECT_STREQ(e.getDescription(), "Stream is NULL");
    }
    EXPECT_EQ(code, 3);
}

TEST_F(BMPCodecTest, SavedImagesReloadAndReadInSDLImage)
{
    struct Case
    {
        int pixelFormat;
        int channels;
        int width;
        int height;
    };
    for (const Case& c : {Case{TextureFormat::Format_RGB_8, 3, 5, 3}, Case{TextureFormat::Format_RGBA_8, 4, 3, 4}}) {
        SCOPED_TRACE(c.pixelFormat);
        TextureFormat format(TextureFormat::Dimension_2D, c.pixelFormat, c.width, c.height, 1, 0);
        std::vector<unsigned char> pixels(static_cast<size_t>(format.getDataSize()));
        for (size_t i = 0; i < pixels.size(); ++i) {
            pixels[i] = static_cast<unsigned char>(i * 37 + 11);
        }
        IntrusivePointer<rezezaz::core::io::MemoryStream> out(new rezezaz::core::io::MemoryStream());
        ASSERT_TRUE(BMPCodec::write(out.get(), format, pixels.data()));
        const std::vector<unsigned char> file(out->getOriginalDataPointer(),
                                              out->getOriginalDataPointer() + out->length());

        const DecodedImage again = read(file);
        EXPECT_EQ(again.format->pixelFormat, c.pixelFormat);
        EXPECT_TRUE(again.format->equals(format));
        EXPECT_EQ(again.levels[0], pixels);

        contenttest::OracleImage oracle;
        ASSERT_TRUE(contenttest::decodeWithSDLImage(file, false, c.channels, oracle));
        const size_t row = size_t(c.width) * c.channels;
        for (int i = 0; i < c.height; ++i) {
            // SDL2_image leaves the alpha of a 32-bit BMP out unless some pixel has alpha: compare
            // the colours, and alpha where it kept it.
            for (size_t k = 0; k < row; ++k) {
                if (c.channels == 4 && k % 4 == 3 && oracle.pixels[(c.height - 1 - i) * row + k] == 255) {
                    continue;
                }
                ASSERT_EQ(pixels[i * row + k], oracle.pixels[(c.height - 1 - i) * row + k]) << i << " " << k;
            }
        }
    }
}

TEST_F(BMPCodecTest, SavingRefusesOtherTextures)
{
    IntrusivePointer<rezezaz::core::io::MemoryStream> out(new rezezaz::core::io::MemoryStream());
    unsigned char pixels[64] = {};
    const TextureFormat cube(TextureFormat::Dimension_CUBE, TextureFormat::Format_RGB_8, 2, 2, 1, 0);
    const TextureFormat bgr(TextureFormat::Dimension_2D, TextureFormat::Format_BGR_8, 2, 2, 1, 0);
    for (const auto& [format, text] : {std::pair{&cube, "texture isn't 2 dimensional"},
                                       std::pair{&bgr, "texture isn't in RGB/RGBA format"}}) {
        try {
            BMPCodec::write(out.get(), *format, pixels);
            ADD_FAILURE() << "no refusal";
        } catch (const Exception& e) {
            EXPECT_STREQ(e.getDescription(), text);
        }
    }
    EXPECT_EQ(out->length(), 0);
}

} // namespace
