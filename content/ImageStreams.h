#pragma once

#include "core/io/Stream.h"

#include <cstdint>
#include <vector>

namespace rezezaz::scene {

// Byte helpers shared by the image readers.
class ImageStreams
{
public:
    ImageStreams() = delete;

    // Reads up to length bytes, repeating short reads, and returns the count that came; the rest
    // of the buffer is left as it was (the readers hand in zero-filled buffers).
    static int64_t readFully(core::io::Stream* stream, unsigned char* buffer, int64_t length);

    // Everything the stream still holds, up to limit bytes.
    static std::vector<unsigned char> readRest(core::io::Stream* stream, int64_t limit);

    static uint16_t u16(const unsigned char* p) { return uint16_t(p[0] | (p[1] << 8)); }
    static uint32_t u32(const unsigned char* p)
    {
        return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
    }
};

} // namespace rezezaz::scene
