#pragma once

#include "content/GlyphAtlasLayout.h"

#include <cstdint>
#include <vector>

namespace rezezaz::scene {

// The platform's font rasteriser on Linux: FreeType 2 over a font file in memory. It gives each
// glyph's box and advance in font units and draws glyphs, unhinted and white on black, into a grey
// bitmap whose first row is the top, with the glyphs' up pointing down the rows. The platform font
// streamer is written against it.
class LinuxFontRasterizer
{
public:
    // The library's character-to-glyph lookup, FT_Get_Char_Index, found by name at run time.
    using GlyphLookup = unsigned (*)(void* face, unsigned long character);
    static GlyphLookup findGlyphLookup();

    // A font over bytes, which must outlive it; false from loaded() when they are no font.
    explicit LinuxFontRasterizer(const std::vector<unsigned char>& bytes);
    ~LinuxFontRasterizer();
    LinuxFontRasterizer(const LinuxFontRasterizer&) = delete;
    LinuxFontRasterizer& operator=(const LinuxFontRasterizer&) = delete;

    bool loaded() const { return mFace != nullptr; }
    // 0 for fonts without outlines.
    int getUnitsPerEm() const;
    // Glyph numbers of the characters.
    std::vector<unsigned> lookUp(GlyphLookup lookup, const std::vector<uint16_t>& characters) const;
    GlyphAtlasLayout::Metrics getMetrics(unsigned glyph) const;
    // Draws the glyph at pointSize with its origin at (x, y) of a width x height bitmap.
    void draw(unsigned glyph, float pointSize, int x, int y, unsigned char* bitmap, int64_t width, int64_t height) const;

private:
    void* mLibrary = nullptr;
    void* mFace = nullptr;
};

} // namespace rezezaz::scene
