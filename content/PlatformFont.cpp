#include "content/PlatformFont.h"

#include "content/ImageStreams.h"
#include "core/Categories.h"
#include "core/Error.h"
#include "render/TextureFormat.h"

namespace rezezaz::scene {

namespace {

// Font files larger than this are not read.
constexpr int64_t MAX_FONT_BYTES = int64_t(64) << 20;
// No glyph is larger than an atlas may be; beyond that (and for NaN) the rasteriser's sizes would
// overflow.
constexpr float MAX_POINT_SIZE = static_cast<float>(ImageLimits::MAX_SIDE);

} // namespace

PlatformFont::Atlas PlatformFont::rasterize(core::io::Stream* stream, float pointSize, const core::String& characters,
                                            LinuxFontRasterizer::GlyphLookup lookup)
{
    using core::Categories;
    using core::Error;
    if (lookup == nullptr) {
        Error::nullPointer(Categories::REZEZAZ_SCENE, true, "error finding CGFontGetGlyphsForUnichars");
    }
    if (stream == nullptr) {
        Error::nullPointer(Categories::REZEZAZ_SCENE, true, "Stream is NULL");
    }
    if (!(pointSize >= 0.0f && pointSize <= MAX_POINT_SIZE)) {
        Error::unknown(Categories::REZEZAZ_SCENE, true, "error loading font");
    }
    const std::vector<unsigned char> bytes = ImageStreams::readRest(stream, MAX_FONT_BYTES);
    const LinuxFontRasterizer font(bytes);
    if (!font.loaded()) {
        Error::unknown(Categories::REZEZAZ_SCENE, true, "error loading font");
    }

    // The characters cut to 16 bits, as the lookup takes them.
    std::vector<uint16_t> wanted;
    for (int i = 0; i < characters.length(); ++i) {
        wanted.push_back(static_cast<uint16_t>(characters.internal_str()[i]));
    }
    const std::vector<unsigned> glyphs = font.lookUp(lookup, wanted);
    std::vector<GlyphAtlasLayout::Metrics> metrics;
    metrics.reserve(glyphs.size());
    for (unsigned glyph : glyphs) {
        metrics.push_back(font.getMetrics(glyph));
    }
    const float unitsPerEm = static_cast<float>(font.getUnitsPerEm());
    const GlyphAtlasLayout layout(metrics, pointSize, unitsPerEm);
    const int64_t width = layout.getWidth();
    const int64_t height = layout.getHeight();
    if (!ImageLimits::fits(width, height, 2)) {
        Error::unknown(Categories::REZEZAZ_SCENE, true, "error loading font");
    }

    std::vector<unsigned char> grey(static_cast<size_t>(width * height), 0);
    for (size_t k = 0; k < glyphs.size(); ++k) {
        const auto& p = layout.getPlacements()[k];
        font.draw(glyphs[k], pointSize, p.drawX, p.drawY, grey.data(), width, height);
    }

    Atlas atlas;
    atlas.glyphs = layout.getPlacements();
    atlas.image.format = new render::TextureFormat(render::TextureFormat::Dimension_2D,
                                                   render::TextureFormat::Format_LA_8, static_cast<int>(width),
                                                   static_cast<int>(height), 1, 0);
    atlas.image.levels.emplace_back(static_cast<size_t>(width * height * 2));
    unsigned char* out = atlas.image.levels[0].data();
    // Texture row height - 1 - i is bitmap row i; each grey value is luminance and alpha.
    for (int64_t i = 0; i < height; ++i) {
        const unsigned char* source = grey.data() + i * width;
        unsigned char* row = out + (height - 1 - i) * width * 2;
        for (int64_t x = 0; x < width; ++x) {
            row[x * 2] = source[x];
            row[x * 2 + 1] = source[x];
        }
    }
    return atlas;
}

} // namespace rezezaz::scene
