#include "content/PlatformFont.h"

#include "ImageOracles.h"
#include "core/Exception.h"
#include "render/TextureFormat.h"
#include "support/QuietLog.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

using contenttest::memoryStream;
using rezezaz::core::Exception;
using rezezaz::render::TextureFormat;
using rezezaz::scene::GlyphAtlasLayout;
using rezezaz::scene::LinuxFontRasterizer;
using rezezaz::scene::PlatformFont;

namespace {

const std::string DATA = std::string(PELOTUNE_TEST_DATA) + "/data/";
const std::string DEJAVU = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";

class PlatformFontTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        font = contenttest::readFile(DEJAVU);
        if (font.empty()) {
            if (contenttest::inCI()) {
                FAIL() << "missing " << DEJAVU;
            }
            GTEST_SKIP() << DEJAVU << " is not installed";
        }
    }

    PlatformFont::Atlas rasterize(const char* characters, float pointSize)
    {
        return PlatformFont::rasterize(memoryStream(font).get(), pointSize, characters,
                                       LinuxFontRasterizer::findGlyphLookup());
    }

    support::QuietLog quiet;
    std::vector<unsigned char> font;
};

// The records of "Tg.0" at 24 points are the layout of the font's own numbers, as fontTools reads
// them from the file.
TEST_F(PlatformFontTest, RecordsFollowTheFontsOwnNumbers)
{
    std::ifstream table(DATA + "dejavuSansTg0.txt");
    float unitsPerEm = 0;
    table >> unitsPerEm;
    EXPECT_EQ(unitsPerEm, 2048);
    std::vector<GlyphAtlasLayout::Metrics> metrics;
    std::string character;
    int advance = 0;
    double xMin = 0, yMin = 0, xMax = 0, yMax = 0;
    while (table >> character >> advance >> xMin >> yMin >> xMax >> yMax) {
        metrics.push_back(GlyphAtlasLayout::Metrics{xMin, yMin, xMax - xMin, yMax - yMin, advance});
    }
    ASSERT_EQ(metrics.size(), 4u);
    const GlyphAtlasLayout expected(metrics, 24, unitsPerEm);
    const PlatformFont::Atlas atlas = rasterize("Tg.0", 24);
    EXPECT_EQ(atlas.image.format->pixelFormat, TextureFormat::Format_LA_8);
    EXPECT_EQ(atlas.image.format->getWidth(), expected.getWidth());
    EXPECT_EQ(atlas.image.format->getHeight(), expected.getHeight());
    ASSERT_EQ(atlas.glyphs.size(), 4u);
    for (size_t k = 0; k < 4; ++k) {
        SCOPED_TRACE(k);
        const auto& ours = atlas.glyphs[k];
        const auto& theirs = expected.getPlacements()[k];
        EXPECT_EQ(ours.advanceX, theirs.advanceX);
        EXPECT_EQ(ours.x, theirs.x);
        EXPECT_EQ(ours.y, theirs.y);
        EXPECT_EQ(ours.width, theirs.width);
        EXPECT_EQ(ours.height, theirs.height);
        EXPECT_EQ(ours.offsetX, theirs.offsetX);
        EXPECT_EQ(ours.offsetY, theirs.offsetY);
    }
    // 'T' advances 1251 units: 14.66 at 24 points, 14 in the record.
    EXPECT_EQ(atlas.glyphs[0].advanceX, 14);
}

TEST_F(PlatformFontTest, GlyphsStandUpsideDownInTextureRows)
{
    // The bar of the 'T' is the glyph's top; with y turned downward while drawing and the rows turned
    // again into the texture, it lies in the lower half of the glyph's rectangle.
    const PlatformFont::Atlas atlas = rasterize("T", 48);
    const auto& t = atlas.glyphs[0];
    const int width = atlas.image.format->getWidth();
    int bestRow = -1;
    int bestCoverage = 0;
    int total = 0;
    for (int row = t.y; row < t.y + t.height; ++row) {
        int coverage = 0;
        for (int x = t.x; x < t.x + t.width; ++x) {
            const unsigned char* pixel = atlas.image.levels[0].data() + (size_t(row) * width + x) * 2;
            EXPECT_EQ(pixel[0], pixel[1]);
            coverage += pixel[1];
        }
        total += coverage;
        if (coverage > bestCoverage) {
            bestCoverage = coverage;
            bestRow = row;
        }
    }
    EXPECT_GT(total, 0);
    EXPECT_LT(bestRow - t.y, t.height / 2);
    // Nothing is drawn outside the glyphs' rectangles.
    int outside = 0;
    for (int row = 0; row < atlas.image.format->getHeight(); ++row) {
        for (int x = 0; x < width; ++x) {
            const bool inside = row >= t.y && row < t.y + t.height && x >= t.x && x < t.x + t.width;
            outside += inside ? 0 : atlas.image.levels[0][(size_t(row) * width + x) * 2];
        }
    }
    EXPECT_EQ(outside, 0);
}

TEST_F(PlatformFontTest, EmptyRequestsAndRefusals)
{
    const PlatformFont::Atlas empty = rasterize("", 24);
    EXPECT_EQ(empty.image.format->getWidth(), 1);
    EXPECT_EQ(empty.image.format->getHeight(), 1);
    EXPECT_TRUE(empty.glyphs.empty());

    const std::string text = "no font here";
    struct Case
    {
        const char* name;
        std::vector<unsigned char> bytes;
        LinuxFontRasterizer::GlyphLookup lookup;
        int code;
        const char* description;
    };
    const Case cases[] = {
        {"text", std::vector<unsigned char>(text.begin(), text.end()), LinuxFontRasterizer::findGlyphLookup(), -1,
         "error loading font"},
        {"no glyph lookup", font, nullptr, 3, "error finding CGFontGetGlyphsForUnichars"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        try {
            PlatformFont::rasterize(memoryStream(c.bytes).get(), 24, "T", c.lookup);
            ADD_FAILURE() << "no refusal";
        } catch (const Exception& e) {
            EXPECT_EQ(e.getError(), c.code);
            EXPECT_STREQ(e.getDescription(), c.description);
        }
    }
}

} // namespace
