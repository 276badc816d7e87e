#include "scene/FontManager.h"

#include "core/CLocaleScope.h"
#include "core/Categories.h"
#include "core/Error.h"
#include "core/Exception.h"
#include "core/Log.h"
#include "core/Logger.h"
#include "scene/FontData.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

namespace rezezaz::scene {

using core::IntrusivePointer;
using core::Resource;
using core::String;

const char* const FontManager::SYSTEM_DEFAULT_FONT = "/System/Library/Fonts/Geneva.dfont";
const char* const FontManager::FALLBACK_DEFAULT_FONT = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";

namespace {

constexpr float DEFAULT_FONT_POINT_SIZE = 64.0f;

// A to Z, a to z, 0 to 9, the punctuation, then a space and a tab.
const char* const DEFAULT_CHARACTER_SET = "ABCDEFGHIJKLMNOPQRSTUVWXYZ"
                                          "abcdefghijklmnopqrstuvwxyz"
                                          "0123456789"
                                          "~!@#$%^&*()_+|{}:\"'<>?`-=\\/[];,."
                                          " \t";

} // namespace

FontManager::FontManager(Engine* engine) : ResourceManager(engine), defaultCharacterSet_(DEFAULT_CHARACTER_SET) {}

String FontManager::fontKey(const String& name, float pointSize)
{
    char size[64];
    {
        // The point, never a decimal comma, whatever the user's locale.
        core::CLocaleScope cLocale;
        std::snprintf(size, sizeof(size), "%f", static_cast<double>(pointSize));
    }
    return name + ":" + size;
}

IntrusivePointer<Resource> FontManager::find(const String& name, ResourceData* data)
{
    FontData* request = dynamic_cast<FontData*>(data);
    if (request == nullptr) {
        core::Error::nullPointer(core::Categories::REZEZAZ_SCENE, true, "invalid FontData");
    }
    if (request->characterSet.length() == 0) {
        request->characterSet = defaultCharacterSet_;
    }
    // Looked up and filed under the size too: the same file at another size is another font.
    const String key = fontKey(name, request->pointSize);
    IntrusivePointer<Resource> resource = get(key);
    if (resource) {
        return resource;
    }
    try {
        resource = findFromFile(name, data);
    } catch (const core::Exception&) {
        // Logged by whoever raised it; a look-up by name only ever answers null.
        return nullptr;
    }
    if (resource) {
        ResourceManager::manage(resource.get(), key);
    }
    return resource;
}

IntrusivePointer<Font> FontManager::findFont(const String& name, float pointSize)
{
    IntrusivePointer<FontData> data(new FontData(pointSize, String()));
    IntrusivePointer<Resource> resource = find(name, data.get());
    return IntrusivePointer<Font>(dynamic_cast<Font*>(resource.get()));
}

IntrusivePointer<Resource> FontManager::manage(Resource* resource, const String& name)
{
    const Font* font = dynamic_cast<const Font*>(resource);
    if (name.length() == 0 || font == nullptr) {
        return ResourceManager::manage(resource, name);
    }
    return ResourceManager::manage(resource, fontKey(name, font->getPointSize()));
}

void FontManager::unmanage(Resource* resource)
{
    ResourceManager::unmanage(resource);
}

IntrusivePointer<Font> FontManager::getDefaultFont()
{
    if (!defaultFont_) {
        std::error_code error;
        const bool system = std::filesystem::exists(SYSTEM_DEFAULT_FONT, error);
        defaultFont_ = findFont(system ? SYSTEM_DEFAULT_FONT : FALLBACK_DEFAULT_FONT, DEFAULT_FONT_POINT_SIZE);
    }
    return defaultFont_;
}

} // namespace rezezaz::scene
