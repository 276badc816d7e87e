#pragma once

#include "content/linux/LinuxFontRasterizer.h"
#include "core/Object.h"
#include "scene/ResourceStreamer.h"

namespace rezezaz::scene {

class TextureManager;

// The font manager's default streamer: rasterises the requested characters of a font file at the
// requested point size into one luminance-alpha atlas texture through the platform's rasteriser
// (PlatformFont) and makes the Font of its glyph records. It cannot write.
// The engine registers it with its font manager, which owns it; the streamer keeps a plain pointer
// to the texture manager, through which it creates the atlases.
class OSXFontStreamer : public core::Object, public ResourceStreamer
{
public:
    // The platform's glyph lookup, found by name the first time a streamer is made and shared by
    // every streamer after.
    explicit OSXFontStreamer(TextureManager* textureManager);
    // With a glyph lookup of the caller's own; null stands for a platform without one.
    OSXFontStreamer(TextureManager* textureManager, LinuxFontRasterizer::GlyphLookup glyphLookup);

    int32_t retain() override { return core::Object::retain(); }
    int32_t release() override { return core::Object::release(); }

    // The Font of the request's characters at its point size, with character spacing 0. Raises
    // Error::nullPointer "invalid FontData" when data is no FontData, and the rasteriser's errors.
    core::IntrusivePointer<core::Resource> load(core::IntrusivePointer<core::io::Stream> stream, ResourceData* data,
                                                ProgressListener* listener) override;

private:
    TextureManager* textureManager_;
    LinuxFontRasterizer::GlyphLookup glyphLookup_;
};

} // namespace rezezaz::scene
