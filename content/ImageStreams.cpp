#include "content/ImageStreams.h"

#include "core/Error.h"

#include <algorithm>

namespace rezezaz::scene {

int64_t ImageStreams::readFully(core::io::Stream* stream, unsigned char* buffer, int64_t length)
{
    int64_t done = 0;
    while (done < length) {
        const int piece = static_cast<int>(std::min<int64_t>(length - done, 1 << 30));
        const int got = stream->read(buffer + done, piece);
        if (got <= 0) {
            break;
        }
        done += got;
    }
    return done;
}

int64_t ImageStreams::available(core::io::Stream* stream, int64_t position)
{
    const int length = stream->length();
    if (length < 0) {
        return -1;
    }
    return std::max<int64_t>(0, int64_t(length) - position);
}

void ImageStreams::truncated(const core::String& category, const char* reader, const char* what, int64_t position,
                             int64_t needed, int64_t there)
{
    core::Error::unknown(category, true,
                         core::String(reader) + ": File is truncated: " + static_cast<long long>(needed) +
                             " bytes of " + what + " expected from position " + static_cast<long long>(position) +
                             ", " + static_cast<long long>(there) + " there");
}

void ImageStreams::requireBytes(core::io::Stream* stream, const core::String& category, const char* reader,
                                const char* what, int64_t position, int64_t needed)
{
    const int64_t there = available(stream, position);
    if (there >= 0 && there < needed) {
        truncated(category, reader, what, position, needed, there);
    }
}

std::vector<unsigned char> ImageStreams::readRest(core::io::Stream* stream, int64_t limit)
{
    std::vector<unsigned char> bytes;
    const int length = stream->length();
    const int position = stream->position();
    if (length >= 0 && position >= 0 && length > position) {
        // The known rest in one read; the loop below takes whatever a stream serves beyond it.
        bytes.resize(static_cast<size_t>(std::min<int64_t>(length - position, limit)));
        bytes.resize(static_cast<size_t>(readFully(stream, bytes.data(), int64_t(bytes.size()))));
    }
    unsigned char piece[65536];
    while (static_cast<int64_t>(bytes.size()) < limit) {
        const int want = static_cast<int>(std::min<int64_t>(sizeof(piece), limit - int64_t(bytes.size())));
        const int got = stream->read(piece, want);
        if (got <= 0) {
            break;
        }
        bytes.insert(bytes.end(), piece, piece + got);
    }
    return bytes;
}

} // namespace rezezaz::scene
