#include "content/GlyphAtlasLayout.h"

#include <algorithm>
#include <cmath>

namespace rezezaz::scene {

namespace {

int64_t powerOfTwoAtLeast(int64_t value)
{
    int64_t side = 1;
    while (side < value) {
        side *= 2;
    }
    return side;
}

// Truncates toward zero, saturating where a damaged font's sizes pass the range of int.
int toInt(float value)
{
    return static_cast<int>(std::clamp(value, -2147483520.0f, 2147483520.0f));
}

int16_t clamp16(int64_t value)
{
    return static_cast<int16_t>(std::clamp<int64_t>(value, INT16_MIN, INT16_MAX));
}

} // namespace

float GlyphAtlasLayout::fromEm(float value, float pointSize, float unitsPerEm)
{
    return unitsPerEm == 0.0f ? value * pointSize : value * pointSize / unitsPerEm;
}

GlyphAtlasLayout::GlyphAtlasLayout(const std::vector<Metrics>& glyphs, float pointSize, float unitsPerEm)
{
    const int n = static_cast<int>(glyphs.size());
    if (n == 0) {
        return;
    }
    // Scaled boxes, a pixel wider on every side, and the size each glyph takes.
    struct Scaled
    {
        float advance;
        float x;
        float y;
        int width;
        int height;
    };
    std::vector<Scaled> scaled(glyphs.size());
    for (size_t k = 0; k < glyphs.size(); ++k) {
        const Metrics& m = glyphs[k];
        Scaled& s = scaled[k];
        s.advance = fromEm(static_cast<float>(m.advance), pointSize, unitsPerEm);
        s.x = fromEm(static_cast<float>(m.boxX), pointSize, unitsPerEm) - 1;
        s.y = fromEm(static_cast<float>(m.boxY), pointSize, unitsPerEm) - 1;
        const float width = fromEm(static_cast<float>(m.boxWidth), pointSize, unitsPerEm) + 2;
        const float height = fromEm(static_cast<float>(m.boxHeight), pointSize, unitsPerEm) + 2;
        // Damaged fonts can give any size: a glyph is never less than nothing nor more than an atlas.
        s.width = static_cast<int>(std::clamp(width - std::min(0.0f, s.x), 0.0f, 65536.0f));
        s.height = static_cast<int>(std::clamp(height - std::min(0.0f, s.y), 0.0f, 65536.0f));
    }

    const int rows = static_cast<int>(std::sqrt(static_cast<float>(n)));
    mGlyphsPerRow = static_cast<int>(std::ceil(static_cast<float>(n) / static_cast<float>(rows)));
    const int perRow = mGlyphsPerRow;

    // Measure. The tallest height is never reset between rows, so a row is as tall as the tallest
    // glyph so far.
    std::vector<int64_t> rowHeights;
    int64_t rowWidth = 0;
    int64_t tallest = 0;
    int64_t contentWidth = 0;
    int64_t contentHeight = 0;
    for (int k = 0; k < n; ++k) {
        rowWidth += scaled[k].width + 3;
        tallest = std::max<int64_t>(tallest, scaled[k].height);
        if (k % perRow == perRow - 1 || k == n - 1) {
            rowHeights.push_back(tallest);
            contentWidth = std::max(contentWidth, rowWidth);
            contentHeight += tallest + 3;
            rowWidth = 0;
        }
    }
    mWidth = powerOfTwoAtLeast(contentWidth);
    mHeight = powerOfTwoAtLeast(contentHeight);

    // Place, rows from the top down.
    mPlacements.resize(glyphs.size());
    float x = 0;
    float y = 0;
    for (int k = 0; k < n; ++k) {
        const Scaled& s = scaled[k];
        Placement& p = mPlacements[k];
        p.drawX = toInt(x - s.x);
        p.drawY = toInt(y - s.y);
        p.advanceX = std::trunc(s.advance);
        p.advanceY = 0;
        p.x = toInt(x);
        p.y = static_cast<int>(std::clamp<int64_t>(mHeight - static_cast<int64_t>(y) - s.height, INT32_MIN, INT32_MAX));
        p.width = clamp16(int64_t(s.width) + 1);
        p.height = clamp16(s.height);
        p.offsetX = clamp16(toInt(s.x));
        p.offsetY = clamp16(-(int64_t(toInt(s.y)) + s.height));
        if (k % perRow == perRow - 1) {
            y = std::trunc(y + static_cast<float>(rowHeights[static_cast<size_t>(k / perRow)] + 3));
            x = 0;
        } else {
            x += static_cast<float>(s.width + 3);
        }
    }
}

} // namespace rezezaz::scene
