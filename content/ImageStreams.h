#pragma once

#include "core/String.h"
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

    // Bytes the stream holds from position on, or -1 when it cannot tell its length.
    static int64_t available(core::io::Stream* stream, int64_t position);

    // Raises Error::unknown "<reader>: File is truncated: <needed> bytes of <what> expected from
    // position <position>, <there> there" in category.
    [[noreturn]] static void truncated(const core::String& category, const char* reader, const char* what,
                                       int64_t position, int64_t needed, int64_t there);

    // Raises the truncation error when the stream tells its length and holds fewer than needed bytes
    // from position: called before a reader allocates what the header claims, so that a file that
    // cannot fill it costs nothing. Streams of unknown length are checked as they are read.
    static void requireBytes(core::io::Stream* stream, const core::String& category, const char* reader,
                             const char* what, int64_t position, int64_t needed);

    // Everything the stream still holds, up to limit bytes.
    static std::vector<unsigned char> readRest(core::io::Stream* stream, int64_t limit);

    static uint16_t u16(const unsigned char* p) { return uint16_t(p[0] | (p[1] << 8)); }
    static uint32_t u32(const unsigned char* p)
    {
        return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
    }
};

} // namespace rezezaz::scene
