#include "content/PlatformImage.h"
#include "content/linux/LinuxImageDecoder.h"

#include "ImageOracles.h"
#include "core/Exception.h"
#include "render/TextureFormat.h"
#include "support/FaultyStream.h"
#include "support/QuietLog.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

using contenttest::memoryStream;
using rezezaz::core::Exception;
using rezezaz::core::IntrusivePointer;
using rezezaz::render::TextureFormat;
using rezezaz::scene::DecodedImage;
using rezezaz::scene::PlatformImage;

namespace {

const std::string DATA = std::string(PELOTUNE_TEST_DATA) + "/data/";

DecodedImage decode(const std::vector<unsigned char>& file)
{
    return PlatformImage::decode(memoryStream(file).get());
}

std::string refusal(const std::vector<unsigned char>& file)
{
    try {
        decode(file);
    } catch (const Exception& e) {
        EXPECT_EQ(e.getError(), -1);
        return e.getDescription();
    }
    return "";
}

class PlatformImageTest : public ::testing::Test
{
protected:
    support::QuietLog quiet;
};

// Each file against stb_image (decoders of its own), premultiplied and turned here: PNG exactly,
// JPEG within 3 per channel (two IDCTs and upsamplers).
TEST_F(PlatformImageTest, RealFilesMatchStbImage)
{
    struct Case
    {
        std::string path;
        int tolerance;
        int partlyTransparent;
    };
    const std::string models = "/usr/share/assimp/models/";
    const Case cases[] = {
        {models + "ReferenceImages/UVTransform/UVTransform_Normal.png", 0, 1709},
        {models + "glTF2/BoxTextured-glTF-pbrSpecularGlossiness/CesiumLogoFlat.png", 0, -1},
        {models + "SIB/This Way Up.png", 0, -1},
        {models + "3DS/test.png", 0, -1},
        {models + "Collada/duck_sample.jpg", 3, 0},
        {models + "MS3D/jeep1.jpg", 3, 0},
        {models + "OBJ/engineflare1.jpg", 3, 0},
    };
    int checked = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        const auto file = contenttest::readFile(c.path);
        if (file.empty()) {
            if (contenttest::inCI()) {
                ADD_FAILURE() << "missing " << c.path;
            }
            continue;
        }
        contenttest::OracleImage oracle;
        ASSERT_TRUE(contenttest::decodeWithStb(file, oracle));
        const DecodedImage image = decode(file);
        ASSERT_EQ(image.format->pixelFormat, TextureFormat::Format_RGBA_8);
        ASSERT_EQ(image.format->getWidth(), oracle.width);
        ASSERT_EQ(image.format->getHeight(), oracle.height);
        int worst = 0;
        int partly = 0;
        for (int i = 0; i < oracle.height; ++i) {
            const unsigned char* ours = image.levels[0].data() + size_t(i) * oracle.width * 4;
            const unsigned char* theirs = oracle.pixels.data() + size_t(oracle.height - 1 - i) * oracle.width * 4;
            for (int x = 0; x < oracle.width; ++x) {
                const unsigned a = theirs[x * 4 + 3];
                partly += a != 0 && a != 255;
                for (int k = 0; k < 4; ++k) {
                    const int expected = k == 3 ? int(a) : int((theirs[x * 4 + k] * a + 127) / 255);
                    worst = std::max(worst, std::abs(int(ours[x * 4 + k]) - expected));
                }
            }
        }
        EXPECT_LE(worst, c.tolerance);
        if (c.partlyTransparent >= 0) {
            EXPECT_EQ(partly, c.partlyTransparent);
        }
        ++checked;
    }
    if (checked == 0) {
        GTEST_SKIP() << "none of the real PNG and JPEG files is installed";
    }
}

TEST_F(PlatformImageTest, ColoursArePremultipliedAndRowsTurned)
{
    // Half-transparent red; then a 1 x 2 image, white over black.
    EXPECT_EQ(decode(contenttest::encodePNG(1, 1, {255, 0, 0, 128})).levels[0],
              (std::vector<unsigned char>{128, 0, 0, 128}));
    const DecodedImage image = decode(contenttest::encodePNG(1, 2, {255, 255, 255, 255, 0, 0, 0, 255}));
    EXPECT_EQ(image.format->getWidth(), 1);
    EXPECT_EQ(image.format->getHeight(), 2);
    EXPECT_EQ(image.levels[0], (std::vector<unsigned char>{0, 0, 0, 255, 255, 255, 255, 255}));
}

TEST_F(PlatformImageTest, JPEGIsTriedAfterPNGFromTheSameStart)
{
    // The JPEG behind a few bytes that the caller has read already: decoding starts where the
    // stream stood.
    const auto rgb = contenttest::readFile("/usr/share/assimp/models/OBJ/engineflare1.jpg");
    if (rgb.empty()) {
        if (contenttest::inCI()) {
            FAIL() << "missing engineflare1.jpg";
        }
        GTEST_SKIP() << "engineflare1.jpg is not installed";
    }
    std::vector<unsigned char> file(rgb.size() + 3, 'x');
    std::copy(rgb.begin(), rgb.end(), file.begin() + 3);
    auto stream = memoryStream(file);
    unsigned char skip[3];
    ASSERT_EQ(stream->read(skip, 3), 3);
    const DecodedImage image = PlatformImage::decode(stream.get());
    contenttest::OracleImage oracle;
    ASSERT_TRUE(contenttest::decodeWithStb(rgb, oracle));
    EXPECT_EQ(image.format->getWidth(), oracle.width);

    // A stream that hands out one byte at a time decodes the same.
    IntrusivePointer<support::FaultyStream> slow(new support::FaultyStream(rgb));
    slow->setChunk(1);
    EXPECT_EQ(PlatformImage::decode(slow.get()).levels[0], decode(rgb).levels[0]);
}

TEST_F(PlatformImageTest, OtherBytesAndImagesTooLargeAreRefused)
{
    auto png = contenttest::encodePNG(2, 2, std::vector<unsigned char>(16, 200));
    struct Case
    {
        const char* name;
        std::vector<unsigned char> file;
        int64_t maxBytes;
        std::string text;
    };
    const std::string text = "just some text, neither PNG nor JPEG\n";
    const int64_t limit = rezezaz::scene::ImageLimits::MAX_BYTES;
    const Case cases[] = {
        {"text", std::vector<unsigned char>(text.begin(), text.end()), limit, "error loading image"},
        {"empty", {}, limit, "error loading image"},
        {"PNG signature only", std::vector<unsigned char>(png.begin(), png.begin() + 8), limit,
         "error loading image: PNG file is truncated in its header"},
        // Sides beyond the largest texture, and pixels beyond the caller's limit, refused before
        // anything is decoded.
        {"PNG too wide", contenttest::encodePNG(16385, 1, std::vector<unsigned char>(16385 * 4, 0)), limit,
         "error loading image: PNG of 16385 x 1 pixels is larger than a texture holds"},
        {"JPEG too tall", contenttest::encodeJPEG(1, 16385, std::vector<unsigned char>(16385 * 3, 0), 90), limit,
         "error loading image: JPEG of 1 x 16385 pixels is larger than a texture holds"},
        {"PNG beyond the caller's limit", png, 15,
         "error loading image: PNG of 2 x 2 pixels is larger than a texture holds"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        try {
            PlatformImage::decode(memoryStream(c.file).get(), c.maxBytes);
            ADD_FAILURE() << "no refusal";
        } catch (const Exception& e) {
            EXPECT_EQ(e.getError(), -1);
            EXPECT_EQ(std::string(e.getDescription()), c.text);
        }
    }
    try {
        PlatformImage::decode(nullptr);
        ADD_FAILURE() << "no refusal";
    } catch (const Exception& e) {
        EXPECT_EQ(e.getError(), 3);
        EXPECT_STREQ(e.getDescription(), "Stream is NULL");
    }
}

TEST_F(PlatformImageTest, CutOffAndDamagedFilesAreRefused)
{
    const int side = 64;
    std::vector<unsigned char> rgba(size_t(side) * side * 4);
    std::vector<unsigned char> rgb(size_t(side) * side * 3);
    for (size_t i = 0; i < rgba.size(); ++i) {
        rgba[i] = static_cast<unsigned char>(i * 7 + i / 251);
    }
    for (size_t i = 0; i < rgb.size(); ++i) {
        rgb[i] = static_cast<unsigned char>(i * 13 + i / 241);
    }
    const auto png = contenttest::encodePNG(side, side, rgba);
    const auto jpeg = contenttest::encodeJPEG(side, side, rgb, 90);
    const auto progressive = contenttest::encodeJPEG(side, side, rgb, 90, true);
    auto cut = [](std::vector<unsigned char> file, size_t keep) {
        file.resize(keep);
        return file;
    };
    // A byte of the first pixel data changed: the chunk's checksum no longer holds.
    auto damaged = png;
    const size_t idat = std::string(png.begin(), png.end()).find("IDAT");
    ASSERT_NE(idat, std::string::npos);
    damaged[idat + 10] ^= 0xFF;
    struct Case
    {
        const char* name;
        std::vector<unsigned char> file;
        std::string text;
    };
    const Case cases[] = {
        {"PNG cut in half", cut(png, png.size() / 2), "error loading image: PNG file is truncated: 64 x 64 pixels expected"},
        {"PNG cut in its header", cut(png, 20), "error loading image: PNG file is truncated in its header"},
        {"PNG with damaged data", damaged, "error loading image: PNG data are damaged"},
        {"JPEG cut in half", cut(jpeg, jpeg.size() / 2),
         "error loading image: JPEG file is truncated: 64 x 64 pixels expected"},
        {"JPEG cut after its header", cut(jpeg, 700), "error loading image: JPEG file is truncated: 64 x 64 pixels expected"},
        {"progressive JPEG cut in half", cut(progressive, progressive.size() / 2),
         "error loading image: JPEG file is truncated: 64 x 64 pixels expected"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(refusal(c.file), c.text);
    }
    // Only the closing chunk or marker missing: every pixel is there.
    EXPECT_EQ(decode(cut(png, png.size() - 12)).levels[0], decode(png).levels[0]);
    EXPECT_EQ(decode(cut(jpeg, jpeg.size() - 2)).levels[0], decode(jpeg).levels[0]);
    EXPECT_EQ(decode(progressive).levels[0].size(), size_t(side) * side * 4);
}

// Every coding that libjpeg-turbo writes, cut anywhere from the first byte after its first scan
// header to just before its end marker, is refused as truncated (a Huffman file that lacks only
// its end marker keeps every pixel and loads, as above). The arithmetic decoder reads the end that
// the source makes up as silently as a real one.
TEST_F(PlatformImageTest, JPEGsCutAnywhereInTheirScansAreRefusedInEveryCoding)
{
    const int side = 64;
    std::vector<unsigned char> rgb(size_t(side) * side * 3);
    for (size_t i = 0; i < rgb.size(); ++i) {
        rgb[i] = static_cast<unsigned char>(i * 13 + i / 241);
    }
    struct Coding
    {
        const char* name;
        bool progressive;
        bool arithmetic;
        int restartRows;
    };
    const Coding codings[] = {
        {"Huffman", false, false, 0},
        {"Huffman with restarts", false, false, 1},
        {"progressive Huffman", true, false, 0},
        {"arithmetic", false, true, 0},
        {"arithmetic with restarts", false, true, 1},
        {"progressive arithmetic", true, true, 0},
    };
    const std::string truncated = "error loading image: JPEG file is truncated: 64 x 64 pixels expected";
    for (const Coding& coding : codings) {
        SCOPED_TRACE(coding.name);
        const auto whole = contenttest::encodeJPEG(side, side, rgb, 90, coding.progressive, coding.arithmetic,
                                                   coding.restartRows);
        EXPECT_EQ(decode(whole).levels[0].size(), size_t(side) * side * 4);
        // The first scan's data start after its header: the marker, then a length that counts itself.
        size_t scan = 0;
        while (scan + 3 < whole.size() && !(whole[scan] == 0xFF && whole[scan + 1] == 0xDA)) {
            ++scan;
        }
        ASSERT_LT(scan + 3, whole.size());
        const size_t data = scan + 2 + (size_t(whole[scan + 2]) << 8 | whole[scan + 3]);
        const size_t end = whole.size() - 2;
        ASSERT_EQ(whole[end], 0xFF);
        ASSERT_EQ(whole[end + 1], 0xD9);
        // About a hundred cuts spread over the scans, and each of the last sixteen bytes before the
        // end marker.
        std::vector<size_t> keeps;
        for (size_t keep = data; keep < end; keep += std::max<size_t>(1, (end - data) / 100)) {
            keeps.push_back(keep);
        }
        for (size_t keep = end > data + 16 ? end - 16 : data; keep < end; ++keep) {
            keeps.push_back(keep);
        }
        for (size_t keep : keeps) {
            SCOPED_TRACE("kept " + std::to_string(keep) + " of " + std::to_string(whole.size()));
            EXPECT_EQ(refusal(std::vector<unsigned char>(whole.begin(), whole.begin() + long(keep))), truncated);
        }
    }
}

// A refusal names its cause: a whole file with a marker amid its scan data is damaged, not cut; a
// file of 12-bit samples (a good 8-bit file whose frame header says 12 bits, which is where the
// decoder stops) is of a precision the decoder does not take.
TEST_F(PlatformImageTest, JPEGRefusalsNameDamageAndUnsupportedPrecision)
{
    const int side = 64;
    std::vector<unsigned char> rgb(size_t(side) * side * 3);
    for (size_t i = 0; i < rgb.size(); ++i) {
        rgb[i] = static_cast<unsigned char>(i * 13 + i / 241);
    }
    const auto whole = contenttest::encodeJPEG(side, side, rgb, 90);
    auto find = [&whole](unsigned char marker) {
        for (size_t i = 0; i + 1 < whole.size(); ++i) {
            if (whole[i] == 0xFF && whole[i + 1] == marker) {
                return i;
            }
        }
        return whole.size();
    };
    // An end marker halfway through the scan data, on a byte that does not finish a stuffed 0xFF.
    auto marked = whole;
    size_t middle = (find(0xDA) + whole.size()) / 2;
    while (marked[middle - 1] == 0xFF || marked[middle] == 0xFF) {
        ++middle;
    }
    marked[middle] = 0xFF;
    marked[middle + 1] = 0xD9;
    // Extended sequential, 12 bits a sample.
    auto twelve = whole;
    const size_t frame = find(0xC0);
    ASSERT_LT(frame, whole.size());
    twelve[frame + 1] = 0xC1;
    twelve[frame + 4] = 12;
    struct Case
    {
        const char* name;
        std::vector<unsigned char> file;
        std::string text;
    };
    const Case cases[] = {
        {"marker amid the scan data", marked, "error loading image: JPEG data are damaged"},
        {"12-bit samples", twelve, "error loading image: JPEG file has 12-bit samples, which are not supported"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(refusal(c.file), c.text);
    }
}

// Inks become colours as red = (255 - cyan) x (255 - black) / 255; Adobe's files, told by their
// marker, store every ink inverted. The fixture was written with the inks (10, 200, 30, 40).
TEST_F(PlatformImageTest, CMYKJPEGsAreConvertedToRGB)
{
    const auto adobe = contenttest::readFile(DATA + "cmyk.jpg");
    ASSERT_FALSE(adobe.empty());
    ASSERT_EQ(std::string(adobe.begin() + 6, adobe.begin() + 11), "Adobe");
    // The same data without the marker: the stored bytes (245, 55, 225, 215) are taken as inks.
    auto plain = adobe;
    plain.erase(plain.begin() + 2, plain.begin() + 18);
    struct Case
    {
        const char* name;
        std::vector<unsigned char> file;
        int rgb[3];
    };
    const Case cases[] = {
        {"Adobe's inverted inks", adobe, {207, 46, 190}},
        {"plain inks", plain, {2, 31, 5}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const DecodedImage image = decode(c.file);
        EXPECT_EQ(image.format->pixelFormat, TextureFormat::Format_RGBA_8);
        ASSERT_EQ(image.levels[0].size(), 8u * 8u * 4u);
        for (size_t i = 0; i < image.levels[0].size(); i += 4) {
            for (int k = 0; k < 3; ++k) {
                ASSERT_NEAR(image.levels[0][i + k], c.rgb[k], 3) << "pixel " << i / 4 << " channel " << k;
            }
            ASSERT_EQ(image.levels[0][i + 3], 255);
        }
    }
}

// The premultiplying of four pixels at a time and of the rest one by one agree with
// (c x a + 127) / 255 for every colour and alpha.
TEST_F(PlatformImageTest, PremultiplyingIsExactForEveryColourAndAlpha)
{
    std::vector<unsigned char> pixels;
    for (int a = 0; a < 256; ++a) {
        for (int c = 0; c < 256; ++c) {
            pixels.insert(pixels.end(), {static_cast<unsigned char>(c), static_cast<unsigned char>(255 - c),
                                         static_cast<unsigned char>(c ^ 0x55), static_cast<unsigned char>(a)});
        }
    }
    // One pixel more than a multiple of four, so that the one-by-one tail runs too.
    pixels.insert(pixels.end(), {200, 100, 50, 77});
    std::vector<unsigned char> expected = pixels;
    for (size_t i = 0; i < expected.size(); i += 4) {
        for (int k = 0; k < 3; ++k) {
            expected[i + k] = static_cast<unsigned char>((expected[i + k] * expected[i + 3] + 127) / 255);
        }
    }
    rezezaz::scene::LinuxImageDecoder::premultiply(pixels.data(), pixels.size() / 4);
    EXPECT_EQ(pixels, expected);
}

} // namespace
