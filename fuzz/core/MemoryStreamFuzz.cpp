// Drives a fixed and a growable memory stream through a sequence of reads, writes, seeks
// and resets decoded from the input, and checks every result against a plain model of
// what the stream should hold. Any access outside the buffers shows under the sanitizers.
#include "core/IntrusivePointer.h"
#include "core/io/MemoryStream.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

using rezezaz::core::IntrusivePointer;
using rezezaz::core::io::MemoryStream;

namespace {

class Input
{
public:
    Input(const uint8_t* data, size_t size) : mData(data), mSize(size) {}
    bool empty() const { return mPos >= mSize; }
    uint8_t byte() { return mPos < mSize ? mData[mPos++] : 0; }
    // A small signed number, sometimes negative or far beyond any buffer.
    int count()
    {
        const uint8_t b = byte();
        if (b == 0xFF) {
            return 1 << 30;
        }
        return static_cast<int8_t>(b);
    }

private:
    const uint8_t* mData;
    size_t mSize;
    size_t mPos = 0;
};

void check(bool condition)
{
    if (!condition) {
        std::abort();
    }
}

// What a stream should hold: its bytes up to the length, the position, and for a fixed
// stream the size of its buffer and the length that reset restores.
struct Model
{
    bool growable;
    std::vector<uint8_t> bytes; // fixed: the whole buffer; growable: the content
    int length;
    int initialLength;
    int position = 0;
};

void run(Input& in, MemoryStream& stream, Model& model)
{
    std::vector<uint8_t> scratch;
    const int bufferSize = static_cast<int>(model.bytes.size());
    for (int step = 0; step < 64 && !in.empty(); ++step) {
        switch (in.byte() % 4) {
        case 0: { // write
            const int n = in.count();
            const int size = std::clamp(n, 0, 300);
            scratch.assign(static_cast<size_t>(size), in.byte());
            int expected = 0;
            if (n > 0) {
                expected =
                    model.growable ? std::min(n, size) : std::min({n, size, bufferSize - model.position});
                expected = std::max(expected, 0);
            }
            // The stream may only be told as many bytes as the scratch buffer holds.
            const int written = stream.write(scratch.data(), n > 0 ? std::min(n, size) : n);
            check(written == expected);
            if (written > 0) {
                const size_t end = static_cast<size_t>(model.position + written);
                if (model.growable && model.bytes.size() < end) {
                    model.bytes.resize(end);
                }
                std::memset(model.bytes.data() + model.position, scratch[0], static_cast<size_t>(written));
                model.position += written;
                model.length = std::max(model.length, model.position);
            }
            break;
        }
        case 1: { // read
            const int n = in.count();
            scratch.assign(static_cast<size_t>(std::clamp(n, 0, 300)), 0);
            const int asked = n > 0 ? static_cast<int>(scratch.size()) : n;
            const int got = stream.read(scratch.data(), asked);
            if (asked < 0) {
                check(got <= 0);
                break;
            }
            const int expected = std::max(0, std::min(asked, model.length - model.position));
            check(got == expected);
            check(got == 0 || std::memcmp(scratch.data(), model.bytes.data() + model.position,
                                          static_cast<size_t>(got)) == 0);
            model.position += got;
            break;
        }
        case 2: { // seek
            const int offset = in.count();
            const bool ok = stream.seek(offset);
            check(ok == (offset >= 0));
            if (ok) {
                model.position = std::min(offset, model.length);
            }
            break;
        }
        case 3: // reset
            check(stream.reset());
            model.position = 0;
            model.length = model.initialLength;
            if (model.growable) {
                model.bytes.clear();
            }
            break;
        }
        check(stream.position() == model.position);
        check(stream.length() == model.length);
    }
    if (model.length > 0) {
        check(std::memcmp(stream.getOriginalDataPointer(), model.bytes.data(),
                          static_cast<size_t>(model.length)) == 0);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Input in(data, size);

    // A fixed stream over a heap block of exactly its size, told a length that may not fit.
    const int bufferSize = in.byte() % 64;
    const int toldLength = in.count();
    std::unique_ptr<uint8_t[]> buffer(new uint8_t[static_cast<size_t>(bufferSize)]());
    Model fixedModel{false, std::vector<uint8_t>(static_cast<size_t>(bufferSize), 0), 0, 0};
    fixedModel.length = std::clamp(toldLength, 0, bufferSize);
    fixedModel.initialLength = fixedModel.length;
    IntrusivePointer<MemoryStream> fixed(new MemoryStream(buffer.get(), bufferSize, toldLength, false));
    run(in, *fixed, fixedModel);

    Model growableModel{true, {}, 0, 0};
    IntrusivePointer<MemoryStream> growable(new MemoryStream());
    run(in, *growable, growableModel);
    return 0;
}
