#pragma once

#include "core/IntrusivePointer.h"
#include "core/String.h"
#include "scene/Font.h"
#include "scene/ResourceManager.h"

namespace rezezaz::scene {

// The engine's resource manager of fonts. A font is found by file name and point size and filed
// under the name, a colon and the size ("DejaVuSans.ttf:24.000000"), so that one file at two sizes
// gives two fonts. Requests without characters get the default character set. Owned by the
// engine; the default font is made on its first request and kept until the manager goes.
class FontManager : public ResourceManager
{
public:
    // The name of the font that getDefaultFont looks for first, and the one it takes where that
    // file does not exist.
    static const char* const SYSTEM_DEFAULT_FONT;
    static const char* const FALLBACK_DEFAULT_FONT;

    explicit FontManager(Engine* engine);

    // Raises Error::nullPointer "invalid FontData" when data is no FontData. Otherwise the font
    // filed under the name and the data's point size, or loaded by the streamer of the name's
    // extension (the default streamer, as a rule); null when it cannot be had.
    core::IntrusivePointer<core::Resource> find(const core::String& name, ResourceData* data) override;
    // A font at pointSize with the default character set; null when none can be had.
    core::IntrusivePointer<Font> findFont(const core::String& name, float pointSize);
    // With a name, files the font under the name, a colon and its point size.
    core::IntrusivePointer<core::Resource> manage(core::Resource* resource, const core::String& name) override;
    void unmanage(core::Resource* resource) override;

    // The system font at 64 points, looked for until it is found; null while it cannot be had.
    core::IntrusivePointer<Font> getDefaultFont();

    const core::String& getDefaultCharacterSet() const { return defaultCharacterSet_; }
    // The name under which a font of that file and point size is filed: the size as "%f".
    static core::String fontKey(const core::String& name, float pointSize);

private:
    core::String defaultCharacterSet_;
    core::IntrusivePointer<Font> defaultFont_;
};

} // namespace rezezaz::scene
