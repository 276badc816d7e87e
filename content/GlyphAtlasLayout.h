#pragma once

#include <cstdint>
#include <vector>

namespace rezezaz::scene {

// Where each glyph of a font request goes in its atlas, and what its glyph record says, from the
// glyphs' boxes and advances in font units: the platform font streamer rasterises the glyphs at the
// places given here. Rows of about the square root of the glyph count, 3 pixels apart; the atlas
// is the smallest power of two on each side that holds them.
class GlyphAtlasLayout
{
public:
    // One glyph as the font gives it, in font units.
    struct Metrics
    {
        double boxX = 0;
        double boxY = 0;
        double boxWidth = 0;
        double boxHeight = 0;
        int advance = 0;
    };

    // One glyph's record, in atlas pixels, y counted from the atlas's bottom row, and the point
    // at which it is drawn (from the top-left corner, y downward).
    struct Placement
    {
        float advanceX = 0;
        float advanceY = 0;
        int x = 0;
        int y = 0;
        int16_t width = 0;
        int16_t height = 0;
        int16_t offsetX = 0;
        int16_t offsetY = 0;
        int drawX = 0;
        int drawY = 0;
    };

    // value x pointSize / unitsPerEm, or value x pointSize when unitsPerEm is 0.
    static float fromEm(float value, float pointSize, float unitsPerEm);

    // Lays out the glyphs at pointSize. No glyphs give a 1 x 1 atlas.
    GlyphAtlasLayout(const std::vector<Metrics>& glyphs, float pointSize, float unitsPerEm);

    // The atlas's sides, which the streamer bounds before it allocates the atlas: a damaged font
    // can ask for any size.
    int64_t getWidth() const { return mWidth; }
    int64_t getHeight() const { return mHeight; }
    // Glyphs in a row of the atlas.
    int getGlyphsPerRow() const { return mGlyphsPerRow; }
    const std::vector<Placement>& getPlacements() const { return mPlacements; }

private:
    int64_t mWidth = 1;
    int64_t mHeight = 1;
    int mGlyphsPerRow = 0;
    std::vector<Placement> mPlacements;
};

} // namespace rezezaz::scene
