#include "content/OSXFontStreamer.h"

#include "content/PlatformFont.h"
#include "core/Categories.h"
#include "core/Error.h"
#include "render/Texture.h"
#include "scene/Font.h"
#include "scene/FontData.h"
#include "scene/TextureManager.h"

#include <memory>
#include <vector>

namespace rezezaz::scene {

namespace {

LinuxFontRasterizer::GlyphLookup sharedGlyphLookup()
{
    static const LinuxFontRasterizer::GlyphLookup lookup = LinuxFontRasterizer::findGlyphLookup();
    return lookup;
}

} // namespace

OSXFontStreamer::OSXFontStreamer(TextureManager* textureManager)
    : OSXFontStreamer(textureManager, sharedGlyphLookup())
{
}

OSXFontStreamer::OSXFontStreamer(TextureManager* textureManager, LinuxFontRasterizer::GlyphLookup glyphLookup)
    : textureManager_(textureManager), glyphLookup_(glyphLookup)
{
}

core::IntrusivePointer<core::Resource> OSXFontStreamer::load(core::IntrusivePointer<core::io::Stream> stream,
                                                             ResourceData* data, ProgressListener*)
{
    const FontData* request = dynamic_cast<const FontData*>(data);
    if (request == nullptr) {
        core::Error::nullPointer(core::Categories::REZEZAZ_SCENE, true, "invalid FontData");
    }
    const PlatformFont::Atlas atlas =
        PlatformFont::rasterize(stream.get(), request->pointSize, request->characterSet, glyphLookup_);
    core::IntrusivePointer<render::Texture> texture =
        textureManager_->createTexture(atlas.image.format, const_cast<unsigned char*>(atlas.image.levels[0].data()));

    std::vector<std::unique_ptr<Font::Glyph>> glyphs;
    glyphs.reserve(atlas.glyphs.size());
    for (const GlyphAtlasLayout::Placement& p : atlas.glyphs) {
        std::unique_ptr<Font::Glyph> glyph(new Font::Glyph());
        glyph->advanceX = p.advanceX;
        glyph->advanceY = p.advanceY;
        glyph->x = p.x;
        glyph->y = p.y;
        glyph->width = p.width;
        glyph->height = p.height;
        glyph->offsetX = p.offsetX;
        glyph->offsetY = p.offsetY;
        glyphs.push_back(std::move(glyph));
    }
    std::vector<Font::Glyph*> owned;
    owned.reserve(glyphs.size());
    for (auto& glyph : glyphs) {
        owned.push_back(glyph.release());
    }
    // The font owns the glyphs from here on.
    return new Font(request->pointSize, 0, texture.get(), request->characterSet.internal_str(), owned.data(),
                    static_cast<int>(owned.size()));
}

} // namespace rezezaz::scene
