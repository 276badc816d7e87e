// Feeds arbitrary bytes to the platform font rasteriser as a font file, then lays text out with the
// glyph records it gives: refusals raise and are expected; an accepted font must come with an atlas
// that holds exactly the pixels its format states and one record per requested character, and the
// layout of any records must stay finite.
#include "ContentFuzz.h"
#include "content/PlatformFont.h"
#include "core/Exception.h"
#include "core/IntrusivePointer.h"
#include "core/Log.h"
#include "core/io/MemoryStream.h"
#include "core/math/Vector4.h"
#include "render/BackableVertexFormat.h"
#include "render/TextureFormat.h"
#include "render/VertexFormat.h"
#include "scene/Font.h"
#include "support/MemoryBuffer.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {

using rezezaz::core::IntrusivePointer;
using rezezaz::render::VertexFormat;

const char* const CHARACTERS = "Tg.0 A~\t";
const char* const TEXT = "Tg\n.0 A~";

void layOut(const rezezaz::scene::PlatformFont::Atlas& atlas)
{
    std::vector<int32_t> codes;
    for (const char* c = CHARACTERS; *c != '\0'; ++c) {
        codes.push_back(*c);
    }
    std::vector<rezezaz::scene::Font::Glyph*> glyphs;
    for (const auto& p : atlas.glyphs) {
        glyphs.push_back(new rezezaz::scene::Font::Glyph{p.advanceX, p.advanceY, p.x, p.y, p.width, p.height,
                                                         p.offsetX, p.offsetY});
    }
    IntrusivePointer<rezezaz::scene::Font> font(new rezezaz::scene::Font(
        16, 1, nullptr, codes.data(), glyphs.data(), static_cast<int>(glyphs.size())));

    IntrusivePointer<rezezaz::render::BackableVertexFormat> format(new rezezaz::render::BackableVertexFormat());
    format->addElement(VertexFormat::Semantic_POSITION, 0, VertexFormat::makeFormat(VertexFormat::Type_FLOAT32, 3));
    format->addElement(VertexFormat::Semantic_TEXCOORD, 0, VertexFormat::makeFormat(VertexFormat::Type_FLOAT32, 2));
    IntrusivePointer<support::MemoryBuffer> buffer(new support::MemoryBuffer());
    const int characters = static_cast<int>(std::strlen(TEXT));
    buffer->create(1, 2, IntrusivePointer<VertexFormat>(format.get()), characters * 4);
    for (int alignment : {0x00, 0x15, 0x2A}) {
        font->updateVertexBufferForString(buffer.get(), TEXT, rezezaz::core::math::Vector4(1, 1, 1, 1), alignment,
                                          alignment == 0, alignment == 0x2A);
        const float* values = reinterpret_cast<const float*>(buffer->bytes.data());
        for (size_t i = 0; i < buffer->bytes.size() / sizeof(float); ++i) {
            if (!std::isfinite(values[i])) {
                __builtin_trap();
            }
        }
    }
    font->getStringWidth(TEXT, 0, characters);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const bool quiet = [] {
        rezezaz::core::Log::getInstance()->setMasterReportingLevel(0);
        return true;
    }();
    (void)quiet;
    if (size > (1u << 20)) {
        return 0;
    }
    IntrusivePointer<rezezaz::core::io::MemoryStream> file(fuzzing::memoryStream(data, size));
    rezezaz::scene::PlatformFont::Atlas atlas;
    try {
        atlas = rezezaz::scene::PlatformFont::rasterize(file.get(), 16, CHARACTERS,
                                                        rezezaz::scene::LinuxFontRasterizer::findGlyphLookup());
    } catch (const rezezaz::core::Exception&) {
        return 0;
    }
    const rezezaz::render::TextureFormat& format = *atlas.image.format;
    if (atlas.glyphs.size() != std::strlen(CHARACTERS) || atlas.image.levels.size() != 1 ||
        format.pixelFormat != rezezaz::render::TextureFormat::Format_LA_8 || format.getDataSize() <= 0 ||
        atlas.image.levels[0].size() != static_cast<size_t>(format.getDataSize())) {
        __builtin_trap();
    }
    layOut(atlas);
    return 0;
}
