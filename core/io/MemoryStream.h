#pragma once

#include "core/Collection.h"
#include "core/Object.h"
#include "core/io/Stream.h"

#include <cstdint>

namespace rezezaz::core::io {

// A stream over bytes in memory, in one of two kinds:
// - fixed: over a buffer of known size (the caller's, or a copy of another stream's whole
//   content); writing is bounded by the buffer's size, reading and seeking by the length;
// - growable: over a byte collection that grows as it is written; reset() empties it.
// A memory stream is never closed. Reads past the end return fewer bytes (0 at the end),
// writes past a fixed buffer's end are cut to what fits, seeks past the end stop at the end.
class MemoryStream : public Object, public Stream
{
public:
    // Fixed stream over data, of which dataLength bytes may be used and the first length
    // bytes are the content. With ownsData the stream frees data (as an array) when it goes.
    MemoryStream(unsigned char* data, int dataLength, int length, bool ownsData);
    // Fixed stream over a copy of everything that source reads until its end; the source
    // is neither closed nor released.
    explicit MemoryStream(Stream* source);
    // Growable stream, empty.
    MemoryStream();
    ~MemoryStream() override;

    MemoryStream(const MemoryStream&) = delete;
    MemoryStream& operator=(const MemoryStream&) = delete;

    int32_t retain() override { return Object::retain(); }
    int32_t release() override { return Object::release(); }

    void close() override;
    bool closed() override;
    bool readable() override;
    int read(unsigned char* buffer, int length) override;
    bool writeable() override;
    int write(const unsigned char* buffer, int length) override;
    // Back to the initial length at position 0; a growable stream is emptied.
    bool reset() override;
    int length() override;
    int position() override;
    bool seek(int offset) override;
    bool flush() override;

    // The start of the bytes, and the start plus the position. Pointers into a growable
    // stream are valid until its next write; an empty growable stream may give null.
    unsigned char* getOriginalDataPointer();
    unsigned char* getCurrentDataPointer();

private:
    void growTo(int end);

    unsigned char* mData;
    int mDataLength;
    Collection<unsigned char>* mBuffer;
    int mLength;
    int mInitialLength;
    int mPosition;
    bool mOwnsData;
};

} // namespace rezezaz::core::io
