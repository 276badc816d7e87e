// Feeds arbitrary bytes to the image reader as a file. Refusals raise and are expected; whatever it
// accepts must come with a format whose levels hold exactly the bytes it states.
#include "content/DDSCodec.h"
#include "core/Exception.h"
#include "core/IntrusivePointer.h"
#include "core/Log.h"
#include "core/Logger.h"
#include "core/io/MemoryStream.h"
#include "render/TextureFormat.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

using rezezaz::core::IntrusivePointer;
using rezezaz::scene::DecodedImage;

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
    unsigned char* copy = new unsigned char[size + 1];
    if (size > 0) {
        std::memcpy(copy, data, size);
    }
    IntrusivePointer<rezezaz::core::io::MemoryStream> file(
        new rezezaz::core::io::MemoryStream(copy, static_cast<int>(size), static_cast<int>(size), true));
    // Images of at most 4 MiB: a short file that claims a large image is read in full, its missing
    // pixels zero, and thousands of those would leave no time for anything else.
    constexpr int64_t maxBytes = int64_t(4) << 20;
    DecodedImage image;
    try {
        image = rezezaz::scene::DDSCodec::read(file.get(), maxBytes);
    } catch (const rezezaz::core::Exception&) {
        return 0;
    }
    if (image.format) {
        const int levels = image.format->mipMax > 0 ? image.format->mipMax : 1;
        if (static_cast<int>(image.levels.size()) != levels) {
            __builtin_trap();
        }
        for (int i = 0; i < levels; ++i) {
            const rezezaz::render::TextureFormat level(image.format.get(), image.format->mipMax > 0 ? i : -1);
            if (level.getDataSize() <= 0 || image.levels[i].size() != static_cast<size_t>(level.getDataSize())) {
                __builtin_trap();
            }
        }
    }
    return 0;
}
