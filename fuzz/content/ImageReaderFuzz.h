// What every image reader's fuzz target does: arbitrary bytes go to the reader as a file; refusals
// raise and are expected; whatever it accepts must come with a format whose levels hold exactly the
// bytes it states.
#pragma once

#include "ContentFuzz.h"
#include "content/DecodedImage.h"
#include "core/Exception.h"
#include "core/IntrusivePointer.h"
#include "core/Log.h"
#include "core/Logger.h"
#include "core/io/MemoryStream.h"
#include "render/TextureFormat.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace fuzzing {

// Images of at most 4 MiB: run-length and compressed data can still claim large images from a
// short file, and thousands of those would leave no time for anything else.
constexpr int64_t MAX_IMAGE_BYTES = int64_t(4) << 20;

// Runs `read(stream, MAX_IMAGE_BYTES)` over the bytes and checks what it gives; returns the image,
// without a format when the reader refused the bytes.
template <typename Read>
rezezaz::scene::DecodedImage readImage(const uint8_t* data, size_t size, Read read)
{
    using rezezaz::core::IntrusivePointer;
    static const bool quiet = [] {
        rezezaz::core::Log::getInstance()->setMasterReportingLevel(0);
        return true;
    }();
    (void)quiet;
    rezezaz::scene::DecodedImage image;
    if (size > (1u << 20)) {
        return image;
    }
    IntrusivePointer<rezezaz::core::io::MemoryStream> file(memoryStream(data, size));
    try {
        image = read(file.get(), MAX_IMAGE_BYTES);
    } catch (const rezezaz::core::Exception&) {
        return rezezaz::scene::DecodedImage();
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
    return image;
}

} // namespace fuzzing
