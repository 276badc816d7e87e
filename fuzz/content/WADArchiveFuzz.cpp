// Opens arbitrary bytes as a WAD file and asks for every lump's texture; the bytes are also
// converted as one mip texture with a palette of the caller's. Whatever is made must state exactly
// its four levels.
#include "ContentFuzz.h"
#include "content/WADArchive.h"
#include "core/Exception.h"
#include "render/Texture.h"
#include "render/TextureFormat.h"
#include "scene/TextureManager.h"

#include <cstring>
#include <memory>

using rezezaz::core::IntrusivePointer;
using rezezaz::scene::WADArchive;

namespace {

void check(rezezaz::render::Texture* texture)
{
    if (texture == nullptr) {
        return;
    }
    const rezezaz::render::TextureFormat* format = texture->getFormat();
    if (format == nullptr || format->mipMax != 4 || format->getDataSize() <= 0) {
        __builtin_trap();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    rezezaz::scene::Engine* engine = fuzzing::engine();
    IntrusivePointer<WADArchive> archive = new WADArchive(engine->getTextureManager());
    try {
        if (archive->open(fuzzing::memoryStream(data, size))) {
            for (const rezezaz::core::String& name : archive->getEntries()) {
                auto resource = archive->openResource(name);
                check(dynamic_cast<rezezaz::render::Texture*>(resource.get()));
            }
        }
    } catch (const rezezaz::core::Exception&) {
    }

    if (size >= sizeof(WADArchive::wmiptex) && size <= size_t(WADArchive::WORK_BUFFER_SIZE)) {
        // A lump of its own, aligned as the archive's work buffer is.
        std::unique_ptr<WADArchive::wmiptex[]> lump(
            new WADArchive::wmiptex[(size + sizeof(WADArchive::wmiptex) - 1) / sizeof(WADArchive::wmiptex)]);
        std::memcpy(lump.get(), data, size);
        unsigned char palette[256 * 3];
        for (int i = 0; i < 256 * 3; ++i) {
            palette[i] = static_cast<unsigned char>(i);
        }
        check(WADArchive::createTexture(engine->getTextureManager(), lump.get(), static_cast<int>(size), palette).get());
    }
    return 0;
}
