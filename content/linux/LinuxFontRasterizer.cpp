#include "content/linux/LinuxFontRasterizer.h"

#include <algorithm>

#include <dlfcn.h>
#include <ft2build.h>
#include FT_FREETYPE_H

namespace rezezaz::scene {

namespace {

FT_Library library(void* p)
{
    return static_cast<FT_Library>(p);
}

FT_Face face(void* p)
{
    return static_cast<FT_Face>(p);
}

} // namespace

LinuxFontRasterizer::GlyphLookup LinuxFontRasterizer::findGlyphLookup()
{
    return reinterpret_cast<GlyphLookup>(dlsym(RTLD_DEFAULT, "FT_Get_Char_Index"));
}

LinuxFontRasterizer::LinuxFontRasterizer(const std::vector<unsigned char>& bytes)
{
    FT_Library lib = nullptr;
    if (FT_Init_FreeType(&lib) != 0) {
        return;
    }
    mLibrary = lib;
    FT_Face loadedFace = nullptr;
    if (!bytes.empty() &&
        FT_New_Memory_Face(lib, bytes.data(), static_cast<FT_Long>(bytes.size()), 0, &loadedFace) == 0) {
        mFace = loadedFace;
    }
}

LinuxFontRasterizer::~LinuxFontRasterizer()
{
    if (mFace != nullptr) {
        FT_Done_Face(face(mFace));
    }
    if (mLibrary != nullptr) {
        FT_Done_FreeType(library(mLibrary));
    }
}

int LinuxFontRasterizer::getUnitsPerEm() const
{
    return FT_IS_SCALABLE(face(mFace)) ? face(mFace)->units_per_EM : 0;
}

std::vector<unsigned> LinuxFontRasterizer::lookUp(GlyphLookup lookup, const std::vector<uint16_t>& characters) const
{
    std::vector<unsigned> glyphs;
    glyphs.reserve(characters.size());
    for (uint16_t c : characters) {
        glyphs.push_back(lookup(mFace, c));
    }
    return glyphs;
}

GlyphAtlasLayout::Metrics LinuxFontRasterizer::getMetrics(unsigned glyph) const
{
    GlyphAtlasLayout::Metrics metrics;
    if (FT_Load_Glyph(face(mFace), glyph, FT_LOAD_NO_SCALE | FT_LOAD_NO_HINTING) != 0) {
        return metrics;
    }
    const FT_Glyph_Metrics& m = face(mFace)->glyph->metrics;
    metrics.boxX = static_cast<double>(m.horiBearingX);
    metrics.boxY = static_cast<double>(m.horiBearingY - m.height);
    metrics.boxWidth = static_cast<double>(m.width);
    metrics.boxHeight = static_cast<double>(m.height);
    metrics.advance = static_cast<int>(m.horiAdvance);
    return metrics;
}

void LinuxFontRasterizer::draw(unsigned glyph, float pointSize, int x, int y, unsigned char* bitmap, int64_t width,
                               int64_t height) const
{
    FT_Face f = face(mFace);
    if (FT_Set_Char_Size(f, 0, static_cast<FT_F26Dot6>(pointSize * 64.0f), 72, 72) != 0 ||
        FT_Load_Glyph(f, glyph, FT_LOAD_RENDER | FT_LOAD_NO_HINTING) != 0) {
        return;
    }
    const FT_Bitmap& b = f->glyph->bitmap;
    if (b.pixel_mode != FT_PIXEL_MODE_GRAY) {
        return;
    }
    // FreeType's rows run from the glyph's top; the glyph's up is down the atlas's rows, so its top
    // row lands lowest.
    for (unsigned row = 0; row < b.rows; ++row) {
        const int64_t atY = int64_t(y) + f->glyph->bitmap_top - 1 - row;
        if (atY < 0 || atY >= height) {
            continue;
        }
        const unsigned char* source = b.buffer + int64_t(row) * b.pitch;
        for (unsigned column = 0; column < b.width; ++column) {
            const int64_t atX = int64_t(x) + f->glyph->bitmap_left + column;
            if (atX < 0 || atX >= width) {
                continue;
            }
            unsigned char& pixel = bitmap[atY * width + atX];
            pixel = std::max(pixel, source[column]);
        }
    }
}

} // namespace rezezaz::scene
