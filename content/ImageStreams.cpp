#include "content/ImageStreams.h"

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
