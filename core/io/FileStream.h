#pragma once

#include "core/Object.h"
#include "core/String.h"
#include "core/io/Stream.h"

#include <cstdint>
#include <cstdio>

namespace rezezaz::core::io {

// A stream over a C library file, opened by the constructor and closed by close() or
// when the last reference goes. A file that can't be opened leaves the stream closed();
// callers check closed() after construction. Operations on a closed stream fail with the
// interface's failure values.
class FileStream : public Object, public Stream
{
public:
    // Open-mode bits; see modeText() for the fopen mode they make.
    enum Mode : int
    {
        Read = 1,    // "r" unless Append is set; readable() is true
        Write = 2,   // "w" unless Append or Read is set; writeable() is true
        Binary = 4,  // "b"
        Append = 8,  // "a", taking precedence over Read and Write
        Update = 16, // "+"
    };

    FileStream(const String& filename, int mode);
    ~FileStream() override;

    int32_t retain() override { return Object::retain(); }
    int32_t release() override { return Object::release(); }
    void destroy() override;

    void close() override;
    bool closed() override;
    bool readable() override;
    int read(unsigned char* buffer, int length) override;
    bool writeable() override;
    int write(const unsigned char* buffer, int length) override;
    bool reset() override;
    int length() override;
    int position() override;
    bool seek(int offset) override;
    bool flush() override;

    // The fopen mode text for a set of mode bits: the first letter ("a", "r" or "w"), then
    // "b", then "+". Read and Binary (5) give "rb", Write (2) "w", Append and Write (10) "a".
    static String modeText(int mode);

private:
    int mMode;
    std::FILE* mFile;
    bool mOwnsFile;
};

} // namespace rezezaz::core::io
