#include "content/PlatformImage.h"

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

TEST_F(PlatformImageTest, OtherBytesAreRefused)
{
    auto png = contenttest::encodePNG(2, 2, std::vector<unsigned char>(16, 200));
    auto wide = png;
    // Width 20000 in the header: beyond the largest image taken (the checksum is not checked first).
    wide[16] = 0;
    wide[17] = 0;
    wide[18] = 0x4E;
    wide[19] = 0x20;
    struct Case
    {
        const char* name;
        std::vector<unsigned char> file;
    };
    const std::string text = "just some text, neither PNG nor JPEG\n";
    const Case cases[] = {
        {"text", std::vector<unsigned char>(text.begin(), text.end())},
        {"empty", {}},
        {"CMYK JPEG", contenttest::readFile(DATA + "cmyk.jpg")},
        {"PNG signature only", std::vector<unsigned char>(png.begin(), png.begin() + 8)},
        {"PNG too wide", wide},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(refusal(c.file), "error loading image");
    }
    try {
        PlatformImage::decode(nullptr);
        ADD_FAILURE() << "no refusal";
    } catch (const Exception& e) {
        EXPECT_EQ(e.getError(), 3);
        EXPECT_STREQ(e.getDescription(), "Stream is NULL");
    }
}

} // namespace
