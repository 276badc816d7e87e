#pragma once

#include "content/DecodedImage.h"
#include "content/GlyphAtlasLayout.h"
#include "content/linux/LinuxFontRasterizer.h"
#include "core/String.h"
#include "core/io/Stream.h"

#include <vector>

namespace rezezaz::scene {

// Rasterises the requested characters of a font file at a point size into one glyph atlas through
// the platform's rasteriser: luminance-alpha pixels (0x103), bottom row first, and one placement
// (the glyph record) per character. The platform font streamer wraps it.
class PlatformFont
{
public:
    PlatformFont() = delete;

    struct Atlas
    {
        DecodedImage image;
        std::vector<GlyphAtlasLayout::Placement> glyphs;
    };

    // Raises Error::nullPointer "error finding CGFontGetGlyphsForUnichars" without a glyph lookup,
    // "Stream is NULL", and Error::unknown "error loading font" when the bytes are no font, the point
    // size is negative, NaN or larger than an atlas side, or the atlas would be larger than the
    // readers take (scene category).
    static Atlas rasterize(core::io::Stream* stream, float pointSize, const core::String& characters,
                           LinuxFontRasterizer::GlyphLookup lookup);
};

} // namespace rezezaz::scene
