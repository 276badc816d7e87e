#include "content/GlyphAtlasLayout.h"

#include <gtest/gtest.h>

#include <vector>

using rezezaz::scene::GlyphAtlasLayout;

namespace {

using Metrics = GlyphAtlasLayout::Metrics;

TEST(GlyphAtlasLayoutTest, ScalesFromFontUnits)
{
    EXPECT_FLOAT_EQ(GlyphAtlasLayout::fromEm(1024, 24, 2048), 12);
    // Units per em 0: the value times the point size.
    EXPECT_FLOAT_EQ(GlyphAtlasLayout::fromEm(3, 24, 0), 72);
}

TEST(GlyphAtlasLayoutTest, GlyphRecordFromItsScaledBox)
{
    // At point size 1 and units per em 0 the box is taken as it stands, then widened by a pixel on
    // every side: origin (-2.5, -3.5), size (10.2, 12.9).
    const GlyphAtlasLayout layout({Metrics{-1.5, -2.5, 8.2, 10.9, 7}}, 1, 0);
    ASSERT_EQ(layout.getPlacements().size(), 1u);
    const auto& glyph = layout.getPlacements()[0];
    EXPECT_EQ(glyph.width, 13);
    EXPECT_EQ(glyph.height, 16);
    EXPECT_EQ(glyph.offsetX, -2);
    EXPECT_EQ(glyph.offsetY, -13);
    EXPECT_FLOAT_EQ(glyph.advanceX, 7);
    EXPECT_FLOAT_EQ(glyph.advanceY, 0);
    // Content 15 x 19: a 16 x 32 atlas; the glyph sits at the top, drawn clear of its box's origin.
    EXPECT_EQ(layout.getWidth(), 16);
    EXPECT_EQ(layout.getHeight(), 32);
    EXPECT_EQ(glyph.x, 0);
    EXPECT_EQ(glyph.y, 32 - 16);
    EXPECT_EQ(glyph.drawX, 2);
    EXPECT_EQ(glyph.drawY, 3);
}

TEST(GlyphAtlasLayoutTest, TenGlyphsFillRowsOfFourFourAndTwo)
{
    // Boxes at (1, 1), so that widened they start at 0: glyph k is 5 pixels wide and 2k + 2 tall.
    std::vector<Metrics> glyphs;
    for (int k = 0; k < 10; ++k) {
        glyphs.push_back(Metrics{1, 1, 3, double(2 * k), 10});
    }
    const GlyphAtlasLayout layout(glyphs, 1, 0);
    EXPECT_EQ(layout.getGlyphsPerRow(), 4);
    const auto& p = layout.getPlacements();
    // Rows begin at glyphs 0, 4 and 8, 8 pixels apart across; each row is as tall as the tallest
    // glyph so far (8, 16 and 20), plus 3 between rows.
    const int xs[] = {0, 8, 16, 24, 0, 8, 16, 24, 0, 8};
    const int tops[] = {0, 0, 0, 0, 11, 11, 11, 11, 30, 30};
    // Content 32 x 53: a 32 x 64 atlas, the last row counted too (without it, 32 x 32).
    EXPECT_EQ(layout.getWidth(), 32);
    EXPECT_EQ(layout.getHeight(), 64);
    for (int k = 0; k < 10; ++k) {
        SCOPED_TRACE(k);
        EXPECT_EQ(p[k].x, xs[k]);
        EXPECT_EQ(p[k].drawY, tops[k]);
        EXPECT_EQ(p[k].y, 64 - tops[k] - (2 * k + 2));
        EXPECT_EQ(p[k].width, 6);
        EXPECT_EQ(p[k].height, 2 * k + 2);
    }
}

TEST(GlyphAtlasLayoutTest, NoGlyphsGiveOnePixel)
{
    const GlyphAtlasLayout layout({}, 24, 2048);
    EXPECT_EQ(layout.getWidth(), 1);
    EXPECT_EQ(layout.getHeight(), 1);
    EXPECT_TRUE(layout.getPlacements().empty());
}

} // namespace
